// A stored sample turned into what a live broadcast delivers, recorded the
// way a client records it, then finished; the result must play and seek like
// the original in ffprobe and GStreamer, and match byte for byte what the
// test works out on its own.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "asf/AsfCodec.h"
#include "asf/OutputFile.h"
#include "tests/support/AsfBuilders.h"
#include "tests/support/TempFolder.h"
#include "tests/support/AsfFileParts.h"
#include "tests/support/MediaReaders.h"
#include "tests/support/Samples.h"

namespace larkspan {
namespace {

using testsupport::AsfFileParts;
using testsupport::AsfPacketLayout;
using testsupport::GetLE32;
using testsupport::PutLE32;
using testsupport::PutLE64;
using testsupport::ReaderView;

constexpr uint32_t kShiftMs = 5000000;

class LiveRecordingTest : public ::testing::Test {
protected:
    testsupport::TempFolder folder_{"asf"};
};

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
    const std::string unfinishedPath = folder_.File("live-unfinished.asf");
    const std::string path = folder_.File("live.asf");
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
    EXPECT_EQ(testsupport::FirstDifference(got, expected), "")
        << "header fields: File Properties at " << fp << ", Data Object at " << data;

    // Independent readers.
    const ReaderView original = testsupport::ReadLikePlayers(clip, 0);
    if (!original.missingTool.empty()) {
        GTEST_SKIP() << original.missingTool << " not found on PATH (scripts/install-deps.sh installs it): "
                        "the checks against independent readers did not run";
    }
    if (!original.gstRan || !original.gstSeekable) {
        GTEST_SKIP() << "GStreamer cannot read the original sample (the ASF demuxer is in Debian's "
                        "gstreamer1.0-plugins-ugly):\n"
                     << original.gstText;
    }
    const ReaderView unfinished = testsupport::ReadLikePlayers(unfinishedPath, 0);
    EXPECT_FALSE(unfinished.gstSeekable) << "the recording is seekable before FinishFile, so this check proves "
                                            "nothing:\n"
                                         << unfinished.gstText;
    const ReaderView finished = testsupport::ReadLikePlayers(path, 0);
    ASSERT_FALSE(std::isnan(original.ffprobeDuration));
    ASSERT_FALSE(std::isnan(finished.ffprobeDuration)) << "ffprobe gives no duration for the finished recording";
    EXPECT_NEAR(finished.ffprobeDuration, original.ffprobeDuration, 1.0);
    EXPECT_TRUE(finished.gstRan) << finished.gstText;
    EXPECT_TRUE(finished.gstSeekable) << finished.gstText;
    EXPECT_NEAR(finished.gstDuration, original.gstDuration, 1.0) << finished.gstText;
}

}  // namespace
}  // namespace larkspan
