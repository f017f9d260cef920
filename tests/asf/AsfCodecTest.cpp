// Byte-level ASF: header parsing, GUID search, where a packet's send time
// lies and live packet time rebasing, against hand-built headers and packets.
#include <gtest/gtest.h>

#include <cstring>
#include <map>

#include "asf/AsfCodec.h"
#include "tests/support/AsfBuilders.h"
#include "tests/support/AsfFileParts.h"

namespace larkspan {
namespace {


AsfHeaderInfo InfoWithPacketSize(uint32_t size) {
    AsfHeaderInfo info;
    info.minPacketSize = info.maxPacketSize = size;
    return info;
}

TEST(ParseHeaderTest, DurationPacketSizeAndOffsets) {
    constexpr auto kOk = HeaderParseResult::Ok;
    constexpr auto kNo = HeaderParseResult::NotSupported;
    const struct {
        const char* name;
        uint64_t playDuration, preroll;  // 100-ns units, ms
        uint32_t minSize, maxSize;
        size_t objectBefore;  // bytes of an unknown object before File Properties
        HeaderParseResult result;
        uint32_t durationMs;
    } cases[] = {
        // Each 32-bit half is converted and truncated on its own:
        // 3,435,973 + 164,026 - 5,000, one short of 3,595,000.
        {"one hour, preroll 5000", 36000000000ull, 5000, 3000, 3000, 0, kOk, 3594999},
        {"both halves, an object before", 0x2ABCDEF01ull, 1234, 3000, 3000, 60, kOk, 1145999},  // 858,993 + 288,240
        {"the preroll's high half ignored", 20000000, 0x77777777000004D2ull, 3000, 3000, 0, kOk, 766},
        {"live broadcast", 0, 5000, 3000, 3000, 0, kOk, 0},
        {"live broadcast without preroll", 0, 0, 3000, 3000, 0, kOk, 0},
        {"low half only", 231460000ull, 3100, 3000, 3000, 0, kOk, 20046},
        {"high half only", 625ull << 32, 0, 3000, 3000, 0, kOk, 268435456},
        {"low half truncated", 9999ull + (1ull << 32), 0, 3000, 3000, 0, kOk, 429496},
        {"one tick short of a millisecond", 9999, 0, 3000, 3000, 0, kOk, 0},
        {"largest packet size", 10000, 0, 65535, 65535, 0, kOk, 1},
        {"packet size 65536", 10000, 0, 65536, 65536, 0, kNo, 1},
        {"packet size 2^31", 10000, 0, 0x80000000u, 0x80000000u, 0, kNo, 1},
        {"maximum one larger", 10000, 0, 3200, 3201, 0, kNo, 1},
        {"minimum one larger", 10000, 0, 3201, 3200, 0, kNo, 1},
        {"minimum 0", 10000, 0, 0, 3200, 0, kNo, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<uint8_t> h = testsupport::MakeHeader({.playDuration = c.playDuration, .preroll = c.preroll,
                                                          .minPacketSize = c.minSize, .maxPacketSize = c.maxSize,
                                                          .paddingObjectBefore = c.objectBefore});
        AsfHeaderInfo info;
        ASSERT_EQ(AsfCodec::ParseHeader(h.data(), h.size(), info), c.result);
        if (c.result != kOk) continue;
        EXPECT_EQ(info.DurationMs, c.durationMs);
        EXPECT_EQ(info.IsLive(), c.durationMs == 0);
        EXPECT_EQ(info.filePropertiesOffset, 30 + c.objectBefore);
        EXPECT_EQ(info.HeaderLength, 134 + c.objectBefore);
    }
    // Without the GUID, or with the last field read (maximum packet size,
    // ending 100 bytes after the GUID at 30) cut short, info stays as it was.
    const std::vector<uint8_t> h = testsupport::MakeHeader({});
    for (size_t length : {size_t(0), size_t(129), size_t(130), h.size()}) {
        for (bool spoiled : {false, true}) {
            SCOPED_TRACE(testing::Message() << length << (spoiled ? " spoiled" : ""));
            std::vector<uint8_t> bytes = h;
            bytes[30] ^= spoiled ? 0xFF : 0;
            AsfHeaderInfo info;
            info.minPacketSize = 1234;
            const bool found = !spoiled && length >= 130;
            EXPECT_EQ(AsfCodec::ParseHeader(bytes.data(), length, info),
                      found ? HeaderParseResult::Ok : HeaderParseResult::FilePropertiesNotFound);
            EXPECT_EQ(info.filePropertiesOffset, found ? 30u : 0u);
            EXPECT_EQ(info.minPacketSize, found ? 3000u : 1234u);
            EXPECT_EQ(info.HeaderLength, found ? length - 50 : 0u);
        }
    }
}

// A GUID is found only with a byte behind it; the first of two, not one
// that differs in its last byte.
TEST(FindGuidTest, FirstWholeOccurrenceWithAByteBehind) {
    std::vector<uint8_t> buf(200, 0);
    std::memcpy(buf.data() + 50, testsupport::kContentDescriptionGuid, 16);
    std::memcpy(buf.data() + 90, testsupport::kFilePropertiesGuid, 16);
    std::memcpy(buf.data() + 150, testsupport::kFilePropertiesGuid, 16);
    EXPECT_EQ(AsfCodec::FindContentDescription(buf.data(), buf.size()), 50);
    EXPECT_EQ(AsfCodec::FindFileProperties(buf.data(), 106), -1);
    EXPECT_EQ(AsfCodec::FindFileProperties(buf.data(), 107), 90);
    EXPECT_EQ(AsfCodec::FindContentDescription(buf.data() + 50, 16), -1);
    EXPECT_EQ(AsfCodec::FindFileProperties(nullptr, 0), -1);
    buf[90 + 15] ^= 1;
    EXPECT_EQ(AsfCodec::FindFileProperties(buf.data(), buf.size()), 150);
}

// Byte 3 of a data packet -> where its Send Time lies.
const std::map<uint8_t, int> kSendTimeTable = {
    {0x00, 5}, {0x01, 5}, {0x08, 6}, {0x09, 6}, {0x10, 7}, {0x11, 7}, {0x48, 8}, {0x50, 9},
};

TEST(SendTimeOffsetTest, EveryLengthTypeByte) {
    for (int b = 0; b < 256; ++b) {
        SCOPED_TRACE(testing::Message() << "byte 3 = 0x" << std::hex << b);
        auto it = kSendTimeTable.find(static_cast<uint8_t>(b));
        const int expected = it == kSendTimeTable.end() ? -1 : it->second;
        // A packet built from the layout, then one byte too short for the send time.
        std::vector<uint8_t> packet = testsupport::MakePacket(static_cast<uint8_t>(b), 0xA1B2C3D4u, {{10}, {20}}, 400);
        EXPECT_EQ(AsfCodec::SendTimeOffset(packet.data(), packet.size()), expected);
        if (expected < 0) continue;
        EXPECT_EQ(testsupport::GetLE32(packet, size_t(expected)), 0xA1B2C3D4u);
        EXPECT_EQ(AsfCodec::SendTimeOffset(packet.data(), size_t(expected) + 4), expected);
        EXPECT_EQ(AsfCodec::SendTimeOffset(packet.data(), size_t(expected) + 3), -1);
    }
    EXPECT_EQ(AsfCodec::SendTimeOffset(nullptr, 64), -1);
}

TEST(RebasePacketTimesTest, TimesCountFromBaseAndPaddingIsCleared) {
    const struct {
        uint32_t time, base, expected;
    } cases[] = {
        {5000, 1000, 4000}, {1001, 1000, 1}, {1000, 1000, 0}, {999, 1000, 0},  // below base: 0, not wrapped
        {0, 1000, 0}, {0xFFFFFFFFu, 0, 0xFFFFFFFFu}, {0, 0, 0}, {0xFFFFFFFFu, 0xFFFFFFFEu, 1},
    };
    for (uint8_t layout : {0x00, 0x01, 0x08, 0x09, 0x10, 0x11, 0x48, 0x49, 0x50, 0x51}) {
        for (const auto& c : cases) {
            SCOPED_TRACE(testing::Message() << "layout " << int(layout) << " time " << c.time << " base " << c.base);
            // Several payloads: 40 (the count takes 6 bits, not to be read as 8); only those with 8 bytes
            // of replicated data carry a presentation time, and everything else stays as it was.
            std::vector<testsupport::PayloadDescription> payloads = {{c.time, 40}};
            for (uint8_t i = 1; layout & 1 && i < 40; ++i) {
                payloads.push_back({c.time, 4, uint8_t(i % 3 == 0 ? 8 : i % 3 == 1 ? 12 : 0)});
            }
            const std::vector<uint8_t> p = testsupport::MakePacket(layout, c.time, payloads, 1200, 0xEE);
            testsupport::AsfPacketLayout where;
            ASSERT_TRUE(testsupport::WalkAsfPacket(p, 1200, where));
            ASSERT_EQ(where.presentationTimeOffsets.size(), layout & 1 ? 14u : 1u);
            const size_t padStart = 1200 - where.paddingLength;
            // Received whole or only partly: padding is cleared up to the last byte received, not one further.
            for (size_t received : {size_t(1200), padStart + where.paddingLength / 2}) {
                std::vector<uint8_t> got = p, expected = p;
                testsupport::PutLE32(expected, where.sendTimeOffset, c.expected);
                for (size_t off : where.presentationTimeOffsets) testsupport::PutLE32(expected, off, c.expected);
                std::fill(expected.begin() + long(padStart), expected.begin() + long(received), 0);
                EXPECT_EQ(AsfCodec::RebasePacketTimes(got.data(), received, c.base, InfoWithPacketSize(1200)), 0);
                EXPECT_EQ(got, expected) << received;
            }
        }
    }
}

TEST(RebasePacketTimesTest, RejectedPacketsAreLeftUnchanged) {
    // Layout 0x09: no packet length (the header's), the padding length in
    // byte 5, a 12-byte packet header, each payload's length at 28.
    const struct {
        const char* name;
        uint8_t layout;
        uint32_t headerPacketSize;
        size_t at;
        uint8_t value;
        int result;
    } cases[] = {
        {"no error correction", 0x09, 200, 0, 0x81, 1},
        {"error correction of another length", 0x09, 200, 0, 0x02, 1},
        {"error correction data not zero", 0x09, 200, 1, 0x01, 1},
        {"opaque data", 0x09, 200, 2, 0x80, 1},
        {"length type byte with its top bit", 0x09, 200, 3, 0x89, 1},
        {"padding as long as the packet", 0x09, 200, 5, 200, 1},
        {"padding reaching into the packet header", 0x09, 200, 5, 188, 1},
        {"padding leaving no room for a payload", 0x09, 200, 5, 187, 1},
        {"payload length past the packet", 0x09, 200, 29, 0xFF, 1},
        {"padding longer than the packet", 0x48, 200, 7, 0xFF, 1},
        {"header says the packets are smaller", 0x08, 60, 0, 0x82, 1},
        {"packet length of nearly 4 GiB", 0x60, 200, 8, 0xFF, 0},
        {"nothing spoiled", 0x09, 200, 0, 0x82, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<uint8_t> p = testsupport::MakePacket(c.layout, 5000, {{5000, 20}, {5000, 20}}, 200, 0xEE);
        p[c.at] = c.value;
        const std::vector<uint8_t> before = p;
        EXPECT_EQ(AsfCodec::RebasePacketTimes(p.data(), p.size(), 1000, InfoWithPacketSize(c.headerPacketSize)),
                  c.result);
        if (c.result == 1) {
            EXPECT_EQ(p, before);
        } else {
            EXPECT_EQ(testsupport::GetLE32(p, c.layout == 0x60 ? 9 : 6), 4000u);
        }
    }
    EXPECT_EQ(AsfCodec::RebasePacketTimes(nullptr, 0, 0, InfoWithPacketSize(200)), 1);
}

}  // namespace
}  // namespace larkspan
