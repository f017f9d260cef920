// The MMS-over-TCP side of the loopback server, driven command by command
// from a bare socket. Commands are built here from the published message
// layouts, not with the server's own builders.
#include <gtest/gtest.h>

#include <cstring>

#include "tests/support/AsfFileParts.h"
#include "tests/support/Samples.h"
#include "tests/tools/RawClient.h"
#include "tools/server/LoopbackServer.h"

namespace larkspan {
namespace {

using namespace std::chrono_literals;
using testing::LE16;
using testing::LE32;
using testing::RawClient;
using testserver::LoopbackServer;
using testserver::StreamOptions;
namespace ts = testsupport;

constexpr uint32_t kConnect = 0x00030001, kFunnelInfo = 0x00030018, kConnectFunnel = 0x00030002,
                   kOpenFile = 0x00030005, kReadBlock = 0x00030015, kStreamSwitch = 0x00030033,
                   kStartPlaying = 0x00030007, kPong = 0x0003001B, kCloseFile = 0x0003000D;
constexpr uint32_t kReportConnectedEX = 0x00040001, kReportFunnelInfo = 0x00040015,
                   kReportConnectedFunnel = 0x00040002, kReportOpenFile = 0x00040006,
                   kReportReadBlock = 0x00040011, kReportStreamSwitch = 0x00040021,
                   kReportStartedPlaying = 0x00040005, kPing = 0x0004001B, kReportEndOfStream = 0x0004001E;

void Put32(std::vector<uint8_t>& b, uint32_t v) {
    for (int i = 0; i < 4; ++i) b.push_back(uint8_t(v >> (8 * i)));
}
void PutText(std::vector<uint8_t>& b, const std::string& s) {
    for (char c : s) {
        b.push_back(uint8_t(c));
        b.push_back(0);
    }
}

// A client command as the recorder sends it: no padding, messageLength
// counting exactly the bytes after offset 16.
std::vector<uint8_t> Command(uint32_t mid, uint32_t seq, const std::vector<uint8_t>& body) {
    std::vector<uint8_t> m = {1, 0, 0, 0};
    Put32(m, 0xB00BFACE);
    const uint32_t length = uint32_t(24 + body.size());
    Put32(m, length);
    m.insert(m.end(), {'M', 'M', 'S', ' '});
    Put32(m, length / 8);
    Put32(m, seq);
    for (int i = 0; i < 8; ++i) m.push_back(0);  // timeSent
    Put32(m, length / 8 - 2);
    Put32(m, mid);
    m.insert(m.end(), body.begin(), body.end());
    return m;
}

struct Unit {
    bool command = false;
    std::vector<uint8_t> bytes;  // the whole message or media packet
    uint32_t Mid() const { return LE32(bytes, 36); }
    uint32_t Result() const { return LE32(bytes, 40); }
    uint8_t Incarnation() const { return bytes.at(4); }
    uint8_t Flags() const { return bytes.at(5); }
    std::vector<uint8_t> Payload() const { return {bytes.begin() + 8, bytes.end()}; }
};

// Reads one command message or media packet the way the recorder tells them
// apart: by the session id in bytes 4-7.
bool ReadUnit(RawClient& c, Unit& u) {
    std::vector<uint8_t> head;
    if (!c.ReadExact(head, 8)) return false;
    std::vector<uint8_t> more;
    if (LE32(head, 4) == 0xB00BFACE) {
        u.command = true;
        if (!c.ReadExact(more, 8)) return false;
        head.insert(head.end(), more.begin(), more.end());
        if (!c.ReadExact(more, LE32(head, 8))) return false;
    } else {
        u.command = false;
        const uint16_t length = LE16(head, 6);
        if (length < 8 || !c.ReadExact(more, length - 8)) return false;
    }
    head.insert(head.end(), more.begin(), more.end());
    u.bytes = std::move(head);
    return true;
}

// Every server message carries the fixed TCP header, a length that is a
// multiple of 8, and chunk counts that agree with it.
void ExpectWellFormed(const Unit& u) {
    ASSERT_TRUE(u.command);
    const auto& b = u.bytes;
    EXPECT_EQ(LE32(b, 0), 1u);
    EXPECT_EQ(std::string(b.begin() + 12, b.begin() + 16), "MMS ");
    const uint32_t length = LE32(b, 8);
    EXPECT_EQ(length + 16, b.size());
    EXPECT_EQ(length % 8, 0u);
    EXPECT_EQ(LE32(b, 16), length / 8);
    EXPECT_EQ(LE32(b, 32), length / 8 - 2);
}

class MmsServerTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string dir = ts::SamplesDir();
        if (dir.empty()) GTEST_SKIP() << ts::SamplesError();
        clip_ = dir + "/clip.asf";
        std::string error;
        ASSERT_TRUE(ts::SplitAsfFile(clip_, parts_, &error)) << error;
    }
    void Start() { ASSERT_TRUE(server_.StartMms()); }

