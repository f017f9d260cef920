// The loopback server seen from a bare socket: what its fault switches put
// on the wire, how it treats clients that misbehave, and how many it serves
// at once. What a stream client drives through it is checked by the
// client's own tests.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>

#include "protocols/mms/MmsCommands.h"
#include "tests/support/AsfFileParts.h"
#include "tests/support/Samples.h"
#include "tools/server/LoopbackServer.h"
#include "tools/server/WireBuilders.h"

namespace larkspan {
namespace {

using namespace std::chrono_literals;
using testserver::LoopbackServer;
using testserver::StreamOptions;
namespace ts = testsupport;
using Bytes = std::vector<uint8_t>;

// A TCP client on 127.0.0.1. Reads give up after 20 s, so a server fault
// fails a test instead of hanging it.
class RawClient {
public:
    explicit RawClient(uint16_t port) {
        fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        timeval tv{20, 0};
        ::setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_port = htons(port);
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::connect(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr);  // a failure shows in Send
    }
    ~RawClient() { ::close(fd_); }

    bool Send(const Bytes& bytes) {
        return ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL) == ssize_t(bytes.size());
    }
    bool Send(const std::string& text) { return Send(Bytes(text.begin(), text.end())); }
    void ShutdownWrite() { ::shutdown(fd_, SHUT_WR); }

    // Exactly n bytes, or false.
    bool Read(Bytes& out, size_t n) {
        out.resize(n);
        return ::recv(fd_, out.data(), n, MSG_WAITALL) == ssize_t(n);
    }
    // Everything until the server closes; *end, when given, says how it
    // ended: "closed", "reset" or "timeout".
    Bytes ReadAll(std::string* end = nullptr) {
        Bytes out;
        uint8_t buffer[65536];
        ssize_t r;
        while ((r = ::recv(fd_, buffer, sizeof buffer, 0)) > 0) out.insert(out.end(), buffer, buffer + r);
        if (end) *end = r == 0 ? "closed" : errno == ECONNRESET ? "reset" : "timeout";
        return out;
    }

private:
    int fd_ = -1;
};

std::string Text(const Bytes& b) { return std::string(b.begin(), b.end()); }

std::string Request(const std::string& path, bool play) {
    return "GET /" + path + " HTTP/1.0\r\n" + (play ? "Pragma: xPlayStrm=1\r\n" : "") + "\r\n";
}

// What a play sent, as a list: MMSH chunks by type ("H", "E") and MMS
// commands by name, data packets by location ("D0"), "+part" for a packet cut
// short, then how the connection ended.
std::string Transcript(const Bytes& body, bool mms, const std::string& end) {
    std::string out;
    size_t pos = 0;
    for (size_t length = 0; body.size() - pos >= 12; pos += length) {
        const bool command = mms && ts::GetLE32(body, pos + 4) == mms::kSessionId;
        length = command ? 16 + ts::GetLE32(body, pos + 8) : (body[pos + 2 + 4 * mms] | body[pos + 3 + 4 * mms] << 8);
        length += mms ? 0 : 4;
        if (body.size() - pos < length) break;
        if (command) {
            out += testserver::mms::MidName(ts::GetLE32(body, pos + 36)) + " ";
        } else if (mms || body[pos + 1] == 'D') {
            out += "D" + std::to_string(ts::GetLE32(body, pos + 4 * !mms)) + " ";
        } else {
            out += std::string(1, char(body[pos + 1])) + " ";
        }
    }
    return out + (pos < body.size() ? "+part " : "") + end;
}

class ServerTest : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string dir = ts::SamplesDir();
        if (dir.empty()) GTEST_SKIP() << ts::SamplesError();
        clip_ = dir + "/clip.asf";
        audio_ = dir + "/audio.asf";
        ASSERT_TRUE(ts::SplitAsfFile(clip_, parts_));
    }
    // Waits until the last connection has sent n data packets, then stops
    // the server: what was sent stays readable, and nothing more comes.
    static void StopAfterPackets(LoopbackServer& server, uint64_t n) {
        EXPECT_TRUE(server.WaitFor(
            [&] { return !server.Connections().empty() && server.Connections().back().dataPacketsSent == n; }, 20s));
        server.Stop();
    }

    std::string clip_, audio_;
    ts::AsfFileParts parts_;
    LoopbackServer server_;
};

