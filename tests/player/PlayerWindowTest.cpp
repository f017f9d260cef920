// The player window on the offscreen platform, with sample media: what it
// tells its owner, its sizes, its messages and its guards.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QScreen>
#include <QTest>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <utility>
#include <vector>

#include "recorder/RecorderSettings.h"
#include "recorder/SettingsProfile.h"
#include "tests/support/Samples.h"
#include "tests/support/TempFolder.h"
#include "ui/player/PlayerWindow.h"
#include "ui/skin/Skin.h"

namespace larkspan {
namespace {

namespace pc = player_command;

// Runs the event loop until done() holds; false after 20 s (only so that a
// fault cannot hang the suite).
bool WaitFor(const std::function<bool()>& done) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        QTest::qWait(5);
    }
    return true;
}

class PlayerWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        PlaybackEngineOptions options;
        options.fakeAudioOutput = true;
        options.syncToClock = false;
        player = std::make_unique<PlayerWindow>(settings, profile, skin, options);
        QObject::connect(player.get(), &PlayerWindow::notify,
                         [this](int code, int value) { notes.emplace_back(code, value); });
        QObject::connect(player.get(), &PlayerWindow::ownerCommand, [this](int id) { ownerCommands.push_back(id); });
    }

    // clip.asf (320 x 240, 20 s) with a caption file beside it.
    std::string CaptionedClip() {
        const std::string clip = testsupport::SamplePath("clip.asf");
        if (clip.empty()) return {};
        std::filesystem::copy_file(clip, folder.File("clip.asf"));
        // Long enough for GStreamer to tell that it is SAMI.
        std::ofstream(folder.File("clip.smi")) << "<SAMI>\n<HEAD>\n<TITLE>Larkspan sample</TITLE>\n</HEAD>\n<BODY>\n"
                                                  "<SYNC Start=100><P Class=ENCC>one<br>two</P>\n"
                                                  "<SYNC Start=30000><P Class=ENCC>&nbsp;</P>\n</BODY>\n</SAMI>\n";
        return folder.File("clip.asf");
    }
    bool OpenAndWait(const std::string& path) {
        return player->Open(QString::fromStdString(path)) &&
               WaitFor([this] { return Count(4) + Count(6) > 0; }) && Count(4) == 1;
    }
    int Count(int code) const {
        int n = 0;
        for (const auto& note : notes) n += note.first == code;
        return n;
    }
    std::vector<int> States() const {
        std::vector<int> states;
        for (const auto& note : notes)
            if (note.first == 2) states.push_back(note.second);
        return states;
    }

    testsupport::TempFolder folder{"player"};
    RecorderSettings settings;
    MemoryProfile profile;
    Skin skin;
    std::unique_ptr<PlayerWindow> player;
    std::vector<std::pair<int, int>> notes;
    std::vector<int> ownerCommands;
};

TEST_F(PlayerWindowTest, WithNothingOpenCommandsAreHarmless) {
    player->Play();
    player->RunCommand(pc::kPlayPause);
    player->RunCommand(pc::kForward30);
    EXPECT_EQ(PlayerState::Stopped, player->State());
    EXPECT_TRUE(notes.empty());

    player->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(player.get()));
    player->close();
    EXPECT_FALSE(player->isVisible());
    EXPECT_EQ(std::vector<int>{pc::kOwnerStop}, ownerCommands);
}

TEST_F(PlayerWindowTest, VolumeAndBalanceMessages) {
    const struct {
        std::function<void()> act;
        QString message;
        int volume, balance;
    } cases[] = {
        {[this] { player->SetVolumeAndShow(-5000); }, "Volume : 50 %", -5000, 0},
        {[this] { player->SetVolumeAndShow(-50); }, "Volume : 99 %", -50, 0},
        {[this] { player->RunCommand(pc::kVolumeUp); }, "Volume : 100 %", 0, 0},
        {[this] { player->RunCommand(pc::kVolumeUp); }, "Volume : 100 %", 0, 0},
        {[this] { player->SetVolumeAndShow(-9950); }, "Volume : 0 %", -9950, 0},
        {[this] { player->RunCommand(pc::kVolumeDown); }, "Volume : 0 %", -10000, 0},
        {[this] { player->SetBalanceAndShow(70); }, "Left : 30%", -10000, -900},
        {[this] { player->SetBalanceAndShow(130); }, "Right : 30%", -10000, 900},
        {[this] { player->SetBalanceAndShow(100); }, "Center", -10000, 0},
    };
    for (const auto& c : cases) {
        c.act();
        EXPECT_EQ(c.message, player->ShownTitle());
        EXPECT_EQ(c.volume, player->Engine().GetVolume()) << c.message.toStdString();
        EXPECT_EQ(c.balance, player->Engine().GetBalance()) << c.message.toStdString();
    }
    // The message gives way to the media title after a second.
    EXPECT_TRUE(WaitFor([this] { return player->ShownTitle() == "Larkspan Recorder/Player"; }));
}

