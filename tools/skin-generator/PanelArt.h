#pragma once

#include <QPainter>
#include <QString>

namespace larkspan::art {

// Paints a sheet that is not a button strip (backgrounds, frames, tracks,
// thumbs, glyphs) in logical pixels. False for an unknown sheet.
bool paintPanelSheet(QPainter& painter, const QString& sheet, int width, int height);

// Turns the pixels that are mostly transparent into the key colour and makes
// the rest opaque, for sprites drawn through a colour key.
void applyColourKey(QImage& image, QRgb key);

} // namespace larkspan::art
