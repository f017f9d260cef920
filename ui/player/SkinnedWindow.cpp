#include "ui/player/SkinnedWindow.h"

#include <QGuiApplication>
#include <QMouseEvent>
#include <QScreen>
#include <QWindow>

#include "ui/player/PlayerLayout.h"

namespace larkspan {
namespace {

Qt::CursorShape CursorFor(Qt::Edges edges) {
    const bool left = edges.testFlag(Qt::LeftEdge);
    const bool right = edges.testFlag(Qt::RightEdge);
    const bool top = edges.testFlag(Qt::TopEdge);
    const bool bottom = edges.testFlag(Qt::BottomEdge);
    if ((top && left) || (bottom && right)) return Qt::SizeFDiagCursor;
    if ((top && right) || (bottom && left)) return Qt::SizeBDiagCursor;
    if (left || right) return Qt::SizeHorCursor;
    if (top || bottom) return Qt::SizeVerCursor;
    return Qt::ArrowCursor;
}

}  // namespace

SkinnedWindow::SkinnedWindow(Skin& skin, QWidget* owner)
    : QWidget(owner, Qt::Window | Qt::FramelessWindowHint), skin_(skin) {
    setMouseTracking(true);
    setMinimumSize(kMinimumWindowSide, kMinimumWindowSide);
}

bool SkinnedWindow::CanPlaceWindows() {
    const QString platform = QGuiApplication::platformName();
    return platform == QLatin1String("xcb") || platform == QLatin1String("windows");
}

void SkinnedWindow::SetOnTop(bool onTop) {
    if (windowFlags().testFlag(Qt::WindowStaysOnTopHint) == onTop) return;
    const bool shown = isVisible();
    setWindowFlag(Qt::WindowStaysOnTopHint, onTop);  // hides the window
    if (shown) show();
}

void SkinnedWindow::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::RightButton) {
        ShowContextMenu(event->globalPosition().toPoint());
        return;
    }
    if (event->button() != Qt::LeftButton || !FrameInteractive() || !windowHandle()) return;
    const Qt::Edges edges = EdgesAt(event->position().toPoint(), size());
    if (edges)
        windowHandle()->startSystemResize(edges);
    else
        windowHandle()->startSystemMove();
}

void SkinnedWindow::mouseMoveEvent(QMouseEvent* event) {
    setCursor(FrameInteractive() ? CursorFor(EdgesAt(event->position().toPoint(), size())) : Qt::ArrowCursor);
}

void SkinnedWindow::moveEvent(QMoveEvent* event) {
    QWidget::moveEvent(event);
    if (snapping_ || !FrameInteractive() || !CanPlaceWindows()) return;
    const QScreen* where = screen();
    if (!where) return;
    const QPoint snapped = SnapToEdges(pos(), size(), where->geometry(), where->availableGeometry());
    if (snapped == pos()) return;
    snapping_ = true;
    move(snapped);
    snapping_ = false;
}

}  // namespace larkspan
