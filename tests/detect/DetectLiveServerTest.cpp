// Live capture on the loopback interface ("lo", and "any" with its cooked
// framing) while our own recorder or an independent player (ffmpeg) pulls a
// stream from our loopback server on the standard ports, 1755 for MMS and 80
// for MMSH. Needs root for the capture; all traffic stays on 127.0.0.1.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>

#include "asf/OutputFile.h"
#include "detect/AddressDetector.h"
#include "protocols/mms/MmsClient.h"
#include "protocols/mmsh/MmshClient.h"
#include "tests/detect/CaptureBuilder.h"
#include "tests/support/Samples.h"
#include "tests/support/WellKnownPortsLock.h"
#include "tools/server/LoopbackServer.h"

namespace larkspan::detecttest {
namespace {

using testsupport::RunCommand;
using testsupport::ShellQuote;

enum class Player { OurRecorder, Ffmpeg };

// Pulls mms://127.0.0.1/clip.asf or http://127.0.0.1/clip.asf into a file.
void Pull(Player player, bool mms) {
    const std::string url = mms ? "mms://127.0.0.1/clip.asf" : "http://127.0.0.1/clip.asf";
    const std::string file = TempPath(std::string(mms ? "via-mms" : "via-mmsh") +
                                      (player == Player::Ffmpeg ? "-ffmpeg.asf" : ".asf"));
    if (player == Player::OurRecorder) {
        OutputFile out;
        ASSERT_TRUE(out.Create(file));
        RecorderSettings settings;
        RecordEventSink events;
        const uint32_t got = mms ? MmsClient(1, settings, &events).Record(&out, url)
                                 : MmshClient(1, settings, &events, nullptr).Record(&out, url);
        EXPECT_GT(got, 0u) << url;
        EXPECT_TRUE(out.Close());
        return;
    }
    std::string out;
    ASSERT_EQ(RunCommand("ffmpeg -nostdin -hide_banner -loglevel error -y -i " +
                             std::string(mms ? "mmst" : "mmsh") + "://127.0.0.1/clip.asf -c copy -f asf " +
                             ShellQuote(file) + " 2>&1",
                         &out),
              0)
        << out;
}

class LiveLoopbackServer : public ::testing::TestWithParam<std::pair<const char*, Player>> {};

TEST_P(LiveLoopbackServer, PlayerRequestsAndTitlesAreDetected) {
    if (geteuid() != 0) GTEST_SKIP() << "live capture needs root (or CAP_NET_RAW and CAP_NET_ADMIN); not root here";
    if (!testsupport::HaveTool("ffmpeg")) GTEST_SKIP() << "ffmpeg is not installed";
    testsupport::WellKnownPortsLock ports;

    const std::string media = TempPath("server-titled.asf");
    std::string out;
    ASSERT_EQ(RunCommand("ffmpeg -nostdin -hide_banner -loglevel error -y -f lavfi -i sine=frequency=440 -t 2 "
                         "-c:a wmav2 -b:a 64k -packet_size 3200 -metadata title='Server Title' -f asf " +
                             ShellQuote(media) + " 2>&1",
                         &out),
              0)
        << out;

    testserver::LoopbackServer server;
    std::string error;
    ASSERT_TRUE(server.ServeFile("clip.asf", media, {}, &error)) << error;
    const bool mms = server.StartMms(1755, &error);
    const bool mmsh = server.StartMmsh(80, &error);
    if (!mms && !mmsh) GTEST_SKIP() << "ports 1755 and 80 on 127.0.0.1 are taken: " << error;

    RecordingSink sink;
    AddressDetector detector(sink);
    ASSERT_TRUE(detector.StartDetectionOn(GetParam().first)) << sink.messages[0];

    std::vector<std::pair<std::string, std::string>> wanted;
    if (mms) {
        Pull(GetParam().second, true);
        wanted.push_back({"mms://127.0.0.1/clip.asf", "Server Title"});
    }
    if (mmsh) {
        Pull(GetParam().second, false);
        wanted.push_back({"http://127.0.0.1/clip.asf", "Server Title"});
    }
    // Frames reach the capture within a read time-out; the wait only keeps a
    // broken capture from hanging the suite.
    auto seen = [&] {
        for (const auto& w : wanted) {
            if (std::count(sink.rows.begin(), sink.rows.end(), w.first) != 1) return false;
            if (std::find(sink.names.begin(), sink.names.end(), w) == sink.names.end()) return false;
        }
        return true;
    };
    EXPECT_TRUE(sink.WaitFor(seen)) << ::testing::PrintToString(sink.rows) << ::testing::PrintToString(sink.names);
    detector.StopDetection();
    detector.Wait();
    server.Stop();
    EXPECT_EQ(sink.messages, Rows{});
}

INSTANTIATE_TEST_SUITE_P(Players, LiveLoopbackServer,
                         ::testing::Values(std::make_pair("lo", Player::OurRecorder), std::make_pair("lo", Player::Ffmpeg),
                                           std::make_pair("any", Player::OurRecorder)),
                         [](const auto& info) {
                             return std::string(info.param.first) +
                                    (info.param.second == Player::OurRecorder ? "OurRecorder" : "Ffmpeg");
                         });

}  // namespace
}  // namespace larkspan::detecttest