    // Connect .. OpenFile; returns the ReportOpenFile.
    Unit Open(RawClient& c, const std::string& file) {
        Unit u;
        std::vector<uint8_t> body;
        Put32(body, 0xF0F0F0F0);
        Put32(body, 0x0004000B);
        Put32(body, 0x0003001C);
        PutText(body, "NSPlayer/4.1.0.3925; {3300AD50-2C39-46C0-AE0A-2D27C2D35A1D}");
        body.resize(160 - 24, 0);
        EXPECT_TRUE(c.Send(Command(kConnect, 0, body)));
        EXPECT_TRUE(ReadUnit(c, u));
        ExpectWellFormed(u);
        EXPECT_EQ(u.Mid(), kReportConnectedEX);
        EXPECT_EQ(u.Result(), 0u);

        body.clear();
        Put32(body, 0xF0F0F0EF);
        Put32(body, 0x0004000B);
        EXPECT_TRUE(c.Send(Command(kFunnelInfo, 1, body)));
        EXPECT_TRUE(ReadUnit(c, u));
        ExpectWellFormed(u);
        EXPECT_EQ(u.Mid(), kReportFunnelInfo);
        EXPECT_EQ(u.Result(), 0u);
        EXPECT_GE(u.bytes.size() - 40, 64u);

        body.clear();
        for (uint32_t v : {0xF0F0F0EFu, 0xFFFFFFFFu, 0u, 0x000A0000u, 2u}) Put32(body, v);
        PutText(body, "\\\\127.0.0.1\\TCP\\1234");
        body.push_back(0);
        body.push_back(0);
        PutText(body, "00f");
        EXPECT_TRUE(c.Send(Command(kConnectFunnel, 2, body)));
        EXPECT_TRUE(ReadUnit(c, u));
        ExpectWellFormed(u);
        EXPECT_EQ(u.Mid(), kReportConnectedFunnel);
        EXPECT_EQ(u.Result(), 0u);

        body.clear();
        for (uint32_t v : {1u, 0xFFFFFFFFu, 0u, 0u}) Put32(body, v);
        PutText(body, file);
        body.push_back(0);
        body.push_back(0);
        PutText(body, "18.");
        EXPECT_TRUE(c.Send(Command(kOpenFile, 3, body)));
        EXPECT_TRUE(ReadUnit(c, u));
        ExpectWellFormed(u);
        return u;
    }

    std::vector<uint8_t> ReadBlock(uint32_t incarnation) {
        std::vector<uint8_t> body;
        for (uint32_t v : {1u, 0u, 0u, 0x8000u, 0xFFFFFFFFu, 0x006B0065u, 0u, 0u, 0u, 0x40AC2000u}) Put32(body, v);
        Put32(body, incarnation);
        Put32(body, 0);
        return Command(kReadBlock, 4, body);
    }
    std::vector<uint8_t> StartPlaying(uint32_t incarnation) {
        std::vector<uint8_t> body;
        for (uint32_t v : {1u, 0x0001FFFFu, 0u, 0u, 0xFFFFFFFFu, 0xFFFFFFFFu, 0u}) Put32(body, v);
        Put32(body, incarnation);  // offset 68
        for (uint32_t v : {0x7FFFFFFFu, 0u, 0x7FFFFFFFu, 0u}) Put32(body, v);
        return Command(kStartPlaying, 6, body);
    }
    std::vector<uint8_t> StreamSwitch() {
        std::vector<uint8_t> body;
        Put32(body, 2);
        for (uint32_t v : {0x0001FFFFu, 0x00000000u, 0x0002FFFFu, 0x00000000u}) Put32(body, v);
        return Command(kStreamSwitch, 5, body);
    }
    std::vector<uint8_t> Pong(uint32_t seq) {
        std::vector<uint8_t> body;
        Put32(body, 0x000005D2);
        Put32(body, 0x00000476);
        return Command(kPong, seq, body);
    }

