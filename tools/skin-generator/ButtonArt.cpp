#include "ButtonArt.h"

#include "SkinPalette.h"

#include <QPainterPath>

namespace larkspan::art {

namespace {

enum class Face { Normal, Hover, Pressed, Disabled };

struct GlyphStyle {
    QColor colour;
    QColor record; // for the red parts of the record glyphs
};

GlyphStyle glyphStyle(Face face)
{
    switch (face) {
    case Face::Normal: return {palette::kGlyph, palette::kRecord};
    case Face::Hover: return {QColor(Qt::white), QColor(0xff, 0x7a, 0x80)};
    case Face::Pressed: return {palette::kAccent, palette::kRecord};
    case Face::Disabled: return {palette::kGlyphDim, palette::kRecordDim};
    }
    return {};
}

// A rounded 24 x 24 key.
void paintLargeFace(QPainter& p, Face face)
{
    const QRectF outer(1, 1, 22, 22);
    p.setPen(Qt::NoPen);
    // Drop shadow / rim.
    p.setBrush(QColor(0, 0, 0, face == Face::Pressed ? 0 : 110));
    p.drawRoundedRect(outer.translated(0, 1), 5, 5);
    QColor rimTop, rimBottom, top, bottom;
    switch (face) {
    case Face::Normal:
        rimTop = QColor(0x4a, 0x55, 0x63), rimBottom = QColor(0x1b, 0x20, 0x27);
        top = QColor(0x33, 0x3b, 0x46), bottom = QColor(0x22, 0x28, 0x30);
        break;
    case Face::Hover:
        rimTop = palette::kAccent, rimBottom = palette::kAccentDeep;
        top = QColor(0x3b, 0x47, 0x54), bottom = QColor(0x27, 0x30, 0x3a);
        break;
    case Face::Pressed:
        rimTop = QColor(0x0c, 0x0f, 0x13), rimBottom = palette::kAccentDeep;
        top = QColor(0x12, 0x16, 0x1b), bottom = QColor(0x1c, 0x23, 0x2a);
        break;
    case Face::Disabled:
        rimTop = QColor(0x2c, 0x33, 0x3c), rimBottom = QColor(0x1a, 0x1e, 0x24);
        top = QColor(0x22, 0x27, 0x2e), bottom = QColor(0x1c, 0x20, 0x26);
        break;
    }
    p.setBrush(verticalGradient(outer, rimTop, rimBottom));
    p.drawRoundedRect(outer, 5, 5);
    p.setBrush(verticalGradient(outer, top, bottom));
    p.drawRoundedRect(outer.adjusted(1, 1, -1, -1), 4, 4);
    if (face == Face::Pressed) {
        // A lit strip along the bottom edge: the key is "on".
        p.setBrush(QColor(palette::kAccent.red(), palette::kAccent.green(), palette::kAccent.blue(), 150));
        p.drawRoundedRect(QRectF(7, 19.2, 10, 1.6), 0.8, 0.8);
    }
}

// A round 10 x 10 title-bar button.
void paintSmallFace(QPainter& p, Face face, bool closes)
{
    const QRectF outer(0.5, 0.5, 9, 9);
    QColor fill;
    switch (face) {
    case Face::Normal: fill = QColor(0x38, 0x41, 0x4d); break;
    case Face::Hover: fill = closes ? QColor(0xe0, 0x4a, 0x52) : QColor(0x2b, 0xa8, 0xa6); break;
    case Face::Pressed: fill = closes ? QColor(0xa3, 0x2c, 0x34) : palette::kAccentDeep; break;
    case Face::Disabled: fill = QColor(0x25, 0x2a, 0x31); break;
    }
    p.setPen(QPen(QColor(0, 0, 0, 140), 0.8));
    p.setBrush(verticalGradient(outer, fill.lighter(118), fill));
    p.drawEllipse(outer);
}

QPen strokePen(const QColor& colour, qreal width)
{
    return QPen(colour, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

void glyphPlay(QPainter& p, const GlyphStyle& s)
{
    QPainterPath path;
    path.moveTo(9.5, 7);
    path.lineTo(17.5, 12);
    path.lineTo(9.5, 17);
    path.closeSubpath();
    p.setPen(strokePen(s.colour, 1));
    p.setBrush(s.colour);
    p.drawPath(path);
}

void glyphPause(QPainter& p, const GlyphStyle& s)
{
    p.setPen(Qt::NoPen);
    p.setBrush(s.colour);
    p.drawRoundedRect(QRectF(8, 7, 3, 10), 1, 1);
    p.drawRoundedRect(QRectF(13, 7, 3, 10), 1, 1);
}

void glyphStop(QPainter& p, const GlyphStyle& s)
{
    p.setPen(Qt::NoPen);
    p.setBrush(s.colour);
    p.drawRoundedRect(QRectF(7.5, 7.5, 9, 9), 1.5, 1.5);
}

void glyphRecord(QPainter& p, const GlyphStyle& s)
{
    p.setPen(Qt::NoPen);
    p.setBrush(s.record);
    p.drawEllipse(QPointF(12, 12), 4.8, 4.8);
    p.setBrush(QColor(255, 255, 255, 70));
    p.drawEllipse(QPointF(10.8, 10.6), 1.5, 1.3);
}

void glyphRecordCancel(QPainter& p, const GlyphStyle& s)
{
    p.setPen(strokePen(s.record, 1.6));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(QPointF(12, 12), 5.2, 5.2);
    p.setPen(strokePen(s.colour, 1.6));
    p.drawLine(QPointF(10, 10), QPointF(14, 14));
    p.drawLine(QPointF(14, 10), QPointF(10, 14));
}

void glyphOpen(QPainter& p, const GlyphStyle& s)
{
    // A folder: back with its tab, then the front flap.
    QPainterPath back;
    back.moveTo(6, 8);
    back.lineTo(10, 8);
    back.lineTo(11.5, 9.5);
    back.lineTo(18, 9.5);
    back.lineTo(18, 17);
    back.lineTo(6, 17);
    back.closeSubpath();
    p.setPen(strokePen(s.colour, 1.2));
    p.setBrush(Qt::NoBrush);
    p.drawPath(back);
    QPainterPath front;
    front.moveTo(6, 17);
    front.lineTo(8, 11.5);
    front.lineTo(19.5, 11.5);
    front.lineTo(18, 17);
    front.closeSubpath();
    p.setBrush(s.colour);
    p.drawPath(front);
}

void glyphMenu(QPainter& p, const GlyphStyle& s)
{
    p.setPen(strokePen(s.colour, 1.6));
    for (qreal y : {8.5, 12.0, 15.5})
        p.drawLine(QPointF(7.5, y), QPointF(16.5, y));
}

void glyphRepeat(QPainter& p, const GlyphStyle& s)
{
    // Two half loops with arrow heads chasing each other.
    p.setPen(strokePen(s.colour, 1.5));
    p.setBrush(Qt::NoBrush);
    QPainterPath upper;
    upper.moveTo(7, 13);
    upper.lineTo(7, 10.5);
    upper.quadTo(7, 8.5, 9, 8.5);
    upper.lineTo(16, 8.5);
    p.drawPath(upper);
    QPainterPath lower;
    lower.moveTo(17, 11);
    lower.lineTo(17, 13.5);
    lower.quadTo(17, 15.5, 15, 15.5);
    lower.lineTo(8, 15.5);
    p.drawPath(lower);
    p.setPen(Qt::NoPen);
    p.setBrush(s.colour);
    QPolygonF head1({QPointF(15, 6.3), QPointF(18.2, 8.5), QPointF(15, 10.7)});
    QPolygonF head2({QPointF(9, 13.3), QPointF(5.8, 15.5), QPointF(9, 17.7)});
    p.drawPolygon(head1);
    p.drawPolygon(head2);
}

void glyphClose(QPainter& p, const GlyphStyle& s)
{
    p.setPen(strokePen(s.colour, 1.1));
    p.drawLine(QPointF(3.4, 3.4), QPointF(6.6, 6.6));
    p.drawLine(QPointF(6.6, 3.4), QPointF(3.4, 6.6));
}

void glyphMinimise(QPainter& p, const GlyphStyle& s)
{
    p.setPen(strokePen(s.colour, 1.1));
    p.drawLine(QPointF(3.2, 5), QPointF(6.8, 5));
}

void glyphSpare(QPainter& p, const GlyphStyle& s)
{
    p.setPen(strokePen(s.colour, 1));
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRectF(3.3, 3.3, 3.4, 3.4));
}

using Glyph = void (*)(QPainter&, const GlyphStyle&);

Glyph glyphFor(const QString& sheet)
{
    if (sheet == QLatin1String("button-play")) return glyphPlay;
    if (sheet == QLatin1String("button-pause")) return glyphPause;
    if (sheet == QLatin1String("button-stop")) return glyphStop;
    if (sheet == QLatin1String("button-record")) return glyphRecord;
    if (sheet == QLatin1String("button-record-cancel")) return glyphRecordCancel;
    if (sheet == QLatin1String("button-open")) return glyphOpen;
    if (sheet == QLatin1String("button-menu")) return glyphMenu;
    if (sheet == QLatin1String("button-repeat")) return glyphRepeat;
    if (sheet == QLatin1String("button-close")) return glyphClose;
    if (sheet == QLatin1String("button-minimise")) return glyphMinimise;
    if (sheet == QLatin1String("button-spare")) return glyphSpare;
    return nullptr;
}

} // namespace

bool paintButtonStrip(QPainter& painter, const QString& sheet, int cell)
{
    const Glyph glyph = glyphFor(sheet);
    if (!glyph)
        return false;
    const Face faces[] = {Face::Normal, Face::Hover, Face::Pressed, Face::Disabled};
    for (int i = 0; i < 4; ++i) {
        painter.save();
        painter.translate(i * cell, 0);
        painter.setClipRect(QRectF(0, 0, cell, cell));
        GlyphStyle style = glyphStyle(faces[i]);
        if (cell >= 24) {
            paintLargeFace(painter, faces[i]);
            if (faces[i] == Face::Pressed)
                painter.translate(0, 0.5); // the glyph sinks with the key
        } else {
            paintSmallFace(painter, faces[i], sheet == QLatin1String("button-close"));
            style.colour = faces[i] == Face::Disabled ? palette::kGlyphDim : QColor(0xf2, 0xf5, 0xf8);
        }
        glyph(painter, style);
        painter.restore();
    }
    return true;
}

} // namespace larkspan::art
