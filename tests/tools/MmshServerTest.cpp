// The MMSH side of the loopback server, checked byte by byte from a bare
// socket: answer heads, chunk framing, the request log, and the faults it
// can play.
#include <gtest/gtest.h>

#include <future>
#include <thread>

#include "tests/support/AsfFileParts.h"
#include "tests/support/Samples.h"
#include "tests/tools/RawClient.h"
#include "tools/server/LoopbackServer.h"
#include "tools/server/WireBuilders.h"

namespace larkspan {
namespace {

using namespace std::chrono_literals;
using testing::LE16;
using testing::LE32;
using testing::RawClient;
using testserver::HttpScript;
using testserver::LoopbackServer;
using testserver::StreamOptions;
namespace ts = testsupport;

const char* kDescribeLines =
    "User-Agent: NSPlayer/4.1.0.3856\r\n"
    "Host: 127.0.0.1\r\n"
    "Pragma: no-cache,rate=1.000000,stream-time=0,stream-offset=0:0,request-context=1,max-duration=0\r\n"
    "Pragma: xClientGUID={C7A8076C-B32C-64A9-6B9C-2B4B56B340B5}\r\n"
    "Connection: Close\r\n";
const char* kPlayLines =
    "User-Agent: NSPlayer/4.1.0.3856\r\n"
    "Host: 127.0.0.1\r\n"
    "Pragma: no-cache,rate=1.000000,stream-time=0,stream-offset=4294967295:4294967295,request-context=2,"
    "max-duration=16991\r\n"
    "Pragma: xPlayStrm=1\r\n"
    "Pragma: xClientGUID={C7A8076C-B32C-64A9-6B9C-2B4B56B340B5}\r\n"
    "Pragma: stream-switch-count=1\r\n"
    "Pragma: stream-switch-entry=ffff:1:0\r\n"
    "Connection: Close\r\n";

struct Response {
    std::string statusLine;
    std::vector<std::string> headers;
    std::vector<uint8_t> body;
    bool closed = false;  // the server closed the connection (not a time-out)

    bool HasHeader(const std::string& line) const {
        return std::find(headers.begin(), headers.end(), line) != headers.end();
    }
    std::optional<std::string> Header(const std::string& name) const {
        for (const auto& h : headers) {
            if (h.compare(0, name.size() + 1, name + ":") == 0) {
                size_t v = h.find_first_not_of(' ', name.size() + 1);
                return v == std::string::npos ? std::string() : h.substr(v);
            }
        }
        return std::nullopt;
    }
};

Response Exchange(uint16_t port, const std::string& request) {
    RawClient client(port);
    Response r;
    if (!client.ok() || !client.Send(request)) return r;
    std::vector<uint8_t> all = client.ReadAll(&r.closed);
    std::string text(all.begin(), all.end());
    size_t end = text.find("\r\n\r\n");
    if (end == std::string::npos) return r;
    size_t pos = 0;
    bool first = true;
    while (pos < end) {
        size_t nl = text.find("\r\n", pos);
        std::string line = text.substr(pos, nl - pos);
        if (first) r.statusLine = line;
        else r.headers.push_back(line);
        first = false;
        pos = nl + 2;
    }
    r.body.assign(all.begin() + end + 4, all.end());
    return r;
}

std::string Request(const std::string& path, bool play, const std::string& extra = {}) {
    return "GET /" + path + " HTTP/1.0\r\n" + std::string(play ? kPlayLines : kDescribeLines) + extra + "\r\n";
}

struct Chunk {
    uint8_t type = 0;
    uint16_t length = 0, lengthAgain = 0;
    uint32_t location = 0;
    uint8_t incarnation = 0, flags = 0;
    std::vector<uint8_t> payload;
};

// Splits a framed body; *rest gets the bytes of a last, incomplete chunk.
std::vector<Chunk> Chunks(const std::vector<uint8_t>& body, std::vector<uint8_t>* rest = nullptr) {
    std::vector<Chunk> out;
    size_t pos = 0;
    while (body.size() - pos >= 12 && body[pos] == '$') {
        Chunk c;
        c.type = body[pos + 1];
        c.length = LE16(body, pos + 2);
        c.location = LE32(body, pos + 4);
        c.incarnation = body[pos + 8];
        c.flags = body[pos + 9];
        c.lengthAgain = LE16(body, pos + 10);
        if (c.length < 8 || body.size() - pos - 12 < size_t(c.length - 8)) break;
        c.payload.assign(body.begin() + pos + 12, body.begin() + pos + 12 + (c.length - 8));
        pos += 12 + (c.length - 8);
        out.push_back(std::move(c));
    }
    if (rest) rest->assign(body.begin() + pos, body.end());
    return out;
}

class MmshServerTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string dir = ts::SamplesDir();
        if (dir.empty()) GTEST_SKIP() << ts::SamplesError();
        clip_ = dir + "/clip.asf";
        audio_ = dir + "/audio.asf";
        std::string error;
        ASSERT_TRUE(ts::SplitAsfFile(clip_, parts_, &error)) << error;
    }
    void Start() { ASSERT_TRUE(server_.StartMmsh()); }
    uint16_t Port() const { return server_.MmshPort(); }

