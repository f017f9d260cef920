// Header parsing and GUID search, against hand-built headers and the sample
// files (split by the independent reader in tests/support).
#include <gtest/gtest.h>

#include <cstring>

#include "asf/AsfCodec.h"
#include "tests/support/AsfBuilders.h"
#include "tests/support/AsfFileParts.h"
#include "tests/support/Samples.h"

namespace larkspan {
namespace {

using testsupport::HeaderValues;
using testsupport::MakeHeader;
using testsupport::GetLE32;
using testsupport::GetLE64;

struct DurationCase {
    const char* name;
    uint64_t playDuration;  // 100-ns units
    uint32_t preroll;
    uint32_t expectedMs;
};

void PrintTo(const DurationCase& c, std::ostream* os) { *os << c.name; }

class DurationMsTest : public ::testing::TestWithParam<DurationCase> {};

TEST_P(DurationMsTest, TakesPlayDurationMinusPreroll) {
    const DurationCase& c = GetParam();
    HeaderValues v;
    v.playDuration = c.playDuration;
    v.preroll = c.preroll;
    std::vector<uint8_t> h = MakeHeader(v);
    AsfHeaderInfo info;
    ASSERT_EQ(AsfCodec::ParseHeader(h.data(), h.size(), info), HeaderParseResult::Ok);
    EXPECT_EQ(info.DurationMs, c.expectedMs);
    EXPECT_EQ(info.playDurationHigh, static_cast<uint32_t>(c.playDuration >> 32));
    EXPECT_EQ(info.playDurationLow, static_cast<uint32_t>(c.playDuration));
    EXPECT_EQ(info.preroll, c.preroll);
    EXPECT_EQ(info.IsLive(), c.expectedMs == 0);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DurationMsTest,
    ::testing::Values(
        // Each 32-bit half is converted and truncated on its own:
        // 3,435,973 + 164,026 - 5,000, one short of 3,595,000.
        DurationCase{"OneHourPreroll5000", 36000000000ull, 5000, 3594999},
        DurationCase{"LiveBroadcast", 0, 5000, 0},
        DurationCase{"LiveBroadcastNoPreroll", 0, 0, 0},
        DurationCase{"LowHalfOnly", 231460000ull, 3100, 20046},
        // Low half below 10000 contributes nothing; the high half's share is exact.
        DurationCase{"HighHalfOnly", 625ull << 32, 0, 268435456},
        DurationCase{"TruncatesLowHalf", 9999ull + (1ull << 32), 0, 429496}),
    [](const ::testing::TestParamInfo<DurationCase>& i) { return std::string(i.param.name); });

TEST(ParseHeaderTest, ReadsFieldsAndOffsets) {
    HeaderValues v;
    v.fileSize = 0x0000000112345678ull;
    v.playDuration = 0x00000002ABCDEF01ull;
    v.preroll = 0x77777777000004D2ull;  // only the low half counts
    v.flags = 3;
    v.minPacketSize = v.maxPacketSize = 8000;
    v.paddingObjectBefore = 60;
    size_t fp = 0, data = 0;
    std::vector<uint8_t> h = MakeHeader(v, &fp, &data);
    ASSERT_EQ(fp, 90u);

    AsfHeaderInfo info;
    ASSERT_EQ(AsfCodec::ParseHeader(h.data(), h.size(), info), HeaderParseResult::Ok);
    EXPECT_EQ(info.filePropertiesOffset, 90u);
    EXPECT_EQ(info.fileSizeHigh, 1u);
    EXPECT_EQ(info.fileSizeLow, 0x12345678u);
    EXPECT_EQ(info.playDurationHigh, 2u);
    EXPECT_EQ(info.playDurationLow, 0xABCDEF01u);
    EXPECT_EQ(info.preroll, 1234u);
    EXPECT_EQ(info.flags, 3u);
    EXPECT_EQ(info.minPacketSize, 8000u);
    EXPECT_EQ(info.maxPacketSize, 8000u);
    EXPECT_EQ(info.HeaderLength, data);
    EXPECT_EQ(info.HeaderLength, h.size() - 50);
}

struct SizeCase {
    uint32_t minSize, maxSize;
    HeaderParseResult expected;
};

TEST(ParseHeaderTest, PacketSizeMustBeFixedAndBelow65536) {
    const SizeCase cases[] = {
        {3200, 3200, HeaderParseResult::Ok},
        {65535, 65535, HeaderParseResult::Ok},
        {65536, 65536, HeaderParseResult::NotSupported},
        {0x80000000u, 0x80000000u, HeaderParseResult::NotSupported},
        {3200, 3201, HeaderParseResult::NotSupported},
        {3201, 3200, HeaderParseResult::NotSupported},
        {0, 3200, HeaderParseResult::NotSupported},
    };
    for (const SizeCase& c : cases) {
        HeaderValues v;
        v.minPacketSize = c.minSize;
        v.maxPacketSize = c.maxSize;
        std::vector<uint8_t> h = MakeHeader(v);
        AsfHeaderInfo info;
        EXPECT_EQ(AsfCodec::ParseHeader(h.data(), h.size(), info), c.expected) << c.minSize << "/" << c.maxSize;
    }
}

TEST(ParseHeaderTest, NoFilePropertiesIsNotFoundAndLeavesInfoAlone) {
    std::vector<uint8_t> h = MakeHeader(HeaderValues{});
    h[30] ^= 0xFF;  // spoil the GUID
    AsfHeaderInfo info;
    info.filePropertiesOffset = 77;
    info.minPacketSize = 1234;
    info.HeaderLength = 999;
    EXPECT_EQ(AsfCodec::ParseHeader(h.data(), h.size(), info), HeaderParseResult::FilePropertiesNotFound);
    EXPECT_EQ(info.filePropertiesOffset, 77u);
    EXPECT_EQ(info.minPacketSize, 1234u);
    EXPECT_EQ(info.HeaderLength, 999u);
}

TEST(ParseHeaderTest, FilePropertiesCutShortAtEveryLengthIsNotFound) {
    // Cut the header inside the File Properties Object: its last field read
    // (maximum packet size) ends 100 bytes after the GUID.
    std::vector<uint8_t> full = MakeHeader(HeaderValues{});
    const size_t fp = 30;
    for (size_t len = 0; len < fp + 100; ++len) {
        std::vector<uint8_t> cut(full.begin(), full.begin() + len);
        AsfHeaderInfo info;
        info.minPacketSize = 4242;
        EXPECT_EQ(AsfCodec::ParseHeader(cut.data(), cut.size(), info), HeaderParseResult::FilePropertiesNotFound)
            << "length " << len;
        EXPECT_EQ(info.minPacketSize, 4242u);
    }
    std::vector<uint8_t> cut(full.begin(), full.begin() + fp + 100);
    AsfHeaderInfo info;
    EXPECT_EQ(AsfCodec::ParseHeader(cut.data(), cut.size(), info), HeaderParseResult::Ok);
    EXPECT_EQ(info.minPacketSize, 3000u);
}

TEST(FindGuidTest, ScanStopsSixteenBytesShortOfTheEnd) {
    // A GUID at offset k is found only in a buffer longer than k + 16.
    for (size_t k : {0u, 1u, 7u, 40u}) {
        for (size_t extra : {0u, 1u, 2u}) {
            std::vector<uint8_t> buf(k + 16 + extra, 0xEE);
            std::memcpy(buf.data() + k, testsupport::kFilePropertiesGuid, 16);
            const long expected = extra == 0 ? -1 : static_cast<long>(k);
            EXPECT_EQ(AsfCodec::FindFileProperties(buf.data(), buf.size()), expected) << k << "+" << extra;
        }
    }
    std::vector<uint8_t> small(16, 0);
    std::memcpy(small.data(), testsupport::kFilePropertiesGuid, 16);
    for (size_t len = 0; len <= 16; ++len) EXPECT_EQ(AsfCodec::FindFileProperties(small.data(), len), -1);
    EXPECT_EQ(AsfCodec::FindFileProperties(nullptr, 0), -1);
}

TEST(FindGuidTest, FindsFirstOccurrenceOfEachKnownGuid) {
    std::vector<uint8_t> buf(200, 0);
    std::memcpy(buf.data() + 50, testsupport::kContentDescriptionGuid, 16);
    std::memcpy(buf.data() + 90, testsupport::kFilePropertiesGuid, 16);
    std::memcpy(buf.data() + 150, testsupport::kFilePropertiesGuid, 16);
    EXPECT_EQ(AsfCodec::FindContentDescription(buf.data(), buf.size()), 50);
    EXPECT_EQ(AsfCodec::FindFileProperties(buf.data(), buf.size()), 90);
    // A GUID that differs in its last byte only is another GUID.
    buf[90 + 15] ^= 1;
    EXPECT_EQ(AsfCodec::FindFileProperties(buf.data(), buf.size()), 150);
    const uint8_t other[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
    EXPECT_EQ(AsfCodec::FindGuid(buf.data(), buf.size(), other), -1);
}

TEST(ParseHeaderTest, SampleHeadersAgreeWithIndependentReader) {
    if (testsupport::SamplesDir().empty()) GTEST_SKIP() << testsupport::SamplesError();
    for (const char* name : {"clip.asf", "audio.asf", "bigpackets.asf"}) {
        SCOPED_TRACE(name);
        testsupport::AsfFileParts parts;
        std::string error;
        ASSERT_TRUE(testsupport::SplitAsfFile(testsupport::SamplePath(name), parts, &error)) << error;

        AsfHeaderInfo info;
        ASSERT_EQ(AsfCodec::ParseHeader(parts.header.data(), parts.header.size(), info), HeaderParseResult::Ok);
        EXPECT_EQ(info.filePropertiesOffset, parts.filePropertiesOffset);
        EXPECT_EQ(info.HeaderLength, parts.dataObjectOffset);
        EXPECT_EQ(info.minPacketSize, parts.packetSize);
        const size_t fp = parts.filePropertiesOffset;
        const uint64_t play = GetLE64(parts.header, fp + 64);
        const uint32_t preroll = GetLE32(parts.header, fp + 80);
        EXPECT_EQ(info.preroll, preroll);
        ASSERT_LT(play, 1ull << 32);  // short clips: the high half is 0, so plain division is exact
        EXPECT_EQ(info.DurationMs, static_cast<uint32_t>(play / 10000) - preroll);
        EXPECT_FALSE(info.IsLive());
    }
}

}  // namespace
}  // namespace larkspan
