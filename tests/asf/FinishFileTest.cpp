// The end-of-recording header rewrite, on real files: expected bytes are the
// file as written with each rewritten field put in by hand.
#include <gtest/gtest.h>

#include "asf/AsfCodec.h"
#include "asf/OutputFile.h"
#include "tests/support/AsfBuilders.h"
#include "tests/support/AsfFileParts.h"
#include "tests/support/TempFolder.h"

namespace larkspan {
namespace {

using testsupport::MakeHeader;
using testsupport::PutLE64;

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
        size_t fp = 0, data = 0;
        std::vector<uint8_t> written = MakeHeader({.fileSize = 1, .packetsCount = 999, .playDuration = c.playDuration,
                                                   .sendDuration = c.playDuration, .preroll = c.preroll},
                                                  &fp, &data);
        // What a live server sends in Total Data Packets: we keep its high half.
        PutLE64(written, data + 40, 0xDEADBEEF12345678ull);
        AsfHeaderInfo info;
        ASSERT_EQ(AsfCodec::ParseHeader(written.data(), written.size(), info), HeaderParseResult::Ok);
        for (int i = 0; i < 15000; ++i) written.push_back(uint8_t(i * 7));  // five packets of 3000 bytes
        OutputFile file;
        ASSERT_TRUE(file.Create(path_));
        ASSERT_TRUE(file.Write(written.data(), written.size()));
        const RecordingTotals totals{.bytesWritten = std::string(c.name) == "nothing written" ? 0 : written.size(),
                                     .packetsWritten = 5,
                                     .packetBytes = 15000,
                                     .largestSendTime = c.largestSendTime,
                                     .saveLiveTimeInfo = c.saveLiveTimeInfo,
                                     .endedEarly = c.endedEarly};
        if (std::string(c.name) == "header never parsed") info.filePropertiesOffset = 0;

        EXPECT_TRUE(AsfCodec::FinishFile(std::string(c.name) == "no file" ? nullptr : &file, info, totals));
        std::vector<uint8_t> expected = written;
        if (c.rewrite != kNothing) PutLE64(expected, fp + 40, written.size());
        if (c.rewrite >= kDescribe) {
            PutLE64(expected, fp + 56, 5);
            PutLE64(expected, fp + 64, c.play);  // counts the preroll in
            PutLE64(expected, fp + 72, c.send);  // does not
            PutLE64(expected, data + 16, 15050);
            testsupport::PutLE32(expected, data + 40, 5);  // the high half 0xDEADBEEF stays
        }
        // A broadcast becomes a stored, seekable file; a stored one keeps its flags.
        if (c.rewrite == kDescribeLive) testsupport::PutLE32(expected, fp + 88, 2);
        ASSERT_TRUE(file.Flush());
        EXPECT_EQ(testsupport::FirstDifference(testsupport::ReadFileBytes(path_), expected), "");
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
    size_t P = 0, D = 0;
    const std::vector<uint8_t> header = MakeHeader({.preroll = 1000}, &P, &D);
    AsfHeaderInfo info;
    ASSERT_EQ(AsfCodec::ParseHeader(header.data(), header.size(), info), HeaderParseResult::Ok);
    const struct {
        const char* name;
        size_t length;   // bytes of the header in the file
        size_t written;  // how many of the seven fields are rewritten
    } cases[] = {
        {"file size field one byte short", P + 47, 0}, {"file size field just fits", P + 48, 1},
        {"flags field just fits", P + 92, 5},          {"data object size one byte short", D + 23, 5},
        {"data object size just fits", D + 24, 6},     {"packet count one byte short", D + 43, 6},
        {"packet count just fits", D + 44, 7},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        OutputFile file;
        ASSERT_TRUE(file.Create(path_));
        ASSERT_TRUE(file.Write(header.data(), c.length));
        const RecordingTotals totals{.bytesWritten = c.length, .packetsWritten = 7, .packetBytes = 21000,
                                     .largestSendTime = 500, .saveLiveTimeInfo = true};
        EXPECT_EQ(AsfCodec::FinishFile(&file, info, totals), c.written == 7);
        EXPECT_EQ(file.Position(), c.length);
        ASSERT_TRUE(file.Close());
        // In the order they are written: offset, width, value.
        const uint64_t fields[7][3] = {{P + 40, 8, c.length}, {P + 56, 8, 7}, {P + 64, 8, 15000000},
                                       {P + 72, 8, 5000000},  {P + 88, 4, 2}, {D + 16, 8, 21050}, {D + 40, 4, 7}};
        std::vector<uint8_t> expected(header.begin(), header.begin() + long(c.length));
        for (size_t i = 0; i < c.written; ++i) {
            for (uint64_t b = 0; b < fields[i][1]; ++b) expected[fields[i][0] + b] = uint8_t(fields[i][2] >> (8 * b));
        }
        EXPECT_EQ(testsupport::FirstDifference(testsupport::ReadFileBytes(path_), expected), "");
    }
}

}  // namespace
}  // namespace larkspan