    std::string clip_;
    ts::AsfFileParts parts_;
    LoopbackServer server_;
};

TEST_F(MmsServerTest, WholeSessionWithSplitHeaderPingsAndEnd) {
    StreamOptions options;
    options.headerPacketSize = 300;
    options.pingEvery = 40;
    ASSERT_TRUE(server_.ServeFile("clip.asf", clip_, options));
    Start();
    RawClient c(server_.MmsPort());
    ASSERT_TRUE(c.ok());
    Unit u = Open(c, "clip.asf");
    EXPECT_EQ(u.Mid(), kReportOpenFile);
    EXPECT_EQ(u.Result(), 0u);
    EXPECT_GE(int32_t(LE32(u.bytes, 48)), 0);

    // Header packets carry the ReadBlock's incarnation; all but the last are
    // flagged 0x04, the last 0x08, and together they are the header.
    ASSERT_TRUE(c.Send(ReadBlock(7)));
    ASSERT_TRUE(ReadUnit(c, u));
    ExpectWellFormed(u);
    EXPECT_EQ(u.Mid(), kReportReadBlock);
    EXPECT_EQ(u.Result(), 0u);
    std::vector<uint8_t> header;
    const size_t pieces = (parts_.header.size() + 299) / 300;
    for (size_t i = 0; i < pieces; ++i) {
        ASSERT_TRUE(ReadUnit(c, u));
        ASSERT_FALSE(u.command);
        EXPECT_EQ(u.Incarnation(), 7);
        EXPECT_EQ(u.Flags(), i + 1 == pieces ? 0x08 : 0x04) << i;
        EXPECT_EQ(LE16(u.bytes, 6), u.bytes.size());
        auto p = u.Payload();
        header.insert(header.end(), p.begin(), p.end());
    }
    EXPECT_EQ(header, parts_.header);

    ASSERT_TRUE(c.Send(StreamSwitch()));
    ASSERT_TRUE(ReadUnit(c, u));
    ExpectWellFormed(u);
    EXPECT_EQ(u.Mid(), kReportStreamSwitch);
    EXPECT_EQ(u.Result(), 0u);

    ASSERT_TRUE(c.Send(StartPlaying(9)));
    ASSERT_TRUE(ReadUnit(c, u));
    ExpectWellFormed(u);
    EXPECT_EQ(u.Mid(), kReportStartedPlaying);
    EXPECT_EQ(u.Result(), 0u);

    size_t packets = 0, pings = 0;
    uint32_t seq = 7;
    for (;;) {
        ASSERT_TRUE(ReadUnit(c, u));
        if (u.command) {
            ExpectWellFormed(u);
            if (u.Mid() == kPing) {
                ++pings;
                EXPECT_EQ(packets % 40, 0u);
                if (pings != 2) {  // leave one unanswered
                    ASSERT_TRUE(c.Send(Pong(seq++)));
                }
                continue;
            }
            EXPECT_EQ(u.Mid(), kReportEndOfStream);
            EXPECT_EQ(u.Result(), 0u);
            break;
        }
        EXPECT_EQ(u.Incarnation(), 9);
        EXPECT_EQ(LE32(u.bytes, 0), packets);
        EXPECT_EQ(u.Payload(), parts_.packets.at(packets)) << packets;
        ++packets;
    }
    EXPECT_EQ(packets, parts_.packets.size());
    EXPECT_EQ(pings, parts_.packets.size() / 40);
    ASSERT_TRUE(c.Send(Command(kCloseFile, seq++, {1, 0, 0, 0})));
    c.ShutdownWrite();
    bool closed = false;
    EXPECT_TRUE(c.ReadAll(&closed).empty());
    EXPECT_TRUE(closed);
    ASSERT_TRUE(server_.WaitForIdle(10s));
    EXPECT_EQ(server_.MissingPongs(), 1u);
    auto record = server_.Connections().back();
    EXPECT_TRUE(record.completed);
    EXPECT_EQ(record.pingsSent, pings);
    EXPECT_EQ(record.pongsReceived, pings - 1);
    EXPECT_EQ(record.path, "clip.asf");
}

