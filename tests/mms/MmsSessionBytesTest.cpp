// The session fed from fixed server bytes: the reply table, header and data
// packets, limits, live rebasing and the faulty inputs a server can send.
#include <gtest/gtest.h>


#include "asf/OutputFile.h"
#include "protocols/mms/MmsClient.h"
#include "protocols/StreamErrors.h"
#include "protocols/mms/MmsTransport.h"
#include "tests/mms/MmsTestStreams.h"

namespace larkspan {
namespace {

using namespace mmstest;

struct Outcome {
    uint32_t returned = 0;
    Bytes file;
    std::vector<SentCommand> sent;
};

Outcome RunSession(const Bytes& server, EventLog& log, RecorderSettings settings = {},
            const std::string& url = "mms://media.example.com/dir/clip.asf") {
    TempFolder dir{"mms"};
    const std::string path = dir.File("out.asf");
    OutputFile file;
    EXPECT_TRUE(file.Create(path));
    MmsMemoryTransport transport(server.data(), server.size());
    transport.SetLocalEndpoint(0xC0A80005, 1234);
    MmsClient client(7, settings, &log);
    Outcome out;
    out.returned = client.RecordOver(transport, &file, url);
    EXPECT_TRUE(file.Close());
    out.file = ReadFileBytes(path);
    out.sent = SplitSent(transport.Sent());
    return out;
}

HeaderShape OnDemand() {
    HeaderShape s;
    s.packetSize = 1000;
    s.playDuration = 131000000;  // 13.1 s, preroll 3.1 s: 10,000 ms
    s.preroll = 3100;
    s.fileSize = 123456;
    s.packetsCount = 3;
    return s;
}

TEST(MmsSession, OnDemandSessionFollowsTheReplyTableAndWritesPaddedPackets) {
    const HeaderShape shape = OnDemand();
    const std::vector<Bytes> packets = {DataPacket(1000, 0, 3100, 300), DataPacket(1000, 5000, 8100, 500),
                                        DataPacket(1000, 10000, 13100, 973)};
    const Bytes server = Cat({Opening(), MediaPacket(0, 2, 0x0C, AsfHeader(shape)), StartOfData(),
                              MediaPacket(0, 4, 0, packets[0]), MediaPacket(1, 4, 0, packets[1]),
                              MediaPacket(2, 4, 0, packets[2]), EndOfStream()});
    EventLog log;
    const Outcome out = RunSession(server, log);

    const Bytes want = ExpectedFile(shape, packets);
    EXPECT_EQ(out.file, want) << FirstDifference(out.file, want);
    EXPECT_EQ(out.returned, want.size());
    EXPECT_TRUE(log.errors.empty());

    ASSERT_EQ(out.sent.size(), 7u);
    EXPECT_EQ(Mids(out.sent), (std::vector<uint32_t>{kConnect, kFunnelInfo, kConnectFunnel, kOpenFile, kReadBlock,
                                                     kStreamSwitch, kStartPlaying}));
    for (uint32_t i = 0; i < 7; ++i) EXPECT_EQ(out.sent[i].sequence, i);
    // The transport string carries the connection's own address and port,
    // the file name the URL's path without its first '/'.
    EXPECT_EQ(Bytes(out.sent[2].bytes.begin() + 60, out.sent[2].bytes.end()),
              Cat({Ascii16("\\\\192.168.0.5\\TCP\\1234"), Zeros(2), Ascii16("00f")}));
    EXPECT_EQ(Bytes(out.sent[3].bytes.begin() + 56, out.sent[3].bytes.end()),
              Cat({Ascii16("dir/clip.asf"), Zeros(2), Ascii16("18.")}));

    EXPECT_EQ(log.headerDurations, std::vector<int>{10000});
    ASSERT_EQ(log.progressEvents.size(), 3u);
    const uint32_t headerBytes = uint32_t(AsfHeader(shape).size());
    EXPECT_EQ(log.progressEvents[0].bytes, headerBytes + 1000);
    EXPECT_EQ(log.progressEvents[0].progress, 0);
    EXPECT_EQ(log.progressEvents[1].progress, 5000);
    EXPECT_EQ(log.progressEvents[1].timeMs, 5000u);
    EXPECT_EQ(log.progressEvents[2].progress, 10000);
    EXPECT_EQ(log.progressEvents[2].bytes, headerBytes + 3000);
}

TEST(MmsSession, PingsAreAnsweredWithPongsAnywhere) {
    const HeaderShape shape = OnDemand();
    const Bytes p = DataPacket(1000, 0, 3100, 100);
    const Bytes server = Cat({ServerCommand(kPing), Opening(), ServerCommand(kPing),
                              MediaPacket(0, 2, 0x0C, AsfHeader(shape)), StartOfData(), MediaPacket(0, 4, 0, p),
                              ServerCommand(kPing), MediaPacket(1, 4, 0, p), EndOfStream()});
    EventLog log;
    const Outcome out = RunSession(server, log);
    EXPECT_EQ(out.file, ExpectedFile(shape, {p, p}));
    EXPECT_EQ(Mids(out.sent), (std::vector<uint32_t>{kConnect, kPong, kFunnelInfo, kConnectFunnel, kOpenFile,
                                                     kReadBlock, kPong, kStreamSwitch, kStartPlaying, kPong}));
    // Sequence numbers count every command; StartPlaying still carries 6.
    std::vector<uint32_t> seqs;
    for (const auto& c : out.sent) seqs.push_back(c.sequence);
    EXPECT_EQ(seqs, (std::vector<uint32_t>{0, 1, 2, 3, 4, 5, 6, 7, 6, 9}));
}

TEST(MmsSession, SplitHeaderIsWrittenWholeWithStreamSwitchOnceAfterTheLastPacket) {
    // File Properties lies in the second packet; a Ping arrives between the
    // packets and must not end up in the file.
    HeaderShape shape = OnDemand();
    shape.fillerBytes = 200;
    const Bytes header = AsfHeader(shape);
    const Bytes part1(header.begin(), header.begin() + 150);
    const Bytes part2(header.begin() + 150, header.begin() + 300);
    const Bytes part3(header.begin() + 300, header.end());
    const Bytes p = DataPacket(1000, 2000, 5100, 640);
    const Bytes server =
        Cat({Opening(), MediaPacket(0, 2, 0x04, part1), ServerCommand(kPing), MediaPacket(1, 2, 0x04, part2),
             MediaPacket(2, 2, 0x08, part3), StartOfData(), MediaPacket(0, 4, 0, p), EndOfStream()});
    EventLog log;
    const Outcome out = RunSession(server, log, {}, "mms://h/clip.asf");
    const Bytes want = ExpectedFile(shape, {p});
    EXPECT_EQ(out.file, want) << FirstDifference(out.file, want);
    EXPECT_EQ(Mids(out.sent), (std::vector<uint32_t>{kConnect, kFunnelInfo, kConnectFunnel, kOpenFile, kReadBlock,
                                                     kPong, kStreamSwitch, kStartPlaying}));
    EXPECT_EQ(log.headerDurations.size(), 3u);
    EXPECT_TRUE(log.errors.empty());
}

TEST(MmsSession, SplitHeaderIsKeptWholeWhateverTheFlagsOfItsPackets) {
    // The Header Object's own size tells when the header is complete; the
    // flags only where that size is not known.
    HeaderShape shape = OnDemand();
    shape.fillerBytes = 200;
    const Bytes header = AsfHeader(shape);
    const Bytes parts[] = {Bytes(header.begin(), header.begin() + 150),
                           Bytes(header.begin() + 150, header.begin() + 300),
                           Bytes(header.begin() + 300, header.end())};
    struct Row {
        uint8_t first, middle, last;
    } rows[] = {{0x00, 0x04, 0x08}, {0x00, 0x00, 0x00}, {0x0C, 0x0C, 0x0C}, {0x08, 0x08, 0x08}, {0x04, 0x04, 0x04}};
    const Bytes p = DataPacket(1000, 2000, 5100, 640);
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << "flags " << int(row.first) << "/" << int(row.middle) << "/"
                                        << int(row.last));
        const Bytes server =
            Cat({Opening(), MediaPacket(0, 2, row.first, parts[0]), MediaPacket(1, 2, row.middle, parts[1]),
                 MediaPacket(2, 2, row.last, parts[2]), StartOfData(), MediaPacket(0, 4, 0, p), EndOfStream()});
        EventLog log;
        const Outcome out = RunSession(server, log);
        const Bytes want = ExpectedFile(shape, {p});
        EXPECT_EQ(out.file, want) << FirstDifference(out.file, want);
        EXPECT_EQ(Mids(out.sent), (std::vector<uint32_t>{kConnect, kFunnelInfo, kConnectFunnel, kOpenFile, kReadBlock,
                                                         kStreamSwitch, kStartPlaying}));
        EXPECT_TRUE(log.errors.empty());
    }
}

