// Every command the client sends, compared whole against bytes written out
// here by hand from the MMS message layouts; the strings inside them; the
// parts of an mms address. Then the session fed from fixed server bytes.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>

#include <functional>

#include "asf/OutputFile.h"
#include "protocols/StreamErrors.h"
#include "protocols/mms/MmsClient.h"
#include "protocols/mms/MmsCommands.h"
#include "protocols/mms/MmsTransport.h"
#include "protocols/mms/MmsUrl.h"
#include "tests/mms/MmsTestStreams.h"

namespace larkspan {
namespace {

using namespace mmstest;
using testsupport::PutLE32;

const char* const kPlayer = "NSPlayer/4.1.0.3925; {3300AD50-2C39-46C0-AE0A-2D27C2D35A1D}";
const std::string kTcpHeader = "01 00 00 00  CE FA 0B B0";

// Text with '|' for a zero unit, as UTF-16LE.
Bytes Units(std::string text) {
    for (char& c : text)
        if (c == '|') c = '\0';
    return Ascii16(text);
}

TEST(MmsCommands, EachCommandIsTheseBytes) {
    struct Row {
        const char* name;
        uint32_t counter;  // commands built before this one
        std::function<Bytes(MmsCommandBuilder&)> build;
        Bytes want;
    };
    const Bytes startPlaying = Hex(kTcpHeader + "48 00 00 00  4D 4D 53 20  09 00 00 00  06 00 00 00"
                                                "6F 12 83 C0 CA A1 F9 3F  07 00 00 00  07 00 03 00"
                                                "01 00 00 00  FF FF 01 00  00 00 00 00 00 00 00 00"
                                                "FF FF FF FF  FF FF FF FF  00 00 00 00  04 00 00 00"
                                                "FF FF FF 7F  00 00 00 00  FF FF FF 7F  00 00 00 00");
    auto startAt = [](MmsCommandBuilder& b) { return b.StartPlaying(); };
    const Row rows[] = {
        {"Connect", 0, [](MmsCommandBuilder& b) { return b.Connect(); },
         Cat({Hex(kTcpHeader + "A0 00 00 00  4D 4D 53 20  14 00 00 00  00 00 00 00  7B 14 AE 47 E1 7A 84 3F"
                               "12 00 00 00  01 00 03 00  F0 F0 F0 F0  0B 00 04 00  1C 00 03 00"),
              Ascii16(kPlayer), Zeros(6)})},
        {"FunnelInfo", 1, [](MmsCommandBuilder& b) { return b.FunnelInfo(); },
         Hex(kTcpHeader + "20 00 00 00  4D 4D 53 20  04 00 00 00  01 00 00 00  EC 51 B8 1E E1 7A 84 3F"
                          "02 00 00 00  18 00 03 00  EF F0 F0 F0  0B 00 04 00")},
        // An even number of units: the chunk count fits exactly.
        {"ConnectFunnel, 24 units", 2,
         [](MmsCommandBuilder& b) { return b.ConnectFunnel(MakeTransportString(0xC0A80005, 1234)); },
         Cat({Hex(kTcpHeader + "60 00 00 00  4D 4D 53 20  0C 00 00 00  02 00 00 00  EC 51 B8 1E 85 EB C1 3F"
                               "0A 00 00 00  02 00 03 00  EF F0 F0 F0  FF FF FF FF  00 00 00 00  00 00 0A 00"
                               "02 00 00 00"),
              Units("\\\\192.168.0.5\\TCP\\1234|00f")})},
        // An odd number: no padding, the chunk counts round down.
        {"ConnectFunnel, 25 units", 2,
         [](MmsCommandBuilder& b) { return b.ConnectFunnel(MakeTransportString(0x7F000001, 12345)); },
         Cat({Hex(kTcpHeader + "5E 00 00 00  4D 4D 53 20  0B 00 00 00  02 00 00 00  EC 51 B8 1E 85 EB C1 3F"
                               "09 00 00 00  02 00 03 00  EF F0 F0 F0  FF FF FF FF  00 00 00 00  00 00 0A 00"
                               "02 00 00 00"),
              Units("\\\\127.0.0.1\\TCP\\12345|00f")})},
        {"OpenFile", 3, [](MmsCommandBuilder& b) { return b.OpenFile(MakeOpenFileName("/my dir/clip one.asf")); },
         Cat({Hex(kTcpHeader + "56 00 00 00  4D 4D 53 20  0A 00 00 00  03 00 00 00  EC 51 B8 1E 85 EB C1 3F"
                               "08 00 00 00  05 00 03 00  01 00 00 00  FF FF FF FF  00 00 00 00  00 00 00 00"),
              Units("my dir/clip one.asf|18.")})},
        {"ReadBlock", 4, [](MmsCommandBuilder& b) { return b.ReadBlock(); },
         Hex(kTcpHeader + "48 00 00 00  4D 4D 53 20  09 00 00 00  04 00 00 00  00 00 00 00 00 00 D0 3F"
                          "07 00 00 00  15 00 03 00  01 00 00 00  00 00 00 00  00 00 00 00  00 80 00 00"
                          "FF FF FF FF  65 00 6B 00  00 00 00 00 00 00 00 00  00 00 00 00 00 20 AC 40"
                          "02 00 00 00  00 00 00 00")},
        {"StreamSwitch", 5, [](MmsCommandBuilder& b) { return b.StreamSwitch(); },
         Hex(kTcpHeader + "30 00 00 00  4D 4D 53 20  06 00 00 00  05 00 00 00  E5 D0 22 DB F9 7E F0 3F"
                          "04 00 00 00  33 00 03 00  02 00 00 00  FF FF 01 00 00 00  FF FF 02 00 00 00"
                          "FF FF FF FF 65 00 6B 00")},
        // StartPlaying carries 6 whatever the counter says.
        {"StartPlaying at 0", 0, startAt, startPlaying},
        {"StartPlaying at 41", 41, startAt, startPlaying},
        {"Pong", 7, [](MmsCommandBuilder& b) { return b.Pong(); },
         Hex(kTcpHeader + "20 00 00 00  4D 4D 53 20  04 00 00 00  07 00 00 00  42 60 E5 0D 22 23 8F 40"
                          "02 00 00 00  1B 00 03 00  D2 05 00 00  76 04 00 00")},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        MmsCommandBuilder builder;
        for (uint32_t i = 0; i < row.counter; ++i) builder.FunnelInfo();
        const Bytes got = row.build(builder);
        EXPECT_EQ(got, row.want) << FirstDifference(got, row.want);
        EXPECT_EQ(builder.Counter(), row.counter + 1);
    }
}

// Transport strings and file names, as sent ('|' for the zero unit).
TEST(MmsCommands, StringsInsideTheCommands) {
    const std::pair<Bytes, Bytes> rows[] = {
        {MakeTransportString(0xFFFFFFFF, 65535), Units("\\\\255.255.255.255\\TCP\\65535|00f")},
        {MakeTransportString(0x00000000, 0), Units("\\\\0.0.0.0\\TCP\\0|00f")},
        {MakeTransportString("::1", 4000), Units("\\\\::1\\TCP\\4000|00f")},
        {MakeOpenFileName("/clip.asf"), Units("clip.asf|18.")},
        {MakeOpenFileName("/live?id=5&x=a b"), Units("live?id=5&x=a b|18.")},
        {MakeOpenFileName("/"), Units("|18.")},
        {MakeOpenFileName(""), Units("|18.")},
        {MakeOpenFileName("/trailing "), Units("trailing |18.")},
        // U+00E9 and U+1F600 (a surrogate pair); invalid UTF-8 becomes U+FFFD.
        {MakeOpenFileName("/\xC3\xA9\xF0\x9F\x98\x80"), Cat({Hex("E9 00 3D D8 00 DE"), Units("|18.")})},
        {MakeOpenFileName("/\xFF" "a"), Cat({Hex("FD FF 61 00"), Units("|18.")})},
        // 1024 units at most; the suffix stays.
        {MakeOpenFileName("/" + std::string(1020, 'x')), Cat({Ascii16(std::string(1020, 'x')), Units("|18.")})},
        {MakeOpenFileName("/" + std::string(1021, 'x')), Cat({Ascii16(std::string(1020, 'x')), Units("|18.")})},
    };
    for (size_t i = 0; i < std::size(rows); ++i) EXPECT_EQ(rows[i].first, rows[i].second) << "row " << i;
}

// The parts as "scheme|host|port|path|query"; empty when the address does
// not split.
TEST(MmsUrl, Splits) {
    const std::pair<const char*, const char*> rows[] = {
        {"mms://media.example.com/clip.asf", "mms|media.example.com|1755|/clip.asf|"},
        {"mms://127.0.0.1:8554/clip.asf", "mms|127.0.0.1|8554|/clip.asf|"},
        {"MMST://Host:2000/a/b c.asf?x=1#frag", "mmst|Host|2000|/a/b c.asf|?x=1"},
        {"mmsu://host:99/live", "mmsu|host|99|/live|"},
        {"mms://user:pw@host:1234/x", "mms|host|1234|/x|"},
        {"mms://host/", "mms|host|1755|/|"},
        {"mms://host", "mms|host|1755||"},
        {"mms://host?only=query", "mms|host|1755||?only=query"},
        {"mms://host:/x", "mms|host|1755|/x|"},
        {"mms://host:0/x", "mms|host|1755|/x|"},
        {"mms://host:65535/x", "mms|host|65535|/x|"},
        {"mms://host:65536/x", "mms|host|1755|/x|"},
        {"mms://host:12ab/x", "mms|host|1755|/x|"},
        {"mms://[::1]:4000/x", "mms|::1|4000|/x|"},
        // The MMS client is also tried for http: references; their port is HTTP's.
        {"http://host:8080/clip.asf", "http|host|1755|/clip.asf|"},
        {"host/clip.asf", ""},
        {"mms:///clip.asf", ""},
    };
    for (const auto& [url, want] : rows) {
        MmsUrl u;
        const bool split = SplitMmsUrl(url, u);
        EXPECT_EQ(split ? u.scheme + "|" + u.host + "|" + std::to_string(u.port) + "|" + u.path + "|" + u.query : "",
                  want);
    }
}

const std::vector<uint32_t> kUsualMids = {kConnect,   kFunnelInfo,   kConnectFunnel, kOpenFile,
                                          kReadBlock, kStreamSwitch, kStartPlaying};
const HeaderValues kOnDemand = Shape(1000, 131000000, 3);  // 13.1 s, preroll 3.1 s: 10,000 ms

struct Outcome {
    uint32_t returned = 0;
    Bytes file;
    std::vector<SentCommand> sent;
    std::vector<std::string> errors;
};

// Fixed bytes, and a stop that arrives once `stopAt` of them have been read.
class StoppingTransport : public MmsMemoryTransport {
public:
    StoppingTransport(const Bytes& bytes, size_t stopAt, MmsClient& client)
        : MmsMemoryTransport(bytes.data(), bytes.size()), size_(bytes.size()), stopAt_(stopAt), client_(client) {}
    bool RecvExact(uint8_t* dst, size_t n) override {
        const bool ok = MmsMemoryTransport::RecvExact(dst, n);
        if (size_ - Remaining() >= stopAt_) client_.Stop();
        return ok;
    }

private:
    size_t size_;
    size_t stopAt_;
    MmsClient& client_;
};

// Records the server's bytes with client, or with a new client of its own;
// a stop comes once stopAt bytes have been read.
Outcome RunSession(const Bytes& server, EventLog& log, RecorderSettings settings = {}, MmsClient* client = nullptr,
                   size_t stopAt = SIZE_MAX) {
    TempFolder dir{"mms"};
    OutputFile file;
    EXPECT_TRUE(file.Create(dir.File("out.asf")));
    MmsClient own(7, settings, &log);
    MmsClient& recorder = client ? *client : own;
    StoppingTransport transport(server, stopAt, recorder);
    transport.SetLocalEndpoint(0xC0A80005, 1234);
    Outcome out;
    out.returned = recorder.RecordOver(transport, &file, "mms://media.example.com/dir/clip.asf");
    file.Close();
    out.file = ReadFileBytes(dir.File("out.asf"));
    out.sent = SplitSent(transport.Sent());
    out.errors = log.errors;
    return out;
}

// Opening, the header in one packet, the start of the data.
Bytes UpToData(const HeaderValues& shape) {
    return Cat({Opening(), MediaPacket(0, 2, 0x0C, AsfHeader(shape)), StartOfData()});
}

// Pings, wherever they come, are answered with Pongs; sequence numbers
// count every command, and StartPlaying still carries 6.
TEST(MmsSession, OnDemandSessionFollowsTheReplyTableAndWritesPaddedPackets) {
    const std::vector<Bytes> packets = {DataPacket(1000, 0, 3100, 300), DataPacket(1000, 5000, 8100, 500),
                                        DataPacket(1000, 10000, 13100, 973)};
    const Bytes server = Cat({ServerCommand(kPing), Opening(), ServerCommand(kPing),
                              MediaPacket(0, 2, 0x0C, AsfHeader(kOnDemand)), StartOfData(),
                              MediaPacket(0, 4, 0, packets[0]), ServerCommand(kPing), MediaPacket(1, 4, 0, packets[1]),
                              MediaPacket(2, 4, 0, packets[2]), EndOfStream()});
    EventLog log;
    const Outcome out = RunSession(server, log);
    const Bytes want = ExpectedFile(kOnDemand, packets);
    EXPECT_EQ(out.file, want) << FirstDifference(out.file, want);
    EXPECT_EQ(out.returned, want.size());
    EXPECT_EQ(out.errors, std::vector<std::string>{});
    EXPECT_EQ(Mids(out.sent), (std::vector<uint32_t>{kConnect, kPong, kFunnelInfo, kConnectFunnel, kOpenFile,
                                                     kReadBlock, kPong, kStreamSwitch, kStartPlaying, kPong}));
    for (size_t i = 0; i < out.sent.size(); ++i) EXPECT_EQ(out.sent[i].sequence, i == 8 ? 6 : i) << i;
    // The transport string carries the connection's own address and port,
    // the file name the URL's path without its first '/'.
    EXPECT_EQ(Bytes(out.sent[3].bytes.begin() + 60, out.sent[3].bytes.end()),
              Cat({Ascii16("\\\\192.168.0.5\\TCP\\1234"), Zeros(2), Ascii16("00f")}));
    EXPECT_EQ(Bytes(out.sent[4].bytes.begin() + 56, out.sent[4].bytes.end()),
              Cat({Ascii16("dir/clip.asf"), Zeros(2), Ascii16("18.")}));

    EXPECT_EQ(log.headerDurations, std::vector<int>{10000});
    const uint32_t header = uint32_t(AsfHeader(kOnDemand).size());
    const std::vector<EventLog::Progress> progress = {
        {header + 1000, 0, 0}, {header + 2000, 5000, 5000}, {header + 3000, 10000, 10000}};
    EXPECT_EQ(log.progressEvents, progress);
}

// Send and presentation times count from the first packet's send time; the
// header, split so that File Properties spans two packets, is rewritten in
// place to describe the packets. With the setting off only File Size is.
TEST(MmsSession, LiveRecordingIsRebasedAndFinishedLikeAStoredFile) {
    HeaderValues shape = Shape(1000, 0);
    shape.paddingObjectBefore = 120;
    const Bytes header = AsfHeader(shape);
    const uint32_t base = 5000000;
    Bytes server = Cat({Opening(), MediaPacket(0, 2, 0x04, Bytes(header.begin(), header.begin() + 200)),
                        MediaPacket(1, 2, 0x08, Bytes(header.begin() + 200, header.end())), StartOfData()});
    std::vector<Bytes> packets, rebased;
    for (uint32_t i = 0; i < 100; ++i) {
        packets.push_back(DataPacket(1000, base + i * 100, base + 3100 + i * 100, i % 2 ? 200 + i : 800 + i));
        Append(server, MediaPacket(i, 4, 0, packets.back()));
        rebased.push_back(DataPacket(1000, i * 100, 3100 + i * 100, i % 2 ? 200 + i : 800 + i));
    }
    Append(server, EndOfStream());
    // The header as a cut recording's (durations from the largest rebased
    // send time, 9,900 ms), and seekable.
    Bytes withTimes = ExpectedFile(shape, rebased, true, 9900);
    PutLE32(withTimes, FilePropsOffset(shape) + 88, 2);
    const Bytes kept = ExpectedFile(shape, packets);

    for (int saveTimes : {1, 0}) {
        SCOPED_TRACE(saveTimes);
        RecorderSettings settings;
        settings.liveContentSaveTimeInfo = saveTimes;
        EventLog log;
        const Outcome out = RunSession(server, log, settings);
        const Bytes& want = saveTimes ? withTimes : kept;
        EXPECT_EQ(out.file, want) << FirstDifference(out.file, want);
        EXPECT_EQ(out.returned, want.size());
        // Progress stays 0 on a live stream; stream time counts from 0.
        ASSERT_EQ(log.progressEvents.size(), 100u);
        EXPECT_EQ(log.progressEvents[99].progress, 0);
        EXPECT_EQ(log.progressEvents[99].timeMs, 9900u);
        EXPECT_EQ(log.headerDurations, (std::vector<int>{0, 0}));
    }
}

Bytes ForeignPackets(uint32_t count) {
    Bytes out;
    for (uint32_t i = 0; i < count; ++i) Append(out, MediaPacket(i, 7, 0, Bytes(100, 1)));
    return out;
}

// What follows the first data packet, and the packets the file keeps. A
// command's messageLength: empty or past 64 KiB is no server's; too short
// to name a command, or longer than the command buffer, it is read past; in
// between, a Ping is answered.
TEST(MmsSession, WhatFollowsTheFirstPacket) {
    const Bytes p = DataPacket(1000, 0, 3100, 10);
    const Bytes whole = MediaPacket(1, 4, 0, p);
    const Bytes rest = Cat({whole, EndOfStream()});
    auto command = [&rest](uint32_t length) {  // a Ping's prefix, as far as the length reaches
        Bytes body = Zeros(std::min<uint32_t>(length, 70000));
        if (length >= 24) std::copy_n(Le32(kPing).begin(), 4, body.begin() + 20);
        return Cat({RawCommand(length, body), rest});
    };
    const std::string bad = "invalid data from the server: ";
    struct Row {
        std::string name;
        Bytes ending;
        size_t packets;
        std::string error;
        bool pong = false;
        size_t stopAfter = 0;  // bytes of the ending read before a stop comes, 0: none
    } rows[] = {
        {"command of 0", command(0), 1, bad + "command of 0 bytes"},
        {"command of 8", command(8), 2, ""},
        {"command of 23", command(23), 2, ""},
        {"command of 24", command(24), 2, "", true},
        {"command of 1060", command(1060), 2, "", true},
        {"command of 1061", command(1061), 2, ""},
        {"command of 65536", command(65536), 2, ""},
        {"command of 65537", command(65537), 1, bad + "command of 65537 bytes"},
        {"unknown command", Cat({ServerCommand(0x00040099), rest}), 2, ""},
        {"short ReportOpenFile", ServerCommand(kReportOpenFile, Zeros(8)), 1, bad + "ReportOpenFile of 32 bytes"},
        {"media packet of 8", MediaPacket(1, 4, 0, {}), 1, bad + "media packet of 8 bytes"},
        {"media packet of 5", Hex("00 00 00 00 04 00 05 00"), 1, bad + "media packet of 5 bytes"},
        {"media packet of 9", Hex("00 00 00 00 07 00 09 00 82"), 1, ClosedEarlyText(1)},
        // Packets of another incarnation are skipped, up to a run of 32.
        {"31 foreign packets", Cat({ForeignPackets(31), rest}), 2, ""},
        {"32 foreign packets", ForeignPackets(32), 1, bad + "32 media packets in a row of incarnation 7"},
        {"31, a packet, 31", Cat({ForeignPackets(31), whole, ForeignPackets(31)}), 2, ClosedEarlyText(2)},
        {"junk", Bytes(40000, 'A'), 1, ClosedEarlyText(1)},
        {"a later header, not written", Cat({MediaPacket(0, 2, 0x0C, AsfHeader(kOnDemand)), rest}), 2, ""},
        // The connection closes before the end of the stream.
        {"closed after a packet", whole, 2, ClosedEarlyText(2)},
        {"closed inside a packet", Bytes(whole.begin(), whole.begin() + 20), 1, ClosedEarlyText(1)},
        {"closed inside a prefix", Bytes(whole.begin(), whole.begin() + 7), 1, ClosedEarlyText(1)},
        {"stop between a packet's prefix and its payload", rest, 1, "", false, 8},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EventLog log;
        const Bytes start = Cat({UpToData(kOnDemand), MediaPacket(0, 4, 0, p)});
        const size_t stopAt = row.stopAfter ? start.size() + row.stopAfter : SIZE_MAX;
        const Outcome out = RunSession(Cat({start, row.ending}), log, {}, nullptr, stopAt);
        const bool ended = row.packets == 2 && row.error.empty();
        const Bytes want = ExpectedFile(kOnDemand, std::vector<Bytes>(row.packets, p), !ended);
        EXPECT_EQ(out.file, want) << FirstDifference(out.file, want);
        EXPECT_EQ(out.returned, want.size());
        EXPECT_EQ(out.errors, row.error.empty() ? std::vector<std::string>{} : std::vector<std::string>{row.error});
        std::vector<uint32_t> mids = kUsualMids;
        if (row.pong) mids.push_back(kPong);
        EXPECT_EQ(Mids(out.sent), mids);
    }
}

// Header packets that never complete a header, totalBytes of them.
Bytes EndlessHeader(size_t totalBytes) {
    Bytes out = MediaPacket(0, 2, 0x04, Cat({Bytes(testsupport::kHeaderObjectGuid, testsupport::kHeaderObjectGuid + 16),
                                             Le64(1ull << 40), Zeros(65527 - 24)}));
    for (size_t have = 65527; have < totalBytes; have += 65527)
        Append(out, MediaPacket(1, 2, 0x04, Zeros(std::min<size_t>(65527, totalBytes - have))));
    return out;
}

TEST(MmsSession, SessionsThatRecordNothing) {
    HeaderValues unequal = kOnDemand;
    unequal.maxPacketSize = 2000;
    const Bytes toOpenFile = Cat({ServerCommand(kReportConnectedEx), ServerCommand(kReportFunnelInfo, Zeros(64)),
                                  ServerCommand(kReportConnectedFunnel)});
    const Bytes data = MediaPacket(0, 4, 0, DataPacket(1000, 0, 0, 10));
    const std::vector<uint32_t> toRead(kUsualMids.begin(), kUsualMids.begin() + 5);
    const std::vector<uint32_t> toOpen(kUsualMids.begin(), kUsualMids.begin() + 4);
    struct Row {
        const char* name;
        Bytes server;
        std::vector<uint32_t> mids;
        std::vector<std::string> errors;
    } rows[] = {
        {"file not found", Cat({toOpenFile, ReportOpenFile(-1, 0x80070002), data}), toOpen,
         {"Url not found: server error 0x80070002"}},
        {"file not found, no code", Cat({toOpenFile, ReportOpenFile(-1), data}), toOpen, {"Url not found"}},
        {"packet sizes differ", Cat({UpToData(unequal), data, EndOfStream()}), toRead, {"not supported"}},
        {"packets over 64 KiB", Cat({UpToData(Shape(70000, 1)), data, EndOfStream()}), toRead, {"not supported"}},
        {"no header", Cat({Opening(), EndOfStream()}), toRead, {}},
        {"data before any header", Cat({Opening(), data, EndOfStream()}), toRead, {}},
        {"header packets without a Header Object",
         Cat({Opening(), MediaPacket(0, 2, 0x04, Bytes(500, 'x')), MediaPacket(1, 2, 0x08, Bytes(500, 'y')),
              StartOfData(), data, EndOfStream()}),
         toRead,
         {"invalid data from the server: header packet without an ASF Header Object"}},
        {"16 MiB of header", Cat({Opening(), EndlessHeader(16 << 20), EndOfStream()}), toRead, {}},
        {"16 MiB and a byte of header", Cat({Opening(), EndlessHeader((16 << 20) + 1), EndOfStream()}), toRead,
         {"not supported"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EventLog log;
        const Outcome out = RunSession(row.server, log);
        EXPECT_EQ(out.returned, 0u);
        EXPECT_EQ(out.file, Bytes{});
        EXPECT_EQ(out.errors, row.errors);
        EXPECT_EQ(Mids(out.sent), row.mids);
    }
}

// Limits end the recording after the packet that reaches them: the send
// time in whole seconds, the bytes written in whole MiB (header included).
// Each row is recorded twice by one client: each recording counts from zero.
TEST(MmsSession, LimitsEndTheRecordingAtThePacketThatReachesThem) {
    struct Row {
        const char* name;
        int timeLimit;       // seconds, -1: none
        int sizeLimit;       // MiB, -1: none
        size_t fillerBytes;  // tunes the header's size
        uint32_t packetSize;
        std::vector<uint32_t> sendTimes;
        size_t written;      // packets in the file
    } rows[] = {
        {"time one below", 5, -1, 0, 1000, {0, 4999, 4000}, 3},
        {"time at the limit", 5, -1, 0, 1000, {0, 5000, 4000}, 2},
        {"time one above", 5, -1, 0, 1000, {0, 5001, 4000}, 2},
        {"time limit 0", 0, -1, 0, 1000, {0, 1, 2}, 1},
        // 17 packets of 60,000 bytes and a header of 28,576 make 1 MiB.
        {"size one below", -1, 1, 28391, 60000, std::vector<uint32_t>(20, 7), 18},
        {"size at the limit", -1, 1, 28392, 60000, std::vector<uint32_t>(20, 7), 17},
        {"size one above", -1, 1, 28393, 60000, std::vector<uint32_t>(20, 7), 17},
        {"size limit 0", -1, 0, 0, 1000, {0, 1, 2}, 1},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        HeaderValues shape = Shape(row.packetSize, 131000000, 3);
        shape.paddingObjectBefore = row.fillerBytes;
        RecorderSettings settings;
        settings.timePolicy = row.timeLimit >= 0;
        settings.maxTime = row.timeLimit;
        settings.sizePolicy = row.sizeLimit >= 0;
        settings.maxSize = row.sizeLimit;
        std::vector<Bytes> packets;
        Bytes server = UpToData(shape);
        for (uint32_t t : row.sendTimes) {
            packets.push_back(DataPacket(row.packetSize, t, t + 3100, 10));
            Append(server, MediaPacket(0, 4, 0, packets.back()));
        }
        Append(server, EndOfStream());
        const std::vector<Bytes> kept(packets.begin(), packets.begin() + row.written);
        const uint32_t largest = *std::max_element(row.sendTimes.begin(), row.sendTimes.begin() + row.written);
        const Bytes want = ExpectedFile(shape, kept, row.written < packets.size(), largest);
        EventLog log;
        MmsClient client(1, settings, &log);
        for (int round = 0; round < 2; ++round) {
            const Outcome out = RunSession(server, log, settings, &client);
            EXPECT_EQ(out.file, want) << FirstDifference(out.file, want);
            EXPECT_EQ(out.sent.at(0).sequence, 0u);
        }
        EXPECT_EQ(log.errors, std::vector<std::string>{});
    }
}

// Writes past a file size limit fail as on a full disk: the file keeps its
// whole packets and a header that describes them, and the reason is named.
TEST(MmsSession, AFailedWriteKeepsTheWholePacketsBeforeIt) {
    const size_t header = AsfHeader(kOnDemand).size();
    std::vector<Bytes> packets;
    Bytes server = UpToData(kOnDemand);
    for (uint32_t i = 0; i < 40; ++i) {
        packets.push_back(DataPacket(1000, i * 100, 3100 + i * 100, 10));
        Append(server, MediaPacket(i, 4, 0, packets.back()));
    }
    Append(server, EndOfStream());
    // Bytes the file may take, and the whole packets it keeps (-1: not even
    // the header).
    const std::pair<size_t, int> rows[] = {{header - 1, -1}, {header, 0}, {header + 2500, 2}, {header + 3000, 3}};
    const auto oldHandler = ::signal(SIGXFSZ, SIG_IGN);  // a write past the limit fails instead of ending the process
    rlimit old{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
    for (const auto& [room, whole] : rows) {
        SCOPED_TRACE(room);
        EventLog log;
        rlimit limited = old;
        limited.rlim_cur = room;
        ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limited), 0);
        const Outcome out = RunSession(server, log);
        ::setrlimit(RLIMIT_FSIZE, &old);
        const std::vector<Bytes> kept(packets.begin(), packets.begin() + std::max(whole, 0));
        const Bytes want = whole < 0 ? Bytes{} : ExpectedFile(kOnDemand, kept, true, std::max(whole - 1, 0) * 100);
        EXPECT_EQ(out.file, want) << FirstDifference(out.file, want);
        EXPECT_EQ(out.returned, want.size());
        EXPECT_EQ(out.errors, std::vector<std::string>{"File Write Error: File too large"});
    }
    ::signal(SIGXFSZ, oldHandler);
}

}  // namespace
}  // namespace larkspan
