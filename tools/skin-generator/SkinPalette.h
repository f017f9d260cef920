#pragma once

// Colours and small drawing helpers shared by the sheet painters.

#include <QColor>
#include <QLinearGradient>
#include <QPainter>
#include <QRectF>

namespace larkspan::art {

namespace palette {
inline const QColor kWindowTop(0x24, 0x2a, 0x33);
inline const QColor kWindowBottom(0x15, 0x19, 0x1f);
inline const QColor kEdgeLight(0x3a, 0x44, 0x51);
inline const QColor kEdgeDark(0x0a, 0x0c, 0x10);
inline const QColor kScreen(0x08, 0x0b, 0x0f);
inline const QColor kScreenEdge(0x2a, 0x33, 0x3e);
inline const QColor kAccent(0x3d, 0xdc, 0xd4);
inline const QColor kAccentDeep(0x1b, 0x8f, 0x9b);
inline const QColor kGlyph(0xdc, 0xe2, 0xea);
inline const QColor kGlyphDim(0x4b, 0x54, 0x60);
inline const QColor kRecord(0xff, 0x55, 0x5d);
inline const QColor kRecordDim(0x6a, 0x34, 0x3a);
inline const QColor kLabel(0x7d, 0x8a, 0x99);
} // namespace palette

QLinearGradient verticalGradient(const QRectF& rect, const QColor& top, const QColor& bottom);

// A recessed dark panel: screen colour, dark rim, light lower edge.
void drawScreen(QPainter& painter, const QRectF& rect, qreal radius);

// The raised window panel with a light top edge and a dark rim.
void drawRaisedPanel(QPainter& painter, const QRectF& rect, qreal radius);

} // namespace larkspan::art