TEST(MmsSession, SplitHeaderOfALiveStreamGetsItsDataObjectRewrittenAtTheRightPlace) {
    HeaderShape shape;
    shape.packetSize = 800;
    shape.flags = 1;
    shape.fillerBytes = 120;
    const Bytes header = AsfHeader(shape);
    const Bytes part1(header.begin(), header.begin() + 100);
    const Bytes part2(header.begin() + 100, header.end());
    const Bytes server =
        Cat({Opening(), MediaPacket(0, 2, 0x04, part1), MediaPacket(1, 2, 0x08, part2), StartOfData(),
             MediaPacket(0, 4, 0, DataPacket(800, 7000000, 7003100, 50)),
             MediaPacket(1, 4, 0, DataPacket(800, 7000400, 7003500, 60)), EndOfStream()});
    EventLog log;
    const Outcome out = RunSession(server, log);
    ASSERT_EQ(out.file.size(), header.size() + 1600);
    const size_t fp = FilePropsOffset(shape);
    const size_t data = header.size() - 50;
    EXPECT_EQ(Get64(out.file, fp + 40), out.file.size());
    EXPECT_EQ(Get64(out.file, fp + 56), 2u);
    EXPECT_EQ(Get32(out.file, fp + 88), 2u);
    EXPECT_EQ(Get64(out.file, data + 16), 50u + 1600u);
    EXPECT_EQ(Get32(out.file, data + 40), 2u);
}

