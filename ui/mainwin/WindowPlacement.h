#pragma once

// Where the main window goes: its first position from the saved profile
// values, the docking to the player window while it is dragged, and the
// snapping to the screen's edges. Pure functions on rectangles; right and
// bottom edges are exclusive (left + width, top + height).

#include <QList>
#include <QMargins>
#include <QPoint>
#include <QRect>

namespace larkspan {

constexpr int kPanelWidth = 275;
constexpr int kPanelHeight = 116;
// The banner strip and the list window hang below the panel.
constexpr int kBannerHeight = 27;
constexpr int kListWindowHeight = 257;
constexpr int kDockedStackHeight = kPanelHeight + kBannerHeight + kListWindowHeight;
constexpr int kDockDistance = 10;
constexpr int kSnapDistance = 15;

// The saved top-left corner when some screen holds it, else the panel
// centred on the primary screen. On the primary screen a coordinate below 1
// (nothing saved yet) is centred on its own.
QPoint InitialPanelPosition(QPoint saved, const QList<QRect>& screens, const QRect& primary);

struct DockResult {
    QPoint position;
    bool docked = false;
};

// The panel was dragged to `moved` from a window whose left edge is
// `currentLeft`. The first rule that fits places it beside the player window:
// right of it, left of it, above it, below it; when none fits it goes where
// it was dragged and is no longer docked. A panel that was docked also lines
// up with the player's edges along the side it sits on.
DockResult DockToPlayer(const QRect& moved, int currentLeft, const QRect& player, bool docked);

// Moves a window of `width` and `stackHeight` (the panel with its docked
// windows) at `position` onto the edges of the work area when it is within
// kSnapDistance of them. The work area is `screen` less `insets` (the task
// bars and panels); a top edge above the screen snaps down as well.
QPoint SnapToEdges(QPoint position, int width, int stackHeight, const QRect& screen, const QMargins& insets);

}  // namespace larkspan
