// The end-of-recording header rewrite, on real files. Expected bytes are
// built by the test from the file as written, with each rewritten field put
// in by hand.
#include <gtest/gtest.h>

#include "asf/AsfCodec.h"
#include "asf/OutputFile.h"
#include "tests/support/AsfBuilders.h"
#include "tests/support/TempFolder.h"
#include "tests/support/AsfFileParts.h"

namespace larkspan {
namespace {

using testsupport::HeaderValues;
using testsupport::MakeHeader;
using testsupport::GetLE32;
using testsupport::GetLE64;
using testsupport::PutLE32;
using testsupport::PutLE64;
using testsupport::ReadFileBytes;

class FinishFileTest : public ::testing::Test {
protected:
    testsupport::TempFolder folder_{"asf"};

    // Records a header and `packets` packets of `packetSize` bytes the way a
    // client does, and leaves the file open for FinishFile.
    void Record(const HeaderValues& v, uint32_t packets, uint32_t packetSize) {
        header_ = MakeHeader(v, &fp_, &data_);
        // What a live server sends in Total Data Packets: we keep its high half.
        PutLE64(header_, data_ + 40, 0xDEADBEEF00000000ull | 0x12345678u);
        ASSERT_EQ(AsfCodec::ParseHeader(header_.data(), header_.size(), info_), HeaderParseResult::Ok);
        path_ = folder_.File("rec.asf");
        ASSERT_TRUE(file_.Create(path_));
        ASSERT_TRUE(file_.Write(header_.data(), header_.size()));
        std::vector<uint8_t> packet(packetSize);
        for (uint32_t i = 0; i < packets; ++i) {
            for (uint32_t b = 0; b < packetSize; ++b) packet[b] = static_cast<uint8_t>(i * 7 + b);
            ASSERT_TRUE(file_.Write(packet.data(), packet.size()));
        }
        totals_.bytesWritten = header_.size() + uint64_t(packets) * packetSize;
        totals_.packetsWritten = packets;
        totals_.packetBytes = uint64_t(packets) * packetSize;
        ASSERT_TRUE(file_.Flush());
        written_ = ReadFileBytes(path_);
        ASSERT_EQ(written_.size(), totals_.bytesWritten);
    }

    std::vector<uint8_t> FileNow() {
        file_.Flush();
        return ReadFileBytes(path_);
    }