TEST(MmsSession, LiveRecordingIsRebasedAndFinishedLikeAStoredFile) {
    HeaderShape shape;
    shape.packetSize = 1000;
    shape.flags = 1;  // Broadcast
    const uint32_t base = 5000000;
    std::vector<Bytes> packets;
    Bytes server = Cat({Opening(), MediaPacket(0, 2, 0x0C, AsfHeader(shape)), StartOfData()});
    for (uint32_t i = 0; i < 100; ++i) {
        packets.push_back(DataPacket(1000, base + i * 100, base + 3100 + i * 100, i % 2 ? 200 + i : 800 + i));
        server = Cat({server, MediaPacket(i, 4, 0, packets.back())});
    }
    server = Cat({server, EndOfStream()});

    EventLog log;
    const Outcome out = RunSession(server, log);
    const Bytes header = AsfHeader(shape);
    ASSERT_EQ(out.file.size(), header.size() + 100 * 1000);
    EXPECT_EQ(out.returned, out.file.size());
    for (uint32_t i = 0; i < 100; ++i) {
        const size_t at = header.size() + i * 1000;
        const size_t st = SendTimeAt(packets[i]), pt = PresentationTimeAt(packets[i]);
        EXPECT_EQ(Get32(out.file, at + st), i * 100) << i;
        EXPECT_EQ(Get32(out.file, at + pt), 3100 + i * 100) << i;
        // Everything else in the packet is as sent, then zero padding.
        Bytes expected = Padded(packets[i], 1000);
        const Bytes t = Le32(i * 100), p = Le32(3100 + i * 100);
        std::copy(t.begin(), t.end(), expected.begin() + st);
        std::copy(p.begin(), p.end(), expected.begin() + pt);
        EXPECT_EQ(Bytes(out.file.begin() + at, out.file.begin() + at + 1000), expected) << i;
    }
    const size_t fp = FilePropsOffset(shape);
    const size_t data = header.size() - 50;
    EXPECT_EQ(Get64(out.file, fp + 40), out.file.size());
    EXPECT_EQ(Get64(out.file, fp + 56), 100u);
    // Durations from the largest rebased send time (9,900 ms), in 100-ns
    // units: play duration adds the preroll (3,100 ms), send duration not.
    EXPECT_EQ(Get64(out.file, fp + 64), (9900u + 3100u) * 10000u);
    EXPECT_EQ(Get64(out.file, fp + 72), 9900u * 10000u);
    EXPECT_EQ(Get32(out.file, fp + 88), 2u);
    EXPECT_EQ(Get64(out.file, data + 16), 100050u);
    EXPECT_EQ(Get32(out.file, data + 40), 100u);
    // Progress stays 0 on a live stream; stream time counts from 0.
    ASSERT_EQ(log.progressEvents.size(), 100u);
    EXPECT_EQ(log.progressEvents[99].progress, 0);
    EXPECT_EQ(log.progressEvents[99].timeMs, 9900u);
    EXPECT_EQ(log.headerDurations, std::vector<int>{0});
}