TEST_F(MmsServerTest, LogsCommandsWithDecodedStrings) {
    ASSERT_TRUE(server_.ServeFile("clip.asf", clip_));
    Start();
    RawClient c(server_.MmsPort());
    Open(c, "clip.asf");
    auto commands = server_.MmsCommands();
    ASSERT_EQ(commands.size(), 4u);
    const char* names[] = {"Connect", "FunnelInfo", "ConnectFunnel", "OpenFile"};
    for (uint32_t i = 0; i < 4; ++i) {
        EXPECT_EQ(commands[i].sequence, i);
        EXPECT_EQ(commands[i].name, names[i]);
        EXPECT_EQ(commands[i].messageLength + 16, commands[i].bytes.size());
    }
    EXPECT_EQ(commands[0].mid, kConnect);
    EXPECT_EQ(commands[0].text, "NSPlayer/4.1.0.3925; {3300AD50-2C39-46C0-AE0A-2D27C2D35A1D}");
    EXPECT_EQ(commands[2].text, std::string("\\\\127.0.0.1\\TCP\\1234\0" "00f", 24));
    EXPECT_EQ(commands[3].text, std::string("clip.asf\0" "18.", 12));
    ASSERT_TRUE(c.Send(ReadBlock(2)));
    ASSERT_TRUE(server_.WaitFor([&] { return server_.MmsCommands().size() == 5; }, 10s));
    EXPECT_EQ(server_.MmsCommands()[4].playIncarnation, 2u);
}

TEST_F(MmsServerTest, UnknownFileGetsNegativeIdAndError) {
    ASSERT_TRUE(server_.ServeFile("clip.asf", clip_));
    Start();
    RawClient c(server_.MmsPort());
    Unit u = Open(c, "missing.asf");
    EXPECT_EQ(u.Mid(), kReportOpenFile);
    EXPECT_NE(u.Result(), 0u);
    EXPECT_LT(int32_t(LE32(u.bytes, 48)), 0);
}

TEST_F(MmsServerTest, NoHeaderEndsTheStreamAfterReadBlock) {
    StreamOptions options;
    options.noHeader = true;
    ASSERT_TRUE(server_.ServeFile("clip.asf", clip_, options));
    Start();
    RawClient c(server_.MmsPort());
    Open(c, "clip.asf");
    ASSERT_TRUE(c.Send(ReadBlock(2)));
    Unit u;
    ASSERT_TRUE(ReadUnit(c, u));
    EXPECT_EQ(u.Mid(), kReportReadBlock);
    ASSERT_TRUE(ReadUnit(c, u));
    ASSERT_TRUE(u.command);
    EXPECT_EQ(u.Mid(), kReportEndOfStream);
}

TEST_F(MmsServerTest, DropsMidPacket) {
    StreamOptions options;
    options.dropAfterPackets = 3;
    options.dropMidChunk = true;
    ASSERT_TRUE(server_.ServeFile("clip.asf", clip_, options));
    Start();
    RawClient c(server_.MmsPort());
    Open(c, "clip.asf");
    ASSERT_TRUE(c.Send(ReadBlock(2)));
    Unit u;
    ASSERT_TRUE(ReadUnit(c, u));  // ReportReadBlock
    ASSERT_TRUE(ReadUnit(c, u));  // header
    EXPECT_EQ(u.Flags(), 0x0C);
    ASSERT_TRUE(c.Send(StreamSwitch()));
    ASSERT_TRUE(ReadUnit(c, u));
    ASSERT_TRUE(c.Send(StartPlaying(4)));
    ASSERT_TRUE(ReadUnit(c, u));
    EXPECT_EQ(u.Mid(), kReportStartedPlaying);
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(ReadUnit(c, u));
        EXPECT_FALSE(u.command);
    }
    EXPECT_FALSE(ReadUnit(c, u));  // half a packet, then the end
    ASSERT_TRUE(server_.WaitForIdle(10s));
    EXPECT_TRUE(server_.Connections().back().dropped);
}

}  // namespace
}  // namespace larkspan
