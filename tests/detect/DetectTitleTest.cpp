// Stream titles: the ASF header a server sends back after a request carries
// a Content Description Object, whose title names the detected row. Whole
// sessions are written to capture files, the server's bytes cut into TCP
// segments of many sizes.
#include <gtest/gtest.h>

#include <atomic>

#include "detect/FrameScanner.h"
#include "detect/HeaderTitleReader.h"
#include "detect/PacketCapture.h"
#include "tests/detect/CaptureBuilder.h"
#include "tests/detect/DetectTestSupport.h"
#include "tests/support/AsfFileParts.h"
#include "tests/support/Samples.h"

namespace larkspan::detecttest {
namespace {

using Names = std::vector<std::pair<std::string, std::string>>;
const char kMmsUrl[] = "mms://192.168.1.10/media/clip.asf";
const char kHttpUrl[] = "http://10.0.0.5/live/show.asf";

struct Segment {
    uint32_t seq;
    Bytes payload;
};

// One TCP connection between a player and a server, written as frames.
class Session {
public:
    Session(Ipv4Address server, uint16_t serverPort) : server_(server), serverPort_(serverPort) {}

    void Handshake() {
        frames.push_back(Frame(true, playerSeq_ - 1, {}, 0x02));
        frames.push_back(Frame(false, serverSeq_ - 1, {}, 0x12));
        frames.push_back(Frame(true, playerSeq_, {}, 0x10));
    }
    void PlayerSends(const Bytes& data) {
        frames.push_back(Frame(true, playerSeq_, data, 0x18));
        playerSeq_ += uint32_t(data.size());
    }
    // The server's bytes cut into segments of `size` (the last may be shorter).
    std::vector<Segment> ServerSegments(const Bytes& data, size_t size) {
        std::vector<Segment> out;
        for (size_t at = 0; at < data.size(); at += size) {
            size_t n = std::min(size, data.size() - at);
            out.push_back({serverSeq_ + uint32_t(at), Bytes(data.begin() + long(at), data.begin() + long(at + n))});
        }
        serverSeq_ += uint32_t(data.size());
        return out;
    }
    void ServerSendsSegments(const std::vector<Segment>& segments) {
        for (const Segment& s : segments) frames.push_back(Frame(false, s.seq, s.payload, 0x18));
    }
    void ServerSends(const Bytes& data, size_t size) { ServerSendsSegments(ServerSegments(data, size)); }

    std::vector<Bytes> frames;

private:
    Bytes Frame(bool fromPlayer, uint32_t seq, const Bytes& payload, uint8_t flags) {
        TcpSegment s;
        s.source = fromPlayer ? player_ : server_;
        s.destination = fromPlayer ? server_ : player_;
        s.sourcePort = fromPlayer ? playerPort_ : serverPort_;
        s.destinationPort = fromPlayer ? serverPort_ : playerPort_;
        s.seq = seq;
        s.flags = flags;
        s.tcpOptions = {0x01, 0x01, 0x08, 0x0A, 0, 0, 0, 1, 0, 0, 0, 2};  // time stamps, as Linux sends
        s.payload = payload;
        return Ethernet(BuildIpv4(s));
    }

