// A stored sample turned into what a live broadcast delivers, recorded the
// way a client records it, then finished; the result must play and seek like
// the original in ffprobe and GStreamer, and match byte for byte what the
// test works out on its own.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstdio>

#include "asf/AsfCodec.h"
#include "asf/OutputFile.h"
#include "tests/asf/AsfTestBytes.h"
#include "tests/asf/TempDir.h"
#include "tests/support/AsfFileParts.h"
#include "tests/support/Samples.h"

namespace larkspan {
namespace {

using testsupport::AsfFileParts;
using testsupport::AsfPacketLayout;
using testsupport::GetLE32;
using testsupport::PutLE32;
using testsupport::PutLE64;
using testsupport::RunCommand;
using testsupport::ShellQuote;

constexpr uint32_t kShiftMs = 5000000;

// Duration in seconds as ffprobe reports it; NaN when it reports none.
double FfprobeDuration(const std::string& path) {
    std::string out;
    int rc = RunCommand("ffprobe -v error -show_entries format=duration -of csv=p=0 " + ShellQuote(path), &out);
    if (rc != 0) return NAN;
    char* end = nullptr;
    double d = std::strtod(out.c_str(), &end);
    return end == out.c_str() ? NAN : d;
}

struct Discovered {
    bool ran = false;
    std::string text;
    bool seekable = false;
    double duration = NAN;  // seconds
};

Discovered Discover(const std::string& path) {
    Discovered d;
    d.ran = RunCommand("gst-discoverer-1.0 " + ShellQuote(path) + " 2>&1", &d.text) == 0;
    d.seekable = d.text.find("Seekable: yes") != std::string::npos;
    const size_t at = d.text.find("Duration: ");
    unsigned h = 0, m = 0;
    double sec = 0;
    if (at != std::string::npos && std::sscanf(d.text.c_str() + at, "Duration: %u:%u:%lf", &h, &m, &sec) == 3)
        d.duration = h * 3600.0 + m * 60.0 + sec;
    return d;
}

class LiveRecordingTest : public asftest::TempDirTest {};

TEST_F(LiveRecordingTest, FinishedLiveRecordingPlaysAndSeeksLikeTheOriginal) {
    if (testsupport::SamplesDir().empty()) GTEST_SKIP() << testsupport::SamplesError();
    const std::string clip = testsupport::SamplePath("clip.asf");
    AsfFileParts parts;
    std::string error;
    ASSERT_TRUE(testsupport::SplitAsfFile(clip, parts, &error)) << error;
    ASSERT_EQ(parts.packetSize, 3200u);
    ASSERT_GT(parts.packets.size(), 100u);
    const size_t fp = parts.filePropertiesOffset;
    const size_t data = parts.dataObjectOffset;
    const uint32_t preroll = GetLE32(parts.header, fp + 80);

    // What a live server would send: times far from zero, no durations,
    // counts and sizes unknown, Broadcast and not Seekable.
    std::vector<uint8_t> liveHeader = parts.header;
    PutLE64(liveHeader, fp + 40, 0);  // file size
    PutLE64(liveHeader, fp + 56, 0);  // data packets count
    PutLE64(liveHeader, fp + 64, 0);  // play duration
    PutLE64(liveHeader, fp + 72, 0);  // send duration
    PutLE32(liveHeader, fp + 88, 1);  // flags: Broadcast
    PutLE64(liveHeader, data + 16, 0);
    PutLE64(liveHeader, data + 40, 0);

    std::vector<std::vector<uint8_t>> livePackets;
    std::vector<std::vector<uint8_t>> expectedPackets;
    uint32_t firstSendTime = 0, largestOriginalSendTime = 0;
    for (size_t i = 0; i < parts.packets.size(); ++i) {
        AsfPacketLayout where;
        ASSERT_TRUE(testsupport::WalkAsfPacket(parts.packets[i], parts.packetSize, where, &error)) << i << ": " << error;
        std::vector<uint8_t> live = parts.packets[i];
        const uint32_t sendTime = GetLE32(live, where.sendTimeOffset);
        largestOriginalSendTime = std::max(largestOriginalSendTime, sendTime);
        PutLE32(live, where.sendTimeOffset, sendTime + kShiftMs);
        if (i == 0) firstSendTime = sendTime + kShiftMs;
        for (size_t off : where.presentationTimeOffsets) PutLE32(live, off, GetLE32(live, off) + kShiftMs);
        livePackets.push_back(std::move(live));

        // Rebased on the first send time (0 here), every time is back where
        // it was; padding comes out cleared.
        std::vector<uint8_t> expected = parts.packets[i];
        std::fill(expected.end() - where.paddingLength, expected.end(), 0);
        expectedPackets.push_back(std::move(expected));
    }
    ASSERT_EQ(GetLE32(parts.packets[0], 5), 0u) << "the sample's first send time is expected to be 0";

    // Record it as a client does.
    AsfHeaderInfo info;
    ASSERT_EQ(AsfCodec::ParseHeader(liveHeader.data(), liveHeader.size(), info), HeaderParseResult::Ok);
    ASSERT_TRUE(info.IsLive());
    const std::string unfinishedPath = PathOf("live-unfinished.asf");
    const std::string path = PathOf("live.asf");
    OutputFile file;
    ASSERT_TRUE(file.Create(path));
    RecordingTotals totals;
    totals.saveLiveTimeInfo = true;
    ASSERT_TRUE(file.Write(liveHeader.data(), liveHeader.size()));
    totals.bytesWritten = liveHeader.size();
    for (auto& packet : livePackets) {
        AsfCodec::RebasePacketTimes(packet.data(), packet.size(), firstSendTime, info);
        const int at = AsfCodec::SendTimeOffset(packet.data(), packet.size());
        ASSERT_GE(at, 0);
        totals.largestSendTime = std::max(totals.largestSendTime, AsfCodec::ReadU32(packet.data() + at));
        ASSERT_TRUE(file.Write(packet.data(), packet.size()));
        if (packet.size() < info.minPacketSize) {
            ASSERT_TRUE(file.WriteZeros(info.minPacketSize - packet.size()));
        }
        totals.bytesWritten += info.minPacketSize;
        totals.packetBytes += info.minPacketSize;
        ++totals.packetsWritten;
    }
    ASSERT_TRUE(file.Flush());
    std::filesystem::copy_file(path, unfinishedPath);
    ASSERT_TRUE(AsfCodec::FinishFile(&file, info, totals));
    ASSERT_TRUE(file.Close());

    // Byte for byte: the original header with the rewritten fields put in,
    // then the original packets.
    const size_t n = parts.packets.size();
    const uint64_t fileLength = parts.header.size() + uint64_t(n) * 3200;
    std::vector<uint8_t> expected = parts.header;
    PutLE64(expected, fp + 40, fileLength);
    PutLE64(expected, fp + 56, n);
    PutLE64(expected, fp + 64, (uint64_t(largestOriginalSendTime) + preroll) * 10000);
    PutLE64(expected, fp + 72, uint64_t(largestOriginalSendTime) * 10000);
    PutLE32(expected, fp + 88, 2);
    PutLE64(expected, data + 16, 50 + uint64_t(n) * 3200);
    PutLE64(expected, data + 40, n);
    for (const auto& p : expectedPackets) expected.insert(expected.end(), p.begin(), p.end());
    const std::vector<uint8_t> got = testsupport::ReadFileBytes(path);
    EXPECT_EQ(asftest::FirstDifference(got, expected), "")
        << "header fields: File Properties at " << fp << ", Data Object at " << data;

    // Independent readers.
    if (!testsupport::HaveTool("ffprobe")) {
        GTEST_SKIP() << "ffprobe not found on PATH: the duration check against an independent reader did not run";
    }
    const double originalDuration = FfprobeDuration(clip);
    const double liveDuration = FfprobeDuration(path);
    ASSERT_FALSE(std::isnan(originalDuration));
    ASSERT_FALSE(std::isnan(liveDuration)) << "ffprobe gives no duration for the finished recording";
    EXPECT_NEAR(liveDuration, originalDuration, 1.0);

    if (!testsupport::HaveTool("gst-discoverer-1.0")) {
        GTEST_SKIP() << "gst-discoverer-1.0 not found on PATH (Debian: gstreamer1.0-plugins-base-apps): "
                        "the seekability check did not run";
    }
    const Discovered original = Discover(clip);
    if (!original.ran || !original.seekable) {
        GTEST_SKIP() << "GStreamer cannot read the original sample (the ASF demuxer is in Debian's "
                        "gstreamer1.0-plugins-ugly):\n"
                     << original.text;
    }
    const Discovered unfinished = Discover(unfinishedPath);
    EXPECT_FALSE(unfinished.seekable) << "the recording is seekable before FinishFile, so this check proves nothing:\n"
                                      << unfinished.text;
    const Discovered finished = Discover(path);
    EXPECT_TRUE(finished.ran) << finished.text;
    EXPECT_TRUE(finished.seekable) << finished.text;
    EXPECT_NEAR(finished.duration, original.duration, 1.0) << finished.text;
}

}  // namespace
}  // namespace larkspan