TEST_F(ServerTest, FaultSwitchesShapeWhatIsSent) {
    struct Row {
        const char* name;
        bool mms;
        StreamOptions options;
        std::string transcript;
    };
    const Row rows[] = {
        {"drop", false, {.dropAfterPackets = 3}, "H D0 D1 D2 closed"},
        {"drop mid chunk", false, {.dropAfterPackets = 3, .dropMidChunk = true}, "H D0 D1 D2 +part closed"},
        {"drop with a reset", false, {.dropAfterPackets = 3, .resetOnDrop = true}, "H D0 D1 D2 reset"},
        {"stall", false, {.stallAfterPackets = 3}, "H D0 D1 D2 closed"},
        {"never send", false, {.neverSend = true}, "closed"},
        {"MMS drop", true, {.dropAfterPackets = 3}, "ReportStartedPlaying D0 D1 D2 closed"},
        {"MMS drop mid packet", true, {.dropAfterPackets = 3, .dropMidChunk = true},
         "ReportStartedPlaying D0 D1 D2 +part closed"},
        {"MMS stall", true, {.stallAfterPackets = 3}, "ReportStartedPlaying D0 D1 D2 closed"},
        {"MMS no header", true, {.noHeader = true}, "ReportReadBlock ReportEndOfStream closed"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        LoopbackServer server;
        ASSERT_TRUE(server.ServeFile("clip.asf", clip_, row.options));
        ASSERT_TRUE(row.mms ? server.StartMms() : server.StartMmsh());
        RawClient client(row.mms ? server.MmsPort() : server.MmshPort());
        if (row.mms) {
            // The session up to ReadBlock from the recorder's own commands.
            MmsCommandBuilder commands;
            Bytes reply;
            for (const Bytes& command : {commands.Connect(), commands.FunnelInfo(),
                                         commands.ConnectFunnel(MakeTransportString(0x7F000001, 1234)),
                                         commands.OpenFile(MakeOpenFileName("clip.asf"))}) {
                ASSERT_TRUE(client.Send(command));
                ASSERT_TRUE(client.Read(reply, 16) && client.Read(reply, ts::GetLE32(reply, 8)));
            }
            ASSERT_TRUE(client.Send(commands.ReadBlock()));
            if (row.options.noHeader) client.ShutdownWrite();  // the server waits for the client to leave after the end
            if (!row.options.noHeader) {
                ASSERT_TRUE(client.Read(reply, 16) && client.Read(reply, ts::GetLE32(reply, 8)));
                ASSERT_TRUE(client.Read(reply, 8) && client.Read(reply, (reply[6] | reply[7] << 8) - 8));  // header
                ASSERT_TRUE(client.Send(commands.StreamSwitch()));
                ASSERT_TRUE(client.Read(reply, 16) && client.Read(reply, ts::GetLE32(reply, 8)));
                ASSERT_TRUE(client.Send(commands.StartPlaying()));
            }
        } else {
            ASSERT_TRUE(client.Send(Request("clip.asf", true)));
        }
        if (row.options.stallAfterPackets >= 0) StopAfterPackets(server, uint64_t(row.options.stallAfterPackets));
        if (row.options.neverSend) {
            ASSERT_TRUE(server.WaitForHttpRequests(1, 20s));
            server.Stop();
        }
        std::string end;
        const std::string all = Text(client.ReadAll(&end));
        const size_t head = row.mms ? std::string::npos : all.find("\r\n\r\n");
        const size_t body = row.mms ? 0 : head == std::string::npos ? all.size() : head + 4;
        EXPECT_EQ(Transcript(Bytes(all.begin() + body, all.end()), row.mms, end), row.transcript);
        ASSERT_TRUE(server.WaitForIdle(20s));
        EXPECT_EQ(server.Connections().back().dropped, row.options.dropAfterPackets >= 0);
    }
}

// A packet sent without its padding comes back whole when zero-filled.
TEST_F(ServerTest, TrimmedPacketsPadBackToTheOriginal) {
    ASSERT_TRUE(server_.ServeFile("clip.asf", clip_, {.trimPadding = true}));
    ASSERT_TRUE(server_.StartMmsh());
    RawClient client(server_.MmshPort());
    ASSERT_TRUE(client.Send(Request("clip.asf", true)));
    const Bytes all = client.ReadAll();
    size_t pos = Text(all).find("\r\n\r\n") + 4 + 12 + parts_.header.size();
    for (size_t i = 0; i < parts_.packets.size(); ++i) {
        ts::AsfPacketLayout layout;
        ASSERT_TRUE(ts::WalkAsfPacket(parts_.packets[i], parts_.packetSize, layout));
        const size_t length = all.at(pos + 2) | all.at(pos + 3) << 8;
        Bytes packet(all.begin() + pos + 12, all.begin() + pos + 4 + length);
        EXPECT_EQ(packet.size(), parts_.packetSize - layout.paddingLength) << i;
        packet.resize(parts_.packetSize, 0);
        ASSERT_EQ(packet, parts_.packets[i]) << i;
        pos += 4 + length;
    }
    EXPECT_EQ(Text(Bytes(all.begin() + pos, all.end())), Text(testserver::MmshEndChunk()));
}

// The request log keeps every line raw and in order, whatever the line ends,
// and only a Pragma with xPlayStrm=1 makes a play request.
TEST_F(ServerTest, LogsOddRequestsRawAndTellsPlayFromDescribe) {
    ASSERT_TRUE(server_.ServeFile("clip.asf", clip_));
    ASSERT_TRUE(server_.StartMmsh());
    struct Row {
        std::string request;
        std::vector<std::string> lines;
        bool play;
    };
    const Row rows[] = {
        {"GET /clip.asf HTTP/1.1\r\nPragma: no-cache,stream-time=0Connection: Close\r\nPragma: xPlayStrm=1\r\n\r\n",
         {"Pragma: no-cache,stream-time=0Connection: Close", "Pragma: xPlayStrm=1"}, true},
        {"GET /clip.asf HTTP/1.1\r\nPragma: no-cache,xPlayStrm=1\r\n\r\n", {"Pragma: no-cache,xPlayStrm=1"}, true},
        {"GET /clip.asf HTTP/1.0\r\nPragma: xPlayStrm=0\r\n\r\n", {"Pragma: xPlayStrm=0"}, false},
        {"GET /clip.asf HTTP/1.0\r\nX-Note: xPlayStrm=1\r\n\r\n", {"X-Note: xPlayStrm=1"}, false},
        {"GET /clip.asf HTTP/1.0\nPragma: xPlayStrm=1\nHost: x\n\n", {"Pragma: xPlayStrm=1", "Host: x"}, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.request);
        server_.ClearRecords();
        RawClient client(server_.MmshPort());
        ASSERT_TRUE(client.Send(row.request));
        ASSERT_TRUE(server_.WaitForHttpRequests(1, 20s));
        const auto records = server_.HttpRequests();
        ASSERT_EQ(records.size(), 1u);
        EXPECT_EQ(records[0].requestLine, row.request.substr(0, row.request.find_first_of("\r\n")));
        EXPECT_EQ(records[0].headerLines, row.lines);
        EXPECT_EQ(records[0].rawHead, row.request);
        EXPECT_EQ(records[0].play, row.play);
    }
}

// A client that sends what is not a request or a command, or stops in the
// middle of one, gets its connection closed and leaves no record; the
// server goes on serving the next client.
TEST_F(ServerTest, ClosesOnClientsThatMisbehave) {
    ASSERT_TRUE(server_.ServeFile("clip.asf", clip_));
    ASSERT_TRUE(server_.StartMmsh() && server_.StartMms());
    Bytes longCommand = {1, 0, 0, 0, 0xCE, 0xFA, 0x0B, 0xB0, 0, 0, 2, 0, 'M', 'M', 'S', ' '};
    const Bytes connect = MmsCommandBuilder().Connect();
    const std::string bad = "HTTP/1.0 400 Bad Request\r\nContent-Type: text/plain\r\nContent-Length: 16\r\n\r\n"
                            "400 Bad Request\n";
    struct Row {
        const char* name;
        bool mms;
        Bytes sent;
        std::string answer, end;
    };
    const Row rows[] = {
        {"TLS on the HTTP port", false, {0x16, 0x03, 0x01, 0x00, 0x2F, 0x01}, bad, "closed"},
        {"lower-case method", false, {'g', 'e', 't', ' ', '/', '\r', '\n', '\r', '\n'}, bad, "closed"},
        {"request head cut short", false, {'G', 'E', 'T', ' ', '/', 'c', '\r', '\n'}, "", "closed"},
        {"request head over 64 KiB, left unread", false, Bytes(70000, 'A'), "", "reset"},
        {"no session id", true, Bytes(16, 0x55), "", "closed"},
        {"command over 64 KiB", true, longCommand, "", "closed"},
        {"command cut short", true, Bytes(connect.begin(), connect.begin() + 40), "", "closed"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        {
            RawClient client(row.mms ? server_.MmsPort() : server_.MmshPort());
            ASSERT_TRUE(client.Send(row.sent));
            client.ShutdownWrite();
            std::string end;
            EXPECT_EQ(Text(client.ReadAll(&end)), row.answer);
            EXPECT_EQ(end, row.end);
        }
        ASSERT_TRUE(server_.WaitForIdle(20s));
        EXPECT_EQ(server_.HttpRequests().size(), 0u);
        EXPECT_EQ(server_.MmsCommands().size(), 0u);
    }
    RawClient next(server_.MmshPort());
    ASSERT_TRUE(next.Send(Request("clip.asf", false)));
    EXPECT_EQ(Text(next.ReadAll()).substr(0, 17), "HTTP/1.0 200 OK\r\n");
}

// Benchmarks hold 50 and more recordings on one server at once: sixty
// silent connections held open do not keep a play from being served whole.
TEST_F(ServerTest, ServesSixtyClientsAtOnce) {
    ASSERT_TRUE(server_.ServeFile("silent.asf", audio_, {.neverSend = true}));
    ASSERT_TRUE(server_.ServeFile("a.asf", audio_));
    ASSERT_TRUE(server_.StartMmsh());
    std::vector<std::unique_ptr<RawClient>> held;
    for (size_t i = 0; i < 60; ++i) {
        held.push_back(std::make_unique<RawClient>(server_.MmshPort()));
        ASSERT_TRUE(held.back()->Send(Request("silent.asf", true)));
    }
    EXPECT_TRUE(server_.WaitFor([&] { return server_.ActiveConnections() == 60; }, 20s));
    testserver::AsfMedia media;
    ASSERT_TRUE(testserver::AsfMedia::LoadFile(audio_, media));
    RawClient client(server_.MmshPort());
    ASSERT_TRUE(client.Send(Request("a.asf", true)));
    const std::string all = Text(client.ReadAll());
    EXPECT_EQ(all.substr(all.find("\r\n\r\n") + 4), Text(testserver::MmshPlayBody(media)));
}

}  // namespace
}  // namespace larkspan
