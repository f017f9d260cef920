// The loopback server against an independent client: ffmpeg's mmsh:// and
// mmst:// protocols must record from it, and ffprobe must see the source's
// streams and duration in what they wrote.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <sstream>

#include "tests/support/Samples.h"
#include "tools/server/LoopbackServer.h"

namespace larkspan {
namespace {

using namespace std::chrono_literals;
using testserver::LoopbackServer;
using testserver::StreamOptions;
namespace ts = testsupport;
namespace fs = std::filesystem;

struct Probe {
    std::vector<std::string> codecs;
    double duration = -1;     // -1: none reported
    double startTime = -1;
    bool ok = false;
};

Probe ProbeOf(const std::string& input) {
    std::string out;
    Probe p;
    int status = ts::RunCommand("timeout -s KILL 60 ffprobe -v error -show_entries "
                                "stream=codec_name:format=duration,start_time -of default=nw=1 " +
                                    ts::ShellQuote(input),
                                &out);
    p.ok = status == 0;
    std::istringstream lines(out);
    std::string line;
    while (std::getline(lines, line)) {
        auto value = line.substr(line.find('=') + 1);
        if (line.rfind("codec_name=", 0) == 0) p.codecs.push_back(value);
        if (line.rfind("duration=", 0) == 0 && value != "N/A") p.duration = std::stod(value);
        if (line.rfind("start_time=", 0) == 0 && value != "N/A") p.startTime = std::stod(value);
    }
    return p;
}

class FfmpegInteropTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!ts::HaveTool("ffmpeg") || !ts::HaveTool("ffprobe")) GTEST_SKIP() << "ffmpeg/ffprobe not installed";
        std::string dir = ts::SamplesDir();
        if (dir.empty()) GTEST_SKIP() << ts::SamplesError();
        clip_ = dir + "/clip.asf";
        big_ = dir + "/bigpackets.asf";
        tmp_ = fs::temp_directory_path() / ("larkspan-tools-" + std::to_string(getpid()) + "-" +
                                            ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(tmp_);
    }
    void TearDown() override {
        server_.Stop();
        std::error_code ec;
        if (!tmp_.empty()) fs::remove_all(tmp_, ec);
    }

    // ffmpeg copies the stream into a file; its exit status.
    int Record(const std::string& url, const std::string& out, const std::string& extra = {}) {
        std::string log;
        int status = ts::RunCommand("timeout -s KILL 60 ffmpeg -nostdin -hide_banner -loglevel error " + extra +
                                        " -i " + ts::ShellQuote(url) + " -c copy -y " + ts::ShellQuote(out) +
                                        " 2>&1",
                                    &log);
        if (status != 0) ADD_FAILURE() << url << ": " << log;
        return status;
    }

    void ExpectSameMedia(const std::string& recorded, const std::string& source) {
        Probe a = ProbeOf(recorded), b = ProbeOf(source);
        ASSERT_TRUE(a.ok && b.ok);
        EXPECT_EQ(a.codecs, b.codecs);
        EXPECT_NEAR(a.duration, b.duration, 0.05);
    }

    std::string clip_, big_;
    fs::path tmp_;
    LoopbackServer server_;
};

TEST_F(FfmpegInteropTest, RecordsOnDemandOverMmshAndMms) {
    ASSERT_TRUE(server_.ServeFile("clip.asf", clip_));
    ASSERT_TRUE(server_.StartMmsh());
    ASSERT_TRUE(server_.StartMms());
    const std::string viaMmsh = (tmp_ / "mmsh.asf").string(), viaMms = (tmp_ / "mms.asf").string();
    const std::string port = std::to_string(server_.MmshPort()), mmsPort = std::to_string(server_.MmsPort());
    ASSERT_EQ(Record("mmsh://127.0.0.1:" + port + "/clip.asf", viaMmsh), 0);
    ExpectSameMedia(viaMmsh, clip_);
    ASSERT_EQ(Record("mmst://127.0.0.1:" + mmsPort + "/clip.asf", viaMms), 0);
    ExpectSameMedia(viaMms, clip_);

    // ffmpeg's requests as the server saw them: a describe, then a play.
    auto requests = server_.HttpRequests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_FALSE(requests[0].play);
    EXPECT_TRUE(requests[1].play);
    auto commands = server_.MmsCommands();
    ASSERT_FALSE(commands.empty());
    EXPECT_EQ(commands[0].name, "Connect");
}

