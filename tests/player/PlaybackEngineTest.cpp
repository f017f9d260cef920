// The playback engine with sample media and the loopback stream server. The
// sound goes to a fake sink; frames and captions come through the engine's
// queued signals, so every wait below runs the Qt event loop.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QThread>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

#include "tests/support/Samples.h"
#include "tests/support/TempFolder.h"
#include "tools/server/LoopbackServer.h"
#include "ui/playback/PlaybackEngine.h"

namespace larkspan {
namespace {

using testserver::LoopbackServer;
using testserver::Pacing;
using testserver::StreamOptions;

QCoreApplication& App() {
    static int argc = 1;
    static char name[] = "playback_engine_test";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
    return app;
}

// Runs the event loop until done() holds; false after 20 s (only so that a
// fault cannot hang the suite).
bool WaitFor(const std::function<bool()>& done) {
    App();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        QCoreApplication::processEvents();
        QThread::msleep(5);
    }
    return true;
}

// Everything an engine reports, in order.
struct Watch {
    int opened = 0;
    QStringList failures;
    std::vector<PlaybackEvent> events;
    QStringList captions;
    int frames = 0;

    explicit Watch(PlaybackEngine& engine) {
        QObject::connect(&engine, &PlaybackEngine::opened, [this] { ++opened; });
        QObject::connect(&engine, &PlaybackEngine::openFailed, [this](const QString& why) { failures << why; });
        QObject::connect(&engine, &PlaybackEngine::eventPosted,
                         [this](PlaybackEvent event, const QString&) { events.push_back(event); });
        QObject::connect(&engine, &PlaybackEngine::captionReady, [this](const QString& text) { captions << text; });
        QObject::connect(&engine, &PlaybackEngine::frameReady, [this](const QImage&) { ++frames; });
    }
    bool Settled() const { return opened + failures.size() > 0; }
    int Count(PlaybackEvent event) const { return static_cast<int>(std::count(events.begin(), events.end(), event)); }
};

PlaybackEngineOptions TestOptions(bool syncToClock) {
    PlaybackEngineOptions options;
    options.fakeAudioOutput = true;
    options.syncToClock = syncToClock;
    options.streamSettings.idleTimeout = 2;
    return options;
}

class PlaybackEngineTest : public ::testing::Test {
protected:
    void SetUp() override {
        App();
        if (testsupport::SamplesDir().empty()) GTEST_SKIP() << testsupport::SamplesError();
    }
    static std::string Sample(const std::string& name) { return testsupport::SamplePath(name); }
    // Opens address and waits until it opened; false when it failed.
    static bool OpenAndWait(PlaybackEngine& engine, Watch& watch, const std::string& address) {
        return engine.Open(address) && WaitFor([&] { return watch.Settled(); }) && watch.opened == 1;
    }
};

TEST_F(PlaybackEngineTest, SamplesOpenWithTheirDurationAndVideoSize) {
    // Durations as the samples' headers give them: play duration less preroll.
    struct Case {
        const char* sample;
        double duration;
        int width, height;
    } cases[] = {{"clip.asf", 20.046, 320, 240}, {"audio.asf", 10.030, 0, 0}, {"bigpackets.asf", 8.046, 320, 240}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.sample);
        PlaybackEngine engine(TestOptions(true));
        Watch watch(engine);
        ASSERT_TRUE(OpenAndWait(engine, watch, Sample(c.sample)));
        EXPECT_NEAR(c.duration, engine.Duration(), 0.0005);
        EXPECT_EQ(c.width, engine.VideoWidth());
        EXPECT_EQ(c.height, engine.VideoHeight());
        EXPECT_FALSE(engine.HasCaptions());
    }
}