TEST(MmsSession, LiveRecordingWithTheSettingOffKeepsTimesAndRewritesOnlyFileSize) {
    HeaderShape shape;
    shape.packetSize = 1000;
    shape.flags = 1;
    const std::vector<Bytes> packets = {DataPacket(1000, 5000000, 5003100, 10), DataPacket(1000, 5000500, 5003600, 20)};
    const Bytes server = Cat({Opening(), MediaPacket(0, 2, 0x0C, AsfHeader(shape)), StartOfData(),
                              MediaPacket(0, 4, 0, packets[0]), MediaPacket(1, 4, 0, packets[1]), EndOfStream()});
    RecorderSettings settings;
    settings.liveContentSaveTimeInfo = 0;
    EventLog log;
    const Outcome out = RunSession(server, log, settings);
    EXPECT_EQ(out.file, ExpectedFile(shape, packets));
    // Stream time still counts from the first packet.
    ASSERT_EQ(log.progressEvents.size(), 2u);
    EXPECT_EQ(log.progressEvents[1].timeMs, 500u);
}

TEST(MmsSession, AnOversizedCommandIsReadPastAndIgnored) {
    const HeaderShape shape = OnDemand();
    const Bytes p = DataPacket(1000, 0, 3100, 10);
    // 5000 bytes claiming to be ReportOpenFile with a negative id: were it
    // read into the 1060-byte buffer, it would end the session.
    Bytes big = Cat({Le32(625), Le32(9), Zeros(8), Le32(623), Le32(kReportOpenFile), Le32(0x80070002), Le32(1),
                     Le32(0xFFFFFFFF)});
    big.resize(5000, 0xEE);
    const Bytes server = Cat({Opening(), RawCommand(5000, big), MediaPacket(0, 2, 0x0C, AsfHeader(shape)),
                              StartOfData(), MediaPacket(0, 4, 0, p), EndOfStream()});
    EventLog log;
    const Outcome out = RunSession(server, log);
    EXPECT_EQ(out.file, ExpectedFile(shape, {p}));
    EXPECT_TRUE(log.errors.empty());
}

TEST(MmsSession, CommandsOfExactlyTheBufferSizeAndTooShortToNameOneAreHandled) {
    const HeaderShape shape = OnDemand();
    const Bytes p = DataPacket(1000, 0, 3100, 10);
    Bytes ping1060 = Cat({Le32(132), Le32(9), Zeros(8), Le32(130), Le32(kPing)});
    ping1060.resize(1060, 0);
    const Bytes server = Cat({Opening(), RawCommand(1060, ping1060), RawCommand(8, Zeros(8)),
                              MediaPacket(0, 2, 0x0C, AsfHeader(shape)), StartOfData(), MediaPacket(0, 4, 0, p),
                              EndOfStream()});
    EventLog log;
    const Outcome out = RunSession(server, log);
    EXPECT_EQ(out.file, ExpectedFile(shape, {p}));
    EXPECT_EQ(Mids(out.sent)[5], kPong);
}

