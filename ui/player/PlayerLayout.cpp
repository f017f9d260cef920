#include "ui/player/PlayerLayout.h"

#include <algorithm>
#include <cmath>

namespace larkspan {

VideoProportions VideoProportions::Of(QSize source) {
    if (source.width() <= 0 || source.height() <= 0) return {};
    return {static_cast<float>(source.width()) / static_cast<float>(source.height()),
            static_cast<float>(source.height()) / static_cast<float>(source.width())};
}

QRect VideoRectFor(QSize client, bool fullScreen, bool keepRatio, int captionMargin, VideoProportions proportions) {
    const int insetX = fullScreen ? 0 : kVideoInsetX;
    const int insetY = fullScreen ? 0 : kVideoInsetY;
    const int height = client.height() - std::max(captionMargin, 0);
    const int areaWidth = std::max(client.width() - 2 * insetX, 0);
    const int areaHeight = std::max(height - 2 * insetY, 0);
    if (!keepRatio || proportions.widthToHeight <= 0.0f || proportions.heightToWidth <= 0.0f)
        return QRect(insetX, insetY, areaWidth, areaHeight);

    int videoHeight = areaHeight;
    int videoWidth = static_cast<int>(static_cast<float>(areaHeight) * proportions.widthToHeight);
    if (videoWidth > areaWidth) {
        videoHeight = static_cast<int>(static_cast<float>(areaWidth) * proportions.heightToWidth);
        videoWidth = areaWidth;
    }
    return QRect(areaWidth / 2 - videoWidth / 2 + insetX, areaHeight / 2 - videoHeight / 2 + insetY, videoWidth,
                 videoHeight);
}

QSize ModeVideoSize(PlayerSizeMode mode, QSize source) {
    switch (mode) {
    case PlayerSizeMode::Half: return QSize(source.width() / 2, source.height() / 2);
    case PlayerSizeMode::Double: return QSize(source.width() * 2, source.height() * 2);
    case PlayerSizeMode::Normal: break;
    }
    return source;
}

QSize WindowSizeFor(QSize video, int captionMargin) {
    return QSize(video.width() + 2 * kVideoInsetX, video.height() + std::max(captionMargin, 0) + 2 * kVideoInsetY);
}

QRect CaptionStripRect(QSize client, bool fullScreen, int captionMargin) {
    const int margin = std::max(captionMargin, 0);
    if (fullScreen) return QRect(0, client.height() - margin, client.width(), margin);
    return QRect(kVideoInsetX, client.height() - kVideoInsetY - margin,
                 std::max(client.width() - 2 * kVideoInsetX, 0), margin);
}

std::optional<int> JumpTarget(double position, double duration, int seconds) {
    const int target = static_cast<int>(std::trunc(position)) + seconds;
    if (seconds < 0 ? target < 1 : !(duration > target)) return std::nullopt;
    return target;
}

Qt::Edges EdgesAt(QPoint point, QSize client, int border) {
    Qt::Edges edges;
    if (point.x() < border) edges |= Qt::LeftEdge;
    if (point.x() >= client.width() - border) edges |= Qt::RightEdge;
    if (point.y() < border) edges |= Qt::TopEdge;
    if (point.y() >= client.height() - border) edges |= Qt::BottomEdge;
    return edges;
}

QPoint SnapToEdges(QPoint topLeft, QSize size, const QRect& screen, const QRect& freeArea, int distance) {
    const auto near = [distance](int value, int edge) { return value >= edge - distance && value <= edge + distance; };
    QPoint snapped = topLeft;
    if (near(topLeft.x(), freeArea.left())) snapped.setX(freeArea.left());
    // The top edge snaps from anywhere above the free area's top as well.
    if (topLeft.y() >= screen.top() - distance && topLeft.y() <= freeArea.top() + distance)
        snapped.setY(freeArea.top());
    const int right = freeArea.left() + freeArea.width();
    const int bottom = freeArea.top() + freeArea.height();
    if (near(topLeft.x() + size.width(), right)) snapped.setX(right - size.width());
    if (near(topLeft.y() + size.height(), bottom)) snapped.setY(bottom - size.height());
    return snapped;
}

}  // namespace larkspan