    std::string clip_, audio_;
    ts::AsfFileParts parts_;
    LoopbackServer server_;
};

TEST_F(MmshServerTest, DescribeAnswersWithOneHeaderChunk) {
    ASSERT_TRUE(server_.ServeFile("clip.asf", clip_));
    Start();
    Response r = Exchange(Port(), Request("clip.asf", false));
    EXPECT_EQ(r.statusLine, "HTTP/1.0 200 OK");
    EXPECT_TRUE(r.HasHeader("Content-Type: application/vnd.ms.wms-hdr.asfv1"));
    EXPECT_TRUE(r.HasHeader("Pragma: no-cache"));
    bool clientId = false;
    for (const auto& h : r.headers) {
        if (h.rfind("Pragma: client-id=", 0) == 0) {
            clientId = h.size() > 18 && h.find_first_not_of("0123456789", 18) == std::string::npos;
        }
    }
    EXPECT_TRUE(clientId);
    ASSERT_TRUE(r.Header("Content-Length").has_value());
    EXPECT_EQ(std::stoul(*r.Header("Content-Length")), r.body.size());

    std::vector<uint8_t> rest;
    auto chunks = Chunks(r.body, &rest);
    ASSERT_EQ(chunks.size(), 1u);
    EXPECT_TRUE(rest.empty());
    EXPECT_EQ(chunks[0].type, 'H');
    EXPECT_EQ(chunks[0].flags, 0x0C);
    EXPECT_EQ(chunks[0].length, 8 + parts_.header.size());
    EXPECT_EQ(chunks[0].lengthAgain, chunks[0].length);
    EXPECT_EQ(chunks[0].payload, parts_.header);
    EXPECT_TRUE(r.closed);
}

TEST_F(MmshServerTest, PlayStreamsHeaderEveryPacketAndEnd) {
    ASSERT_TRUE(server_.ServeFile("clip.asf", clip_));
    Start();
    Response r = Exchange(Port(), Request("clip.asf", true));
    EXPECT_EQ(r.statusLine, "HTTP/1.0 200 OK");
    EXPECT_TRUE(r.HasHeader("Content-Type: application/x-mms-framed"));
    EXPECT_FALSE(r.Header("Content-Length").has_value());
    EXPECT_TRUE(r.closed);

    std::vector<uint8_t> rest;
    auto chunks = Chunks(r.body, &rest);
    EXPECT_TRUE(rest.empty());
    ASSERT_EQ(chunks.size(), parts_.packets.size() + 2);
    EXPECT_EQ(chunks.front().type, 'H');
    EXPECT_EQ(chunks.front().flags, 0x0C);
    EXPECT_EQ(chunks.front().payload, parts_.header);
    for (size_t i = 0; i < parts_.packets.size(); ++i) {
        const Chunk& c = chunks[i + 1];
        ASSERT_EQ(c.type, 'D') << i;
        EXPECT_EQ(c.location, i);
        EXPECT_EQ(c.length, 8 + parts_.packetSize);
        EXPECT_EQ(c.lengthAgain, c.length);
        EXPECT_EQ(c.payload, parts_.packets[i]) << i;
    }
    const Chunk& end = chunks.back();
    EXPECT_EQ(end.type, 'E');
    EXPECT_EQ(end.length, 8);
    EXPECT_EQ(end.location, 0u);  // end reason: finished
    EXPECT_EQ(server_.Connections().back().dataPacketsSent, parts_.packets.size());
}