TEST_F(PlaybackEngineTest, SeekingStopsAtTheDuration) {
    PlaybackEngine engine(TestOptions(true));
    Watch watch(engine);
    ASSERT_TRUE(OpenAndWait(engine, watch, Sample("audio.asf")));
    const double duration = engine.Duration();
    ASSERT_TRUE(engine.Seek(4.0));
    ASSERT_TRUE(WaitFor([&] { return engine.Position() == 4.0; }));
    EXPECT_FALSE(engine.Seek(duration + 0.001));
    EXPECT_FALSE(engine.Seek(-0.001));
    EXPECT_EQ(4.0, engine.Position());
    EXPECT_TRUE(engine.Seek(duration));
    EXPECT_EQ(duration, engine.Position());
}

TEST_F(PlaybackEngineTest, RateStepsStayBetweenTheFloorAndTheCeiling) {
    struct Case {
        std::string steps;  // '+' RateUp, '-' RateDown
        double rate;
    } cases[] = {{"+", 1.1}, {"--", 0.8}, {std::string(20, '-'), 0.1}, {std::string(40, '+'), 4.0}};
    PlaybackEngine engine(TestOptions(true));
    Watch watch(engine);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.steps);
        watch.opened = 0;
        ASSERT_TRUE(OpenAndWait(engine, watch, Sample("audio.asf")));
        for (char step : c.steps) step == '+' ? engine.RateUp() : engine.RateDown();
        EXPECT_EQ(c.rate, engine.Rate());
        // A seek keeps the rate.
        ASSERT_TRUE(engine.Seek(1.0));
        EXPECT_EQ(c.rate, engine.Rate());
    }
    EXPECT_FALSE(engine.SetRate(0.0));
    EXPECT_EQ(4.0, engine.Rate());
}

TEST_F(PlaybackEngineTest, VolumeAndBalanceReachTheElements) {
    struct Case {
        int volume;
        double gain;
        int balance;
        double panorama;
    } cases[] = {{-10000, 0.0, -10000, -1.0}, {0, 1.0, 10000, 1.0}, {-2000, 0.1, 0, 0.0}, {-20000, 0.0, -2000, -0.9}};
    PlaybackEngine engine(TestOptions(true));
    Watch watch(engine);
    ASSERT_TRUE(OpenAndWait(engine, watch, Sample("audio.asf")));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.volume);
        engine.SetVolume(c.volume);
        engine.SetBalance(c.balance);
        EXPECT_EQ(static_cast<float>(c.gain), engine.AppliedGain());  // the element keeps a float
        EXPECT_NEAR(static_cast<float>(c.panorama), engine.AppliedPanorama(), 1e-9);
    }
    const std::vector<ElementProperty> properties = engine.FilterProperties("balance");
    auto method = std::find_if(properties.begin(), properties.end(), [](auto& p) { return p.name == "method"; });
    ASSERT_NE(properties.end(), method);
    EXPECT_EQ("GstAudioPanoramaMethod", method->type);
    EXPECT_EQ("((GstAudioPanoramaMethod) Simple Panning)", method->value);
    EXPECT_FALSE(method->readOnly);
}

TEST_F(PlaybackEngineTest, MuteAndVolumeCarryOverToTheNextMedium) {
    PlaybackEngine engine(TestOptions(true));
    Watch watch(engine);
    engine.SetVolume(-2000);
    ASSERT_TRUE(OpenAndWait(engine, watch, Sample("audio.asf")));
    engine.SetMute(true);
    engine.SetVolume(-4000);  // while muted only the volume to restore changes
    EXPECT_EQ(0.0, engine.AppliedGain());
    watch.opened = 0;
    ASSERT_TRUE(OpenAndWait(engine, watch, Sample("clip.asf")));
    EXPECT_TRUE(engine.IsMuted());
    EXPECT_EQ(-4000, engine.GetVolume());
    EXPECT_EQ(0.0, engine.AppliedGain());
    engine.SetMute(false);
    EXPECT_EQ(0.01f, engine.AppliedGain());
}