TEST(MmsSession, UrlNotFoundEndsTheSessionWithNothingWrittenAndNamesTheServersError) {
    const Bytes server = Cat({ServerCommand(kReportConnectedEx), ServerCommand(kReportFunnelInfo, Zeros(64)),
                              ServerCommand(kReportConnectedFunnel), ReportOpenFile(-1),
                              MediaPacket(0, 2, 0x0C, AsfHeader(OnDemand()))});
    EventLog log;
    const Outcome out = RunSession(server, log);
    EXPECT_EQ(out.returned, 0u);
    EXPECT_TRUE(out.file.empty());
    EXPECT_EQ(log.errors, std::vector<std::string>{"Url not found: server error 0x80070002"});
    EXPECT_EQ(Mids(out.sent), (std::vector<uint32_t>{kConnect, kFunnelInfo, kConnectFunnel, kOpenFile}));
}

TEST(MmsSession, UnsupportedPacketSizesAreReportedAndNoHeaderIsWritten) {
    for (auto [min, max] : {std::pair<uint32_t, uint32_t>{1000, 2000}, {70000, 70000}}) {
        HeaderShape shape = OnDemand();
        shape.packetSize = min;
        shape.maxPacketSize = max;
        const Bytes server = Cat({Opening(), MediaPacket(0, 2, 0x0C, AsfHeader(shape)), StartOfData(),
                                  MediaPacket(0, 4, 0, DataPacket(1000, 0, 0, 10)), EndOfStream()});
        EventLog log;
        const Outcome out = RunSession(server, log);
        EXPECT_EQ(out.returned, 0u);
        EXPECT_TRUE(out.file.empty());
        EXPECT_EQ(log.errors, std::vector<std::string>{"not supported"});
        EXPECT_EQ(Mids(out.sent).back(), kReadBlock);
    }
}

TEST(MmsSession, NoHeaderThenEndOfStreamRecordsNothing) {
    const Bytes server = Cat({Opening(), EndOfStream()});
    EventLog log;
    const Outcome out = RunSession(server, log);
    EXPECT_EQ(out.returned, 0u);
    EXPECT_TRUE(out.file.empty());
}

TEST(MmsSession, DataPacketsBeforeAnyHeaderAreNotWritten) {
    const Bytes server = Cat({Opening(), MediaPacket(0, 4, 0, DataPacket(1000, 0, 0, 10)), EndOfStream()});
    EventLog log;
    const Outcome out = RunSession(server, log);
    EXPECT_EQ(out.returned, 0u);
    EXPECT_TRUE(out.file.empty());
}

TEST(MmsSession, AHeaderWithoutFilePropertiesIsWrittenUnparsed) {
    const Bytes header = Cat({Hex("30 26 B2 75 8E 66 CF 11 A6 D9 00 AA 00 62 CE 6C"), Le64(30), Le32(0), Hex("01 02"),
                              Zeros(50)});
    const Bytes p = DataPacket(1000, 0, 0, 10);
    const Bytes server = Cat({Opening(), MediaPacket(0, 2, 0x0C, header), StartOfData(), MediaPacket(0, 4, 0, p),
                              EndOfStream()});
    EventLog log;
    const Outcome out = RunSession(server, log);
    // Nothing tells the packet size: the packet is written as it came.
    EXPECT_EQ(out.file, Cat({header, p}));
}

TEST(MmsSession, ALaterHeaderIsNotWritten) {
    const HeaderShape shape = OnDemand();
    const Bytes p = DataPacket(1000, 0, 3100, 10);
    const Bytes server = Cat({Opening(), MediaPacket(0, 2, 0x0C, AsfHeader(shape)), StartOfData(),
                              MediaPacket(0, 4, 0, p), MediaPacket(0, 2, 0x0C, AsfHeader(shape)),
                              MediaPacket(1, 4, 0, p), EndOfStream()});
    EventLog log;
    const Outcome out = RunSession(server, log);
    EXPECT_EQ(out.file, ExpectedFile(shape, {p, p}));
    EXPECT_EQ(Mids(out.sent).back(), kStartPlaying);
}

