#pragma once

#include <QPainter>
#include <QString>

namespace larkspan::art {

// Paints a button strip (normal, hover, pressed, disabled side by side) of
// `cell`-sized pictures for the button sheet `sheet`. False for a sheet that
// is not a button.
bool paintButtonStrip(QPainter& painter, const QString& sheet, int cell);

} // namespace larkspan::art
