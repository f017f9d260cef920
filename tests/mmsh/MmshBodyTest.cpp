// The body readers of the MMSH client over bytes in memory, handed out a few
// at a time: chunk framing, header joining, padding, limits, malformed and
// truncated input.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "asf/OutputFile.h"
#include "protocols/mmsh/ByteSource.h"
#include "protocols/StreamErrors.h"
#include "protocols/mmsh/MmshClient.h"
#include "tests/mmsh/MmshTestUtil.h"

namespace larkspan::mmshtest {
namespace {

// Pull sizes the body is handed out in: byte by byte, odd small steps, one
// smaller than a chunk head, and everything at once.
const size_t kSteps[] = {1, 3, 7, 11, 4096, 0};

class BodyTest : public ::testing::TestWithParam<size_t> {
protected:
    BodyTest() : dir_("body") {}

    // Runs ReadBody over `body` into a fresh file and returns the file bytes.
    std::vector<uint8_t> Run(MmshClient& client, const std::vector<uint8_t>& body, bool describeOnly = false,
                             uint64_t contentLength = 0, ReadStatus atEnd = ReadStatus::End, bool withFile = true) {
        const std::string path = dir_.File("out.asf");
        OutputFile file;
        EXPECT_TRUE(file.Create(path));
        MemoryByteSource source(body.data(), body.size(), GetParam(), atEnd);
        count_ = client.ReadBody(source, withFile ? &file : nullptr, contentLength, describeOnly);
        consumed_ = source.Consumed();
        EXPECT_TRUE(file.Close());
        return ReadFileBytes(path);
    }

    static std::vector<uint8_t> Padded(std::vector<uint8_t> packet, size_t size) {
        if (packet.size() < size) packet.resize(size, 0);
        return packet;
    }

