#include "ui/player/PlayerFrame.h"

#include <QPainter>

#include "ui/player/PlayerLayout.h"
#include "ui/skin/Skin.h"

namespace larkspan {
namespace {

// The repeated middle pieces of the side strips and the top bar.
constexpr int kSideMiddleHeight = 235;
constexpr int kTopMiddleWidth = 241;

void Piece(QPainter& painter, const Skin& skin, const QString& name, const QRect& target) {
    skin.drawPart(painter, target, name, QRect(QPoint(0, 0), skin.piece(name).source.size()));
}

}  // namespace

void PaintPlayerFrame(QPainter& painter, const Skin& skin, QSize client) {
    const int w = client.width();
    const int h = client.height();
    painter.fillRect(QRect(kVideoInsetX, kVideoInsetY, w - 2 * kVideoInsetX, h - 2 * kVideoInsetY), Qt::black);

    // Side strips: caps, then the middle piece repeated down the window.
    Piece(painter, skin, QStringLiteral("player-sides.left-top"), QRect(0, 16, 13, 12));
    Piece(painter, skin, QStringLiteral("player-sides.right-top"), QRect(w - 13, 16, 13, 12));
    for (int y = 0; y < h - 24; y += kSideMiddleHeight) {
        Piece(painter, skin, QStringLiteral("player-sides.left-middle"), QRect(0, y + 28, 13, kSideMiddleHeight));
        Piece(painter, skin, QStringLiteral("player-sides.right-middle"),
              QRect(w - 13, y + 28, 13, kSideMiddleHeight));
    }
    Piece(painter, skin, QStringLiteral("player-sides.left-bottom"), QRect(0, h - 28, 13, 12));
    Piece(painter, skin, QStringLiteral("player-sides.right-bottom"), QRect(w - 13, h - 28, 13, 12));

    // Top bar (title plate) and bottom bar.
    Piece(painter, skin, QStringLiteral("player-bars.top-left"), QRect(0, 0, 63, 16));
    for (int x = 0; x < w - 126; x += kTopMiddleWidth)
        Piece(painter, skin, QStringLiteral("player-bars.top-middle"), QRect(x + 63, 0, kTopMiddleWidth, 16));
    Piece(painter, skin, QStringLiteral("player-bars.top-right"), QRect(w - 63, 0, 63, 16));
    Piece(painter, skin, QStringLiteral("player-bars.bottom-stretch"), QRect(0, h - 16, w - 108, 16));
    Piece(painter, skin, QStringLiteral("player-bars.bottom-right"), QRect(w - 108, h - 16, 108, 16));

    // Inner frame: corners, then stretched edges.
    Piece(painter, skin, QStringLiteral("player-inner.top-left"), QRect(13, 16, 10, 10));
    Piece(painter, skin, QStringLiteral("player-inner.top-right"), QRect(w - 23, 16, 10, 10));
    Piece(painter, skin, QStringLiteral("player-inner.bottom-right"), QRect(w - 23, h - 26, 10, 10));
    Piece(painter, skin, QStringLiteral("player-inner.bottom-left"), QRect(13, h - 26, 10, 10));
    Piece(painter, skin, QStringLiteral("player-inner.top"), QRect(23, 16, w - 46, 10));
    Piece(painter, skin, QStringLiteral("player-inner.right"), QRect(w - 23, 26, 10, h - 52));
    Piece(painter, skin, QStringLiteral("player-inner.bottom"), QRect(23, h - 26, w - 46, 10));
    Piece(painter, skin, QStringLiteral("player-inner.left"), QRect(13, 26, 10, h - 52));
}

}  // namespace larkspan
