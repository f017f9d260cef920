// The media the loopback server makes from a file: the live variant held
// against the independent packet walker of tests/support, broken files, and
// what an independent client and reader (ffmpeg, ffprobe) make of each kind
// of stream it serves.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <functional>

#include "tests/support/AsfFileParts.h"
#include "tests/support/Samples.h"
#include "tests/support/TempFolder.h"
#include "tools/server/AsfMedia.h"
#include "tools/server/LoopbackServer.h"

namespace larkspan {
namespace {

using testserver::AsfMedia;
using testserver::StreamOptions;
namespace ts = testsupport;

// The live variant has a broadcast's header and every send and presentation
// time moved by the base; no other byte changes.
TEST(AsfMediaTest, LiveVariantShiftsOnlyTheTimes) {
    const std::string path = ts::SamplePath("clip.asf");
    if (path.empty()) GTEST_SKIP() << ts::SamplesError();
    AsfMedia media;
    ts::AsfFileParts parts;
    ASSERT_TRUE(AsfMedia::LoadFile(path, media) && ts::SplitAsfFile(path, parts));
    const uint32_t base = 5'000'000;
    const AsfMedia live = testserver::MakeLive(media, base);
    EXPECT_TRUE(live.live);
    const size_t fp = parts.filePropertiesOffset;
    std::vector<uint8_t> header = parts.header;
    for (size_t field : {40, 56, 64, 72}) ts::PutLE64(header, fp + field, 0);  // sizes, count, durations
    ts::PutLE32(header, fp + 88, (ts::GetLE32(header, fp + 88) & ~2u) | 1u);   // broadcast, not seekable
    EXPECT_EQ(live.header, header);
    ASSERT_EQ(live.packets.size(), parts.packets.size());
    for (size_t i = 0; i < parts.packets.size(); ++i) {
        std::vector<uint8_t> packet = parts.packets[i];
        ts::AsfPacketLayout layout;
        ASSERT_TRUE(ts::WalkAsfPacket(packet, parts.packetSize, layout));
        ASSERT_FALSE(layout.presentationTimeOffsets.empty()) << i;
        ts::PutLE32(packet, layout.sendTimeOffset, ts::GetLE32(packet, layout.sendTimeOffset) + base);
        for (size_t at : layout.presentationTimeOffsets) ts::PutLE32(packet, at, ts::GetLE32(packet, at) + base);
        ASSERT_EQ(live.packets[i], packet) << i;
    }
}

// Broken files give their reason; the sizes the server accepts end exactly
// where the format's do.
TEST(AsfMediaTest, ParsesOnlyFilesItCanServe) {
    const std::string path = ts::SamplePath("clip.asf");
    if (path.empty()) GTEST_SKIP() << ts::SamplesError();
    const std::vector<uint8_t> good = ts::ReadFileBytes(path);
    ts::AsfFileParts parts;
    ASSERT_TRUE(ts::SplitAsf(good, parts));
    const size_t fp = parts.filePropertiesOffset, data = parts.dataObjectOffset;
    auto packetSize = [fp](uint32_t size) {
        return [fp, size](std::vector<uint8_t>& b) {
            ts::PutLE32(b, fp + 92, size);
            ts::PutLE32(b, fp + 96, size);
        };
    };
    const std::string pastTheEnd = "Header Object size runs past the end of the file";
    struct Row {
        const char* name;
        std::function<void(std::vector<uint8_t>&)> bend;
        std::string error;  // empty: parses
        size_t packets = 0;
    };
    const Row rows[] = {
        {"29 bytes", [](auto& b) { b.resize(29); }, "not an ASF file (no Header Object)"},
        {"not ASF", [](auto& b) { b[0] ^= 0xFF; }, "not an ASF file (no Header Object)"},
        {"header size 29", [](auto& b) { ts::PutLE64(b, 16, 29); }, pastTheEnd},
        {"data object head cut", [&](auto& b) { b.resize(data + 49); }, pastTheEnd},
        {"data object head whole", [&](auto& b) { b.resize(data + 50); }, "", 0},
        {"no data object", [&](auto& b) { b[data] ^= 0xFF; }, "no Data Object right after the Header Object"},
        {"no file properties", [&](auto& b) { b[fp] ^= 0xFF; }, "no File Properties Object"},
        {"min != max", [&](auto& b) { ts::PutLE32(b, fp + 96, parts.packetSize + 1); }, "packet size not fixed"},
        {"packet size 15", packetSize(15), "packet size out of range"},
        {"packet size 65528", packetSize(65528), "packet size out of range"},
        {"packet size 16", packetSize(16), "", parts.packets.size() * parts.packetSize / 16},
        {"packet size 65527", packetSize(65527), "", parts.packets.size() * parts.packetSize / 65527},
        {"three packets and a part", [&](auto& b) { b.resize(data + 50 + 3 * parts.packetSize + 100); }, "", 3},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        std::vector<uint8_t> bytes = good;
        row.bend(bytes);
        AsfMedia media;
        std::string error;
        EXPECT_EQ(AsfMedia::Parse(bytes.data(), bytes.size(), media, &error), row.error.empty());
        EXPECT_EQ(error, row.error);
        EXPECT_EQ(media.packets.size(), row.packets);
    }
}

// What ffprobe makes of a file or a stream: each stream's codec, then the
// start time and the duration, a line each.
std::string ProbeOf(const std::string& input) {
    std::string out;
    ts::RunCommand("timeout -s KILL 60 ffprobe -v error -show_entries stream=codec_name:format=start_time,duration "
                   "-of csv=p=0 " + ts::ShellQuote(input), &out);
    return out;
}

// ffmpeg's own mmsh:// and mmst:// clients record each kind of stream the
// server makes, and ffprobe finds the source's streams and duration in the
// result; a live stream starts at the base time and has no duration.
TEST(ServerInteropTest, IndependentClientRecordsEachKindOfStream) {
    if (!ts::HaveTool("ffmpeg") || !ts::HaveTool("ffprobe")) GTEST_SKIP() << "ffmpeg/ffprobe not installed";
    const std::string dir = ts::SamplesDir();
    if (dir.empty()) GTEST_SKIP() << ts::SamplesError();
    const StreamOptions reshaped{.trimPadding = true, .pingEvery = 25, .headerPacketSize = 256}, live{.live = true};
    testserver::LoopbackServer server;
    ASSERT_TRUE(server.ServeFile("clip.asf", dir + "/clip.asf"));
    ASSERT_TRUE(server.ServeFile("audio.asf", dir + "/audio.asf", reshaped));
    ASSERT_TRUE(server.ServeFile("bigpackets.asf", dir + "/bigpackets.asf", reshaped));
    ASSERT_TRUE(server.ServeFile("live.asf", dir + "/clip.asf", live));
    ASSERT_TRUE(server.StartMmsh() && server.StartMms());
    const std::string mmsh = "mmsh://127.0.0.1:" + std::to_string(server.MmshPort()) + "/";
    const std::string mmst = "mmst://127.0.0.1:" + std::to_string(server.MmsPort()) + "/";
    ts::TempFolder out("server-interop");
    for (const std::string& url : {mmsh + "clip.asf", mmst + "clip.asf", mmsh + "audio.asf", mmst + "bigpackets.asf"}) {
        SCOPED_TRACE(url);
        const std::string file = out.File("recorded.asf"), source = dir + url.substr(url.rfind('/'));
        std::string log;
        EXPECT_EQ(ts::RunCommand("timeout -s KILL 60 ffmpeg -nostdin -loglevel error -i " + ts::ShellQuote(url) +
                                     " -c copy -y " + ts::ShellQuote(file) + " 2>&1", &log), 0) << log;
        // The same streams and start time; the duration give or take a millisecond of remuxing.
        const std::string got = ProbeOf(file), want = ProbeOf(source);
        const size_t comma = want.rfind(',');
        ASSERT_NE(comma, std::string::npos) << want;
        EXPECT_EQ(got.substr(0, got.rfind(',')), want.substr(0, comma));
        EXPECT_NEAR(std::atof(got.c_str() + got.rfind(',') + 1), std::atof(want.c_str() + comma + 1), 0.002);
    }
    for (const std::string& url : {mmsh + "live.asf", mmst + "live.asf"})
        EXPECT_EQ(ProbeOf(url), "wmv2\nwmav2\n5000.000000,N/A\n") << url;
}

#ifdef LARKSPAN_TESTSERVER_PROGRAM
// The program prints its ports on its first line and ends by itself after
// the requests it was told to serve.
TEST(ServerInteropTest, ProgramServesAndExitsAfterRequests) {
    const std::string clip = ts::SamplePath("clip.asf");
    if (clip.empty() || !ts::HaveTool("ffprobe")) GTEST_SKIP() << "samples or ffprobe missing";
    const std::string command = std::string(LARKSPAN_TESTSERVER_PROGRAM) +
                                " --print-port --mms-port 0 --exit-after-requests 3 --time-limit 120 clip.asf=" +
                                ts::ShellQuote(clip);
    FILE* program = ::popen(command.c_str(), "r");
    ASSERT_NE(program, nullptr);
    unsigned httpPort = 0, mmsPort = 0;
    ASSERT_EQ(std::fscanf(program, "%u %u", &httpPort, &mmsPort), 2);
    EXPECT_EQ(ProbeOf("mmst://127.0.0.1:" + std::to_string(mmsPort) + "/clip.asf"), ProbeOf(clip));
    EXPECT_EQ(ProbeOf("mmsh://127.0.0.1:" + std::to_string(httpPort) + "/clip.asf"), ProbeOf(clip));
    const int status = ::pclose(program);  // returns once the program has ended
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}
#endif

}  // namespace
}  // namespace larkspan
