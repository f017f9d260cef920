// The body readers of the MMSH client over bytes in memory: chunk framing
// (handed out a few bytes at a time), header joining, padding, times,
// limits, plain bodies, malformed and truncated input.
#include <gtest/gtest.h>

#include "asf/OutputFile.h"
#include "protocols/StreamErrors.h"
#include "protocols/mmsh/ByteSource.h"
#include "tests/mmsh/MmshTestUtil.h"

namespace larkspan::mmshtest {
namespace {

struct BodyRun {
    Bytes file;
    uint64_t count = 0;
    size_t consumed = 0;
};

// Runs ReadBody over `body`, `step` bytes per read (0: all at once), into a
// fresh file.
BodyRun ReadAll(MmshClient& client, const Bytes& body, size_t step = 0, bool describeOnly = false,
                uint64_t contentLength = 0, ReadStatus atEnd = ReadStatus::End) {
    TempFolder dir("body");
    OutputFile file;
    EXPECT_TRUE(file.Create(dir.File("out.asf")));
    MemoryByteSource source(body.data(), body.size(), step, atEnd);
    BodyRun run;
    run.count = client.ReadBody(source, &file, contentLength, describeOnly);
    run.consumed = source.Consumed();
    EXPECT_TRUE(file.Close());
    run.file = ReadFileBytes(dir.File("out.asf"));
    return run;
}

// Framed bodies, each read in pull sizes of one byte, odd small steps, one
// smaller than a chunk head, and all at once: what lands in the file and
// what is reported. Only a clean end between chunks is a close by the
// server; an end inside a chunk or a failed transfer is a broken read.
TEST(MmshBody, FramedBodiesWhateverTheReadSize) {
    const HeaderValues shape = StreamHeader();
    const Bytes header = MakeHeader(shape);
    const Bytes headerChunk = MakeChunk('H', header, 0x0C);
    const Bytes p1 = MakePacket(0, 3200, 1), p2 = MakePacket(1000, 1500, 2), p3 = MakePacket(2500, 40, 3);
    const Bytes p1Chunk = MakeChunk('D', p1), p2Chunk = MakeChunk('D', p2);
    HeaderValues big = shape;
    big.minPacketSize = big.maxPacketSize = 12000;
    const Bytes bigHeader = MakeHeader(big);
    const Bytes full = MakePacket(0, 12000, 4), trimmed = MakePacket(500, 9000, 5);  // both longer than the buffer
    HeaderValues noFileProperties = shape, unequal = shape, tooBig = shape;
    noFileProperties.withFileProperties = false;
    unequal.maxPacketSize = 3300;
    tooBig.minPacketSize = tooBig.maxPacketSize = 65536;
    const std::string readError = "read error", parseError = "Unable to parse this ASF header!";
    const std::string noHeader = "not a stream: the server sent no header";
    auto cut = [](const Bytes& b, size_t keep) { return Bytes(b.begin(), b.begin() + keep); };
    auto dataChunkOf = [&](uint16_t length) {  // a head, then bytes that are no chunk
        return Cat({headerChunk, p1Chunk, MakeChunkHead('D', length), Bytes(64, 0xEE)});
    };
    struct Row {
        std::string name;
        Bytes body;
        Bytes file;
        std::string error;
        ReadStatus atEnd = ReadStatus::End;
    } rows[] = {
        {"header, packets padded", Cat({headerChunk, p1Chunk, p2Chunk, MakeChunk('D', p3), EndChunk()}),
         Cat({header, p1, Padded(p2, 3200), Padded(p3, 3200)}), ""},
        {"packets longer than the buffer",
         Cat({MakeChunk('H', bigHeader, 0x0C), MakeChunk('D', full), MakeChunk('D', trimmed), EndChunk()}),
         Cat({bigHeader, full, Padded(trimmed, 12000)}), ""},
        // The second cut falls inside File Properties.
        {"header over three chunks",
         Cat({MakeChunk('H', cut(header, 40), 0x04), MakeChunk('H', Bytes(header.begin() + 40, header.begin() + 130)),
              MakeChunk('H', Bytes(header.begin() + 130, header.end()), 0x08), p1Chunk, EndChunk()}),
         Cat({header, p1}), ""},
        {"other chunks skipped",
         Cat({headerChunk, p1Chunk, MakeChunk('C', Bytes(20, 0xCC)), MakeChunk('Q', Bytes(9000, 0x51)), headerChunk,
              p2Chunk, EndChunk()}),
         Cat({header, p1, Padded(p2, 3200)}), ""},
        {"end first", Cat({headerChunk, EndChunk()}), header, ""},
        {"no File Properties", Cat({MakeChunk('H', MakeHeader(noFileProperties), 0x0C), p1Chunk, EndChunk()}), {},
         parseError},
        {"packet sizes differ", Cat({MakeChunk('H', MakeHeader(unequal), 0x0C), p1Chunk, EndChunk()}), {},
         "not supported"},
        {"packets of 64 KiB", MakeChunk('H', MakeHeader(tooBig), 0x0C), {}, "not supported"},
        {"header chunk of 0", Cat({MakeChunkHead('H', 0, 0x0C), p1Chunk, EndChunk()}), {}, parseError},
        {"header chunk of 8", Cat({MakeChunkHead('H', 8, 0x0C), p1Chunk, EndChunk()}), {}, parseError},
        {"header chunk of 0x9000", Cat({MakeChunkHead('H', 0x9000, 0x0C), p1Chunk, EndChunk()}), {}, parseError},
        {"data first", Cat({p1Chunk, p2Chunk, EndChunk()}), {}, noHeader},
        {"end first, no header", Cat({EndChunk(), p2Chunk, EndChunk()}), {}, noHeader},
        {"header head cut short", cut(headerChunk, 5), {}, readError},
        {"header one byte short", cut(headerChunk, headerChunk.size() - 1), {}, readError},
        {"closed between chunks", Cat({headerChunk, p1Chunk}), Cat({header, p1}), ClosedEarlyText(1)},
        {"closed inside a head", Cat({headerChunk, p1Chunk, cut(p2Chunk, 6)}), Cat({header, p1}), readError},
        {"closed after a head", Cat({headerChunk, p1Chunk, cut(p2Chunk, 12)}), Cat({header, p1}), readError},
        {"closed inside a payload", Cat({headerChunk, p1Chunk, cut(p2Chunk, 500)}), Cat({header, p1}), readError},
        {"failed between chunks", Cat({headerChunk, p1Chunk}), Cat({header, p1}), readError, ReadStatus::Failed},
        {"failed inside a head", Cat({headerChunk, p1Chunk, cut(p2Chunk, 6)}), Cat({header, p1}), readError,
         ReadStatus::Failed},
        {"closed inside a long packet", Cat({MakeChunk('H', bigHeader, 0x0C), cut(MakeChunk('D', full), 10000)}),
         Cat({bigHeader, cut(full, MmshClient::kBufferSize)}), readError},
        {"framing lost", Cat({headerChunk, Bytes(40, 'x')}), header, readError},
        // Data chunks of a length below 8 (as a signed 16-bit count) end the
        // data quietly.
        {"data chunk of 0", dataChunkOf(0), Cat({header, p1}), ""},
        {"data chunk of 8", dataChunkOf(8), Cat({header, p1}), ""},
        {"data chunk of 0x8008", dataChunkOf(0x8008), Cat({header, p1}), ""},
        {"data chunk of 0x8007", dataChunkOf(0x8007), Cat({header, p1}), readError},
    };
    for (const Row& row : rows) {
        for (size_t step : {1, 3, 7, 11, 4096, 0}) {
            SCOPED_TRACE(testing::Message() << row.name << ", step " << step);
            EventLog sink;
            MmshClient client(1, {}, &sink, nullptr);
            const BodyRun run = ReadAll(client, row.body, step, false, 0, row.atEnd);
            EXPECT_EQ(run.file, row.file);
            EXPECT_EQ(sink.errors, row.error.empty() ? Errors{} : Errors{row.error});
            EXPECT_EQ(client.Framing(), MmshClient::kFramingFramed);
        }
    }
}

// 20 s minus 3 s preroll = 17000 ms; progress in hundredths of a per cent.
TEST(MmshBody, CountsHeaderInfoAndProgress) {
    const Bytes header = MakeHeader(StreamHeader());
    const Bytes body = Cat({MakeChunk('H', header, 0x0C), MakeChunk('D', MakePacket(0, 3200)),
                            MakeChunk('D', MakePacket(1000, 1500)), MakeChunk('D', MakePacket(2500, 40)), EndChunk()});
    EventLog sink;
    MmshClient client(1, {}, &sink, nullptr);
    const BodyRun run = ReadAll(client, body);
    EXPECT_EQ(run.consumed, body.size());
    EXPECT_EQ(client.BytesReceived(), header.size() + 3 * 3200);
    EXPECT_EQ(client.HeaderInfo().DurationMs, 17000u);
    EXPECT_EQ(client.HeaderInfo().HeaderLength, header.size() - 50);
    const uint32_t h = uint32_t(header.size());
    const std::vector<Progress> progress = {
        {h + 3200, 0, 0}, {h + 6400, 1000 * 10000 / 17000, 1000}, {h + 9600, 2500 * 10000 / 17000, 2500}};
    EXPECT_EQ(sink.progressEvents, progress);

    EXPECT_EQ(sink.errors, Errors{});
}

// Stream times and progress: a broadcast counts from the first send time
// found (a packet of a layout without one keeps the last time, 0 before the
// first); an on-demand stream's progress stops at the whole. Limits end
// the data after the packet that reaches them: on demand the send time,
// live the stream time, in whole seconds; the bytes received, header
// included, in whole MiB.
TEST(MmshBody, TimesProgressAndLimits) {
    const uint32_t none = 0xFFFFFFFF;  // a packet without a send time
    const uint32_t base = 5000000;
    struct Row {
        const char* name;
        bool live;
        std::vector<uint32_t> sendTimes;
        int timeLimit;  // seconds, -1: none
        std::vector<uint32_t> times;
        std::vector<int> progress;
    } rows[] = {
        {"live", true, {base, base + 400, base + 1200, none}, -1, {0, 400, 1200, 1200}, {0, 0, 0, 0}},
        {"live, first without", true, {none, base, base + 1000, base + 2000, base + 3000, base + 4000}, 3,
         {0, 0, 1000, 2000, 3000}, {0, 0, 0, 0, 0}},
        {"live one below", true, {base, base + 2999, base + 4000}, 3, {0, 2999, 4000}, {0, 0, 0}},
        {"past the whole", false, {16999, 17000, 19500}, -1, {16999, 17000, 19500}, {9999, 10000, 10000}},
        {"one below", false, {2000, 4999, 4000}, 5, {2000, 4999, 4000}, {1176, 2940, 2352}},
        {"at the limit", false, {2000, 5000, 4000}, 5, {2000, 5000}, {1176, 2941}},
        {"one above", false, {2000, 5001, 4000}, 5, {2000, 5001}, {1176, 2941}},
        {"limit 0", false, {2000, 5001, 4000}, 0, {2000}, {1176}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Bytes body = MakeChunk('H', MakeHeader(StreamHeader(row.live)), 0x0C);
        for (uint32_t t : row.sendTimes) Append(body, MakeChunk('D', MakePacket(t, 3200, 1, t == none ? 0x49 : 0)));
        Append(body, EndChunk());
        RecorderSettings settings;
        settings.timePolicy = row.timeLimit >= 0;
        settings.maxTime = row.timeLimit;
        EventLog sink;
        MmshClient client(1, settings, &sink, nullptr);
        ReadAll(client, body);
        std::vector<uint32_t> times;
        std::vector<int> progress;
        for (const auto& p : sink.progressEvents) {
            times.push_back(p.timeMs);
            progress.push_back(p.progress);
        }
        EXPECT_EQ(times, row.times);
        EXPECT_EQ(progress, row.progress);
        EXPECT_EQ(sink.errors, std::vector<std::string>{});
    }
}

TEST(MmshBody, SizeLimitEndsTheDataAfterTheChunkThatReachesIt) {
    // 34 packets of 30,000 bytes and a header of 28,576 make 1 MiB.
    struct Row {
        const char* name;
        size_t filler;
        int limit;
        size_t packets;
    } rows[] = {{"one below", 28391, 1, 35}, {"at the limit", 28392, 1, 34}, {"one above", 28393, 1, 34},
                {"limit 0", 28392, 0, 1}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        HeaderValues shape = StreamHeader(false, 30000);
        shape.paddingObjectBefore = row.filler;
        Bytes body = MakeChunk('H', MakeHeader(shape), 0x0C);
        for (int i = 0; i < 40; ++i) Append(body, MakeChunk('D', MakePacket(i, 30000)));
        Append(body, EndChunk());
        RecorderSettings settings;
        settings.sizePolicy = 1;
        settings.maxSize = row.limit;
        EventLog sink;
        MmshClient client(1, settings, &sink, nullptr);
        const BodyRun run = ReadAll(client, body);
        EXPECT_EQ(run.file.size(), 184 + row.filler + row.packets * 30000);
        EXPECT_EQ(client.BytesReceived(), run.file.size());
        EXPECT_EQ(sink.progressEvents.size(), row.packets);
    }
}

// A plain body answering a stream request is copied only when it is an ASF
// file or a playlist; a meta file takes any. Either is copied whole with
// its first bytes, up to its length when it has one.
TEST(MmshBody, PlainBodies) {
    Bytes asfFile(testsupport::kHeaderObjectGuid, testsupport::kHeaderObjectGuid + 16);
    Append(asfFile, Bytes(9000, 0x11));
    const std::string asx = "<ASX version=\"3.0\"><Entry><Ref href=\"mms://example.invalid/a\"/></Entry></ASX>\r\n";
    const std::string page = "<html><body>Sorry</body></html>\n";
    Bytes letters(9000);
    for (size_t i = 0; i < letters.size(); ++i) letters[i] = uint8_t('a' + i % 26);
    const std::string unknown = "not a stream: the server sent an unknown body";
    const auto stream = MmshClient::Purpose::Stream, meta = MmshClient::Purpose::MetaFile;
    struct Row {
        const char* name;
        Bytes body;
        MmshClient::Purpose purpose;
        bool copied;
        bool playlist;
        std::string error;
        uint64_t length = 0;  // Content-Length, 0: none
        ReadStatus atEnd = ReadStatus::End;
    } rows[] = {
        {"ASF file", asfFile, stream, true, false, ""},
        {"ASF header GUID cut short", Bytes(asfFile.begin(), asfFile.begin() + 15), stream, false, false, unknown},
        {"ASX", Text(asx + std::string(6000, ' ')), stream, true, true, ""},
        {"ASX after BOM and blanks", Text("\xEF\xBB\xBF \r\n\t<asx version=\"3.0\"></asx>"), stream, true, true, ""},
        {"reference list", Text("[Reference]\r\nRef1=http://example.invalid/a.asf\r\n"), stream, true, true, ""},
        {"bare mms address", Text("mms://example.invalid/live\r\n"), stream, true, true, ""},
        {"bare mmsh address", Text("\nMMSH://example.invalid/live"), stream, true, true, ""},
        {"bare http address", Text("http://example.invalid/a.asf"), stream, true, true, ""},
        {"web page", Text(page), stream, false, false, unknown},
        {"ASX not first", Text(page + asx), stream, false, false, unknown},
        {"blanks past the bytes judged", Text(std::string(MmshClient::kSniffSize, ' ') + asx), stream, false, false,
         unknown},
        {"ftp address", Text("ftp://example.invalid/a.asf"), stream, false, false, unknown},
        {"one byte", Text("<"), stream, false, false, unknown},
        {"meta file", Text(page), meta, true, false, ""},
        {"meta file of 1 byte", Text("q"), meta, true, false, ""},
        {"meta file of 12 bytes", Text(std::string(12, 'q')), meta, true, false, ""},
        {"meta file broken off", Bytes(6000, 'r'), meta, true, false, "read error", 0, ReadStatus::Failed},
        {"empty", {}, meta, false, false, "read error"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EventLog sink;
        MmshClient client(1, {}, &sink, nullptr);
        client.SetPurpose(row.purpose);
        const BodyRun run = ReadAll(client, row.body, 0, true, row.length, row.atEnd);
        EXPECT_EQ(run.file, row.copied ? row.body : Bytes{});
        EXPECT_EQ(run.count, row.copied ? row.body.size() : 0u);
        EXPECT_EQ(client.BytesReceived(), row.copied ? row.body.size() : 0u);
        EXPECT_EQ(client.BodyWasPlaylist(), row.playlist);
        EXPECT_EQ(client.Framing(), row.body.empty() ? MmshClient::kFramingNone : MmshClient::kFramingRaw);
        EXPECT_EQ(sink.errors, row.error.empty() ? Errors{} : Errors{row.error});
    }

    // Blocks of 4096 after the first 12 bytes each report progress, but the
    // one completing the length; a body longer than its length stops there,
    // and the size limit is looked at after each block.
    const std::vector<Progress> fromBlocks = {{4108, 0, 0}, {8204, 0, 0}, {9000, 0, 0}};
    const std::tuple<uint64_t, int, size_t, size_t> runs[] = {{0, -1, 9000, 3}, {5000, -1, 5000, 1}, {0, 0, 4108, 1}};
    for (const auto& [length, sizeLimit, kept, reports] : runs) {
        SCOPED_TRACE(testing::Message() << length << " " << sizeLimit);
        RecorderSettings settings;
        settings.sizePolicy = sizeLimit >= 0;
        settings.maxSize = sizeLimit;
        EventLog sink;
        MmshClient client(1, settings, &sink, nullptr);
        client.SetPurpose(meta);
        const BodyRun run = ReadAll(client, letters, 0, true, length);
        EXPECT_EQ(run.file, Bytes(letters.begin(), letters.begin() + kept));
        EXPECT_EQ(run.consumed, kept);
        EXPECT_EQ(sink.progressEvents, std::vector<Progress>(fromBlocks.begin(), fromBlocks.begin() + reports));
    }
}

}  // namespace
}  // namespace larkspan::mmshtest
