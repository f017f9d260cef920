#pragma once
#include <cstdint>
#include <string>

namespace larkspan {

// The parts of a stream URL the MMS client needs.
struct MmsUrl {
    static constexpr uint16_t kDefaultPort = 1755;

    std::string scheme;  // lower case, without ':'
    std::string host;    // brackets of an IPv6 literal removed
    uint16_t port = kDefaultPort;
    std::string path;    // as written (no escaping or unescaping), with its leading '/'
    std::string query;   // as written, with its leading '?', or empty
};

// Splits scheme://[user[:password]@]host[:port][/path][?query][#fragment].
// A port is taken only from mms:, mmst: and mmsu: URLs (the MMS client is
// also tried for http: references, whose port belongs to HTTP); a missing,
// empty or invalid port leaves 1755. False when there is no scheme or host.
bool SplitMmsUrl(const std::string& url, MmsUrl& out);

}  // namespace larkspan
