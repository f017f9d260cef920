#include "detect/LinkLayer.h"

namespace larkspan {

// Link-type numbers as the capture library reports them. Written out here so
// that the frame parsing does not depend on the capture library's headers.
std::optional<LinkType> LinkTypeFromDlt(int dlt) {
    switch (dlt) {
    case 0: return LinkType::NullLoopback;    // DLT_NULL
    case 1: return LinkType::Ethernet;        // DLT_EN10MB
    case 12:                                  // DLT_RAW
    case 101:                                 // LINKTYPE_RAW in files
    case 228: return LinkType::RawIp;         // DLT_IPV4
    case 108: return LinkType::LoopLoopback;  // DLT_LOOP
    case 113: return LinkType::LinuxCooked;   // DLT_LINUX_SLL
    case 276: return LinkType::LinuxCooked2;  // DLT_LINUX_SLL2
    default: return std::nullopt;
    }
}

const char* LinkTypeName(LinkType type) {
    switch (type) {
    case LinkType::Ethernet: return "Ethernet";
    case LinkType::LinuxCooked: return "Linux cooked";
    case LinkType::LinuxCooked2: return "Linux cooked v2";
    case LinkType::NullLoopback: return "BSD loopback";
    case LinkType::LoopLoopback: return "OpenBSD loopback";
    case LinkType::RawIp: return "raw IP";
    }
    return "unknown";
}

}  // namespace larkspan