    RecordingSink sink_;
    RecorderSettings settings_;
    TempFolder dir_;
    uint64_t count_ = 0;
    size_t consumed_ = 0;
};

INSTANTIATE_TEST_SUITE_P(Steps, BodyTest, ::testing::ValuesIn(kSteps));

// What the body means rather than how it is cut up: the whole body at once.
class BodyRules : public BodyTest {};
INSTANTIATE_TEST_SUITE_P(WholeBody, BodyRules, ::testing::Values(size_t{0}));

TEST_P(BodyTest, PlayBodyWritesHeaderThenPacketsPaddedToPacketSize) {
    HeaderValues shape = OnDemandHeader();
    const std::vector<uint8_t> header = MakeHeader(shape);
    const std::vector<std::vector<uint8_t>> packets = {
        MakePacket(0, 3200, 1), MakePacket(1000, 1500, 2), MakePacket(2500, 40, 3)};
    std::vector<uint8_t> body = MakeChunk('H', header, 0x0C);
    for (size_t i = 0; i < packets.size(); ++i) Append(body, MakeChunk('D', packets[i], 0, uint32_t(i)));
    Append(body, EndChunk());

    MmshClient client(1, settings_, &sink_, nullptr);
    const std::vector<uint8_t> written = Run(client, body);

    std::vector<uint8_t> expected = header;
    for (const auto& p : packets) Append(expected, Padded(p, 3200));
    EXPECT_EQ(written, expected);
    EXPECT_EQ(client.Framing(), MmshClient::kFramingFramed);
    EXPECT_EQ(client.BytesReceived(), header.size() + 3 * 3200);
    EXPECT_TRUE(sink_.errors.empty());
    EXPECT_EQ(consumed_, body.size());

    // 20 s minus 3 s preroll = 17000 ms; progress in hundredths of a per cent.
    EXPECT_EQ(client.HeaderInfo().DurationMs, 17000u);
    ASSERT_EQ(sink_.progressCalls.size(), 3u);
    EXPECT_EQ(sink_.progressCalls[0].progress, 0);
    EXPECT_EQ(sink_.progressCalls[1].progress, 1000 * 10000 / 17000);
    EXPECT_EQ(sink_.progressCalls[2].progress, 2500 * 10000 / 17000);
    EXPECT_EQ(sink_.progressCalls[2].timeMs, 2500u);
    EXPECT_EQ(sink_.progressCalls[0].bytes, header.size() + 3200);
    EXPECT_EQ(sink_.progressCalls[2].bytes, header.size() + 3 * 3200);
}

TEST_P(BodyRules, DescribeOnlyCountsTheHeaderAndWritesNothing) {
    const std::vector<uint8_t> header = MakeHeader(OnDemandHeader());
    std::vector<uint8_t> body = MakeChunk('H', header, 0x0C);
    Append(body, MakeChunk('D', MakePacket(0, 100, 1)));  // never read in a describe exchange

    MmshClient client(1, settings_, &sink_, nullptr);
    EXPECT_TRUE(Run(client, body, /*describeOnly=*/true).empty());
    EXPECT_EQ(client.BytesReceived(), header.size());
    EXPECT_EQ(count_, 12 + header.size());
    EXPECT_EQ(client.HeaderInfo().minPacketSize, 3200u);
    EXPECT_TRUE(sink_.progressCalls.empty());
}

TEST_P(BodyTest, PacketsLargerThanTheBufferAreCopiedWhole) {
    HeaderValues shape = OnDemandHeader();
    shape.minPacketSize = shape.maxPacketSize = 12000;
    const std::vector<uint8_t> header = MakeHeader(shape);
    const auto full = MakePacket(0, 12000, 4);
    const auto trimmed = MakePacket(500, 9000, 5);  // still longer than the buffer, shorter than a packet
    std::vector<uint8_t> body = MakeChunk('H', header, 0x0C);
    Append(body, MakeChunk('D', full));
    Append(body, MakeChunk('D', trimmed));
    Append(body, EndChunk());

    MmshClient client(1, settings_, &sink_, nullptr);
    std::vector<uint8_t> expected = header;
    Append(expected, full);
    Append(expected, Padded(trimmed, 12000));
    EXPECT_EQ(Run(client, body), expected);
    EXPECT_TRUE(sink_.errors.empty());
    ASSERT_EQ(sink_.progressCalls.size(), 2u);
    EXPECT_EQ(sink_.progressCalls[1].timeMs, 500u);
}

TEST_P(BodyTest, HeaderSpreadOverSeveralChunksIsJoined) {
    const std::vector<uint8_t> header = MakeHeader(OnDemandHeader());
    const size_t cut1 = 40, cut2 = 130;  // the second cut falls inside File Properties
    std::vector<uint8_t> body;
    Append(body, MakeChunk('H', std::vector<uint8_t>(header.begin(), header.begin() + cut1), 0x04));
    Append(body, MakeChunk('H', std::vector<uint8_t>(header.begin() + cut1, header.begin() + cut2), 0x04));
    Append(body, MakeChunk('H', std::vector<uint8_t>(header.begin() + cut2, header.end()), 0x08));
    const auto packet = MakePacket(10, 3200, 6);
    Append(body, MakeChunk('D', packet));
    Append(body, EndChunk());

    MmshClient client(1, settings_, &sink_, nullptr);
    std::vector<uint8_t> expected = header;
    Append(expected, packet);
    EXPECT_EQ(Run(client, body), expected);
    EXPECT_TRUE(sink_.errors.empty());
    EXPECT_EQ(client.HeaderInfo().HeaderLength, header.size() - 50);
    EXPECT_EQ(client.BytesReceived(), header.size() + 3200);
}

TEST_P(BodyTest, ChunksOtherThanDataAreNotWritten) {
    const std::vector<uint8_t> header = MakeHeader(OnDemandHeader());
    const auto p1 = MakePacket(0, 3200, 7);
    const auto p2 = MakePacket(40, 3200, 8);
    std::vector<uint8_t> body = MakeChunk('H', header, 0x0C);
    Append(body, MakeChunk('D', p1));
    Append(body, MakeChunk('C', std::vector<uint8_t>(20, 0xCC)));
    Append(body, MakeChunk('Q', std::vector<uint8_t>(9000, 0x51)));
    Append(body, MakeChunk('H', header, 0x0C));  // a repeated header mid-stream
    Append(body, MakeChunk('D', p2));
    Append(body, EndChunk());

    MmshClient client(1, settings_, &sink_, nullptr);
    std::vector<uint8_t> expected = header;
    Append(expected, p1);
    Append(expected, p2);
    EXPECT_EQ(Run(client, body), expected);
    EXPECT_TRUE(sink_.errors.empty());
    EXPECT_EQ(sink_.progressCalls.size(), 2u);
}

TEST_P(BodyTest, EndAsFirstDataChunkLeavesOnlyTheHeader) {
    const std::vector<uint8_t> header = MakeHeader(OnDemandHeader());
    std::vector<uint8_t> body = MakeChunk('H', header, 0x0C);
    Append(body, EndChunk());
    MmshClient client(1, settings_, &sink_, nullptr);
    EXPECT_EQ(Run(client, body), header);
    EXPECT_EQ(client.BytesReceived(), header.size());
    EXPECT_TRUE(sink_.errors.empty());
}

TEST_P(BodyRules, LiveTimesCountFromTheFirstPacketAndProgressStaysZero) {
    HeaderValues shape = LiveHeader();
    const std::vector<uint8_t> header = MakeHeader(shape);
    std::vector<uint8_t> body = MakeChunk('H', header, 0x0C);
    const uint32_t base = 5000000;
    for (uint32_t t : {0u, 400u, 1200u}) Append(body, MakeChunk('D', MakePacket(base + t, 3200, 1)));
    // A packet whose layout has no known send time keeps the previous one.
    Append(body, MakeChunk('D', MakePacket(0xFFFFFFFF, 3200, 1, 0x49)));
    Append(body, EndChunk());

    MmshClient client(1, settings_, &sink_, nullptr);
    Run(client, body);
    EXPECT_EQ(client.HeaderInfo().DurationMs, 0u);
    ASSERT_EQ(sink_.progressCalls.size(), 4u);
    const uint32_t times[] = {0, 400, 1200, 1200};
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(sink_.progressCalls[i].progress, 0);
        EXPECT_EQ(sink_.progressCalls[i].timeMs, times[i]) << i;
    }
}

TEST_P(BodyRules, LiveTimesCountFromTheFirstSendTimeFound) {
    // The first packet's layout has no known send time: the base is the
    // next packet's, so the time limit still counts from there.
    HeaderValues shape = LiveHeader();
    std::vector<uint8_t> body = MakeChunk('H', MakeHeader(shape), 0x0C);
    Append(body, MakeChunk('D', MakePacket(0xFFFFFFFF, 3200, 1, 0x49)));
    for (uint32_t t = 0; t <= 6000; t += 1000) Append(body, MakeChunk('D', MakePacket(5000000 + t, 3200, 1)));
    Append(body, EndChunk());

    settings_.timePolicy = 1;
    settings_.maxTime = 3;
    MmshClient client(1, settings_, &sink_, nullptr);
    Run(client, body);
    std::vector<uint32_t> times;
    for (const auto& p : sink_.progressCalls) times.push_back(p.timeMs);
    EXPECT_EQ(times, (std::vector<uint32_t>{0, 0, 1000, 2000, 3000}));
    EXPECT_TRUE(sink_.errors.empty());
}

TEST_P(BodyRules, ProgressStopsAtTheWhole) {
    // 17 s of play duration; packets sent at and past its end.
    std::vector<uint8_t> body = MakeChunk('H', MakeHeader(OnDemandHeader()), 0x0C);
    for (uint32_t t : {16999u, 17000u, 19500u}) Append(body, MakeChunk('D', MakePacket(t, 3200, 1)));
    Append(body, EndChunk());
    MmshClient client(1, settings_, &sink_, nullptr);
    Run(client, body);
    std::vector<int> progress;
    for (const auto& p : sink_.progressCalls) progress.push_back(p.progress);
    EXPECT_EQ(progress, (std::vector<int>{9999, 10000, 10000}));
}

TEST_P(BodyRules, LiveTimeLimitAppliesToRelativeTime) {
    HeaderValues shape = LiveHeader();
    std::vector<uint8_t> body = MakeChunk('H', MakeHeader(shape), 0x0C);
    for (uint32_t t = 0; t <= 10000; t += 500) Append(body, MakeChunk('D', MakePacket(5000000 + t, 3200, 1)));
    Append(body, EndChunk());

    settings_.timePolicy = 1;
    settings_.maxTime = 3;
    MmshClient client(1, settings_, &sink_, nullptr);
    Run(client, body);
    ASSERT_FALSE(sink_.progressCalls.empty());
    // Stops after the first packet at 3 s relative time: 0, 500, ..., 3000.
    EXPECT_EQ(sink_.progressCalls.size(), 7u);
    EXPECT_EQ(sink_.progressCalls.back().timeMs, 3000u);
}

TEST_P(BodyRules, OnDemandTimeLimitUsesAbsoluteSendTime) {
    std::vector<uint8_t> body = MakeChunk('H', MakeHeader(OnDemandHeader()), 0x0C);
    for (uint32_t t = 2000; t <= 10000; t += 500) Append(body, MakeChunk('D', MakePacket(t, 3200, 1)));
    Append(body, EndChunk());

    settings_.timePolicy = 1;
    settings_.maxTime = 3;
    MmshClient client(1, settings_, &sink_, nullptr);
    Run(client, body);
    // 2000, 2500, 3000: the third has 3000 / 1000 >= 3.
    ASSERT_EQ(sink_.progressCalls.size(), 3u);
    EXPECT_EQ(sink_.progressCalls.back().timeMs, 3000u);
}

TEST_P(BodyRules, SizeLimitIsCheckedAfterEachChunk) {
    const std::vector<uint8_t> header = MakeHeader(OnDemandHeader());
    std::vector<uint8_t> body = MakeChunk('H', header, 0x0C);
    for (uint32_t i = 0; i < 400; ++i) Append(body, MakeChunk('D', MakePacket(i * 10, 1000, 1)));
    Append(body, EndChunk());

    settings_.sizePolicy = 1;
    settings_.maxSize = 1;
    MmshClient client(1, settings_, &sink_, nullptr);
    const auto written = Run(client, body);
    // The first chunk that takes the count to 1 MiB or more is the last.
    const uint64_t packets = (1048576 - header.size() + 3199) / 3200;
    EXPECT_EQ(sink_.progressCalls.size(), packets);
    EXPECT_EQ(written.size(), header.size() + packets * 3200);
    EXPECT_EQ(client.BytesReceived(), written.size());
}

TEST_P(BodyRules, SizeLimitZeroStopsAfterTheFirstChunk) {
    std::vector<uint8_t> body = MakeChunk('H', MakeHeader(OnDemandHeader()), 0x0C);
    for (int i = 0; i < 5; ++i) Append(body, MakeChunk('D', MakePacket(0, 3200, 1)));
    Append(body, EndChunk());
    settings_.sizePolicy = 1;
    settings_.maxSize = 0;
    MmshClient client(1, settings_, &sink_, nullptr);
    Run(client, body);
    EXPECT_EQ(sink_.progressCalls.size(), 1u);
}

TEST_P(BodyRules, WithoutAFileDataIsNeitherWrittenNorCounted) {
    const std::vector<uint8_t> header = MakeHeader(OnDemandHeader());
    std::vector<uint8_t> body = MakeChunk('H', header, 0x0C);
    Append(body, MakeChunk('D', MakePacket(0, 3200, 1)));
    Append(body, MakeChunk('D', MakePacket(100, 10000, 1)));
    Append(body, EndChunk());
    MmshClient client(1, settings_, &sink_, nullptr);
    EXPECT_TRUE(Run(client, body, false, 0, ReadStatus::End, /*withFile=*/false).empty());
    EXPECT_EQ(client.BytesReceived(), header.size());
    EXPECT_EQ(sink_.progressCalls.size(), 2u);
    EXPECT_EQ(consumed_, body.size());
}

TEST_P(BodyRules, HeaderWithoutFilePropertiesEndsTheRecording) {
    HeaderValues shape = OnDemandHeader();
    shape.withFileProperties = false;
    std::vector<uint8_t> body = MakeChunk('H', MakeHeader(shape), 0x0C);
    Append(body, MakeChunk('D', MakePacket(0, 3200, 1)));
    Append(body, EndChunk());
    MmshClient client(1, settings_, &sink_, nullptr);
    EXPECT_TRUE(Run(client, body).empty());
    EXPECT_EQ(sink_.errors, std::vector<std::string>{"Unable to parse this ASF header!"});
    EXPECT_TRUE(client.HeaderRejected());
    EXPECT_EQ(client.BytesReceived(), 0u);
    EXPECT_TRUE(sink_.progressCalls.empty());
}

TEST_P(BodyRules, UnequalPacketSizesAreNotSupported) {
    HeaderValues shape = OnDemandHeader();
    shape.maxPacketSize = 3300;
    std::vector<uint8_t> body = MakeChunk('H', MakeHeader(shape), 0x0C);
    Append(body, MakeChunk('D', MakePacket(0, 3200, 1)));
    Append(body, EndChunk());
    MmshClient client(1, settings_, &sink_, nullptr);
    EXPECT_TRUE(Run(client, body).empty());
    EXPECT_EQ(sink_.errors, std::vector<std::string>{"not supported"});
    EXPECT_TRUE(client.HeaderRejected());
}

TEST_P(BodyRules, PacketSizeOf65536IsNotSupported) {
    HeaderValues shape = OnDemandHeader();
    shape.minPacketSize = shape.maxPacketSize = 65536;
    std::vector<uint8_t> body = MakeChunk('H', MakeHeader(shape), 0x0C);
    MmshClient client(1, settings_, &sink_, nullptr);
    EXPECT_TRUE(Run(client, body).empty());
    EXPECT_EQ(sink_.errors, std::vector<std::string>{"not supported"});
}

TEST_P(BodyTest, TruncatedHeaderIsAReadError) {
    const std::vector<uint8_t> chunk = MakeChunk('H', MakeHeader(OnDemandHeader()), 0x0C);
    for (size_t keep : {size_t(5), size_t(12), size_t(13), chunk.size() / 2, chunk.size() - 1}) {
        RecordingSink sink;
        MmshClient client(1, settings_, &sink, nullptr);
        const std::vector<uint8_t> body(chunk.begin(), chunk.begin() + keep);
        const auto written = Run(client, body);
        EXPECT_TRUE(written.empty()) << keep;
        EXPECT_EQ(sink.errors, std::vector<std::string>{"read error"}) << keep;
    }
}

TEST_P(BodyTest, BodyEndingBeforeTheEndChunk) {
    const std::vector<uint8_t> header = MakeHeader(OnDemandHeader());
    std::vector<uint8_t> body = MakeChunk('H', header, 0x0C);
    const auto p1 = MakePacket(0, 3200, 1);
    Append(body, MakeChunk('D', p1));
    const auto next = MakeChunk('D', MakePacket(100, 3200, 2));
    struct Case {
        ReadStatus end;
        size_t keep;  // bytes of the next chunk before the body ends
        std::string error;
    };
    // Only a clean end between chunks is a close by the server; an end
    // inside a chunk or a failed transfer is a broken read.
    const Case cases[] = {
        {ReadStatus::End, 0, ClosedEarlyText(1)},  {ReadStatus::End, 6, "read error"},
        {ReadStatus::End, 12, "read error"},       {ReadStatus::End, 500, "read error"},
        {ReadStatus::Failed, 0, "read error"},     {ReadStatus::Failed, 6, "read error"},
        {ReadStatus::Failed, 500, "read error"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "keep " << c.keep << (c.end == ReadStatus::End ? " end" : " failed"));
        std::vector<uint8_t> cut = body;
        cut.insert(cut.end(), next.begin(), next.begin() + c.keep);
        RecordingSink sink;
        MmshClient client(1, settings_, &sink, nullptr);
        const auto written = Run(client, cut, false, 0, c.end);
        std::vector<uint8_t> expected = header;
        Append(expected, p1);
        EXPECT_EQ(written, expected);
        EXPECT_EQ(sink.errors, std::vector<std::string>{c.error});
    }
}

TEST_P(BodyTest, DroppedInsideALargePacketIsAReadError) {
    HeaderValues shape = OnDemandHeader();
    shape.minPacketSize = shape.maxPacketSize = 12000;
    std::vector<uint8_t> body = MakeChunk('H', MakeHeader(shape), 0x0C);
    const auto big = MakeChunk('D', MakePacket(0, 12000, 1));
    body.insert(body.end(), big.begin(), big.begin() + 10000);
    MmshClient client(1, settings_, &sink_, nullptr);
    Run(client, body);
    EXPECT_EQ(sink_.errors, std::vector<std::string>{"read error"});
    EXPECT_TRUE(sink_.progressCalls.empty());
}

TEST_P(BodyTest, ChunkLengthsBelowEightEndTheDataLoop) {
    const std::vector<uint8_t> header = MakeHeader(OnDemandHeader());
    for (uint16_t length : {uint16_t(0), uint16_t(4), uint16_t(8), uint16_t(0x8008), uint16_t(0xFFFF)}) {
        std::vector<uint8_t> body = MakeChunk('H', header, 0x0C);
        const auto p = MakePacket(0, 3200, 1);
        Append(body, MakeChunk('D', p));
        Append(body, MakeChunkHead('D', length));
        Append(body, std::vector<uint8_t>(64, 0xEE));
        RecordingSink sink;
        MmshClient client(1, settings_, &sink, nullptr);
        std::vector<uint8_t> expected = header;
        Append(expected, p);
        EXPECT_EQ(Run(client, body), expected) << length;
        EXPECT_TRUE(sink.errors.empty()) << length;
    }
}

TEST_P(BodyTest, EmptyOrNegativeHeaderChunkWritesNothing) {
    for (uint16_t length : {uint16_t(0), uint16_t(7), uint16_t(8), uint16_t(0x9000)}) {
        std::vector<uint8_t> body = MakeChunkHead('H', length, 0x0C);
        Append(body, MakeChunk('D', MakePacket(0, 3200, 1)));
        Append(body, EndChunk());
        RecordingSink sink;
        MmshClient client(1, settings_, &sink, nullptr);
        EXPECT_TRUE(Run(client, body).empty()) << length;
        EXPECT_TRUE(client.HeaderRejected()) << length;
        EXPECT_EQ(sink.errors, std::vector<std::string>{"Unable to parse this ASF header!"});
    }
}

TEST_P(BodyTest, StreamWithoutAHeaderWritesNothing) {
    for (char first : {'D', 'E'}) {
        SCOPED_TRACE(first);
        std::vector<uint8_t> body = MakeChunk(first, first == 'D' ? MakePacket(0, 3200, 1) : std::vector<uint8_t>{});
        Append(body, MakeChunk('D', MakePacket(100, 3200, 1)));
        Append(body, EndChunk());
        for (bool describeOnly : {true, false}) {
            RecordingSink sink;
            MmshClient client(1, settings_, &sink, nullptr);
            EXPECT_TRUE(Run(client, body, describeOnly).empty());
            EXPECT_TRUE(client.HeaderRejected());
            EXPECT_EQ(client.BytesReceived(), 0u);
            EXPECT_EQ(sink.errors, std::vector<std::string>{"not a stream: the server sent no header"});
        }
    }
}

TEST_P(BodyTest, LostFramingInTheDataPhaseIsAReadError) {
    std::vector<uint8_t> body = MakeChunk('H', MakeHeader(OnDemandHeader()), 0x0C);
    Append(body, std::vector<uint8_t>(40, 'x'));
    MmshClient client(1, settings_, &sink_, nullptr);
    Run(client, body);
    EXPECT_EQ(sink_.errors, std::vector<std::string>{"read error"});
}

TEST_P(BodyTest, PlainBodyIsCopiedWithItsFirstBytes) {
    std::string text = "<ASX version=\"3.0\">\r\n<Entry><Ref href=\"mms://example.invalid/a.asf\"/></Entry>\r\n</ASX>\r\n";
    while (text.size() < 10000) text += "<!-- filler -->\r\n";
    const std::vector<uint8_t> body(text.begin(), text.end());
    MmshClient client(1, settings_, &sink_, nullptr);
    client.SetPurpose(MmshClient::Purpose::MetaFile);
    // In the describe exchange too.
    EXPECT_EQ(Run(client, body, /*describeOnly=*/true, body.size()), body);
    EXPECT_EQ(client.Framing(), MmshClient::kFramingRaw);
    EXPECT_EQ(client.BytesReceived(), body.size());
    // Blocks of 4096 after the first 12 bytes; the block completing the
    // length reports nothing.
    const size_t blocks = (body.size() - 12 + 4095) / 4096;
    EXPECT_EQ(sink_.progressCalls.size(), blocks - 1);
    for (const auto& p : sink_.progressCalls) {
        EXPECT_EQ(p.progress, 0);
        EXPECT_EQ(p.timeMs, 0u);
    }
    EXPECT_TRUE(sink_.errors.empty());
}

TEST_P(BodyTest, PlainBodyStopsAtItsContentLength) {
    std::vector<uint8_t> body(9000);
    for (size_t i = 0; i < body.size(); ++i) body[i] = uint8_t('a' + i % 26);
    MmshClient client(1, settings_, &sink_, nullptr);
    client.SetPurpose(MmshClient::Purpose::MetaFile);
    const auto written = Run(client, body, true, 5000);
    EXPECT_EQ(written, std::vector<uint8_t>(body.begin(), body.begin() + 5000));
    EXPECT_EQ(consumed_, 5000u);
}

TEST_P(BodyTest, PlainBodyWithoutLengthRunsToTheEnd) {
    std::vector<uint8_t> body(7777, 'z');
    MmshClient client(1, settings_, &sink_, nullptr);
    client.SetPurpose(MmshClient::Purpose::MetaFile);
    EXPECT_EQ(Run(client, body, true, 0), body);
    EXPECT_TRUE(sink_.errors.empty());
}

TEST_P(BodyTest, TinyPlainBodiesAreCopied) {
    for (size_t n : {size_t(1), size_t(2), size_t(11), size_t(12), size_t(13)}) {
        std::vector<uint8_t> body(n, 'q');
        RecordingSink sink;
        MmshClient client(1, settings_, &sink, nullptr);
        client.SetPurpose(MmshClient::Purpose::MetaFile);
        EXPECT_EQ(Run(client, body, true, 0), body) << n;
        EXPECT_TRUE(sink.errors.empty()) << n;
    }
}

TEST_P(BodyTest, PlainBodyBrokenOffIsAReadError) {
    std::vector<uint8_t> body(6000, 'r');
    MmshClient client(1, settings_, &sink_, nullptr);
    client.SetPurpose(MmshClient::Purpose::MetaFile);
    EXPECT_EQ(Run(client, body, true, 0, ReadStatus::Failed), body);
    EXPECT_EQ(sink_.errors, std::vector<std::string>{"read error"});
}

// A plain body answering a stream request is copied only when it is an ASF
// file or a playlist; anything else leaves the file untouched.
TEST_P(BodyRules, PlainBodiesAnsweringAStreamRequest) {
    auto bytes = [](const std::string& text) { return std::vector<uint8_t>(text.begin(), text.end()); };
    std::vector<uint8_t> asfFile(testsupport::kHeaderObjectGuid, testsupport::kHeaderObjectGuid + 16);
    Append(asfFile, std::vector<uint8_t>(9000, 0x11));
    const std::string asx = "<ASX version=\"3.0\"><Entry><Ref href=\"mms://example.invalid/a\"/></Entry></ASX>\r\n";
    const std::string page = "<html><body>Sorry</body></html>\n";
    struct Case {
        const char* name;
        std::vector<uint8_t> body;
        bool copied;
        bool playlist;
    };
    const std::vector<Case> cases = {
        {"ASF file", asfFile, true, false},
        {"ASF header GUID cut short", std::vector<uint8_t>(testsupport::kHeaderObjectGuid, testsupport::kHeaderObjectGuid + 15),
         false, false},
        {"ASX", bytes(asx + std::string(6000, ' ')), true, true},
        {"ASX after BOM and blanks", bytes("\xEF\xBB\xBF \r\n\t<asx version=\"3.0\"></asx>"), true, true},
        {"reference list", bytes("[Reference]\r\nRef1=http://example.invalid/a.asf\r\n"), true, true},
        {"bare mms address", bytes("mms://example.invalid/live\r\n"), true, true},
        {"bare mmsh address", bytes("\nMMSH://example.invalid/live"), true, true},
        {"bare http address", bytes("http://example.invalid/a.asf"), true, true},
        {"web page", bytes(page), false, false},
        {"ASX not first", bytes(page + asx), false, false},
        {"blanks past the bytes judged", bytes(std::string(MmshClient::kSniffSize, ' ') + asx), false, false},
        {"ftp address", bytes("ftp://example.invalid/a.asf"), false, false},
        {"one byte", bytes("<"), false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        for (bool withLength : {false, true}) {
            RecordingSink sink;
            MmshClient client(1, settings_, &sink, nullptr);
            const auto written = Run(client, c.body, true, withLength ? c.body.size() : 0);
            EXPECT_EQ(client.Framing(), MmshClient::kFramingRaw);
            EXPECT_EQ(client.BodyWasPlaylist(), c.playlist);
            if (c.copied) {
                EXPECT_EQ(written, c.body);
                EXPECT_EQ(count_, c.body.size());
                EXPECT_TRUE(sink.errors.empty()) << sink.errors.front();
            } else {
                EXPECT_TRUE(written.empty());
                EXPECT_EQ(count_, 0u);
                EXPECT_EQ(client.BytesReceived(), 0u);
                EXPECT_EQ(sink.errors, std::vector<std::string>{"not a stream: the server sent an unknown body"});
            }
        }
    }
}

TEST_P(BodyRules, EmptyBodyIsAReadError) {
    MmshClient client(1, settings_, &sink_, nullptr);
    EXPECT_TRUE(Run(client, {}, true, 0).empty());
    EXPECT_EQ(count_, 0u);
    EXPECT_EQ(sink_.errors, std::vector<std::string>{"read error"});
}

TEST_P(BodyRules, StopBeforeReadingReadsNothing) {
    std::vector<uint8_t> body = MakeChunk('H', MakeHeader(OnDemandHeader()), 0x0C);
    MmshClient client(1, settings_, &sink_, nullptr);
    client.Stop();
    EXPECT_TRUE(Run(client, body).empty());
    EXPECT_EQ(count_, 0u);
    EXPECT_EQ(consumed_, 0u);
    EXPECT_TRUE(sink_.errors.empty());
}

TEST(BodyWriteFailure, FullDiskIsReportedAndEndsTheRecording) {
    if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
    const std::vector<uint8_t> header = MakeHeader(OnDemandHeader());
    std::vector<uint8_t> body = MakeChunk('H', header, 0x0C);
    for (int i = 0; i < 200; ++i) Append(body, MakeChunk('D', MakePacket(i * 10, 3200, 1)));
    Append(body, EndChunk());

    RecordingSink sink;
    RecorderSettings settings;
    MmshClient client(1, settings, &sink, nullptr);
    OutputFile file;
    ASSERT_TRUE(file.OpenExisting("/dev/full"));
    MemoryByteSource source(body.data(), body.size());
    client.ReadBody(source, &file, 0, false);
    EXPECT_EQ(sink.errors, std::vector<std::string>{"File Write Error: No space left on device"});
    EXPECT_TRUE(client.WriteFailed());
    EXPECT_LT(source.Consumed(), body.size());  // the rest was not read
    EXPECT_LT(sink.progressCalls.size(), 200u);
}

}  // namespace
}  // namespace larkspan::mmshtest