TEST_F(PlaybackEngineTest, CaptionsBesideTheMediumArriveInOrder) {
    // A dot in the folder's name only: the caption file is the whole file
    // name with ".smi", in that folder.
    testsupport::TempFolder folder("captions");
    std::filesystem::create_directory(folder.Dir() / "my.media");
    const std::string medium = folder.File("my.media/talk");
    std::filesystem::copy_file(Sample("audio.asf"), medium);
    std::ofstream(folder.File("my.media/talk.smi"))
        << "<SAMI><HEAD><TITLE>t</TITLE></HEAD><BODY>\n"
           "<SYNC Start=200><P Class=ENCC>first</P>\n"
           "<SYNC Start=500><P Class=ENCC>second line</P>\n"
           "<SYNC Start=800><P Class=ENCC>third</P>\n"
           "<SYNC Start=1100><P Class=ENCC>&nbsp;</P>\n"
           "</BODY></SAMI>\n";
    PlaybackEngine engine(TestOptions(true));
    Watch watch(engine);
    ASSERT_TRUE(OpenAndWait(engine, watch, medium));
    EXPECT_TRUE(engine.HasCaptions());
    ASSERT_TRUE(engine.Run());
    ASSERT_TRUE(WaitFor([&] { return watch.captions.size() >= 3; }));
    EXPECT_EQ((QStringList{"first", "second line", "third"}), watch.captions.mid(0, 3));
    std::string text;
    ASSERT_TRUE(engine.ReadCaption(text));
    EXPECT_EQ("first", text);
    // The captions do not take the end of the medium away.
    ASSERT_TRUE(engine.Seek(engine.Duration() - 0.3));
    EXPECT_TRUE(WaitFor([&] { return watch.Count(PlaybackEvent::Complete) == 1; }));
}

TEST_F(PlaybackEngineTest, TheEndOfAMediumIsPostedOnce) {
    PlaybackEngine engine(TestOptions(false));
    Watch watch(engine);
    ASSERT_TRUE(OpenAndWait(engine, watch, Sample("bigpackets.asf")));
    ASSERT_TRUE(engine.Run());
    ASSERT_TRUE(WaitFor([&] { return !watch.events.empty(); }));
    EXPECT_EQ(PlaybackEvent::Complete, engine.PollEvent());
    EXPECT_EQ(PlaybackEvent::None, engine.PollEvent());
    EXPECT_LT(0, watch.frames);
    engine.Close();
    QCoreApplication::processEvents();
    EXPECT_EQ((std::vector<PlaybackEvent>{PlaybackEvent::Complete}), watch.events);
    EXPECT_TRUE(engine.ListFilters().empty());
}

TEST_F(PlaybackEngineTest, WhatCannotBePlayedFailsToOpen) {
    testsupport::TempFolder folder("badmedia");
    std::ofstream(folder.File("garbage.asf")) << std::string(4000, 'x');
    std::ofstream(folder.File("empty.asf"));
    for (const std::string& path :
         {folder.File("missing.asf"), folder.File("garbage.asf"), folder.File("empty.asf")}) {
        SCOPED_TRACE(path);
        PlaybackEngine engine(TestOptions(true));
        Watch watch(engine);
        ASSERT_TRUE(engine.Open(path));
        ASSERT_TRUE(WaitFor([&] { return watch.Settled(); }));
        EXPECT_EQ(0, watch.opened);
        EXPECT_EQ(1, watch.failures.size());
        EXPECT_FALSE(engine.Run());
        EXPECT_EQ(0.0, engine.Duration());
    }
}

TEST_F(PlaybackEngineTest, DestroyingAPlayingEngineEndsItsPipeline) {
    auto engine = std::make_unique<PlaybackEngine>(TestOptions(true));
    Watch watch(*engine);
    ASSERT_TRUE(OpenAndWait(*engine, watch, Sample("clip.asf")));
    ASSERT_TRUE(engine->Run());
    ASSERT_TRUE(WaitFor([&] { return watch.frames >= 2; }));
    EXPECT_FALSE(engine->LastFrame().isNull());
    EXPECT_FALSE(engine->ListFilters().empty());
    engine.reset();
    QCoreApplication::processEvents();
}