Bytes ForeignPackets(uint32_t count) {
    Bytes out;
    for (uint32_t i = 0; i < count; ++i) out = Cat({out, MediaPacket(i, 7, 0, Bytes(100, 1))});
    return out;
}

TEST(MmsSession, FaultyFramingEndsTheSessionWithItsCauseAndTheFileIsStillFinished) {
    const HeaderShape shape = OnDemand();
    const Bytes p = DataPacket(1000, 0, 3100, 10);
    const Bytes good =
        Cat({Opening(), MediaPacket(0, 2, 0x0C, AsfHeader(shape)), StartOfData(), MediaPacket(0, 4, 0, p)});
    const Bytes whole = MediaPacket(1, 4, 0, p);
    struct Row {
        Bytes ending;
        size_t packets;
        std::string error;
    } rows[] = {
        {MediaPacket(1, 4, 0, {}), 1, "invalid data from the server: media packet of 8 bytes"},
        {Hex("00 00 00 00 04 00 05 00"), 1, "invalid data from the server: media packet of 5 bytes"},
        // Packets of another incarnation are skipped, up to a run of 32.
        {MediaPacket(1, 7, 0, Bytes(300, 1)), 1, ClosedEarlyText(1)},
        {ForeignPackets(31), 1, ClosedEarlyText(1)},
        {ForeignPackets(32), 1, "invalid data from the server: 32 media packets in a row of incarnation 7"},
        {Bytes(40000, 'A'), 1, ClosedEarlyText(1)},
        {RawCommand(0, {}), 1, "invalid data from the server: command of 0 bytes"},
        {RawCommand(0x7FFFFFF8, Bytes(40000, 0xEE)), 1, "invalid data from the server: command of 2147483640 bytes"},
        {ServerCommand(kReportOpenFile, Zeros(8)), 1, "invalid data from the server: ReportOpenFile of 32 bytes"},
        // The connection closes before the end of the stream.
        {MediaPacket(1, 4, 0, p), 2, ClosedEarlyText(2)},
        {Bytes(whole.begin(), whole.begin() + 20), 1, ClosedEarlyText(1)},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.error);
        EventLog log;
        const Outcome out = RunSession(Cat({good, row.ending}), log);
        const Bytes want = ExpectedCutFile(shape, std::vector<Bytes>(row.packets, p), 0);
        EXPECT_TRUE(out.file == want) << FirstDifference(out.file, want);
        EXPECT_EQ(log.errors, std::vector<std::string>{row.error});
    }
}

TEST(MmsSession, HeaderPacketsThatAreNoAsfHeaderEndTheSession) {
    const Bytes server =
        Cat({Opening(), MediaPacket(0, 2, 0x04, Bytes(500, 'x')), MediaPacket(1, 2, 0x08, Bytes(500, 'y')),
             StartOfData(), MediaPacket(0, 4, 0, DataPacket(1000, 0, 3100, 10)), EndOfStream()});
    EventLog log;
    const Outcome out = RunSession(server, log);
    EXPECT_EQ(out.returned, 0u);
    EXPECT_TRUE(out.file.empty());
    EXPECT_EQ(log.errors,
              std::vector<std::string>{"invalid data from the server: header packet without an ASF Header Object"});
    EXPECT_EQ(Mids(out.sent).back(), kReadBlock);
}

