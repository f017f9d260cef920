// The player's rules as plain computations: caption text, layout, sizes,
// seeking guards and the caption font.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "recorder/RecorderSettings.h"
#include "ui/player/CaptionFont.h"
#include "ui/player/CaptionText.h"
#include "ui/player/PlayerLayout.h"

namespace larkspan {
namespace {

TEST(CleanCaptionTextTest, TurnsMarkupIntoPlainLines) {
    const struct {
        std::string in, out;
    } cases[] = {
        {"<P Class=KRCC>Hello<br>World", "Hello\nWorld"},
        {"<BR>x", "\nx"},
        {"a<Br>b", "a\nb"},
        {"a<br/>b<br >c", "abc"},  // only the bare two letters break the line
        {"a < b", "a < b"},        // no closing bracket: kept with all after it
        {"<b>x</b> < y", "x < y"},
        {"<>x", "x"},
        {"A&nbsp;B&nbsp", "A B&nbsp"},
        {"A&nbspB", "A B"},
        {"&nbsp;", " "},  // trailing blanks go before the replacement
        {"x<br>  \n", "x"},
        {"x &nbsp;\t", "x  "},
        {"", ""},
        {"<font color=red>", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(c.out, CleanCaptionText(c.in)) << c.in;
}

TEST(PlayerLayoutTest, VideoRectangles) {
    const VideoProportions fourByThree = VideoProportions::Of(QSize(320, 240));
    const struct {
        QSize client;
        bool fullScreen, keep;
        int margin;
        VideoProportions proportions;
        QRect video;
    } cases[] = {
        {{366, 292}, false, true, 0, fourByThree, {23, 26, 320, 240}},
        {{366, 342}, false, false, 50, fourByThree, {23, 26, 320, 240}},
        {{466, 292}, false, true, 0, fourByThree, {73, 26, 320, 240}},   // wider: centred across
        {{366, 392}, false, true, 0, fourByThree, {23, 76, 320, 240}},   // taller: centred down
        {{800, 600}, true, true, 50, fourByThree, {34, 0, 733, 550}},
        {{800, 600}, true, false, 0, fourByThree, {0, 0, 800, 600}},
        {{366, 292}, false, true, 0, VideoProportions::Of(QSize(0, 0)), {23, 26, 320, 240}},  // no size known
        {{100, 100}, false, true, 50, fourByThree, {50, 26, 0, 0}},  // too small: empty, never negative
        {{30, 40}, false, false, 0, fourByThree, {23, 26, 0, 0}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.video, VideoRectFor(c.client, c.fullScreen, c.keep, c.margin, c.proportions)) << c.client.width();
}

TEST(PlayerLayoutTest, WindowSizesPerMode) {
    const QSize source(320, 240);
    EXPECT_EQ(QSize(366, 342), WindowSizeFor(ModeVideoSize(PlayerSizeMode::Normal, source), 50));
    EXPECT_EQ(QSize(206, 222), WindowSizeFor(ModeVideoSize(PlayerSizeMode::Half, source), 50));
    EXPECT_EQ(QSize(686, 532), WindowSizeFor(ModeVideoSize(PlayerSizeMode::Double, source), 0));
    EXPECT_EQ(QSize(160, 120), ModeVideoSize(PlayerSizeMode::Half, QSize(321, 241)));
    EXPECT_EQ(QRect(23, 266, 320, 50), CaptionStripRect(QSize(366, 342), false, 50));
    EXPECT_EQ(QRect(0, 550, 800, 50), CaptionStripRect(QSize(800, 600), true, 50));
}

TEST(PlayerLayoutTest, JumpGuards) {
    const struct {
        double position, duration;
        int seconds;
        std::optional<int> target;
    } cases[] = {
        {20.0, 100.0, -30, std::nullopt}, {31.0, 100.0, -30, 1},       {30.9, 100.0, -30, std::nullopt},
        {61.0, 100.0, -60, 1},            {70.0, 100.0, 30, std::nullopt}, {69.5, 100.0, 30, 99},
        {39.0, 100.0, 60, 99},            {0.0, 0.0, 30, std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.target, JumpTarget(c.position, c.duration, c.seconds)) << c.position << " " << c.seconds;
}

TEST(PlayerLayoutTest, EdgesAndSnapping) {
    const QSize client(366, 292);
    EXPECT_EQ(Qt::Edges(), EdgesAt(QPoint(11, 11), client));
    EXPECT_EQ(Qt::Edges(Qt::TopEdge | Qt::LeftEdge), EdgesAt(QPoint(10, 10), client));
    EXPECT_EQ(Qt::Edges(Qt::BottomEdge | Qt::RightEdge), EdgesAt(QPoint(355, 281), client));
    const QRect screen(0, 0, 1280, 800);
    const QRect free(0, 0, 1280, 760);  // a panel along the bottom
    EXPECT_EQ(QPoint(0, 0), SnapToEdges(QPoint(15, -15), client, screen, free));
    EXPECT_EQ(QPoint(16, 16), SnapToEdges(QPoint(16, 16), client, screen, free));
    EXPECT_EQ(QPoint(914, 468), SnapToEdges(QPoint(900, 460), client, screen, free));
}

TEST(CaptionFontTest, SizeIsClampedAndFractionsKept) {
    RecorderSettings settings;
    const struct {
        int size;
        double precise;
        double points;
    } cases[] = {{12, 0.0, 12.0}, {0, 0.0, 1.0}, {500, 0.0, 200.0}, {12, 12.5, 12.5}, {13, 12.5, 13.0}};
    for (const auto& c : cases) {
        settings.captionSize = c.size;
        EXPECT_EQ(c.points, CaptionFontFor(settings, c.precise).pointSizeF()) << c.size;
    }
    settings.captionBold = 1;
    EXPECT_TRUE(CaptionFontFor(settings).bold());
    EXPECT_EQ(QColor(0x11, 0x22, 0x33), ColorFromColorRef(0x332211));
    EXPECT_EQ(0x332211, ColorRefFromColor(QColor(0x11, 0x22, 0x33)));
}

}  // namespace
}  // namespace larkspan