    Ipv4Address player_{192, 168, 1, 2};
    Ipv4Address server_;
    uint16_t playerPort_ = 49877;
    uint16_t serverPort_;
    uint32_t playerSeq_ = 5001;
    uint32_t serverSeq_ = 900001;
};

Bytes ServerCommand(uint32_t mid, size_t bodySize = 40) { return MmsCommand(mid, Bytes(bodySize, 0), 1); }

// What a server sends after ReadBlock: the header in media packets (the
// first flagged 0x04, the last 0x08, or one packet 0x0C), a Ping between
// the pieces, then a data packet.
Bytes ServerHeaderStream(const Bytes& header, size_t pieces) {
    Bytes out;
    Append(out, ServerCommand(0x00040001));  // ReportConnectedEX
    Append(out, ServerCommand(0x00040006));  // ReportOpenFile
    Append(out, ServerCommand(0x00040011));  // ReportReadBlock
    size_t piece = (header.size() + pieces - 1) / pieces;
    for (size_t i = 0; i < pieces; ++i) {
        size_t at = i * piece, n = std::min(piece, header.size() - at);
        uint8_t flags = pieces == 1 ? 0x0C : (i + 1 == pieces ? 0x08 : 0x04);
        Append(out, MmsMediaPacket(uint32_t(i), 2, flags, Bytes(header.begin() + long(at), header.begin() + long(at + n))));
        if (i == 0 && pieces > 1) Append(out, ServerCommand(0x0004001B, 8));  // a Ping in between
    }
    Append(out, MmsMediaPacket(0, 4, 0, Bytes(3200, 0x82)));
    return out;
}

Session MmsSessionUntilHeader() {
    Session s({192, 168, 1, 10}, 1755);
    s.Handshake();
    Bytes connect(136, 0);
    s.PlayerSends(MmsCommand(0x00030001, connect, 0));
    s.PlayerSends(MmsOpenFile(u"media/clip.asf"));
    s.PlayerSends(MmsCommand(0x00030015, Bytes(48, 0), 4));
    return s;
}

class MmsTitleBySegmentSize : public ::testing::TestWithParam<size_t> {};

TEST_P(MmsTitleBySegmentSize, TitleFromHeaderSentFromPort1755) {
    Session s = MmsSessionUntilHeader();
    s.ServerSends(ServerHeaderStream(AsfHeader(u"Harbour Lights"), 3), GetParam());
    Detected d = DetectFrames(s.frames);
    EXPECT_EQ(d.rows, std::vector<std::string>{kMmsUrl});
    EXPECT_EQ(d.names, (Names{{kMmsUrl, "Harbour Lights"}}));
}

INSTANTIATE_TEST_SUITE_P(SegmentSizes, MmsTitleBySegmentSize, ::testing::Values(1, 3, 7, 16, 64, 536, 1448, 65000));

TEST(MmsTitle, HeaderInOnePacket) {
    Session s = MmsSessionUntilHeader();
    s.ServerSends(ServerHeaderStream(AsfHeader(u"Harbour Lights"), 1), 1448);
    Detected d = DetectFrames(s.frames);
    EXPECT_EQ(d.names, (Names{{kMmsUrl, "Harbour Lights"}}));
}

TEST(MmsTitle, RetransmittedAndOverlappingSegments) {
    Session s = MmsSessionUntilHeader();
    std::vector<Segment> segs = s.ServerSegments(ServerHeaderStream(AsfHeader(u"Harbour Lights"), 2), 100);
    std::vector<Segment> sent;
    for (size_t i = 0; i < segs.size(); ++i) {
        sent.push_back(segs[i]);
        if (i % 3 == 1) sent.push_back(segs[i]);  // sent twice
        if (i % 4 == 2 && i + 1 < segs.size()) {
            // The next segment resent with the end of this one in front.
            Segment overlap{segs[i].seq + 50, Bytes(segs[i].payload.begin() + 50, segs[i].payload.end())};
            Append(overlap.payload, segs[i + 1].payload);
            sent.push_back(overlap);
        }
    }
    s.ServerSendsSegments(sent);
    Detected d = DetectFrames(s.frames);
    EXPECT_EQ(d.names, (Names{{kMmsUrl, "Harbour Lights"}}));
}

TEST(MmsTitle, LostSegmentInHeaderGivesNoWrongTitle) {
    Session s = MmsSessionUntilHeader();
    Bytes header = AsfHeader(u"Harbour Lights", 400);
    std::vector<Segment> segs = s.ServerSegments(ServerHeaderStream(header, 1), 100);
    // Drop the segment holding the start of the title text.
    std::vector<Segment> sent;
    Bytes stream = ServerHeaderStream(header, 1);
    size_t titleAt = 0;
    const uint8_t h[] = {'H', 0, 'a', 0};
    for (size_t i = 0; i + 4 <= stream.size(); ++i)
        if (std::equal(h, h + 4, stream.begin() + long(i))) titleAt = i;
    for (const Segment& seg : segs)
        if (!(titleAt >= seg.seq - segs[0].seq && titleAt < seg.seq - segs[0].seq + seg.payload.size()))
            sent.push_back(seg);
    s.ServerSendsSegments(sent);
    Detected d = DetectFrames(s.frames);
    EXPECT_EQ(d.rows, std::vector<std::string>{kMmsUrl});
    EXPECT_TRUE(d.names.empty());
}

TEST(MmsTitle, TitleLongerThanTheTextBuffer) {
    std::u16string title(1500, u'T');
    Session s = MmsSessionUntilHeader();
    s.ServerSends(ServerHeaderStream(AsfHeader(title), 2), 1448);
    Detected d = DetectFrames(s.frames);
    ASSERT_EQ(d.names.size(), 1u);
    EXPECT_EQ(d.names[0].second, std::string(1023, 'T'));
}

TEST(MmsTitle, DescriptionFarIntoTheHeader) {
    Session s = MmsSessionUntilHeader();
    s.ServerSends(ServerHeaderStream(AsfHeader(u"Harbour Lights", 40000), 4), 1448);
    Detected d = DetectFrames(s.frames);
    EXPECT_EQ(d.names, (Names{{kMmsUrl, "Harbour Lights"}}));
}

TEST(MmsTitle, HeaderBeyondTheBufferIsGivenUp) {
    // More header than the reader keeps before the description: no title,
    // and the reader stops instead of growing.
    Session s = MmsSessionUntilHeader();
    s.ServerSends(ServerHeaderStream(AsfHeader(u"Harbour Lights", 100000), 4), 1448);
    Detected d = DetectFrames(s.frames);
    EXPECT_EQ(d.rows, std::vector<std::string>{kMmsUrl});
    EXPECT_TRUE(d.names.empty());
}

TEST(MmsTitle, HeaderWithoutDescriptionEndsTheWait) {
    Session s = MmsSessionUntilHeader();
    s.ServerSends(ServerHeaderStream(AsfHeader(u""), 2), 1448);
    std::string path = TempPath("no-title.pcap");
    {
        CaptureFileWriter w(path, kLinkEthernet);
        for (const Bytes& f : s.frames) w.Add(f);
    }
    RecordingSink sink;
    FrameScanner scanner(sink);
    std::string message;
    auto capture = PacketCapture::OpenFile(path, message);
    ASSERT_TRUE(capture) << message;
    std::atomic<bool> flag{true};
    while (capture->ReadBatch(scanner, flag, message) == PacketCapture::ReadResult::Frames) {
    }
    EXPECT_EQ(sink.Rows(), std::vector<std::string>{kMmsUrl});
    EXPECT_TRUE(sink.Names().empty());
    EXPECT_FALSE(scanner.awaitingHeader());
}

TEST(MmsTitle, CaptureStartedMidStream) {
    // No handshake, and the first server bytes seen are the middle of a
    // message: the reader waits for a segment that starts one.
    Session s({192, 168, 1, 10}, 1755);
    s.PlayerSends(MmsOpenFile(u"media/clip.asf"));
    Bytes stream = ServerHeaderStream(AsfHeader(u"Harbour Lights"), 2);
    const uint32_t base = s.ServerSegments(stream, stream.size())[0].seq;
    const size_t firstCommand = ServerCommand(0x00040001).size();
    std::vector<Segment> sent;
    sent.push_back({base + 10, Bytes(stream.begin() + 10, stream.begin() + long(firstCommand))});
    for (size_t at = firstCommand; at < stream.size(); at += 200) {
        size_t n = std::min<size_t>(200, stream.size() - at);
        sent.push_back({base + uint32_t(at), Bytes(stream.begin() + long(at), stream.begin() + long(at + n))});
    }
    s.ServerSendsSegments(sent);
    Detected d = DetectFrames(s.frames);
    EXPECT_EQ(d.names, (Names{{kMmsUrl, "Harbour Lights"}}));
}

TEST(MmsTitle, HeaderSentToPort1755AtFixedOffsets) {
    // A header packet travelling towards port 1755 right after minimal
    // headers: the Header Object then sits at frame offset 62.
    Session s({192, 168, 1, 10}, 1755);
    s.PlayerSends(MmsOpenFile(u"media/clip.asf"));
    TcpSegment seg;
    seg.source = {192, 168, 1, 2};
    seg.destination = {192, 168, 1, 10};
    seg.sourcePort = 49877;
    seg.destinationPort = 1755;
    seg.payload = MmsMediaPacket(0, 2, 0x0C, AsfHeader(u"Harbour Lights"));
    s.frames.push_back(Ethernet(BuildIpv4(seg)));
    ASSERT_EQ(s.frames.back()[62], 0x30);
    Detected d = DetectFrames(s.frames);
    EXPECT_EQ(d.names, (Names{{kMmsUrl, "Harbour Lights"}}));
}

TEST(MmsTitle, TitleOfAHeaderMadeByFfmpeg) {
    if (!testsupport::HaveTool("ffmpeg")) GTEST_SKIP() << "ffmpeg is not installed";
    const std::string file = TempPath("titled.asf");
    // Non-ASCII title, including a character outside the BMP.
    const std::string title = "Harbour Lights \xC3\xA9t\xC3\xA9 \xF0\x9D\x84\x9E";
    std::string out;
    int rc = testsupport::RunCommand(
        "ffmpeg -nostdin -hide_banner -loglevel error -y -f lavfi -i sine=frequency=440 -t 1 -c:a wmav2 -b:a 64k "
        "-packet_size 3200 -metadata title=" + testsupport::ShellQuote(title) + " -f asf " +
            testsupport::ShellQuote(file) + " 2>&1",
        &out);
    ASSERT_EQ(rc, 0) << out;
    testsupport::AsfFileParts parts;
    std::string error;
    ASSERT_TRUE(testsupport::SplitAsfFile(file, parts, &error)) << error;

    Session s = MmsSessionUntilHeader();
    s.ServerSends(ServerHeaderStream(parts.header, 2), 1448);
    Detected d = DetectFrames(s.frames);
    EXPECT_EQ(d.names, (Names{{kMmsUrl, title}}));
}

Bytes MmshResponse(const Bytes& header, bool play) {
    std::string head = "HTTP/1.0 200 OK\r\nServer: Cougar/9.01.01.3814\r\n";
    head += play ? "Content-Type: application/x-mms-framed\r\n" : "Content-Type: application/vnd.ms.wms-hdr.asfv1\r\n";
    head += "Pragma: no-cache\r\nPragma: client-id=3320437311\r\n\r\n";
    Bytes out(head.begin(), head.end());
    Append(out, MmshChunk('H', 0x0C, header));
    if (play) {
        Append(out, MmshChunk('D', 0, Bytes(3200, 0x82)));
        Bytes end = {'$', 'E'};
        AddLe16(end, 8);
        end.resize(12, 0);
        Append(out, end);
    }
    return out;
}

class MmshTitleBySegmentSize : public ::testing::TestWithParam<size_t> {};

TEST_P(MmshTitleBySegmentSize, TitleFromHeaderChunkFromPort80) {
    Session s({10, 0, 0, 5}, 80);
    s.Handshake();
    std::string get = "GET /live/show.asf HTTP/1.0\r\nAccept: */*\r\nUser-Agent: NSPlayer/4.1.0.3856\r\n"
                      "Host: 10.0.0.5\r\nPragma: no-cache,rate=1.000000,stream-time=0,stream-offset=0:0,"
                      "request-context=1,max-duration=0\r\n\r\n";
    s.PlayerSends(Bytes(get.begin(), get.end()));
    s.ServerSends(MmshResponse(AsfHeader(u"Evening Concert"), false), GetParam());
    Detected d = DetectFrames(s.frames);
    EXPECT_EQ(d.rows, std::vector<std::string>{kHttpUrl});
    EXPECT_EQ(d.names, (Names{{kHttpUrl, "Evening Concert"}}));
}

INSTANTIATE_TEST_SUITE_P(SegmentSizes, MmshTitleBySegmentSize, ::testing::Values(1, 5, 13, 100, 1448));

TEST(MmshTitle, DescribeThenPlayNamesTheRowOnce) {
    Session describe({10, 0, 0, 5}, 80);
    std::string get = "GET /live/show.asf HTTP/1.0\r\nHost: 10.0.0.5\r\n\r\n";
    describe.PlayerSends(Bytes(get.begin(), get.end()));
    describe.ServerSends(MmshResponse(AsfHeader(u"Evening Concert"), false), 700);
    std::vector<Bytes> frames = describe.frames;
    // The play request comes on a new connection from another port.
    TcpSegment play;
    play.destination = {10, 0, 0, 5};
    play.sourcePort = 49900;
    play.payload = Bytes(get.begin(), get.end());
    frames.push_back(Ethernet(BuildIpv4(play)));
    Bytes response = MmshResponse(AsfHeader(u"Evening Concert"), true);
    TcpSegment reply;
    reply.source = {10, 0, 0, 5};
    reply.destination = {192, 168, 1, 2};
    reply.sourcePort = 80;
    reply.destinationPort = 49900;
    reply.seq = 77;
    reply.payload = response;
    frames.push_back(Ethernet(BuildIpv4(reply)));
    Detected d = DetectFrames(frames);
    EXPECT_EQ(d.rows, std::vector<std::string>{kHttpUrl});
    EXPECT_EQ(d.names, (Names{{kHttpUrl, "Evening Concert"}}));
}

TEST(MmshTitle, PlainWebServerBodyIsIgnored) {
    Session s({10, 0, 0, 5}, 80);
    std::string get = "GET /live/show.asf HTTP/1.0\r\n\r\n";
    s.PlayerSends(Bytes(get.begin(), get.end()));
    std::string body = "HTTP/1.0 200 OK\r\nContent-Type: video/x-ms-asf\r\n\r\n";
    Bytes reply(body.begin(), body.end());
    Append(reply, AsfHeader(u"Not Framed"));  // an ASF file served as is
    s.ServerSends(reply, 1448);
    Detected d = DetectFrames(s.frames);
    EXPECT_EQ(d.rows, std::vector<std::string>{kHttpUrl});
    EXPECT_TRUE(d.names.empty());
}

// The title search on its own.
TEST(ContentTitle, FoundOnlyWhenTheTitleIsComplete) {
    Bytes header = AsfHeader(u"Harbour Lights");
    std::string title;
    size_t from = 0;
    size_t found = 0;
    for (size_t len = 0; len <= header.size(); ++len) {
        size_t f = 0;
        TitleSearch r = ReadContentTitle(header.data(), len, f, false, title);
        if (r == TitleSearch::Found) {
            EXPECT_EQ(title, "Harbour Lights") << len;
            if (!found) found = len;
        } else {
            EXPECT_EQ(found, 0u) << "lost again at " << len;
        }
    }
    EXPECT_GT(found, 0u);
    // Fed in growing pieces with the search position kept.
    title.clear();
    TitleSearch r = TitleSearch::NotFound;
    for (size_t len = 0; len <= header.size() && r != TitleSearch::Found; len += 5)
        r = ReadContentTitle(header.data(), std::min(len, header.size()), from, false, title);
    EXPECT_EQ(r, TitleSearch::Found);
    EXPECT_EQ(title, "Harbour Lights");
}

}  // namespace
}  // namespace larkspan::detecttest
