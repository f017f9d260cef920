#include "ui/mainwin/WindowPlacement.h"

#include <cstdlib>

namespace larkspan {

namespace {

int RightOf(const QRect& r) { return r.x() + r.width(); }
int BottomOf(const QRect& r) { return r.y() + r.height(); }
bool Near(int a, int b) { return std::abs(a - b) <= kDockDistance; }

// Beside the player (left or right of it): the top edge lines up with the
// player's top or bottom, or the bottom edge with the player's top.
int AlignedTop(const QRect& moved, const QRect& player) {
    if (Near(moved.y(), player.y()))
        return player.y();
    if (Near(moved.y(), BottomOf(player)))
        return BottomOf(player);
    if (Near(BottomOf(moved), player.y()))
        return player.y() - moved.height();
    return moved.y();
}

// Above or below the player: the left edge lines up with the player's left or
// right, or the right edge with the player's left.
int AlignedLeft(const QRect& moved, const QRect& player) {
    if (Near(moved.x(), player.x()))
        return player.x();
    if (Near(moved.x(), RightOf(player)))
        return RightOf(player);
    if (Near(RightOf(moved), player.x()))
        return player.x() - moved.width();
    return moved.x();
}

}  // namespace

QPoint InitialPanelPosition(QPoint saved, const QList<QRect>& screens, const QRect& primary) {
    const QPoint centred(primary.x() + primary.width() / 2 - 137, primary.y() + primary.height() / 2 - 58);
    bool onScreen = false;
    for (const QRect& screen : screens)
        onScreen = onScreen || screen.contains(saved);
    if (!onScreen)
        return centred;
    QPoint position = saved;
    if (primary.contains(saved)) {
        if (saved.x() < primary.x() + 1)
            position.setX(centred.x());
        if (saved.y() < primary.y() + 1)
            position.setY(centred.y());
    }
    return position;
}

DockResult DockToPlayer(const QRect& moved, int currentLeft, const QRect& player, bool docked) {
    const int w = moved.width();
    const int h = moved.height();
    if (Near(moved.x(), RightOf(player))) {
        if (!docked)
            return {QPoint(RightOf(player), moved.y()), true};
        return {QPoint(currentLeft, AlignedTop(moved, player)), true};
    }
    if (Near(RightOf(moved), player.x()))
        return {QPoint(player.x() - w, docked ? AlignedTop(moved, player) : moved.y()), true};
    if (Near(BottomOf(moved), player.y()))
        return {QPoint(docked ? AlignedLeft(moved, player) : moved.x(), player.y() - h), true};
    if (Near(moved.y(), BottomOf(player)))
        return {QPoint(docked ? AlignedLeft(moved, player) : moved.x(), BottomOf(player)), true};
    return {moved.topLeft(), false};
}

QPoint SnapToEdges(QPoint position, int width, int stackHeight, const QRect& screen, const QMargins& insets) {
    const int left = screen.x() + insets.left();
    const int top = screen.y() + insets.top();
    const int right = RightOf(screen) - insets.right();
    const int bottom = BottomOf(screen) - insets.bottom();
    int x = position.x();
    int y = position.y();
    if (std::abs(x - left) <= kSnapDistance)
        x = left;
    if (y >= screen.y() - kSnapDistance && y <= top + kSnapDistance)
        y = top;
    if (std::abs(x + width - right) <= kSnapDistance)
        x = right - width;
    if (std::abs(y + stackHeight - bottom) <= kSnapDistance)
        y = bottom - stackHeight;
    return {x, y};
}

}  // namespace larkspan
