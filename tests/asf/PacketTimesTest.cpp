// Send time location and live packet time rebasing: the layout table, times
// around the base, padding, hostile and truncated packets, real packets.
#include <gtest/gtest.h>

#include <map>

#include "asf/AsfCodec.h"
#include "tests/support/AsfBuilders.h"
#include "tests/support/AsfFileParts.h"
#include "tests/support/Samples.h"

namespace larkspan {
namespace {

using testsupport::MakePacket;
using testsupport::PayloadDescription;
using testsupport::GetLE32;
using testsupport::PutLE32;

AsfHeaderInfo InfoWithPacketSize(uint32_t size) {
    AsfHeaderInfo info;
    info.minPacketSize = info.maxPacketSize = size;
    return info;
}

// Byte 3 of a data packet -> where its Send Time lies.
const std::map<uint8_t, int> kSendTimeTable = {
    {0x00, 5}, {0x01, 5}, {0x08, 6}, {0x09, 6}, {0x10, 7}, {0x11, 7}, {0x48, 8}, {0x50, 9},
};

TEST(SendTimeOffsetTest, EveryLengthTypeByte) {
    for (int b = 0; b < 256; ++b) {
        std::vector<uint8_t> packet(64, 0);
        packet[0] = 0x82;
        packet[3] = static_cast<uint8_t>(b);
        auto it = kSendTimeTable.find(static_cast<uint8_t>(b));
        const int expected = it == kSendTimeTable.end() ? -1 : it->second;
        EXPECT_EQ(AsfCodec::SendTimeOffset(packet.data(), packet.size()), expected) << "byte 3 = 0x" << std::hex << b;
    }
}

TEST(SendTimeOffsetTest, SeveralPayloadsWithWordPacketLengthHasNoSendTime) {
    std::vector<uint8_t> packet = MakePacket(0x49, 1000, {{2000}, {2100}}, 300);
    ASSERT_EQ(packet[3], 0x49);
    EXPECT_EQ(AsfCodec::SendTimeOffset(packet.data(), packet.size()), -1);
}

TEST(SendTimeOffsetTest, PacketTooShortForTheSendTime) {
    for (const auto& [byte3, offset] : kSendTimeTable) {
        std::vector<uint8_t> packet(offset + 4, 0);
        packet[0] = 0x82;
        packet[3] = byte3;
        EXPECT_EQ(AsfCodec::SendTimeOffset(packet.data(), offset + 4), offset);
        for (int len = 0; len < offset + 4; ++len)
            EXPECT_EQ(AsfCodec::SendTimeOffset(packet.data(), len), -1) << "byte 3 " << int(byte3) << " length " << len;
    }
}

TEST(SendTimeOffsetTest, TableMatchesBuiltPackets) {
    // Where the hand-built packet writer put the send time for each layout in
    // the table (the table itself is keyed on byte 3 alone).
    for (const auto& [byte3, offset] : kSendTimeTable) {
        std::vector<uint8_t> packet = MakePacket(byte3, 0xA1B2C3D4u, {{10}, {20}}, 400);
        ASSERT_EQ(AsfCodec::SendTimeOffset(packet.data(), packet.size()), offset);
        EXPECT_EQ(GetLE32(packet, offset), 0xA1B2C3D4u) << "byte 3 " << int(byte3);
    }
}

struct RebaseCase {
    uint32_t time, base, expected;
};
const RebaseCase kRebaseCases[] = {
    {5000, 1000, 4000},
    {1001, 1000, 1},
    {1000, 1000, 0},
    {999, 1000, 0},  // below base: 0, not a wrapped value
    {0, 1000, 0},
    {0xFFFFFFFFu, 0, 0xFFFFFFFFu},
    {0, 0, 0},
    {0xFFFFFFFFu, 0xFFFFFFFEu, 1},
};

TEST(RebasePacketTimesTest, SendAndPresentationTimesCountFromBase) {
    for (uint8_t layout : {0x00, 0x01, 0x08, 0x09, 0x10, 0x11, 0x48, 0x49, 0x50, 0x51}) {
        for (const RebaseCase& c : kRebaseCases) {
            SCOPED_TRACE(testing::Message() << "layout 0x" << std::hex << int(layout) << std::dec << " time " << c.time
                                            << " base " << c.base);
            const bool several = layout & 1;
            std::vector<PayloadDescription> payloads = {{c.time, 40}};
            if (several) payloads.push_back({c.time, 30});
            std::vector<uint8_t> p = MakePacket(layout, c.time, payloads, 500);
            testsupport::AsfPacketLayout where;
            ASSERT_TRUE(testsupport::WalkAsfPacket(p, 500, where));
            AsfHeaderInfo info = InfoWithPacketSize(500);
            EXPECT_EQ(AsfCodec::RebasePacketTimes(p.data(), p.size(), c.base, info), 0);
            EXPECT_EQ(GetLE32(p, where.sendTimeOffset), c.expected);
            ASSERT_EQ(where.presentationTimeOffsets.size(), payloads.size());
            for (size_t off : where.presentationTimeOffsets) EXPECT_EQ(GetLE32(p, off), c.expected);
        }
    }
}

TEST(RebasePacketTimesTest, OnlyEightByteReplicatedDataCarriesATime) {
    std::vector<uint8_t> p = MakePacket(0x09, 9000, {{9000, 20, 8}, {9000, 20, 12}, {9000, 20, 0}}, 300);
    const std::vector<uint8_t> before = p;
    testsupport::AsfPacketLayout where;
    ASSERT_TRUE(testsupport::WalkAsfPacket(p, 300, where));
    ASSERT_EQ(where.presentationTimeOffsets.size(), 1u);
    EXPECT_EQ(AsfCodec::RebasePacketTimes(p.data(), p.size(), 1000, InfoWithPacketSize(300)), 0);
    EXPECT_EQ(GetLE32(p, where.sendTimeOffset), 8000u);
    EXPECT_EQ(GetLE32(p, where.presentationTimeOffsets[0]), 8000u);
    // Everything but those two fields is as it was.
    std::vector<uint8_t> expected = before;
    PutLE32(expected, where.sendTimeOffset, 8000);
    PutLE32(expected, where.presentationTimeOffsets[0], 8000);
    EXPECT_EQ(p, expected);
}

TEST(RebasePacketTimesTest, FortyPayloadsAreAllRebased) {
    // The payload count takes 6 bits: 40 payloads must not be read as 8.
    std::vector<PayloadDescription> payloads(40, PayloadDescription{7000, 4});
    std::vector<uint8_t> p = MakePacket(0x09, 7000, payloads, 1200);
    testsupport::AsfPacketLayout where;
    ASSERT_TRUE(testsupport::WalkAsfPacket(p, 1200, where));
    ASSERT_EQ(where.presentationTimeOffsets.size(), 40u);
    EXPECT_EQ(AsfCodec::RebasePacketTimes(p.data(), p.size(), 2000, InfoWithPacketSize(1200)), 0);
    for (size_t off : where.presentationTimeOffsets) EXPECT_EQ(GetLE32(p, off), 5000u) << off;
}

TEST(RebasePacketTimesTest, ClearsPaddingWithinTheBytesReceived) {
    for (uint8_t layout : {0x08, 0x09, 0x10, 0x11, 0x48, 0x50}) {
        SCOPED_TRACE(int(layout));
        std::vector<uint8_t> p = MakePacket(layout, 100, {{100, 50}}, 400, 0xEE);
        testsupport::AsfPacketLayout where;
        ASSERT_TRUE(testsupport::WalkAsfPacket(p, 400, where));
        ASSERT_GT(where.paddingLength, 0u);
        const size_t padStart = 400 - where.paddingLength;

        std::vector<uint8_t> whole = p;
        EXPECT_EQ(AsfCodec::RebasePacketTimes(whole.data(), whole.size(), 0, InfoWithPacketSize(400)), 0);
        for (size_t i = padStart; i < 400; ++i) ASSERT_EQ(whole[i], 0) << i;
        EXPECT_EQ(whole[padStart - 1], p[padStart - 1]);

        // Received only partly: the padding is cleared up to the last byte
        // received and not one byte further.
        const size_t received = padStart + where.paddingLength / 2;
        std::vector<uint8_t> part = p;
        AsfCodec::RebasePacketTimes(part.data(), received, 0, InfoWithPacketSize(400));
        for (size_t i = padStart; i < received; ++i) ASSERT_EQ(part[i], 0) << i;
        for (size_t i = received; i < 400; ++i) ASSERT_EQ(part[i], 0xEE) << i;
    }
}

TEST(RebasePacketTimesTest, PacketSizeComesFromHeaderWhenPacketLengthIsAbsent) {
    // Layout 0x08 has no packet length; the padding ends at the header's
    // packet size.
    std::vector<uint8_t> p = MakePacket(0x08, 100, {{100, 50}}, 300, 0xEE);
    testsupport::AsfPacketLayout where;
    ASSERT_TRUE(testsupport::WalkAsfPacket(p, 300, where));
    EXPECT_EQ(AsfCodec::RebasePacketTimes(p.data(), p.size(), 0, InfoWithPacketSize(300)), 0);
    for (size_t i = 300 - where.paddingLength; i < 300; ++i) ASSERT_EQ(p[i], 0) << i;

    // With a header that says the packets are smaller than this one, the
    // payload does not fit and the packet is not understood.
    std::vector<uint8_t> q = MakePacket(0x08, 100, {{100, 50}}, 300, 0xEE);
    EXPECT_EQ(AsfCodec::RebasePacketTimes(q.data(), q.size(), 0, InfoWithPacketSize(60)), 1);
}

TEST(RebasePacketTimesTest, RejectedPacketsAreLeftUnchanged) {
    // Layout 0x09: no packet length (the header's 200 bytes), the padding
    // length in byte 5, a 12-byte packet header.
    std::vector<uint8_t> good = MakePacket(0x09, 5000, {{5000, 20}}, 200);
    ASSERT_EQ(AsfCodec::RebasePacketTimes(std::vector<uint8_t>(good).data(), good.size(), 1000,
                                          InfoWithPacketSize(200)), 0);
    struct Spoil {
        size_t at;
        uint8_t value;
    };
    const Spoil spoils[] = {
        {0, 0x81}, {0, 0x02}, {1, 0x01}, {2, 0x80}, {3, 0x89},  // unknown layouts
        {5, 200},                                               // padding as long as the packet
        {5, 188},                                               // padding reaching into the packet header
        {5, 187},                                               // padding leaving no room for a payload
    };
    for (Spoil s : spoils) {
        std::vector<uint8_t> p = good;
        p[s.at] = s.value;
        const std::vector<uint8_t> before = p;
        EXPECT_EQ(AsfCodec::RebasePacketTimes(p.data(), p.size(), 1000, InfoWithPacketSize(200)), 1)
            << s.at << "=" << int(s.value);
        EXPECT_EQ(p, before);
    }
}

TEST(RebasePacketTimesTest, HostileLengthsStayInsideThePacket) {
    AsfHeaderInfo info = InfoWithPacketSize(200);
    // Padding longer than the packet.
    std::vector<uint8_t> p = MakePacket(0x48, 5000, {{5000, 20}}, 200, 0xEE);
    testsupport::AsfPacketLayout where;
    ASSERT_TRUE(testsupport::WalkAsfPacket(p, 200, where));
    p[7] = 0xFF;  // padding length byte follows the 2-byte packet length
    const std::vector<uint8_t> before = p;
    EXPECT_EQ(AsfCodec::RebasePacketTimes(p.data(), p.size(), 1000, info), 1);
    EXPECT_EQ(p, before);

    // A payload length that runs past the packet.
    std::vector<uint8_t> q = MakePacket(0x09, 5000, {{5000, 20}, {5000, 20}}, 200);
    ASSERT_TRUE(testsupport::WalkAsfPacket(q, 200, where));
    const size_t firstLength = where.presentationTimeOffsets[0] + 4;
    q[firstLength] = 0xFF;
    q[firstLength + 1] = 0xFF;
    EXPECT_EQ(AsfCodec::RebasePacketTimes(q.data(), q.size(), 1000, info), 1);

    // A 4-byte packet length of 4 GiB - 1 in a 200-byte buffer.
    std::vector<uint8_t> r = MakePacket(0x60, 5000, {{5000, 20}}, 200);
    r[5] = r[6] = r[7] = r[8] = 0xFF;
    AsfCodec::RebasePacketTimes(r.data(), r.size(), 1000, info);
    EXPECT_EQ(AsfCodec::RebasePacketTimes(nullptr, 0, 0, info), 1);
}

// Cuts a packet at every length and checks that each cut run touches only
// bytes before the cut, and only in ways the whole run also does.
void CheckEveryCut(const std::vector<uint8_t>& packet, uint32_t base, const AsfHeaderInfo& info) {
    std::vector<uint8_t> whole = packet;
    AsfCodec::RebasePacketTimes(whole.data(), whole.size(), base, info);
    constexpr size_t kGuard = 32;
    for (size_t len = 0; len <= packet.size(); ++len) {
        std::vector<uint8_t> buf(len + kGuard, 0xA5);
        std::copy(packet.begin(), packet.begin() + len, buf.begin());
        AsfCodec::RebasePacketTimes(buf.data(), len, base, info);
        for (size_t i = 0; i < len; ++i) {
            if (buf[i] != packet[i] && buf[i] != whole[i])
                FAIL() << "cut at " << len << ": byte " << i << " became " << int(buf[i]);
        }
        for (size_t i = len; i < buf.size(); ++i) {
            if (buf[i] != 0xA5) FAIL() << "cut at " << len << ": wrote byte " << i << " past the end";
        }
    }
}

TEST(RebasePacketTimesTest, TruncatedBuiltPacketsOfEveryLength) {
    for (uint8_t layout : {0x00, 0x01, 0x08, 0x09, 0x10, 0x11, 0x48, 0x49, 0x50, 0x51, 0x68, 0x0F}) {
        SCOPED_TRACE(int(layout));
        std::vector<uint8_t> p = MakePacket(layout, 9000, {{9000, 30}, {500, 10}, {9500, 25}}, 260, 0xEE);
        if (!(layout & 1)) p = MakePacket(layout, 9000, {{9000, 30}}, 260, 0xEE);
        CheckEveryCut(p, 1000, InfoWithPacketSize(260));
    }
}

TEST(RebasePacketTimesTest, TruncatedSamplePacketsOfEveryLength) {
    if (testsupport::SamplesDir().empty()) GTEST_SKIP() << testsupport::SamplesError();
    for (const char* name : {"clip.asf", "bigpackets.asf"}) {
        testsupport::AsfFileParts parts;
        std::string error;
        ASSERT_TRUE(testsupport::SplitAsfFile(testsupport::SamplePath(name), parts, &error)) << error;
        AsfHeaderInfo info;
        ASSERT_EQ(AsfCodec::ParseHeader(parts.header.data(), parts.header.size(), info), HeaderParseResult::Ok);
        // One packet of each layout byte found in the file.
        std::map<uint8_t, size_t> firstOfLayout;
        for (size_t i = 0; i < parts.packets.size(); ++i) firstOfLayout.emplace(parts.packets[i][3], i);
        for (const auto& [layout, index] : firstOfLayout) {
            SCOPED_TRACE(testing::Message() << name << " packet " << index);
            CheckEveryCut(parts.packets[index], 1500, info);
        }
    }
}

TEST(SamplePacketsTest, LayoutsAreInTheSendTimeTable) {
    if (testsupport::SamplesDir().empty()) GTEST_SKIP() << testsupport::SamplesError();
    for (const char* name : {"clip.asf", "audio.asf", "bigpackets.asf"}) {
        SCOPED_TRACE(name);
        testsupport::AsfFileParts parts;
        std::string error;
        ASSERT_TRUE(testsupport::SplitAsfFile(testsupport::SamplePath(name), parts, &error)) << error;
        ASSERT_FALSE(parts.packets.empty());
        for (size_t i = 0; i < parts.packets.size(); ++i) {
            const auto& packet = parts.packets[i];
            testsupport::AsfPacketLayout where;
            ASSERT_TRUE(testsupport::WalkAsfPacket(packet, parts.packetSize, where, &error)) << i << ": " << error;
            EXPECT_EQ(AsfCodec::SendTimeOffset(packet.data(), packet.size()), static_cast<int>(where.sendTimeOffset))
                << "packet " << i << " byte 3 = " << int(packet[3]);
        }
    }
}

}  // namespace
}  // namespace larkspan