TEST_F(PlaybackEngineTest, StreamsPlayThroughTheRecordersClients) {
    LoopbackServer server;
    ASSERT_TRUE(server.ServeFile("clip.asf", Sample("bigpackets.asf")));
    StreamOptions paced;
    paced.pacing = Pacing::Realtime;
    ASSERT_TRUE(server.ServeFile("paced.asf", Sample("clip.asf"), paced));
    ASSERT_TRUE(server.StartMms());
    ASSERT_TRUE(server.StartMmsh());
    for (bool mms : {true, false}) {
        SCOPED_TRACE(mms ? "mms" : "mmsh");
        {
            // On demand, as fast as it decodes: frames, then the end.
            PlaybackEngine engine(TestOptions(false));
            Watch watch(engine);
            ASSERT_TRUE(OpenAndWait(engine, watch, mms ? server.MmsUrl("clip.asf") : server.MmshUrl("clip.asf")));
            EXPECT_TRUE(engine.IsClientStream());
            EXPECT_FALSE(engine.Seek(1.0));
            ASSERT_TRUE(engine.Run());
            ASSERT_TRUE(WaitFor([&] { return !watch.events.empty(); }));
            EXPECT_EQ((std::vector<PlaybackEvent>{PlaybackEvent::Complete}), watch.events);
            EXPECT_LT(0, watch.frames);
        }
        server.ClearRecords();
        // At the stream's own pace: Stop and Close stop the client before the
        // end, and Run after Stop connects again.
        PlaybackEngine engine(TestOptions(true));
        Watch watch(engine);
        ASSERT_TRUE(OpenAndWait(engine, watch, mms ? server.MmsUrl("paced.asf") : server.MmshUrl("paced.asf")));
        ASSERT_TRUE(engine.Run());
        ASSERT_TRUE(WaitFor([&] { return watch.frames >= 2; }));
        ASSERT_TRUE(engine.Stop());
        ASSERT_TRUE(server.WaitForIdle(std::chrono::seconds(20)));
        const int framesBefore = watch.frames;
        ASSERT_TRUE(engine.Run());
        ASSERT_TRUE(WaitFor([&] { return watch.frames >= framesBefore + 2; }));
        engine.Close();
        ASSERT_TRUE(server.WaitForIdle(std::chrono::seconds(20)));
        int streaming = 0;  // connections that carried data packets (not a describe exchange)
        for (const auto& connection : server.Connections()) {
            if (connection.dataPacketsSent == 0) continue;
            ++streaming;
            EXPECT_FALSE(connection.completed);
        }
        EXPECT_EQ(2, streaming);
    }
}

TEST_F(PlaybackEngineTest, AWebFileTheClientsRefuseIsReadDirectly) {
    // One second of 8 kHz 16-bit mono silence as a WAV file: not ASF, so the
    // stream clients take nothing of it.
    auto le = [](std::vector<uint8_t>& out, uint32_t v, int bytes) {
        for (int i = 0; i < bytes; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
    };
    std::vector<uint8_t> wav = {'R', 'I', 'F', 'F'};
    le(wav, 36 + 16000, 4);
    for (char c : std::string("WAVEfmt ")) wav.push_back(static_cast<uint8_t>(c));
    for (auto [v, n] : {std::pair{16u, 4}, {1u, 2}, {1u, 2}, {8000u, 4}, {16000u, 4}, {2u, 2}, {16u, 2}}) le(wav, v, n);
    for (char c : std::string("data")) wav.push_back(static_cast<uint8_t>(c));
    le(wav, 16000, 4);
    wav.resize(wav.size() + 16000, 0);
    LoopbackServer server;
    server.ServeBody("tone.wav", wav, "audio/x-wav");
    ASSERT_TRUE(server.StartMmsh());
    PlaybackEngine engine(TestOptions(true));
    Watch watch(engine);
    ASSERT_TRUE(OpenAndWait(engine, watch, server.MmshUrl("tone.wav")));
    EXPECT_FALSE(engine.IsClientStream());
    EXPECT_EQ(1.0, engine.Duration());
}

}  // namespace
}  // namespace larkspan