TEST_F(MmshServerTest, TrimmedPacketsArriveShortAndPadBack) {
    StreamOptions options;
    options.trimPadding = true;
    ASSERT_TRUE(server_.ServeFile("clip.asf", clip_, options));
    Start();
    auto chunks = Chunks(Exchange(Port(), Request("clip.asf", true)).body);
    ASSERT_EQ(chunks.size(), parts_.packets.size() + 2);
    size_t shorter = 0;
    for (size_t i = 0; i < parts_.packets.size(); ++i) {
        std::vector<uint8_t> p = chunks[i + 1].payload;
        EXPECT_EQ(chunks[i + 1].length, 8 + p.size());
        if (p.size() < parts_.packetSize) ++shorter;
        p.resize(parts_.packetSize, 0);
        EXPECT_EQ(p, parts_.packets[i]) << i;
    }
    EXPECT_GT(shorter, 0u);
}

TEST_F(MmshServerTest, LiveSendsBroadcastHeaderAndShiftedPackets) {
    StreamOptions options;
    options.live = true;
    ASSERT_TRUE(server_.ServeFile("live.asf", clip_, options));
    Start();
    Response r = Exchange(Port(), Request("live.asf", true));
    auto chunks = Chunks(r.body);
    ASSERT_EQ(chunks.size(), parts_.packets.size() + 2);
    const auto& header = chunks.front().payload;
    const size_t fp = parts_.filePropertiesOffset;
    EXPECT_EQ(ts::GetLE64(header, fp + 64), 0u);
    EXPECT_EQ(ts::GetLE32(header, fp + 88) & 1u, 1u);
    for (size_t i = 0; i < parts_.packets.size(); ++i) {
        ts::AsfPacketLayout layout;
        ASSERT_TRUE(ts::WalkAsfPacket(parts_.packets[i], parts_.packetSize, layout));
        EXPECT_EQ(ts::GetLE32(chunks[i + 1].payload, layout.sendTimeOffset),
                  ts::GetLE32(parts_.packets[i], layout.sendTimeOffset) + testserver::kDefaultLiveBaseMs);
    }
}

TEST_F(MmshServerTest, RepeatKeepsLocationsAndSendTimesRising) {
    StreamOptions options;
    options.repeat = 2;
    ASSERT_TRUE(server_.ServeFile("a.asf", audio_, options));
    Start();
    ts::AsfFileParts audio;
    ASSERT_TRUE(ts::SplitAsfFile(audio_, audio));
    auto chunks = Chunks(Exchange(Port(), Request("a.asf", true)).body);
    ASSERT_EQ(chunks.size(), 2 * audio.packets.size() + 2);
    uint32_t previous = 0;
    for (size_t i = 0; i < 2 * audio.packets.size(); ++i) {
        const Chunk& c = chunks[i + 1];
        EXPECT_EQ(c.location, i);
        ts::AsfPacketLayout layout;
        ASSERT_TRUE(ts::WalkAsfPacket(c.payload, audio.packetSize, layout)) << i;
        uint32_t t = ts::GetLE32(c.payload, layout.sendTimeOffset);
        if (i > 0) {
            EXPECT_GT(t, previous) << i;
        }
        previous = t;
    }
}

