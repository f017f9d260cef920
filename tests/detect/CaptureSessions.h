#pragma once
// Whole player-server conversations as captured frames: one TCP connection
// with the player's requests and the server's answers (an ASF header with a
// title in MMS header packets or in an MMSH $H chunk).
#include <algorithm>

#include "tests/detect/CaptureBuilder.h"
#include "tests/support/AsfBuilders.h"
#include "tools/server/WireBuilders.h"

namespace larkspan::detecttest {

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
inline Bytes AsfHeader(const std::u16string& title, size_t padding = 0) {
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

inline Bytes ServerCommand(uint32_t mid, size_t bodySize = 40) { return MmsCommand(mid, Bytes(bodySize, 0), 1); }

// What an MMS server sends after ReadBlock: three commands, the header in media packets (the
// first flagged 0x04, the last 0x08, or one packet 0x0C) with a Ping after the first, then data.
inline Bytes MmsHeaderStream(const Bytes& header, size_t pieces) {
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

inline Session MmsSession(uint16_t playerPort = 49877) {
    Session s({192, 168, 1, 10}, 1755, playerPort);
    s.Handshake();
    for (const Bytes& m : {MmsCommand(0x00030001, Bytes(136, 0), 0), MmsOpenFile(u"media/clip.asf")}) s.PlayerSends(m);
    s.PlayerSends(MmsCommand(0x00030015, Bytes(48, 0), 4));
    return s;
}

// An MMSH answer: a head, the header in a $H chunk, and for a play request data and the end.
inline Bytes MmshResponse(const Bytes& header, bool play = false) {
    Bytes out = Ascii(std::string("HTTP/1.0 200 OK\r\nServer: Cougar/9.01.01.3814\r\nContent-Type: ") +
                      (play ? "application/x-mms-framed" : "application/vnd.ms.wms-hdr.asfv1") + "\r\n\r\n");
    Append(out, testserver::MmshHeaderChunk(header));
    if (play) {
        Append(out, testserver::MmshChunk('D', Bytes(3200, 0x82)));
        Append(out, testserver::MmshEndChunk());
    }
    return out;
}

inline Session MmshSession(uint16_t playerPort = 49877) {
    Session s({10, 0, 0, 5}, 80, playerPort);
    s.Handshake();
    s.PlayerSends(Ascii("GET /live/show.asf HTTP/1.0\r\nUser-Agent: NSPlayer/4.1.0.3856\r\nHost: 10.0.0.5\r\n\r\n"));
    return s;
}

}  // namespace larkspan::detecttest