TEST(MmsSession, TimeLimitWritesThePacketThatReachedIt) {
    const HeaderShape shape = OnDemand();
    RecorderSettings settings;
    settings.timePolicy = 1;
    settings.maxTime = 5;
    std::vector<Bytes> packets;
    Bytes server = Cat({Opening(), MediaPacket(0, 2, 0x0C, AsfHeader(shape)), StartOfData()});
    for (uint32_t i = 0; i < 10; ++i) {
        packets.push_back(DataPacket(1000, i * 1000, 3100 + i * 1000, 10));
        server = Cat({server, MediaPacket(i, 4, 0, packets.back())});
    }
    EventLog log;
    const Outcome out = RunSession(Cat({server, EndOfStream()}), log, settings);
    // Send time 5000 ms is the first at the limit: packets 0..5.
    EXPECT_EQ(out.file, ExpectedCutFile(shape, std::vector<Bytes>(packets.begin(), packets.begin() + 6), 5000));
}

TEST(MmsSession, SizeLimitWritesThePacketThatReachedIt) {
    HeaderShape shape = OnDemand();
    shape.packetSize = 60000;
    RecorderSettings settings;
    settings.sizePolicy = 1;
    settings.maxSize = 1;
    Bytes server = Cat({Opening(), MediaPacket(0, 2, 0x0C, AsfHeader(shape)), StartOfData()});
    for (uint32_t i = 0; i < 40; ++i) server = Cat({server, MediaPacket(i, 4, 0, DataPacket(60000, i, 3100 + i, 10))});
    EventLog log;
    const Outcome out = RunSession(Cat({server, EndOfStream()}), log, settings);
    // 1 MiB is passed by the 18th packet (header + 18 x 60000 >= 1048576).
    const size_t header = AsfHeader(shape).size();
    size_t n = 0;
    while ((header + n * 60000) / 1048576 < 1) ++n;
    EXPECT_EQ(out.file.size(), header + n * 60000);
}

TEST(MmsSession, AFailedFileWriteIsReported) {
    // /dev/full takes the bytes into the file's buffer and fails when it is
    // flushed: the session must notice and stop.
    const HeaderShape shape = OnDemand();
    Bytes server = Cat({Opening(), MediaPacket(0, 2, 0x0C, AsfHeader(shape)), StartOfData()});
    for (uint32_t i = 0; i < 400; ++i) server = Cat({server, MediaPacket(i, 4, 0, DataPacket(1000, i, 3100 + i, 10))});
    server = Cat({server, EndOfStream()});
    OutputFile file;
    if (!file.Create("/dev/full")) GTEST_SKIP() << "no /dev/full";
    MmsMemoryTransport transport(server.data(), server.size());
    EventLog log;
    MmsClient client(1, {}, &log);
    client.RecordOver(transport, &file, "mms://h/clip.asf");
    EXPECT_EQ(log.errors, std::vector<std::string>{"File Write Error: No space left on device"});
    EXPECT_LT(client.PacketCount(), 400u);
    // The session ended at the failure rather than reading on.
    EXPECT_GT(transport.Remaining(), 0u);
}

TEST(MmsSession, OneClientRecordsSeveralFilesEachFromZero) {
    HeaderShape shape;
    shape.packetSize = 500;
    const Bytes server = Cat({Opening(), MediaPacket(0, 2, 0x0C, AsfHeader(shape)), StartOfData(),
                              MediaPacket(0, 4, 0, DataPacket(500, 9000, 12100, 10)),
                              MediaPacket(1, 4, 0, DataPacket(500, 9100, 12200, 10)), EndOfStream()});
    TempFolder dir{"mms"};
    EventLog log;
    MmsClient client(1, {}, &log);
    for (int round = 0; round < 2; ++round) {
        OutputFile file;
        ASSERT_TRUE(file.Create(dir.File("f" + std::to_string(round))));
        MmsMemoryTransport transport(server.data(), server.size());
        client.RecordOver(transport, &file, "mms://h/x");
        file.Close();
        const Bytes got = ReadFileBytes(dir.File("f" + std::to_string(round)));
        EXPECT_EQ(client.PacketCount(), 2u);
        EXPECT_EQ(Get64(got, FilePropsOffset(shape) + 56), 2u) << round;
        EXPECT_EQ(Get32(SplitSent(transport.Sent())[0].bytes, 20), 0u);
    }
}

}  // namespace
}  // namespace larkspan