// Requests as different clients write them; the log keeps every line raw and
// in order, and only a Pragma with xPlayStrm=1 makes a play request.
TEST_F(MmshServerTest, LogsRequestsRawAndTellsPlayFromDescribe) {
    ASSERT_TRUE(server_.ServeFile("clip.asf", clip_));
    Start();
    struct Case {
        const char* name;
        std::string request;
        std::string requestLine;
        std::vector<std::string> lines;
        bool play;
    };
    const Case cases[] = {
        {"HTTP/1.0 describe",
         "GET /clip.asf HTTP/1.0\r\nUser-Agent: NSPlayer/4.1.0.3856\r\nPragma: no-cache\r\n\r\n",
         "GET /clip.asf HTTP/1.0",
         {"User-Agent: NSPlayer/4.1.0.3856", "Pragma: no-cache"},
         false},
        {"HTTP/1.1 play, last two lines run together",
         "GET /clip.asf HTTP/1.1\r\nRange: bytes=0-\r\nPragma: xPlayStrm=1\r\n"
         "Pragma: no-cache,rate=1.000000,stream-time=0Connection: Close\r\n\r\n",
         "GET /clip.asf HTTP/1.1",
         {"Range: bytes=0-", "Pragma: xPlayStrm=1", "Pragma: no-cache,rate=1.000000,stream-time=0Connection: Close"},
         true},
        {"play flag inside a run-together line",
         "GET /clip.asf HTTP/1.1\r\nAccept: */*\r\nPragma: no-cache,xPlayStrm=1\r\n\r\n",
         "GET /clip.asf HTTP/1.1",
         {"Accept: */*", "Pragma: no-cache,xPlayStrm=1"},
         true},
        {"xPlayStrm=0 is a describe",
         "GET /clip.asf HTTP/1.0\r\nPragma: xPlayStrm=0\r\n\r\n",
         "GET /clip.asf HTTP/1.0",
         {"Pragma: xPlayStrm=0"},
         false},
        {"xPlayStrm=1 outside a Pragma is a describe",
         "GET /clip.asf HTTP/1.0\r\nX-Note: xPlayStrm=1\r\n\r\n",
         "GET /clip.asf HTTP/1.0",
         {"X-Note: xPlayStrm=1"},
         false},
        {"bare LF line ends",
         "GET /clip.asf HTTP/1.0\nPragma: xPlayStrm=1\nHost: x\n\n",
         "GET /clip.asf HTTP/1.0",
         {"Pragma: xPlayStrm=1", "Host: x"},
         true},
    };
    for (const auto& c : cases) {
        server_.ClearRecords();
        Response r = Exchange(Port(), c.request);
        EXPECT_EQ(r.statusLine, "HTTP/1.0 200 OK") << c.name;
        EXPECT_EQ(r.HasHeader("Content-Type: application/x-mms-framed"), c.play) << c.name;
        auto records = server_.HttpRequests();
        ASSERT_EQ(records.size(), 1u) << c.name;
        EXPECT_EQ(records[0].requestLine, c.requestLine) << c.name;
        EXPECT_EQ(records[0].headerLines, c.lines) << c.name;
        EXPECT_EQ(records[0].rawHead, c.request) << c.name;
        EXPECT_EQ(records[0].play, c.play) << c.name;
        EXPECT_EQ(records[0].path, "clip.asf") << c.name;
        EXPECT_EQ(records[0].status, 200) << c.name;
    }
}

