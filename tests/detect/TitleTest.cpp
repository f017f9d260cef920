// Stream titles: the ASF header a server sends back after a request carries
// a Content Description Object whose title names the detected row. Whole
// sessions go through capture files, the server's bytes cut into TCP
// segments of several sizes.
#include <gtest/gtest.h>

#include <algorithm>

#include "tests/detect/CaptureBuilder.h"

namespace larkspan::detecttest {
namespace {

const char kMmsUrl[] = "mms://192.168.1.10/media/clip.asf";
const char kHttpUrl[] = "http://10.0.0.5/live/show.asf";

struct Segment {
    uint32_t seq;
    Bytes payload;
};

// One TCP connection between a player and a server, written as frames.
class Session {
public:
    Session(Ipv4Address server, uint16_t serverPort, uint16_t playerPort = 49877) {
        player_.destination = server_.source = server;
        server_.destination = player_.source;
        player_.destinationPort = server_.sourcePort = serverPort;
        player_.sourcePort = server_.destinationPort = playerPort;
        player_.seq = 5001;
        server_.seq = 900001;
        player_.tcpOptions = server_.tcpOptions = {1, 1, 8, 10, 0, 0, 0, 1, 0, 0, 0, 2};  // time stamps, as Linux sends
    }
    void Handshake() {
        Send(player_, player_.seq - 1, {}, 0x02);
        Send(server_, server_.seq - 1, {}, 0x12);
    }
    void PlayerSends(const Bytes& data) {
        Send(player_, player_.seq, data, 0x18);
        player_.seq += uint32_t(data.size());
    }
    // The server's bytes cut into segments of `size` (the last may be shorter).
    std::vector<Segment> ServerSegments(const Bytes& data, size_t size) {
        std::vector<Segment> out;
        for (size_t at = 0; at < data.size(); at += size) {
            const size_t end = std::min(at + size, data.size());
            out.push_back({server_.seq + uint32_t(at), Bytes(data.begin() + long(at), data.begin() + long(end))});
        }
        server_.seq += uint32_t(data.size());
        return out;
    }
    void ServerSends(const std::vector<Segment>& segments) {
        for (const Segment& s : segments) Send(server_, s.seq, s.payload, 0x18);
    }
    void ServerSends(const Bytes& data, size_t size) { ServerSends(ServerSegments(data, size)); }

    std::vector<Bytes> frames;

private:
    void Send(TcpSegment s, uint32_t seq, const Bytes& payload, uint8_t flags) {
        s.seq = seq;
        s.flags = flags;
        s.payload = payload;
        frames.push_back(Ethernet(BuildIpv4(s)));
    }