TEST_F(PlayerWindowTest, CaptionCommandsKeepTheirBounds) {
    settings.captionMargin = 3;
    player->RunCommand(pc::kSmallCaption);
    EXPECT_EQ(0, settings.captionMargin);
    player->RunCommand(pc::kLargeCaption);
    EXPECT_EQ(5, settings.captionMargin);
    settings.enableCaption = 0;
    player->RunCommand(pc::kLargeCaption);  // no captions: nothing
    EXPECT_EQ(5, settings.captionMargin);

    settings.captionSize = 200;
    player->RunCommand(pc::kFontBigger);
    EXPECT_EQ(200, settings.captionSize);
    EXPECT_EQ(200, player->CaptionFont().pointSize());
    settings.captionSize = 1;
    player->RunCommand(pc::kFontSmaller);
    EXPECT_EQ(1, player->CaptionFont().pointSize());
}

TEST_F(PlayerWindowTest, WindowPlacesAreKeptInTheProfile) {
    // Nothing saved yet: the player is centred, the caption window sits at the
    // bottom-left of the work area.
    const QRect work = QGuiApplication::primaryScreen()->availableGeometry();
    EXPECT_EQ(QPoint(work.width() / 2 - 183, work.height() / 2 - 146), player->pos());
    player->RunCommand(pc::kCaptionWindow);
    ASSERT_NE(nullptr, player->SeparateCaptionWindow());
    EXPECT_EQ(QRect(0, work.height() - 100, work.width() / 2, 100), player->SeparateCaptionWindow()->geometry());
    player->SeparateCaptionWindow()->setGeometry(10, 20, 300, 120);
    player->RunCommand(pc::kCaptionWindow);
    EXPECT_EQ(nullptr, player->SeparateCaptionWindow());
    player->move(40, 50);
    player.reset();
    for (const auto& [key, value] : std::vector<std::pair<std::string, int>>{
             {"Caption x", 10}, {"Caption y", 20}, {"Caption w", 300}, {"Caption h", 120}, {"Player xPos", 40},
             {"Player yPos", 50}})
        EXPECT_EQ(value, profile.GetInt("Settings", key, -1)) << key;
}

TEST_F(PlayerWindowTest, FailedOpenSaysUrlNotFound) {
    const std::string missing = folder.File("missing.asf");
    player->Open(QString::fromStdString(missing));
    ASSERT_TRUE(WaitFor([this] { return Count(6) == 1; }));
    EXPECT_EQ(QString::fromStdString(missing) + " - Url not found", player->ShownTitle());
    EXPECT_FALSE(player->isVisible());
}

TEST_F(PlayerWindowTest, CaptionedVideoSizesLayoutAndSeeking) {
    const std::string clip = CaptionedClip();
    ASSERT_FALSE(clip.empty()) << testsupport::SamplesError();
    settings.repeat = 0;
    ASSERT_TRUE(OpenAndWait(clip));
    EXPECT_TRUE(player->isVisible());
    EXPECT_EQ(1, settings.enableCaption);
    EXPECT_EQ(QSize(366, 342), player->size());
    EXPECT_EQ(QRect(23, 26, 320, 240), player->VideoGeometry());
    ASSERT_TRUE(WaitFor([this] { return player->CurrentCaption() == "one\ntwo"; }));

    player->RunCommand(pc::kHalfSize);
    EXPECT_EQ(QSize(206, 222), player->size());
    EXPECT_EQ(QRect(23, 26, 160, 120), player->VideoGeometry());
    EXPECT_EQ("Half size : 160x120", player->ShownTitle());

    // Esc only leaves full screen, never enters it.
    player->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(player.get()));
    QTest::keyClick(player.get(), Qt::Key_Escape);
    EXPECT_FALSE(player->InFullScreen());
    player->RunCommand(pc::kFullSize);
    EXPECT_TRUE(player->InFullScreen());
    QTest::keyClick(player.get(), Qt::Key_Escape);
    EXPECT_FALSE(player->InFullScreen());
    EXPECT_EQ(QSize(206, 222), player->size());

}