TEST_F(MmshServerTest, MatchesPathsWithQueriesAndAnswers404Otherwise) {
    ASSERT_TRUE(server_.ServeFile("/dir/clip.asf", clip_));
    Start();
    EXPECT_EQ(Exchange(Port(), Request("dir/clip.asf", false)).statusLine, "HTTP/1.0 200 OK");
    EXPECT_EQ(Exchange(Port(), Request("dir/clip.asf?x=1", false)).statusLine, "HTTP/1.0 200 OK");
    EXPECT_EQ(Exchange(Port(), "GET http://127.0.0.1/dir/clip.asf HTTP/1.0\r\n\r\n").statusLine, "HTTP/1.0 200 OK");
    Response missing = Exchange(Port(), Request("clip.asf", false));
    EXPECT_EQ(missing.statusLine, "HTTP/1.0 404 Not Found");
    EXPECT_EQ(server_.HttpRequests().back().status, 404);
}

TEST_F(MmshServerTest, BasicAuthenticationUntilTheRightCredentials) {
    StreamOptions options;
    options.user = "bob";
    options.password = "s3cret";
    options.realm = "Members";
    ASSERT_TRUE(server_.ServeFile("clip.asf", clip_, options));
    Start();
    struct Case {
        const char* name;
        std::string extra;
        int status;
    };
    const Case cases[] = {
        {"no credentials", "", 401},
        {"wrong password", "Authorization: Basic Ym9iOndyb25n\r\n", 401},          // bob:wrong
        {"other scheme", "Authorization: Digest Ym9iOnMzY3JldA==\r\n", 401},
        {"right", "Authorization: Basic Ym9iOnMzY3JldA==\r\n", 200},               // bob:s3cret
        {"right, lower-case names", "authorization: basic Ym9iOnMzY3JldA==\r\n", 200},
    };
    for (const auto& c : cases) {
        for (bool play : {false, true}) {
            Response r = Exchange(Port(), Request("clip.asf", play, c.extra));
            EXPECT_EQ(r.statusLine.substr(9, 3), std::to_string(c.status)) << c.name;
            if (c.status == 401) {
                EXPECT_EQ(r.Header("WWW-Authenticate"), std::string("Basic realm=\"Members\"")) << c.name;
            }
        }
    }
}

TEST_F(MmshServerTest, DropsAfterPacketsCleanlyOrMidChunk) {
    for (bool midChunk : {false, true}) {
        StreamOptions options;
        options.dropAfterPackets = 5;
        options.dropMidChunk = midChunk;
        ASSERT_TRUE(server_.ServeFile("clip.asf", clip_, options));
        if (!Port()) Start();
        Response r = Exchange(Port(), Request("clip.asf", true));
        std::vector<uint8_t> rest;
        auto chunks = Chunks(r.body, &rest);
        ASSERT_EQ(chunks.size(), 6u) << midChunk;  // $H and five $D, no $E
        EXPECT_EQ(chunks.back().type, 'D');
        EXPECT_TRUE(r.closed);
        if (midChunk) {
            ASSERT_GT(rest.size(), 12u);
            EXPECT_EQ(rest[1], 'D');
            EXPECT_LT(rest.size(), 12u + parts_.packetSize);
        } else {
            EXPECT_TRUE(rest.empty());
        }
        ASSERT_TRUE(server_.WaitForIdle(10s));
        auto record = server_.Connections().back();
        EXPECT_TRUE(record.dropped);
        EXPECT_FALSE(record.completed);
        EXPECT_EQ(record.dataPacketsSent, 5u);
    }
}

TEST_F(MmshServerTest, ScriptedAnswersGoOutByteForByte) {
    HttpScript describe;
    describe.body = testserver::MmshChunkHead(testserver::kChunkHeader, 4);  // length below 8
    HttpScript play;
    play.raw = true;
    std::string raw = "HTTP/1.0 200 OK\r\nContent-Type: application/x-mms-framed\r\n\r\n$H\x10";
    play.body.assign(raw.begin(), raw.end());
    server_.ServeScript("bad.asf", describe, play);
    Start();

    Response d = Exchange(Port(), Request("bad.asf", false));
    EXPECT_EQ(d.statusLine, "HTTP/1.0 200 OK");
    EXPECT_TRUE(d.HasHeader("Content-Type: application/vnd.ms.wms-hdr.asfv1"));
    EXPECT_EQ(d.Header("Content-Length"), std::to_string(describe.body.size()));
    EXPECT_EQ(d.body, describe.body);

    RawClient client(Port());
    ASSERT_TRUE(client.Send(Request("bad.asf", true)));
    bool closed = false;
    EXPECT_EQ(client.ReadAll(&closed), play.body);
    EXPECT_TRUE(closed);
}