    TcpSegment player_, server_;
};

Bytes ServerCommand(uint32_t mid, size_t bodySize = 40) { return MmsCommand(mid, Bytes(bodySize, 0), 1); }

// What an MMS server sends after ReadBlock: three commands, the header in
// media packets (the first flagged 0x04, the last 0x08, or one packet 0x0C)
// with a Ping after the first, then a data packet.
Bytes MmsHeaderStream(const Bytes& header, size_t pieces) {
    Bytes out;
    for (uint32_t mid : {0x00040001, 0x00040006, 0x00040011}) Append(out, ServerCommand(mid));
    const size_t piece = (header.size() + pieces - 1) / pieces;
    for (size_t i = 0; i < pieces; ++i) {
        const size_t at = i * piece, n = std::min(piece, header.size() - at);
        const uint8_t flags = pieces == 1 ? 0x0C : (i + 1 == pieces ? 0x08 : 0x04);
        const Bytes part(header.begin() + long(at), header.begin() + long(at + n));
        Append(out, MmsMediaPacket(uint32_t(i), 2, flags, part));
        if (i == 0 && pieces > 1) Append(out, ServerCommand(0x0004001B, 8));
    }
    Append(out, MmsMediaPacket(0, 4, 0, Bytes(3200, 0x82)));
    return out;
}

Session MmsSession(uint16_t playerPort = 49877) {
    Session s({192, 168, 1, 10}, 1755, playerPort);
    s.Handshake();
    s.PlayerSends(MmsCommand(0x00030001, Bytes(136, 0), 0));
    s.PlayerSends(MmsOpenFile(u"media/clip.asf"));
    s.PlayerSends(MmsCommand(0x00030015, Bytes(48, 0), 4));
    return s;
}

Bytes Ascii(const std::string& s) { return Bytes(s.begin(), s.end()); }

// What an MMSH server answers: a response head, the header in a $H chunk,
// and for a play request a data chunk and the end of stream.
Bytes MmshResponse(const Bytes& header, bool play = false) {
    Bytes out = Ascii(std::string("HTTP/1.0 200 OK\r\nServer: Cougar/9.01.01.3814\r\nContent-Type: ") +
                      (play ? "application/x-mms-framed" : "application/vnd.ms.wms-hdr.asfv1") + "\r\n\r\n");
    Append(out, MmshChunk('H', 0x0C, header));
    if (play) {
        Append(out, MmshChunk('D', 0, Bytes(3200, 0x82)));
        Append(out, MmshChunk('E', 0, {}));
    }
    return out;
}

Session MmshSession(uint16_t playerPort = 49877) {
    Session s({10, 0, 0, 5}, 80, playerPort);
    s.Handshake();
    s.PlayerSends(Ascii("GET /live/show.asf HTTP/1.0\r\nUser-Agent: NSPlayer/4.1.0.3856\r\nHost: 10.0.0.5\r\n\r\n"));
    return s;
}

TEST(Title, FromHeadersInSegmentsOfEverySize) {
    for (size_t size : {1, 3, 7, 16, 64, 536, 1448, 65000}) {
        SCOPED_TRACE(size);
        Session mms = MmsSession();
        mms.ServerSends(MmsHeaderStream(AsfHeader(u"Harbour Lights"), 3), size);
        Detected d = DetectFrames(mms.frames);
        EXPECT_EQ(d.rows, Rows{kMmsUrl});
        EXPECT_EQ(d.names, (Names{{kMmsUrl, "Harbour Lights"}}));
        Session mmsh = MmshSession();
        mmsh.ServerSends(MmshResponse(AsfHeader(u"Evening Concert")), size);
        d = DetectFrames(mmsh.frames);
        EXPECT_EQ(d.rows, Rows{kHttpUrl});
        EXPECT_EQ(d.names, (Names{{kHttpUrl, "Evening Concert"}}));
        EXPECT_EQ(d.messages, Rows{});
    }
}

TEST(Title, WhatTheHeaderHolds) {
    Bytes plain = Ascii("HTTP/1.0 200 OK\r\nContent-Type: video/x-ms-asf\r\n\r\n");
    Append(plain, AsfHeader(u"Not Framed"));  // an ASF file served as it is, not in chunks
    const struct {
        const char* name;
        bool mms;
        Bytes stream;       // what the server sends
        std::string title;  // "" when none is reported
    } cases[] = {
        {"one header packet", true, MmsHeaderStream(AsfHeader(u"Harbour Lights"), 1), "Harbour Lights"},
        {"title of 1023 units", true, MmsHeaderStream(AsfHeader(std::u16string(1023, u'T')), 2), std::string(1023, 'T')},
        {"title of 1024 units", true, MmsHeaderStream(AsfHeader(std::u16string(1024, u'T')), 2), std::string(1023, 'T')},
        {"description 40000 bytes in", true, MmsHeaderStream(AsfHeader(u"Harbour Lights", 40000), 4), "Harbour Lights"},
        {"description past what is kept", true, MmsHeaderStream(AsfHeader(u"Harbour Lights", 100000), 4), ""},
        {"no description", true, MmsHeaderStream(AsfHeader(u""), 2), ""},
        {"MMSH, no description", false, MmshResponse(AsfHeader(u"")), ""},
        {"plain web server", false, plain, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Session s = c.mms ? MmsSession() : MmshSession();
        s.ServerSends(c.stream, 1448);
        Detected d = DetectFrames(s.frames);
        const std::string url = c.mms ? kMmsUrl : kHttpUrl;
        EXPECT_EQ(d.rows, Rows{url});
        EXPECT_EQ(d.names, c.title.empty() ? Names{} : (Names{{url, c.title}}));
    }
}

TEST(Title, RetransmittedOverlappingAndLostSegments) {
    Session s = MmsSession();
    std::vector<Segment> segs = s.ServerSegments(MmsHeaderStream(AsfHeader(u"Harbour Lights"), 2), 100);
    std::vector<Segment> sent;
    for (size_t i = 0; i < segs.size(); ++i) {
        sent.push_back(segs[i]);
        if (i % 3 == 1) sent.push_back(segs[i]);  // sent twice
        if (i % 4 == 2 && i + 1 < segs.size()) {  // the next one resent with the end of this one in front
            Segment overlap{segs[i].seq + 50, Bytes(segs[i].payload.begin() + 50, segs[i].payload.end())};
            Append(overlap.payload, segs[i + 1].payload);
            sent.push_back(overlap);
        }
    }
    s.ServerSends(sent);
    EXPECT_EQ(DetectFrames(s.frames).names, (Names{{kMmsUrl, "Harbour Lights"}}));

    // The segment holding the start of the title never arrives: no title, not a wrong one.
    Session lost = MmsSession();
    const Bytes stream = MmsHeaderStream(AsfHeader(u"Harbour Lights", 400), 1);
    const Bytes start = Utf16(u"Ha");
    const size_t titleAt = size_t(std::search(stream.begin(), stream.end(), start.begin(), start.end()) - stream.begin());
    segs = lost.ServerSegments(stream, 100);
    segs.erase(segs.begin() + long(titleAt / 100));
    lost.ServerSends(segs);
    Detected d = DetectFrames(lost.frames);
    EXPECT_EQ(d.rows, Rows{kMmsUrl});
    EXPECT_EQ(d.names, Names{});
}

// The capture starts in the middle of a connection: the reader waits for a
// segment that begins a message (a command or a header packet for MMS, the
// response head or a $H chunk for MMSH).
TEST(Title, CaptureStartedMidStream) {
    const Bytes mms = MmsHeaderStream(AsfHeader(u"Harbour Lights"), 2);
    const Bytes mmsh = MmshResponse(AsfHeader(u"Evening Concert"));
    const size_t command = ServerCommand(0).size(), chunk = mmsh.size() - 12 - AsfHeader(u"Evening Concert").size();
    const struct {
        const char* name;
        bool isMms;
        size_t first;     // where the first server segment seen starts
        size_t resumeAt;  // where 200-byte segments go on from
    } cases[] = {
        {"MMS, inside a command, then at a command", true, 10, command},
        {"MMS, at a header packet", true, 3 * command, 3 * command},
        {"MMSH, inside the head, then at the $H chunk", false, 10, chunk},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Bytes& stream = c.isMms ? mms : mmsh;
        Session s(c.isMms ? Ipv4Address{192, 168, 1, 10} : Ipv4Address{10, 0, 0, 5}, c.isMms ? 1755 : 80);
        s.PlayerSends(c.isMms ? MmsOpenFile(u"media/clip.asf") : Ascii("GET /live/show.asf HTTP/1.0\r\n\r\n"));
        const uint32_t base = s.ServerSegments(stream, stream.size())[0].seq;
        auto piece = [&](size_t from, size_t to) {
            return Segment{base + uint32_t(from), Bytes(stream.begin() + long(from), stream.begin() + long(to))};
        };
        std::vector<Segment> sent;
        if (c.first < c.resumeAt) sent.push_back(piece(c.first, c.resumeAt));
        for (size_t at = c.resumeAt; at < stream.size(); at += 200) {
            sent.push_back(piece(at, std::min(at + 200, stream.size())));
        }
        s.ServerSends(sent);
        const std::string url = c.isMms ? kMmsUrl : kHttpUrl;
        EXPECT_EQ(DetectFrames(s.frames).names, (Names{{url, c.isMms ? "Harbour Lights" : "Evening Concert"}}));
    }
}

TEST(Title, HeaderPacketSentToPort1755AtTheFixedOffset) {
    Session s({192, 168, 1, 10}, 1755);
    s.PlayerSends(MmsOpenFile(u"media/clip.asf"));
    TcpSegment seg;  // minimal headers: the Header Object at frame offset 62
    seg.destination = {192, 168, 1, 10};
    seg.destinationPort = 1755;
    seg.payload = MmsMediaPacket(0, 2, 0x0C, AsfHeader(u"Harbour Lights"));
    s.frames.push_back(Ethernet(BuildIpv4(seg)));
    EXPECT_EQ(DetectFrames(s.frames).names, (Names{{kMmsUrl, "Harbour Lights"}}));
}

// A describe then a play request on new connections, then another stream:
// each title once, for the address its own connection asked for.
TEST(Title, OneTitlePerStreamOnConsecutiveConnections) {
    std::vector<Bytes> frames;
    for (uint16_t port : {49900, 49901}) {
        Session s = MmshSession(port);
        s.ServerSends(MmshResponse(AsfHeader(u"Evening Concert"), port == 49901), 700);
        frames.insert(frames.end(), s.frames.begin(), s.frames.end());
    }
    // The first stream's description lies far into its header, the next
    // one's near the start: the search starts over with each header.
    Session first = MmsSession(49902), second = MmsSession(49903);
    first.ServerSends(MmsHeaderStream(AsfHeader(u"Far In", 3000), 1), 1448);
    second.ServerSends(MmsHeaderStream(AsfHeader(u"Near"), 1), 1448);
    frames.insert(frames.end(), first.frames.begin(), first.frames.end());
    frames.insert(frames.end(), second.frames.begin(), second.frames.end());
    Detected d = DetectFrames(frames);
    EXPECT_EQ(d.rows, (Rows{kHttpUrl, kMmsUrl}));
    EXPECT_EQ(d.names, (Names{{kHttpUrl, "Evening Concert"}, {kMmsUrl, "Far In"}, {kMmsUrl, "Near"}}));
}

}  // namespace
}  // namespace larkspan::detecttest