TEST_F(FfmpegInteropTest, RecordsTrimmedPacketsSplitHeaderAndPings) {
    StreamOptions options;
    options.trimPadding = true;
    options.headerPacketSize = 256;
    options.pingEvery = 25;
    ASSERT_TRUE(server_.ServeFile("clip.asf", clip_, options));
    ASSERT_TRUE(server_.ServeFile("big.asf", big_, options));
    ASSERT_TRUE(server_.StartMmsh());
    ASSERT_TRUE(server_.StartMms());
    const std::string port = std::to_string(server_.MmshPort()), mmsPort = std::to_string(server_.MmsPort());
    for (const char* name : {"clip.asf", "big.asf"}) {
        const std::string source = std::string(name) == "clip.asf" ? clip_ : big_;
        const std::string a = (tmp_ / ("h-" + std::string(name))).string();
        const std::string b = (tmp_ / ("t-" + std::string(name))).string();
        ASSERT_EQ(Record("mmsh://127.0.0.1:" + port + "/" + name, a), 0);
        ExpectSameMedia(a, source);
        ASSERT_EQ(Record("mmst://127.0.0.1:" + mmsPort + "/" + name, b), 0);
        ExpectSameMedia(b, source);
    }
    // ffmpeg answers Pings while it reads, but closes as soon as it holds
    // the header's packet count, leaving the last Pings unanswered.
    ASSERT_TRUE(server_.WaitForIdle(20s));
    uint32_t pings = 0, pongs = 0;
    for (const auto& c : server_.Connections()) {
        if (c.protocol != testserver::Protocol::Mms) continue;
        EXPECT_EQ(c.pingsSent, c.dataPacketsSent / 25);
        pings += c.pingsSent;
        pongs += c.pongsReceived;
    }
    EXPECT_GT(pings, 0u);
    EXPECT_GT(pongs, 0u);
}

// The live variant as an independent reader sees it: times start at the
// base (5,000 s) and there is no duration.
TEST_F(FfmpegInteropTest, LiveStreamStartsAtTheBaseTime) {
    StreamOptions options;
    options.live = true;
    ASSERT_TRUE(server_.ServeFile("live.asf", clip_, options));
    ASSERT_TRUE(server_.StartMmsh());
    ASSERT_TRUE(server_.StartMms());
    for (const std::string& url : {"mmsh://127.0.0.1:" + std::to_string(server_.MmshPort()) + "/live.asf",
                                   "mmst://127.0.0.1:" + std::to_string(server_.MmsPort()) + "/live.asf"}) {
        Probe p = ProbeOf(url);
        ASSERT_TRUE(p.ok) << url;
        EXPECT_NEAR(p.startTime, 5000.0, 0.001) << url;
        EXPECT_EQ(p.duration, -1) << url;
    }
    // ffmpeg never ends a live mmst stream by itself; a time limit does.
    const std::string out = (tmp_ / "live.asf").string();
    ASSERT_EQ(Record("mmst://127.0.0.1:" + std::to_string(server_.MmsPort()) + "/live.asf", out, "-t 3"), 0);
    Probe recorded = ProbeOf(out);
    EXPECT_EQ(recorded.codecs, (std::vector<std::string>{"wmv2", "wmav2"}));
}

#ifdef LARKSPAN_TESTSERVER_PROGRAM
// The program prints its ports on its first line and ends by itself after
// the requests it was told to serve.
TEST_F(FfmpegInteropTest, ProgramServesAndExitsAfterRequests) {
    const std::string command = std::string(LARKSPAN_TESTSERVER_PROGRAM) +
                                " --print-port --mms-port 0 --exit-after-requests 3 --time-limit 120 clip.asf=" +
                                ts::ShellQuote(clip_);
    FILE* program = popen(command.c_str(), "r");
    ASSERT_NE(program, nullptr);
    unsigned httpPort = 0, mmsPort = 0;
    ASSERT_EQ(std::fscanf(program, "%u %u", &httpPort, &mmsPort), 2);
    const std::string a = (tmp_ / "a.asf").string(), b = (tmp_ / "b.asf").string();
    EXPECT_EQ(Record("mmsh://127.0.0.1:" + std::to_string(httpPort) + "/clip.asf", a), 0);
    EXPECT_EQ(Record("mmst://127.0.0.1:" + std::to_string(mmsPort) + "/clip.asf", b), 0);
    ExpectSameMedia(a, clip_);
    ExpectSameMedia(b, clip_);
    int status = pclose(program);  // returns once the program has ended
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}
#endif

}  // namespace
}  // namespace larkspan
