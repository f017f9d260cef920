#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>

namespace larkspan {

// The link-layer framings the detector can read. Every one is reduced to
// "where the IPv4 header starts"; the rest of the parsing is the same.
enum class LinkType {
    Ethernet,      // Ethernet II, optionally 802.1Q / 802.1ad tagged; also Linux "lo"
    LinuxCooked,   // Linux cooked capture v1, 16-byte header (the "any" device)
    LinuxCooked2,  // Linux cooked capture v2, 20-byte header
    NullLoopback,  // BSD loopback: 4-byte address family in the writer's byte order
    LoopLoopback,  // OpenBSD loopback: 4-byte address family in network order
    RawIp,         // no link header: the frame is the IP packet (tun devices)
};

// Maps a capture library link-type number (DLT_*) to the framing, or nothing
// when the detector cannot read it.
std::optional<LinkType> LinkTypeFromDlt(int dlt);

// Human-readable name for messages.
const char* LinkTypeName(LinkType type);

// Offset of the IPv4 header in a captured frame, or -1 when the frame does
// not carry IPv4 or is too short to tell. Never reads past `length`.
inline long Ipv4Offset(LinkType type, const uint8_t* f, size_t length) {
    auto be16 = [f](size_t at) { return unsigned(f[at]) << 8 | f[at + 1]; };
    switch (type) {
    case LinkType::Ethernet: {
        if (length < 14) return -1;
        size_t at = 12;
        unsigned type16 = be16(at);
        // Up to two VLAN tags, each 4 bytes, before the real EtherType.
        for (int tags = 0; tags < 2 && (type16 == 0x8100 || type16 == 0x88A8); ++tags) {
            at += 4;
            if (length < at + 2) return -1;
            type16 = be16(at);
        }
        return type16 == 0x0800 ? long(at + 2) : -1;
    }
    case LinkType::LinuxCooked:
        return length >= 16 && be16(14) == 0x0800 ? 16 : -1;
    case LinkType::LinuxCooked2:
        return length >= 20 && be16(0) == 0x0800 ? 20 : -1;
    case LinkType::NullLoopback: {
        if (length < 4) return -1;
        // AF_INET is 2 on every system; the word is in the capturing host's order.
        bool little = f[0] == 2 && f[1] == 0 && f[2] == 0 && f[3] == 0;
        bool big = f[0] == 0 && f[1] == 0 && f[2] == 0 && f[3] == 2;
        return little || big ? 4 : -1;
    }
    case LinkType::LoopLoopback:
        return length >= 4 && f[0] == 0 && f[1] == 0 && f[2] == 0 && f[3] == 2 ? 4 : -1;
    case LinkType::RawIp:
        return length >= 1 && (f[0] >> 4) == 4 ? 0 : -1;
    }
    return -1;
}

}  // namespace larkspan
