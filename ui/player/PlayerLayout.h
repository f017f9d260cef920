#pragma once
// The player's geometry and seeking rules as plain computations, so that the
// windows only apply their results.
#include <QPoint>
#include <QRect>
#include <QSize>

#include <optional>

namespace larkspan {

// The frame around the video in the windowed layout: the video sits this far
// in from the client's left and right, and from its top and bottom.
inline constexpr int kVideoInsetX = 23;
inline constexpr int kVideoInsetY = 26;
// The band along the window's edges that resizes instead of moving it.
inline constexpr int kResizeBorder = 11;
inline constexpr int kMinimumWindowSide = 100;
// How close (pixels) a window edge must come to a screen edge to snap to it.
inline constexpr int kSnapDistance = 15;

enum class PlayerSizeMode : int { Half = 0, Normal = 1, Double = 2 };

// The video's proportions; both 0 while no video size is known.
struct VideoProportions {
    float widthToHeight = 0.0f;
    float heightToWidth = 0.0f;

    static VideoProportions Of(QSize source);
};

// Where the video goes in a client of size client. captionMargin is the
// height of the caption strip kept free below the video (0 when no strip
// shows). keepRatio centres the largest rectangle of the video's proportions
// in the free area. Never negative; empty when the client is too small.
QRect VideoRectFor(QSize client, bool fullScreen, bool keepRatio, int captionMargin, VideoProportions proportions);

// The video size a size mode shows for a source size (halved or doubled).
QSize ModeVideoSize(PlayerSizeMode mode, QSize source);
// The window size that shows video of that size with the frame and the strip.
QSize WindowSizeFor(QSize video, int captionMargin);

// The caption strip: above the bottom frame between the side frames, or
// along the bottom edge in full screen.
QRect CaptionStripRect(QSize client, bool fullScreen, int captionMargin);

// Whole seconds to seek to for a jump of `seconds` from position (negative
// jumps go back), or nothing when the jump is refused: going back must land
// at 1 s or later, going forward must land before the duration.
std::optional<int> JumpTarget(double position, double duration, int seconds);

// Which window edges a point in the client lies on (none inside the body).
Qt::Edges EdgesAt(QPoint point, QSize client, int border = kResizeBorder);

// A window's top-left after snapping it to the edges of the free area of its
// screen when one of its sides comes within distance of one.
QPoint SnapToEdges(QPoint topLeft, QSize size, const QRect& screen, const QRect& freeArea,
                   int distance = kSnapDistance);

}  // namespace larkspan
