// Live capture on the loopback interface ("lo", and "any" with its cooked
// framing) while our own recorder or an independent player (ffmpeg) pulls a
// stream from our loopback server on the standard ports, 1755 for MMS and 80
// for MMSH; then the start of a recording stops detection. Needs root for
// the capture; all traffic stays on 127.0.0.1.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>

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

class LiveLoopbackServer : public ::testing::TestWithParam<std::pair<const char*, bool>> {};  // interface, ffmpeg

TEST_P(LiveLoopbackServer, PlayerRequestsAndTitlesAreDetected) {
    if (geteuid() != 0) GTEST_SKIP() << "live capture needs root (or CAP_NET_RAW and CAP_NET_ADMIN); not root here";
    if (!testsupport::HaveTool("ffmpeg")) GTEST_SKIP() << "ffmpeg is not installed";
    testsupport::WellKnownPortsLock ports;
    const std::string media = TempPath("server-titled.asf"), pulled = TempPath("pulled.asf");
    std::string out, error;
    ASSERT_EQ(RunCommand("ffmpeg -nostdin -hide_banner -loglevel error -y -f lavfi -i sine=frequency=440 -t 2 "
                         "-c:a wmav2 -b:a 64k -packet_size 3200 -metadata title='Server Title' -f asf " +
                             ShellQuote(media) + " 2>&1", &out), 0)
        << out;
    testserver::LoopbackServer server;
    ASSERT_TRUE(server.ServeFile("clip.asf", media, {}, &error)) << error;
    const bool mms = server.StartMms(1755, &error), mmsh = server.StartMmsh(80, &error);
    if (!mms && !mmsh) GTEST_SKIP() << "ports 1755 and 80 on 127.0.0.1 are taken: " << error;

    RecordingSink sink;
    AddressDetector detector(sink);
    ASSERT_TRUE(detector.StartDetectionOn(GetParam().first)) << sink.messages[0];
    Names wanted;
    for (bool viaMms : {true, false}) {
        if (viaMms ? !mms : !mmsh) continue;
        const std::string url = viaMms ? "mms://127.0.0.1/clip.asf" : "http://127.0.0.1/clip.asf";
        wanted.push_back({url, "Server Title"});
        if (GetParam().second) {
            ASSERT_EQ(RunCommand("ffmpeg -nostdin -hide_banner -loglevel error -y -i " +
                                     std::string(viaMms ? "mmst" : "mmsh") + "://127.0.0.1/clip.asf -c copy -f asf " +
                                     ShellQuote(pulled) + " 2>&1", &out), 0)
                << out;
            continue;
        }
        OutputFile file;
        ASSERT_TRUE(file.Create(pulled));
        RecorderSettings settings;
        RecordEventSink events;
        // What it records is checked by the protocol suites; here the traffic counts.
        if (viaMms) {
            MmsClient(1, settings, &events).Record(&file, url);
        } else {
            MmshClient(1, settings, &events, nullptr).Record(&file, url);
        }
    }
    // Frames reach the capture within a read time-out: each address once, with its title.
    auto seen = [&] {
        for (const auto& w : wanted) {
            if (std::count(sink.rows.begin(), sink.rows.end(), w.first) != 1) return false;
            if (std::find(sink.names.begin(), sink.names.end(), w) == sink.names.end()) return false;
        }
        return true;
    };
    EXPECT_TRUE(sink.WaitFor(seen)) << ::testing::PrintToString(sink.rows) << ::testing::PrintToString(sink.names);
    AddressDetector::ClearCaptureFlag();  // what the start of a recording does
    EXPECT_TRUE(sink.WaitFor([&] { return sink.stopped; }));
    detector.StopDetection();  // in case the flag did not stop it, so that Wait cannot hang
    detector.Wait();
    EXPECT_FALSE(detector.IsRunning());
    EXPECT_EQ(sink.messages, Rows{});
    server.Stop();
}

INSTANTIATE_TEST_SUITE_P(Players, LiveLoopbackServer,
                         ::testing::Values(std::make_pair("lo", false), std::make_pair("lo", true),
                                           std::make_pair("any", false)),
                         [](const auto& info) {
                             return info.param.first + std::string(info.param.second ? "Ffmpeg" : "Ours");
                         });

}  // namespace
}  // namespace larkspan::detecttest
