#include "recorder/SettingsProfile.h"
#include "ui/mainwin/PanelTexts.h"
#include "ui/mainwin/RecentList.h"
#include "ui/mainwin/WindowPlacement.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fstream>

using namespace larkspan;

TEST(PanelTexts, TitleFileNameTakesTheLastPathPartWithoutExtension) {
    const std::pair<const char*, const char*> cases[] = {
        {"C:\\Media\\Show.Part1.asf", "Show.Part1"},
        {"http://host/a/b.asx", "b"},
        {"mms://host/live", "live"},
        {"C:\\dir.x\\noext", "noext"},
        {"a/b\\c.d", "c"},
        {"plain", "plain"},
        {".hidden", ""},
    };
    for (const auto& [title, shown] : cases)
        EXPECT_EQ(TitleFileName(QString::fromUtf8(title)), QString::fromUtf8(shown)) << title;
}

TEST(PanelTexts, TimeDisplayTextAndGlyphs) {
    const std::pair<int, const char*> times[] = {
        {0, "  0:00"}, {61, "  1:01"}, {3599, " 59:59"}, {59999, "999:59"}, {-5, "  0:00"}};
    for (const auto& [seconds, text] : times)
        EXPECT_EQ(TimeDisplayText(seconds), QString::fromUtf8(text)) << seconds;
    const std::pair<char, const char*> glyphs[] = {
        {'7', "time-digits.7"}, {':', "time-digits.colon"}, {' ', "time-digits.blank"}, {'x', "time-digits.blank"}};
    for (const auto& [character, piece] : glyphs)
        EXPECT_EQ(TimeGlyphPiece(QLatin1Char(character)), QString::fromUtf8(piece)) << character;
}

TEST(PanelTexts, VolumeSliderToPlayerVolume) {
    const std::pair<int, int> cases[] = {{0, -10000}, {9, -10000}, {10, -4990}, {2500, -2500}, {5000, 0}};
    for (const auto& [position, volume] : cases)
        EXPECT_EQ(PlayerVolumeForSlider(position), volume) << position;
}

TEST(WindowPlacement, DockingRules) {
    const QRect player(400, 300, 366, 292); // right 766, bottom 592
    struct Case {
        QPoint dragged;
        int currentLeft;
        bool docked;
        QPoint expected;
        bool dockedAfter;
    };
    const Case cases[] = {
        {{770, 350}, 500, false, {766, 350}, true}, // right of the player
        {{770, 305}, 766, true, {766, 300}, true},  // right, tops lined up
        {{130, 350}, 500, false, {125, 350}, true}, // left of the player
        {{130, 190}, 125, true, {125, 184}, true},  // left, bottom on the player's top
        {{500, 180}, 500, false, {500, 184}, true}, // above
        {{395, 180}, 500, true, {400, 184}, true},  // above, lefts lined up
        {{405, 595}, 400, true, {400, 592}, true},  // below, lefts lined up
        {{100, 100}, 400, true, {100, 100}, false}, // away from it
    };
    for (const Case& c : cases) {
        const DockResult result = DockToPlayer(QRect(c.dragged, QSize(275, 116)), c.currentLeft, player, c.docked);
        EXPECT_EQ(result.position, c.expected) << c.dragged.x() << "," << c.dragged.y();
        EXPECT_EQ(result.docked, c.dockedAfter) << c.dragged.x() << "," << c.dragged.y();
    }
}

TEST(WindowPlacement, SnapsToTheWorkAreaEdges) {
    const QRect screen(0, 0, 1024, 768);
    const QMargins leftBar(28, 0, 0, 0);
    const std::pair<QPoint, QPoint> cases[] = {
        {{40, 200}, {28, 200}}, {{44, 200}, {44, 200}}, {{739, 358}, {749, 368}}, {{300, -10}, {300, 0}}};
    for (const auto& [position, snapped] : cases)
        EXPECT_EQ(SnapToEdges(position, 275, kDockedStackHeight, screen, leftBar), snapped) << position.x();
}

TEST(WindowPlacement, InitialPositionFromTheSavedOne) {
    const QRect primary(0, 0, 1024, 768);
    const QList<QRect> screens = {primary, QRect(1024, 0, 800, 600)};
    const std::pair<QPoint, QPoint> cases[] = {
        {{0, 0}, {375, 326}},        {{5000, 10}, {375, 326}}, {{100, 50}, {100, 50}},
        {{0, 50}, {375, 50}},        {{1200, 100}, {1200, 100}}, {{-300, 40}, {375, 326}},
    };
    for (const auto& [saved, placed] : cases)
        EXPECT_EQ(InitialPanelPosition(saved, screens, primary), placed) << saved.x() << "," << saved.y();
}

TEST(RecentList, KeepsStreamsAndExistingFiles) {
    QTemporaryDir dir;
    const std::string existing = dir.filePath(QStringLiteral("clip.asf")).toStdString();
    std::ofstream(existing) << "x";
    const std::pair<std::string, bool> cases[] = {
        {existing, true},         {"mms://host/live", true}, {"MMST://HOST/X", true}, {"http://h/a.asf", true},
        {dir.filePath(QStringLiteral("gone.asf")).toStdString(), false}, {"ftp://host/a.asf", false},
    };
    for (const auto& [entry, kept] : cases)
        EXPECT_EQ(RecentList::KeepsEntry(entry), kept) << entry;
}

TEST(RecentList, TwentyOfTwentyFiveSurviveARestart) {
    MemoryProfile profile;
    RecentList list;
    for (int i = 0; i < 25; ++i)
        list.MoveToFront("mms://host/" + std::to_string(i));
    list.MoveToFront("mms://host/3");
    EXPECT_EQ(list.At(0), "mms://host/3");
    EXPECT_EQ(list.At(1), "mms://host/24");
    list.Save(profile);
    RecentList reloaded;
    reloaded.Load(profile);
    ASSERT_EQ(reloaded.Entries().size(), 20u);
    EXPECT_EQ(reloaded.At(0), "mms://host/3");
    EXPECT_EQ(reloaded.At(19), "mms://host/6");
    // A shorter list saved over it ends where it ends.
    RecentList shorter;
    shorter.MoveToFront("mms://host/only");
    shorter.Save(profile);
    reloaded.Load(profile);
    EXPECT_EQ(reloaded.Entries(), std::vector<std::string>{"mms://host/only"});
}

TEST(RecentList, LoadStopsAtTheFirstEmptyValue) {
    MemoryProfile profile;
    profile.WriteString(RecentList::kSection, "File0", "mms://a/1");
    profile.WriteString(RecentList::kSection, "File1", "ftp://dropped");
    profile.WriteString(RecentList::kSection, "File2", "mms://a/2");
    profile.WriteString(RecentList::kSection, "File3", "");
    profile.WriteString(RecentList::kSection, "File4", "mms://a/3");
    RecentList list;
    list.Load(profile);
    EXPECT_EQ(list.Entries(), (std::vector<std::string>{"mms://a/1", "mms://a/2"}));
}
