// Live capture on the loopback interface while a real player (ffmpeg)
// pulls a stream from our loopback server on the standard ports, 1755 for
// MMS and 80 for MMSH. Needs root for the capture; all traffic stays on
// 127.0.0.1.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>

#include "detect/AddressDetector.h"
#include "tests/detect/CaptureBuilder.h"
#include "tests/detect/DetectTestSupport.h"
#include "tests/support/Samples.h"
#include "tools/server/LoopbackServer.h"

namespace larkspan::detecttest {
namespace {

using testsupport::RunCommand;
using testsupport::ShellQuote;

TEST(LiveLoopbackServer, PlayerRequestsAndTitlesAreDetected) {
    if (geteuid() != 0) GTEST_SKIP() << "live capture needs root (or CAP_NET_RAW and CAP_NET_ADMIN); not root here";
    if (!testsupport::HaveTool("ffmpeg")) GTEST_SKIP() << "ffmpeg is not installed";
    LiveCaptureLock lock;

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
    ASSERT_TRUE(detector.StartDetectionOn("lo")) << sink.Messages()[0];

    std::vector<std::pair<std::string, std::string>> wanted;
    if (mms) {
        ASSERT_EQ(RunCommand("ffmpeg -nostdin -hide_banner -loglevel error -y -i mmst://127.0.0.1/clip.asf -c copy "
                             "-f asf " + ShellQuote(TempPath("via-mms.asf")) + " 2>&1",
                             &out),
                  0)
            << out;
        wanted.push_back({"mms://127.0.0.1/clip.asf", "Server Title"});
    }
    if (mmsh) {
        ASSERT_EQ(RunCommand("ffmpeg -nostdin -hide_banner -loglevel error -y -i mmsh://127.0.0.1/clip.asf -c copy "
                             "-f asf " + ShellQuote(TempPath("via-mmsh.asf")) + " 2>&1",
                             &out),
                  0)
            << out;
        wanted.push_back({"http://127.0.0.1/clip.asf", "Server Title"});
    }
    auto seen = [&](RecordingSink& s) {
        for (auto& w : wanted) {
            if (std::find(s.rows().begin(), s.rows().end(), w.first) == s.rows().end()) return false;
            if (std::find(s.names().begin(), s.names().end(), w) == s.names().end()) return false;
        }
        return true;
    };
    // Frames reach the capture within a read time-out; the limit only keeps
    // a broken capture from hanging the suite.
    EXPECT_TRUE(sink.WaitFor(seen, 30)) << ::testing::PrintToString(sink.Rows()) << " "
                                        << ::testing::PrintToString(sink.Names());
    for (auto& [url, title] : sink.Names()) std::printf("detected %s \"%s\"\n", url.c_str(), title.c_str());
    detector.StopDetection();
    detector.Wait();
    server.Stop();
}

}  // namespace
}  // namespace larkspan::detecttest