TEST_F(MmshServerTest, PlainBodiesWithAndWithoutLength) {
    const std::string asx = "<ASX version=\"3.0\"><Entry><Ref href=\"mms://x/y\"/></Entry></ASX>";
    server_.ServeBody("with.asx", {asx.begin(), asx.end()}, "video/x-ms-asf", true);
    server_.ServeBody("without.asx", {asx.begin(), asx.end()}, "video/x-ms-asf", false);
    Start();
    for (bool length : {true, false}) {
        Response r = Exchange(Port(), Request(length ? "with.asx" : "without.asx", false));
        EXPECT_EQ(r.statusLine, "HTTP/1.0 200 OK");
        EXPECT_TRUE(r.HasHeader("Content-Type: video/x-ms-asf"));
        EXPECT_EQ(r.Header("Content-Length").has_value(), length);
        EXPECT_EQ(std::string(r.body.begin(), r.body.end()), asx);
        EXPECT_TRUE(r.closed);
    }
}

TEST_F(MmshServerTest, NeverSendingConnectionsEndOnStop) {
    StreamOptions options;
    options.neverSend = true;
    ASSERT_TRUE(server_.ServeFile("silent.asf", clip_, options));
    Start();
    RawClient client(Port());
    ASSERT_TRUE(client.Send(Request("silent.asf", false)));
    ASSERT_TRUE(server_.WaitForHttpRequests(1, 10s));
    EXPECT_EQ(server_.HttpRequests()[0].status, 0);
    EXPECT_EQ(server_.ActiveConnections(), 1u);
    server_.Stop();
    bool closed = false;
    EXPECT_TRUE(client.ReadAll(&closed).empty());
    EXPECT_TRUE(closed);
    EXPECT_EQ(server_.ActiveConnections(), 0u);
}

// Benchmarks run 50 and more recordings against one server at once.
TEST_F(MmshServerTest, ServesSixtyClientsAtOnce) {
    StreamOptions silent;
    silent.neverSend = true;
    ASSERT_TRUE(server_.ServeFile("silent.asf", audio_, silent));
    ASSERT_TRUE(server_.ServeFile("a.asf", audio_));
    Start();
    constexpr int kClients = 60;
    // Sixty connections held open at the same time...
    std::vector<std::unique_ptr<RawClient>> held;
    for (int i = 0; i < kClients; ++i) {
        held.push_back(std::make_unique<RawClient>(Port()));
        ASSERT_TRUE(held.back()->Send(Request("silent.asf", true)));
    }
    EXPECT_TRUE(server_.WaitFor([&] { return server_.ActiveConnections() == size_t(kClients); }, 20s));
    // ...and sixty full plays side by side, each getting every byte.
    testserver::AsfMedia media;
    ASSERT_TRUE(testserver::AsfMedia::LoadFile(audio_, media));
    const auto expected = testserver::MmshPlayBody(media);
    std::vector<std::future<std::vector<uint8_t>>> plays;
    for (int i = 0; i < kClients; ++i) {
        plays.push_back(std::async(std::launch::async, [&] { return Exchange(Port(), Request("a.asf", true)).body; }));
    }
    for (auto& p : plays) EXPECT_EQ(p.get(), expected);
    EXPECT_GE(server_.PeakConnections(), size_t(kClients));
    server_.Stop();
    EXPECT_EQ(server_.ActiveConnections(), 0u);
}

}  // namespace
}  // namespace larkspan
