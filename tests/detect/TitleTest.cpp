// Stream titles: the ASF header a server sends back after a request carries
// a Content Description Object whose title names the detected row. Whole
// sessions go through capture files, the server's bytes in TCP segments.
#include <gtest/gtest.h>

#include <algorithm>

#include "tests/detect/CaptureBuilder.h"
#include "tests/support/AsfBuilders.h"
#include "tools/server/WireBuilders.h"

namespace larkspan::detecttest {
namespace {

// One TCP connection between a player and a server, as frames; the server sends one stream.
class Session {
public:
    Session(Ipv4Address server, uint16_t serverPort, uint16_t playerPort = 49877) {
        player_.destination = server_.source = server;
        server_.destination = player_.source;
        player_.destinationPort = server_.sourcePort = serverPort;
        player_.sourcePort = server_.destinationPort = playerPort;
        server_.seq = 900001;
        player_.tcpOptions = server_.tcpOptions = {1, 1, 8, 10, 0, 0, 0, 1, 0, 0, 0, 2};  // time stamps, as Linux sends
    }
    void Handshake() { Send(server_, server_.seq - 1, {}, 0x12); }  // the server's SYN, ACK
    void PlayerSends(const Bytes& data) {
        Send(player_, player_.seq, data, 0x18);
        player_.seq += uint32_t(data.size());
    }
    // Bytes [from, to) of the server's stream in one segment.
    void ServerSends(const Bytes& stream, size_t from, size_t to) {
        const Bytes part(stream.begin() + long(from), stream.begin() + long(to));
        Send(server_, server_.seq + uint32_t(from), part, 0x18);
    }
    // The stream from `from` on in segments of `size` (the last may be shorter).
    void ServerSendsInSegments(const Bytes& stream, size_t size, size_t from = 0) {
        for (size_t at = from; at < stream.size(); at += size) {
            ServerSends(stream, at, std::min(at + size, stream.size()));
        }
    }

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

// An ASF header with a Content Description titled `title` (none when empty),
// and an unknown object of `padding` bytes before it.
Bytes AsfHeader(const std::u16string& title, size_t padding = 0) {
    Bytes h = testsupport::MakeHeader({.preroll = 3100, .minPacketSize = 3200, .maxPacketSize = 3200,
                                       .paddingObjectBefore = padding ? 24 + padding : 0});
    if (title.empty()) return h;
    const Bytes t = Utf16(title + u'\0');
    Bytes cd(testsupport::kContentDescriptionGuid, testsupport::kContentDescriptionGuid + 16);
    AddLe32(cd, uint32_t(34 + t.size()));  // the object size, then its high half and the five text lengths
    for (size_t field : {size_t(0), size_t(0), t.size(), size_t(0), size_t(0), size_t(0), size_t(0)}) {
        AddLe16(cd, uint16_t(field));
    }
    Append(cd, t);  // no author, copyright, description or rating
    h.insert(h.end() - 50, cd.begin(), cd.end());                   // before the Data Object
    testsupport::PutLE64(h, 16, h.size() - 50);                     // Header Object size
    testsupport::PutLE32(h, 24, testsupport::GetLE32(h, 24) + 1);  // object count
    return h;
}

Bytes ServerCommand(uint32_t mid, size_t bodySize = 40) { return MmsCommand(mid, Bytes(bodySize, 0), 1); }

// What an MMS server sends after ReadBlock: three commands, the header in media packets (the
// first flagged 0x04, the last 0x08, or one packet 0x0C) with a Ping after the first, then data.
Bytes MmsHeaderStream(const Bytes& header, size_t pieces) {
    Bytes out;
    for (uint32_t mid : {0x00040001, 0x00040006, 0x00040011}) Append(out, ServerCommand(mid));
    const size_t piece = (header.size() + pieces - 1) / pieces;
    for (size_t i = 0; i < pieces; ++i) {
        const size_t at = i * piece, n = std::min(piece, header.size() - at);
        const uint8_t flags = pieces == 1 ? 0x0C : (i + 1 == pieces ? 0x08 : 0x04);
        const Bytes part(header.begin() + long(at), header.begin() + long(at + n));
        Append(out, testserver::MmsMediaPacket(uint32_t(i), 2, flags, part.data(), part.size()));
        if (i == 0 && pieces > 1) Append(out, ServerCommand(0x0004001B, 8));
    }
    const Bytes data(3200, 0x82);
    Append(out, testserver::MmsMediaPacket(0, 4, 0, data.data(), data.size()));
    return out;
}

Session MmsSession(uint16_t playerPort = 49877) {
    Session s({192, 168, 1, 10}, 1755, playerPort);
    s.Handshake();
    for (const Bytes& m : {MmsCommand(0x00030001, Bytes(136, 0), 0), MmsOpenFile(u"media/clip.asf")}) s.PlayerSends(m);
    s.PlayerSends(MmsCommand(0x00030015, Bytes(48, 0), 4));
    return s;
}

// An MMSH answer: a head, the header in a $H chunk, and for a play request data and the end.
Bytes MmshResponse(const Bytes& header, bool play = false) {
    Bytes out = Ascii(std::string("HTTP/1.0 200 OK\r\nServer: Cougar/9.01.01.3814\r\nContent-Type: ") +
                      (play ? "application/x-mms-framed" : "application/vnd.ms.wms-hdr.asfv1") + "\r\n\r\n");
    Append(out, testserver::MmshHeaderChunk(header));
    if (play) {
        Append(out, testserver::MmshChunk('D', Bytes(3200, 0x82)));
        Append(out, testserver::MmshEndChunk());
    }
    return out;
}

Session MmshSession(uint16_t playerPort = 49877) {
    Session s({10, 0, 0, 5}, 80, playerPort);
    s.Handshake();
    s.PlayerSends(Ascii("GET /live/show.asf HTTP/1.0\r\nUser-Agent: NSPlayer/4.1.0.3856\r\nHost: 10.0.0.5\r\n\r\n"));
    return s;
}

// Each stream in server segments of every size.
TEST(Title, WhatTheHeaderHolds) {
    Bytes plain = Ascii("HTTP/1.0 200 OK\r\nContent-Type: video/x-ms-asf\r\n\r\n");
    Append(plain, AsfHeader(u"Not Framed"));  // an ASF file served as it is, not in chunks
    const struct {
        const char* name;
        bool mms;
        Bytes stream;       // what the server sends
        std::string title;  // "" when none is reported
    } cases[] = {
        {"three header packets", true, MmsHeaderStream(AsfHeader(u"Harbour Lights"), 3), "Harbour Lights"},
        {"MMSH", false, MmshResponse(AsfHeader(u"Harbour Lights")), "Harbour Lights"},
        {"one header packet", true, MmsHeaderStream(AsfHeader(u"Harbour Lights"), 1), "Harbour Lights"},
        {"title of 1023 units", true, MmsHeaderStream(AsfHeader(std::u16string(1023, 'T')), 2), std::string(1023, 'T')},
        {"title of 1024 units", true, MmsHeaderStream(AsfHeader(std::u16string(1024, 'T')), 2), std::string(1023, 'T')},
        {"description 40000 bytes in", true, MmsHeaderStream(AsfHeader(u"Harbour Lights", 40000), 4), "Harbour Lights"},
        {"description past what is kept", true, MmsHeaderStream(AsfHeader(u"Harbour Lights", 100000), 4), ""},
        {"no description", true, MmsHeaderStream(AsfHeader(u""), 2), ""},
        {"MMSH, no description", false, MmshResponse(AsfHeader(u"")), ""},
        {"plain web server", false, plain, ""},
    };
    for (const auto& c : cases) {
        for (size_t size : {1, 3, 7, 16, 64, 536, 1448, 65000}) {
            SCOPED_TRACE(testing::Message() << c.name << ", segments of " << size);
            Session s = c.mms ? MmsSession() : MmshSession();
            s.ServerSendsInSegments(c.stream, size);
            Detected d = DetectFrames(s.frames);
            const std::string url = c.mms ? kMmsUrl : kGetUrl;
            EXPECT_EQ(d.rows, Rows{url});
            EXPECT_EQ(d.names, c.title.empty() ? Names{} : (Names{{url, c.title}}));
            EXPECT_EQ(d.messages, Rows{});
        }
    }
}

TEST(Title, RetransmittedOverlappingAndLostSegments) {
    Session s = MmsSession();
    const Bytes stream = MmsHeaderStream(AsfHeader(u"Harbour Lights"), 2);
    for (size_t at = 0; at < stream.size(); at += 100) {
        const size_t end = std::min(at + 100, stream.size());
        s.ServerSends(stream, at, end);
        if (at % 300 == 100) s.ServerSends(stream, at, end);  // sent twice
        if (at % 400 == 200) s.ServerSends(stream, at + 50, std::min(end + 100, stream.size()));  // resent, and more
    }
    EXPECT_EQ(DetectFrames(s.frames).names, (Names{{kMmsUrl, "Harbour Lights"}}));

    // The segment holding the start of the title never arrives: no title, not a wrong one.
    Session lost = MmsSession();
    const Bytes padded = MmsHeaderStream(AsfHeader(u"Harbour Lights", 400), 1), title = Utf16(u"Ha");
    const auto missing = size_t(std::search(padded.begin(), padded.end(), title.begin(), title.end()) - padded.begin());
    for (size_t at = 0; at < padded.size(); at += 100) {
        if (missing / 100 != at / 100) lost.ServerSends(padded, at, std::min(at + 100, padded.size()));
    }
    Detected d = DetectFrames(lost.frames);
    EXPECT_EQ(d.rows, Rows{kMmsUrl});
    EXPECT_EQ(d.names, Names{});
}

// The capture starts in the middle of a connection: the reader waits for a segment that
// begins a message (a command or a header packet for MMS, the head or a $H chunk for MMSH).
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
        if (c.first < c.resumeAt) s.ServerSends(stream, c.first, c.resumeAt);
        s.ServerSendsInSegments(stream, 200, c.resumeAt);
        const std::string url = c.isMms ? kMmsUrl : kGetUrl;
        EXPECT_EQ(DetectFrames(s.frames).names, (Names{{url, c.isMms ? "Harbour Lights" : "Evening Concert"}}));
    }
}

// A describe then a play request on new connections name the row once; a
// later stream with another title for the same address names it again.
TEST(Title, OneTitlePerStreamOnConsecutiveConnections) {
    std::vector<Bytes> frames;
    for (uint16_t port : {49900, 49901, 49902}) {
        Session s = MmshSession(port);
        const Bytes header = AsfHeader(port < 49902 ? u"Evening Concert" : u"Late Show");
        s.ServerSendsInSegments(MmshResponse(header, port == 49901), 700);
        frames.insert(frames.end(), s.frames.begin(), s.frames.end());
    }
    Detected d = DetectFrames(frames);
    EXPECT_EQ(d.rows, Rows{kGetUrl});
    EXPECT_EQ(d.names, (Names{{kGetUrl, "Evening Concert"}, {kGetUrl, "Late Show"}}));
}

}  // namespace
}  // namespace larkspan::detecttest
