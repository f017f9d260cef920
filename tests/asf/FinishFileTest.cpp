// The end-of-recording header rewrite, on real files: expected bytes are the
// file as written with each rewritten field put in by hand. Then a sample
// turned into a live broadcast, recorded and finished, must match byte for
// byte and play and seek like the original in ffprobe and GStreamer.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>

#include "asf/AsfCodec.h"
#include "asf/OutputFile.h"
#include "tests/support/AsfBuilders.h"
#include "tests/support/AsfFileParts.h"
#include "tests/support/MediaReaders.h"
#include "tests/support/Samples.h"
#include "tests/support/TempFolder.h"

namespace larkspan {
namespace {

using testsupport::FirstDifference;
using testsupport::GetLE32;
using testsupport::HeaderValues;
using testsupport::MakeHeader;
using testsupport::PutLE32;
using testsupport::PutLE64;
using testsupport::ReadFileBytes;

constexpr uint64_t kOneHour = 36000000000ull;  // in 100-ns units

class FinishFileTest : public ::testing::Test {
protected:
    testsupport::TempFolder folder_{"asf"};
    const std::string path_ = folder_.File("rec.asf");
};

TEST_F(FinishFileTest, RewritesWhatTheRecordingHolds) {
    enum Rewrite { kNothing, kFileSize, kDescribe, kDescribeLive };
    const struct {
        const char* name;
        uint64_t playDuration, preroll;
        bool saveLiveTimeInfo, endedEarly;
        uint32_t largestSendTime;
        Rewrite rewrite;
        uint64_t play, send;  // expected durations when described
    } cases[] = {
        {"live", 0, 3000, true, false, 98765, kDescribeLive, 1017650000, 987650000},
        {"live, 32-bit extremes", 0, 0xFFFFFFFFu, true, false, 0xFFFFFFFFu, kDescribeLive, 85899345900000,
         42949672950000},
        {"live, send time below the preroll", 0, 2000, true, true, 1500, kDescribeLive, 35000000, 15000000},
        {"stored, ended early", kOneHour, 5000, true, true, 4000, kDescribe, 90000000, 40000000},
        {"stored, ended early, setting off", kOneHour, 5000, false, true, 4000, kDescribe, 90000000, 40000000},
        {"stored, complete", kOneHour, 5000, true, false, 4000, kFileSize, 0, 0},
        {"live, setting off", 0, 5000, false, false, 4000, kFileSize, 0, 0},
        {"live ended early, setting off", 0, 5000, false, true, 4000, kFileSize, 0, 0},
        {"header never parsed", 0, 5000, true, false, 4000, kNothing, 0, 0},
        {"nothing written", 0, 5000, true, false, 4000, kNothing, 0, 0},
        {"no file", 0, 5000, true, false, 4000, kNothing, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        HeaderValues v;
        v.playDuration = v.sendDuration = c.playDuration;
        v.preroll = c.preroll;
        v.packetsCount = 999;
        v.fileSize = 1;
        size_t fp = 0, data = 0;
        std::vector<uint8_t> header = MakeHeader(v, &fp, &data);
        // What a live server sends in Total Data Packets: we keep its high half.
        PutLE64(header, data + 40, 0xDEADBEEF12345678ull);
        AsfHeaderInfo info;
        ASSERT_EQ(AsfCodec::ParseHeader(header.data(), header.size(), info), HeaderParseResult::Ok);
        OutputFile file;
        ASSERT_TRUE(file.Create(path_));
        ASSERT_TRUE(file.Write(header.data(), header.size()));
        std::vector<uint8_t> packet(3000);
        for (uint32_t i = 0; i < 5; ++i) {
            for (uint32_t b = 0; b < packet.size(); ++b) packet[b] = static_cast<uint8_t>(i * 7 + b);
            ASSERT_TRUE(file.Write(packet.data(), packet.size()));
        }
        ASSERT_TRUE(file.Flush());
        const std::vector<uint8_t> written = ReadFileBytes(path_);
        RecordingTotals totals;
        totals.bytesWritten = std::string(c.name) == "nothing written" ? 0 : written.size();
        totals.packetsWritten = 5;
        totals.packetBytes = 15000;
        totals.largestSendTime = c.largestSendTime;
        totals.saveLiveTimeInfo = c.saveLiveTimeInfo;
        totals.endedEarly = c.endedEarly;
        if (std::string(c.name) == "header never parsed") info.filePropertiesOffset = 0;

        EXPECT_TRUE(AsfCodec::FinishFile(std::string(c.name) == "no file" ? nullptr : &file, info, totals));
        std::vector<uint8_t> expected = written;
        if (c.rewrite != kNothing) PutLE64(expected, fp + 40, written.size());
        if (c.rewrite >= kDescribe) {
            PutLE64(expected, fp + 56, 5);
            PutLE64(expected, fp + 64, c.play);  // counts the preroll in
            PutLE64(expected, fp + 72, c.send);  // does not
            PutLE64(expected, data + 16, 15050);
            PutLE32(expected, data + 40, 5);  // the high half 0xDEADBEEF stays
        }
        // A broadcast becomes a stored, seekable file; a stored one keeps its flags.
        if (c.rewrite == kDescribeLive) PutLE32(expected, fp + 88, 2);
        ASSERT_TRUE(file.Flush());
        EXPECT_EQ(FirstDifference(ReadFileBytes(path_), expected), "");
        // The file is left at its end: the next write appends.
        EXPECT_EQ(file.Position(), written.size());
        ASSERT_TRUE(file.Close());
        // A closed file is left alone.
        EXPECT_TRUE(AsfCodec::FinishFile(&file, info, totals));
    }
}

// A file that ends inside the header (the header never reached the disk
// whole): each field is written only when all its bytes are in the file,
// and the first that is not makes the rewrite fail and stop.
TEST_F(FinishFileTest, FieldsAreWrittenOnlyWhereTheFileHasTheirBytes) {
    HeaderValues v;
    v.preroll = 1000;
    size_t P = 0, D = 0;
    const std::vector<uint8_t> header = MakeHeader(v, &P, &D);
    AsfHeaderInfo info;
    ASSERT_EQ(AsfCodec::ParseHeader(header.data(), header.size(), info), HeaderParseResult::Ok);
    const struct {
        const char* name;
        size_t length;   // bytes of the header in the file
        size_t written;  // how many of the seven fields are rewritten
    } cases[] = {
        {"file size field one byte short", P + 47, 0},    {"file size field just fits", P + 48, 1},
        {"flags field just fits", P + 92, 5},             {"data object size one byte short", D + 23, 5},
        {"data object size just fits", D + 24, 6},        {"packet count one byte short", D + 43, 6},
        {"packet count just fits", D + 44, 7},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<uint8_t> part(header.begin(), header.begin() + long(c.length));
        OutputFile file;
        ASSERT_TRUE(file.Create(path_));
        ASSERT_TRUE(file.Write(part.data(), part.size()));
        RecordingTotals totals;
        totals.bytesWritten = part.size();
        totals.packetsWritten = 7;
        totals.packetBytes = 21000;
        totals.largestSendTime = 500;
        totals.saveLiveTimeInfo = true;
        EXPECT_EQ(AsfCodec::FinishFile(&file, info, totals), c.written == 7);
        EXPECT_EQ(file.Position(), c.length);
        ASSERT_TRUE(file.Close());

        std::vector<uint8_t> expected = part;
        const size_t n = c.written;
        if (n >= 1) PutLE64(expected, P + 40, c.length);
        if (n >= 2) PutLE64(expected, P + 56, 7);
        if (n >= 3) PutLE64(expected, P + 64, 15000000);
        if (n >= 4) PutLE64(expected, P + 72, 5000000);
        if (n >= 5) PutLE32(expected, P + 88, 2);
        if (n >= 6) PutLE64(expected, D + 16, 21050);
        if (n >= 7) PutLE32(expected, D + 40, 7);
        EXPECT_EQ(FirstDifference(ReadFileBytes(path_), expected), "");
    }
}

TEST_F(FinishFileTest, FinishedLiveRecordingPlaysAndSeeksLikeTheOriginal) {
    if (testsupport::SamplesDir().empty()) GTEST_SKIP() << testsupport::SamplesError();
    const std::string clip = testsupport::SamplePath("clip.asf");
    testsupport::AsfFileParts parts;
    std::string error;
    ASSERT_TRUE(testsupport::SplitAsfFile(clip, parts, &error)) << error;
    const size_t fp = parts.filePropertiesOffset, data = parts.dataObjectOffset, n = parts.packets.size();

    // What a live server sends: no durations, counts or sizes, Broadcast and
    // not Seekable, every time 5,000,000 ms on.
    std::vector<uint8_t> live = parts.header;
    for (size_t at : {fp + 40, fp + 56, fp + 64, fp + 72, data + 16, data + 40}) PutLE64(live, at, 0);
    PutLE32(live, fp + 88, 1);
    AsfHeaderInfo info;
    ASSERT_EQ(AsfCodec::ParseHeader(live.data(), live.size(), info), HeaderParseResult::Ok);
    OutputFile file;
    ASSERT_TRUE(file.Create(path_));
    ASSERT_TRUE(file.Write(live.data(), live.size()));
    RecordingTotals totals;
    totals.saveLiveTimeInfo = true;
    totals.bytesWritten = live.size();
    uint32_t largest = 0;
    for (const std::vector<uint8_t>& original : parts.packets) {
        testsupport::AsfPacketLayout where;
        ASSERT_TRUE(testsupport::WalkAsfPacket(original, 3200, where, &error)) << error;
        largest = std::max(largest, GetLE32(original, where.sendTimeOffset));
        std::vector<uint8_t> packet = original;
        PutLE32(packet, where.sendTimeOffset, GetLE32(packet, where.sendTimeOffset) + 5000000);
        for (size_t off : where.presentationTimeOffsets) PutLE32(packet, off, GetLE32(packet, off) + 5000000);
        // Recorded as a client does: rebased on the first send time (0 in the sample).
        ASSERT_EQ(AsfCodec::RebasePacketTimes(packet.data(), packet.size(), 5000000, info), 0);
        const int at = AsfCodec::SendTimeOffset(packet.data(), packet.size());
        ASSERT_EQ(at, int(where.sendTimeOffset));
        totals.largestSendTime = std::max(totals.largestSendTime, AsfCodec::ReadU32(packet.data() + at));
        ASSERT_TRUE(file.Write(packet.data(), packet.size()));
        ASSERT_TRUE(file.WriteZeros(3200 - packet.size()));
        totals.bytesWritten += 3200;
        totals.packetBytes += 3200;
        ++totals.packetsWritten;
    }
    ASSERT_TRUE(file.Flush());
    const std::string unfinished = folder_.File("unfinished.asf");
    std::filesystem::copy_file(path_, unfinished);
    ASSERT_TRUE(AsfCodec::FinishFile(&file, info, totals));
    ASSERT_TRUE(file.Close());

    // The original header with the rewritten fields, then the original packets.
    std::vector<uint8_t> expected = parts.header;
    PutLE64(expected, fp + 40, parts.header.size() + n * 3200);
    PutLE64(expected, fp + 56, n);
    PutLE64(expected, fp + 64, (uint64_t(largest) + info.preroll) * 10000);
    PutLE64(expected, fp + 72, uint64_t(largest) * 10000);
    PutLE32(expected, fp + 88, 2);
    PutLE64(expected, data + 16, 50 + n * 3200);
    PutLE64(expected, data + 40, n);
    for (const auto& p : parts.packets) expected.insert(expected.end(), p.begin(), p.end());
    EXPECT_EQ(FirstDifference(ReadFileBytes(path_), expected), "");

    const testsupport::ReaderView original = testsupport::ReadLikePlayers(clip, 0);
    if (!original.missingTool.empty()) GTEST_SKIP() << original.missingTool << " not found on PATH";
    if (!original.gstRan || !original.gstSeekable) GTEST_SKIP() << "GStreamer cannot read the sample";
    // Not seekable before the rewrite, or the check below would prove nothing.
    EXPECT_FALSE(testsupport::ReadLikePlayers(unfinished, 0).gstSeekable);
    const testsupport::ReaderView finished = testsupport::ReadLikePlayers(path_, 0);
    ASSERT_FALSE(std::isnan(finished.ffprobeDuration));
    EXPECT_NEAR(finished.ffprobeDuration, original.ffprobeDuration, 1.0);
    EXPECT_TRUE(finished.gstSeekable) << finished.gstText;
    EXPECT_NEAR(finished.gstDuration, original.gstDuration, 1.0) << finished.gstText;
}

}  // namespace
}  // namespace larkspan
