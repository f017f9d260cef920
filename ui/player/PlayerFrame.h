#pragma once
// The skinned frame that the player window and the caption window draw
// around their black interior.
#include <QSize>

class QPainter;

namespace larkspan {

class Skin;

// Draws the side strips, the top and bottom bars and the inner frame for a
// client of that size, and fills the interior (inset 23 left and right, 26
// top and bottom) black.
void PaintPlayerFrame(QPainter& painter, const Skin& skin, QSize client);

}  // namespace larkspan