TEST_F(PlayerWindowTest, JumpsKeepTheirGuards) {
    // 35 s of small video, so that both guards can be reached.
    ASSERT_TRUE(testsupport::HaveTool("ffmpeg"));
    const std::string medium = folder.File("long.asf");
    ASSERT_EQ(0, testsupport::RunCommand("ffmpeg -nostdin -loglevel error -f lavfi -i testsrc=size=64x48:rate=5 -t 35 "
                                         "-c:v wmv2 -f asf " + testsupport::ShellQuote(medium)));
    ASSERT_TRUE(OpenAndWait(medium));
    ASSERT_EQ(35.0, player->Duration());
    player->RunCommand(pc::kPlayPause);
    ASSERT_EQ(PlayerState::Paused, player->State());
    const struct {
        double at;
        int command;
        double expected;
    } jumps[] = {{20.0, pc::kBack30, 20.0}, {31.0, pc::kBack30, 1.0},      {30.9, pc::kBack30, 30.9},
                 {5.0, pc::kForward30, 5.0}, {4.5, pc::kForward30, 34.0}, {34.0, pc::kBack60, 34.0}};
    for (const auto& jump : jumps) {
        player->Seek(jump.at);
        ASSERT_TRUE(WaitFor([&] { return player->Position() == jump.at; }));
        player->RunCommand(jump.command);
        EXPECT_TRUE(WaitFor([&] { return player->Position() == jump.expected; })) << jump.at;
    }
}

TEST_F(PlayerWindowTest, RepeatStartsAgainAtTheEnd) {
    // Without captions: a caption stream keeps the pipeline at the clock.
    const std::string clip = testsupport::SamplePath("clip.asf");
    ASSERT_FALSE(clip.empty()) << testsupport::SamplesError();
    settings.repeat = 1;
    ASSERT_TRUE(OpenAndWait(clip));
    ASSERT_TRUE(WaitFor([this] { return States().size() >= 4; }));
    const std::vector<int> states = States();
    EXPECT_EQ((std::vector<int>{0, 2, 0, 2}), std::vector<int>(states.begin(), states.begin() + 4));
    EXPECT_EQ(PlayerState::Playing, player->State());
}

TEST_F(PlayerWindowTest, AnEndStoppedBeforeItsTickIsForgotten) {
    const std::string clip = testsupport::SamplePath("clip.asf");
    ASSERT_FALSE(clip.empty()) << testsupport::SamplesError();
    settings.repeat = 0;
    QObject::connect(&player->Engine(), &PlaybackEngine::eventPosted, player.get(), [this] {
        player->RunCommand(pc::kStop);  // before the playback timer has seen the end
        player->Play();
        player->Pause();
    });
    ASSERT_TRUE(OpenAndWait(clip));
    ASSERT_TRUE(WaitFor([this] { return player->State() == PlayerState::Paused; }));
    const int ticks = Count(7);
    ASSERT_TRUE(WaitFor([&] { return Count(7) >= ticks + 2 || player->State() != PlayerState::Paused; }));
    EXPECT_EQ(PlayerState::Paused, player->State());
}

TEST_F(PlayerWindowTest, SoundOnlyHidesTheWindow) {
    const std::string audio = testsupport::SamplePath("audio.asf");
    ASSERT_FALSE(audio.empty()) << testsupport::SamplesError();
    player->show();
    ASSERT_TRUE(OpenAndWait(audio));
    EXPECT_FALSE(player->isVisible());
    EXPECT_EQ(PlayerState::Playing, player->State());
    EXPECT_FALSE(player->ScreenSaverHeld());
}

}  // namespace
}  // namespace larkspan
