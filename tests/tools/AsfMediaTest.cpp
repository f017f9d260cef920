// The server's view of an ASF file, held against the independent splitter
// and packet walker of tests/support.
#include <gtest/gtest.h>

#include <functional>

#include "tests/support/AsfFileParts.h"
#include "tests/support/Samples.h"
#include "tools/server/AsfMedia.h"

namespace larkspan {
namespace {

using testserver::AsfMedia;
namespace ts = testsupport;

const char* const kSamples[] = {"clip.asf", "audio.asf", "bigpackets.asf"};

class AsfMediaTest : public ::testing::TestWithParam<const char*> {
protected:
    void SetUp() override {
        path_ = ts::SamplePath(GetParam());
        if (path_.empty()) GTEST_SKIP() << ts::SamplesError();
        std::string error;
        ASSERT_TRUE(AsfMedia::LoadFile(path_, media_, &error)) << error;
        ASSERT_TRUE(ts::SplitAsfFile(path_, parts_, &error)) << error;
    }
    std::string path_;
    AsfMedia media_;
    ts::AsfFileParts parts_;
};

TEST_P(AsfMediaTest, SplitsLikeTheIndependentSplitter) {
    EXPECT_EQ(media_.header, parts_.header);
    EXPECT_EQ(media_.packetSize, parts_.packetSize);
    EXPECT_EQ(media_.filePropertiesOffset, parts_.filePropertiesOffset);
    ASSERT_EQ(media_.packets.size(), parts_.packets.size());
    for (size_t i = 0; i < media_.packets.size(); ++i) ASSERT_EQ(media_.packets[i], parts_.packets[i]) << i;
    EXPECT_FALSE(media_.live);
}

TEST_P(AsfMediaTest, WalksPacketsLikeTheIndependentWalker) {
    for (size_t i = 0; i < parts_.packets.size(); ++i) {
        const auto& p = parts_.packets[i];
        ts::AsfPacketLayout expected;
        std::string error;
        ASSERT_TRUE(ts::WalkAsfPacket(p, parts_.packetSize, expected, &error)) << i << ": " << error;
        auto got = testserver::WalkPacket(p.data(), p.size(), media_.packetSize);
        ASSERT_TRUE(got.has_value()) << i;
        EXPECT_EQ(got->sendTimeOffset, expected.sendTimeOffset) << i;
        EXPECT_EQ(got->presentationTimeOffsets, expected.presentationTimeOffsets) << i;
        EXPECT_EQ(got->paddingLength, expected.paddingLength) << i;
        EXPECT_EQ(got->payloadCount, expected.payloadCount) << i;
    }
}

// A packet sent without its padding must come back bit for bit when the
// receiver fills it up with zeros, as the recorder does.
TEST_P(AsfMediaTest, TrimmedPacketsZeroPadBackToTheOriginal) {
    size_t trimmed = 0;
    for (size_t i = 0; i < parts_.packets.size(); ++i) {
        const auto& original = parts_.packets[i];
        ts::AsfPacketLayout layout;
        ASSERT_TRUE(ts::WalkAsfPacket(original, parts_.packetSize, layout));
        const size_t n = testserver::TrimmedLength(original, media_.packetSize);
        EXPECT_EQ(n, original.size() - layout.paddingLength) << i;
        std::vector<uint8_t> restored(original.begin(), original.begin() + n);
        restored.resize(parts_.packetSize, 0);
        ASSERT_EQ(restored, original) << "packet " << i;
        if (n < original.size()) ++trimmed;
    }
    // Every sample has padded packets; a trimmer that never trims proves nothing.
    EXPECT_GT(trimmed, 0u);
}

TEST_P(AsfMediaTest, LiveVariantShiftsEverySendAndPresentationTime) {
    const uint32_t base = 5'000'000;
    AsfMedia live = testserver::MakeLive(media_, base);
    ASSERT_EQ(live.packets.size(), parts_.packets.size());
    for (size_t i = 0; i < parts_.packets.size(); ++i) {
        const auto& before = parts_.packets[i];
        const auto& after = live.packets[i];
        ASSERT_EQ(after.size(), before.size());
        ts::AsfPacketLayout layout;
        ASSERT_TRUE(ts::WalkAsfPacket(before, parts_.packetSize, layout));
        std::vector<uint8_t> a = before, b = after;
        EXPECT_EQ(ts::GetLE32(after, layout.sendTimeOffset), ts::GetLE32(before, layout.sendTimeOffset) + base) << i;
        ts::PutLE32(a, layout.sendTimeOffset, 0);
        ts::PutLE32(b, layout.sendTimeOffset, 0);
        ASSERT_FALSE(layout.presentationTimeOffsets.empty()) << i;
        for (size_t at : layout.presentationTimeOffsets) {
            EXPECT_EQ(ts::GetLE32(after, at), ts::GetLE32(before, at) + base) << i;
            ts::PutLE32(a, at, 0);
            ts::PutLE32(b, at, 0);
        }
        EXPECT_EQ(a, b) << "packet " << i << " changed outside its time fields";
    }
}

TEST_P(AsfMediaTest, LiveHeaderLooksLikeABroadcast) {
    AsfMedia live = testserver::MakeLive(media_);
    const size_t fp = parts_.filePropertiesOffset;
    const auto& h = live.header;
    EXPECT_EQ(ts::GetLE64(h, fp + 40), 0u);  // File Size
    EXPECT_EQ(ts::GetLE64(h, fp + 56), 0u);  // Data Packets Count
    EXPECT_EQ(ts::GetLE64(h, fp + 64), 0u);  // Play Duration
    EXPECT_EQ(ts::GetLE64(h, fp + 72), 0u);  // Send Duration
    EXPECT_EQ(ts::GetLE32(h, fp + 88) & 1u, 1u);  // Broadcast
    EXPECT_EQ(ts::GetLE32(h, fp + 88) & 2u, 0u);  // not Seekable
    // Nothing else in the header moves.
    std::vector<uint8_t> a = parts_.header, b = h;
    for (size_t off : {40, 56, 64, 72}) {
        ts::PutLE64(a, fp + off, 0);
        ts::PutLE64(b, fp + off, 0);
    }
    ts::PutLE32(a, fp + 88, 0);
    ts::PutLE32(b, fp + 88, 0);
    EXPECT_EQ(a, b);
    EXPECT_TRUE(live.live);
}

INSTANTIATE_TEST_SUITE_P(Samples, AsfMediaTest, ::testing::ValuesIn(kSamples),
                         [](const auto& info) {
                             std::string n = info.param;
                             return n.substr(0, n.find('.'));
                         });

// Hostile or broken files give an error, never a crash or a bogus split.
TEST(AsfMediaParse, RejectsBrokenFiles) {
    std::string path = ts::SamplePath("clip.asf");
    if (path.empty()) GTEST_SKIP() << ts::SamplesError();
    const std::vector<uint8_t> good = ts::ReadFileBytes(path);
    ts::AsfFileParts parts;
    ASSERT_TRUE(ts::SplitAsf(good, parts));
    const size_t fp = parts.filePropertiesOffset;
    const size_t dataObject = parts.dataObjectOffset;

    struct Case {
        const char* name;
        std::function<void(std::vector<uint8_t>&)> bend;
    };
    const Case cases[] = {
        {"empty", [](auto& b) { b.clear(); }},
        {"not ASF", [](auto& b) { b[0] ^= 0xFF; }},
        {"header size past the end", [](auto& b) { ts::PutLE64(b, 16, b.size() + 1); }},
        {"header size below 30", [](auto& b) { ts::PutLE64(b, 16, 10); }},
        {"cut inside the header", [&](auto& b) { b.resize(dataObject - 1); }},
        {"cut inside the data object header", [&](auto& b) { b.resize(dataObject + 49); }},
        {"no data object", [&](auto& b) { b[dataObject] ^= 0xFF; }},
        {"no file properties", [&](auto& b) { b[fp] ^= 0xFF; }},
        {"min != max packet size", [&](auto& b) { ts::PutLE32(b, fp + 96, ts::GetLE32(b, fp + 92) + 1); }},
        {"packet size 0", [&](auto& b) {
             ts::PutLE32(b, fp + 92, 0);
             ts::PutLE32(b, fp + 96, 0);
         }},
        {"packet size 65536", [&](auto& b) {
             ts::PutLE32(b, fp + 92, 65536);
             ts::PutLE32(b, fp + 96, 65536);
         }},
    };
    for (const auto& c : cases) {
        std::vector<uint8_t> bytes = good;
        c.bend(bytes);
        AsfMedia media;
        std::string error;
        EXPECT_FALSE(AsfMedia::Parse(bytes.data(), bytes.size(), media, &error)) << c.name;
        EXPECT_FALSE(error.empty()) << c.name;
    }
}

TEST(AsfMediaParse, TruncatedDataKeepsOnlyWholePackets) {
    std::string path = ts::SamplePath("clip.asf");
    if (path.empty()) GTEST_SKIP() << ts::SamplesError();
    std::vector<uint8_t> bytes = ts::ReadFileBytes(path);
    ts::AsfFileParts parts;
    ASSERT_TRUE(ts::SplitAsf(bytes, parts));
    bytes.resize(parts.header.size() + 3 * parts.packetSize + 100);
    AsfMedia media;
    ASSERT_TRUE(AsfMedia::Parse(bytes.data(), bytes.size(), media));
    EXPECT_EQ(media.packets.size(), 3u);
}

// The walker reads only the bytes it is given: every prefix of every packet
// either walks or is refused, and a walk never reports offsets outside it.
TEST(AsfMediaParse, WalkerStaysInsideTruncatedPackets) {
    std::string path = ts::SamplePath("clip.asf");
    if (path.empty()) GTEST_SKIP() << ts::SamplesError();
    AsfMedia media;
    ASSERT_TRUE(AsfMedia::LoadFile(path, media));
    for (size_t i = 0; i < media.packets.size(); i += 7) {
        const auto& p = media.packets[i];
        for (size_t n = 0; n <= 64; ++n) {
            std::vector<uint8_t> prefix(p.begin(), p.begin() + n);  // exact-size buffer for ASan
            auto f = testserver::WalkPacket(prefix.data(), prefix.size(), media.packetSize);
            if (!f) continue;
            EXPECT_LE(f->sendTimeOffset + 4, n);
            for (size_t at : f->presentationTimeOffsets) EXPECT_LE(at + 4, n);
        }
    }
}

}  // namespace
}  // namespace larkspan