    std::vector<uint8_t> header_;
    size_t fp_ = 0, data_ = 0;
    AsfHeaderInfo info_;
    RecordingTotals totals_;
    OutputFile file_;
    std::string path_;
    std::vector<uint8_t> written_;
};

TEST_F(FinishFileTest, LiveRecordingOfHundredPackets) {
    HeaderValues v;
    v.playDuration = 0;  // live
    v.preroll = 3000;
    v.flags = 1;         // Broadcast
    v.minPacketSize = v.maxPacketSize = 3000;
    Record(v, 100, 3000);
    ASSERT_TRUE(info_.IsLive());
    totals_.largestSendTime = 98765;
    totals_.saveLiveTimeInfo = true;

    ASSERT_TRUE(AsfCodec::FinishFile(&file_, info_, totals_));
    std::vector<uint8_t> got = FileNow();

    std::vector<uint8_t> expected = written_;
    PutLE64(expected, fp_ + 40, written_.size());
    PutLE64(expected, fp_ + 56, 100);
    PutLE64(expected, fp_ + 64, (98765ull + 3000) * 10000);  // play duration counts the preroll in
    PutLE64(expected, fp_ + 72, 98765ull * 10000);           // send duration does not
    PutLE32(expected, fp_ + 88, 2);
    PutLE64(expected, data_ + 16, 300050);
    PutLE32(expected, data_ + 40, 100);
    EXPECT_EQ(testsupport::FirstDifference(got, expected), "");

    EXPECT_EQ(GetLE64(got, fp_ + 56), 100u);
    EXPECT_EQ(GetLE32(got, fp_ + 88), 2u);
    EXPECT_EQ(GetLE64(got, data_ + 16), 300050u);
    EXPECT_EQ(GetLE32(got, data_ + 44), 0xDEADBEEFu);

    // The file is left at its end: the next write appends.
    EXPECT_EQ(file_.Position(), got.size());
    ASSERT_TRUE(file_.Write("Z", 1));
    std::vector<uint8_t> after = FileNow();
    ASSERT_EQ(after.size(), got.size() + 1);
    EXPECT_EQ(after.back(), 'Z');
}

TEST_F(FinishFileTest, DurationsAreExact64BitValues) {
    HeaderValues v;
    v.preroll = 0xFFFFFFFFull;
    Record(v, 2, 3000);
    totals_.largestSendTime = 0xFFFFFFFFu;
    totals_.saveLiveTimeInfo = true;
    ASSERT_TRUE(AsfCodec::FinishFile(&file_, info_, totals_));
    std::vector<uint8_t> got = FileNow();
    EXPECT_EQ(GetLE64(got, fp_ + 64), 85899345900000ull);  // (2^32 - 1) x 2 x 10000
    EXPECT_EQ(GetLE64(got, fp_ + 72), 42949672950000ull);
}

TEST_F(FinishFileTest, StoredStreamGetsFileSizeOnly) {
    HeaderValues v;
    v.playDuration = 36000000000ull;
    v.sendDuration = 35000000000ull;
    v.preroll = 5000;
    v.flags = 2;
    v.packetsCount = 999;
    v.fileSize = 1;
    Record(v, 5, 3000);
    ASSERT_FALSE(info_.IsLive());
    totals_.largestSendTime = 4000;
    totals_.saveLiveTimeInfo = true;
    ASSERT_TRUE(AsfCodec::FinishFile(&file_, info_, totals_));
    std::vector<uint8_t> expected = written_;
    PutLE64(expected, fp_ + 40, written_.size());
    EXPECT_EQ(testsupport::FirstDifference(FileNow(), expected), "");
}

TEST_F(FinishFileTest, StoredStreamEndedEarlyIsDescribedByWhatTheFileHolds) {
    HeaderValues v;
    v.playDuration = 36000000000ull;
    v.sendDuration = 35000000000ull;
    v.preroll = 5000;
    v.flags = 2;
    v.packetsCount = 999;
    Record(v, 5, 3000);
    ASSERT_FALSE(info_.IsLive());
    totals_.largestSendTime = 4000;
    totals_.endedEarly = true;
    for (bool saveLiveTimeInfo : {true, false}) {
        SCOPED_TRACE(saveLiveTimeInfo ? "setting on" : "setting off");
        totals_.saveLiveTimeInfo = saveLiveTimeInfo;  // a setting for live streams only
        ASSERT_TRUE(AsfCodec::FinishFile(&file_, info_, totals_));
        std::vector<uint8_t> expected = written_;
        PutLE64(expected, fp_ + 40, written_.size());
        PutLE64(expected, fp_ + 56, 5);
        PutLE64(expected, fp_ + 64, (4000ull + 5000) * 10000);
        PutLE64(expected, fp_ + 72, 4000ull * 10000);
        PutLE64(expected, data_ + 16, 50 + 5 * 3000);
        PutLE32(expected, data_ + 40, 5);
        // Flags and the high half of Total Data Packets stay as the server sent them.
        EXPECT_EQ(testsupport::FirstDifference(FileNow(), expected), "");
    }
}

TEST_F(FinishFileTest, LiveWithSettingOffGetsFileSizeOnly) {
    HeaderValues v;
    v.flags = 1;
    Record(v, 5, 3000);
    totals_.largestSendTime = 4000;
    totals_.saveLiveTimeInfo = false;
    ASSERT_TRUE(AsfCodec::FinishFile(&file_, info_, totals_));
    std::vector<uint8_t> expected = written_;
    PutLE64(expected, fp_ + 40, written_.size());
    EXPECT_EQ(testsupport::FirstDifference(FileNow(), expected), "");
}

TEST_F(FinishFileTest, NothingToDoLeavesFileAlone) {
    HeaderValues v;
    Record(v, 3, 3000);
    totals_.saveLiveTimeInfo = true;

    AsfHeaderInfo unparsed = info_;
    unparsed.filePropertiesOffset = 0;
    EXPECT_TRUE(AsfCodec::FinishFile(&file_, unparsed, totals_));
    RecordingTotals nothing = totals_;
    nothing.bytesWritten = 0;
    EXPECT_TRUE(AsfCodec::FinishFile(&file_, info_, nothing));
    EXPECT_TRUE(AsfCodec::FinishFile(nullptr, info_, totals_));
    EXPECT_EQ(testsupport::FirstDifference(FileNow(), written_), "");

    ASSERT_TRUE(file_.Close());
    EXPECT_TRUE(AsfCodec::FinishFile(&file_, info_, totals_));
    EXPECT_EQ(testsupport::FirstDifference(ReadFileBytes(path_), written_), "");
}

TEST_F(FinishFileTest, FieldsPastTheEndOfTheFileAreNotWritten) {
    // A header that never reached the file: info points past its end.
    HeaderValues v;
    std::vector<uint8_t> header = MakeHeader(v);
    AsfHeaderInfo info;
    ASSERT_EQ(AsfCodec::ParseHeader(header.data(), header.size(), info), HeaderParseResult::Ok);
    OutputFile file;
    const std::string path = folder_.File("short.asf");
    ASSERT_TRUE(file.Create(path));
    const std::vector<uint8_t> few(40, 0x11);
    ASSERT_TRUE(file.Write(few.data(), few.size()));
    RecordingTotals totals;
    totals.bytesWritten = few.size();
    totals.saveLiveTimeInfo = true;
    EXPECT_FALSE(AsfCodec::FinishFile(&file, info, totals));
    file.Close();
    EXPECT_EQ(testsupport::FirstDifference(ReadFileBytes(path), few), "");
}

TEST_F(FinishFileTest, RewritesFileReopenedForUpdate) {
    // A client may finish a file it reopened; the rewrite works the same.
    HeaderValues v;
    v.preroll = 2000;
    Record(v, 10, 3000);
    ASSERT_TRUE(file_.Close());
    OutputFile reopened;
    ASSERT_TRUE(reopened.OpenExisting(path_));
    totals_.largestSendTime = 1500;  // smaller than the preroll
    totals_.saveLiveTimeInfo = true;
    ASSERT_TRUE(AsfCodec::FinishFile(&reopened, info_, totals_));
    EXPECT_EQ(reopened.Position(), written_.size());
    reopened.Close();
    std::vector<uint8_t> got = ReadFileBytes(path_);
    EXPECT_EQ(GetLE64(got, fp_ + 40), written_.size());
    EXPECT_EQ(GetLE64(got, fp_ + 64), 3500ull * 10000);
    EXPECT_EQ(GetLE64(got, fp_ + 72), 1500ull * 10000);
    EXPECT_EQ(GetLE64(got, data_ + 16), 30050u);
}

}  // namespace
}  // namespace larkspan
