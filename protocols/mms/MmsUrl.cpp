#include "protocols/mms/MmsUrl.h"

#include <cctype>

namespace larkspan {

namespace {

std::string Lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

bool ParsePort(const std::string& text, uint16_t& port) {
    if (text.empty() || text.size() > 5) return false;
    uint32_t v = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        v = v * 10 + uint32_t(c - '0');
    }
    if (v == 0 || v > 65535) return false;
    port = static_cast<uint16_t>(v);
    return true;
}

}  // namespace

bool SplitMmsUrl(const std::string& url, MmsUrl& out) {
    out = MmsUrl();
    const size_t schemeEnd = url.find("://");
    if (schemeEnd == std::string::npos || schemeEnd == 0) return false;
    out.scheme = Lower(url.substr(0, schemeEnd));

    const size_t authorityStart = schemeEnd + 3;
    size_t authorityEnd = url.find_first_of("/?#", authorityStart);
    if (authorityEnd == std::string::npos) authorityEnd = url.size();
    std::string authority = url.substr(authorityStart, authorityEnd - authorityStart);
    const size_t at = authority.rfind('@');
    if (at != std::string::npos) authority.erase(0, at + 1);

    std::string portText;
    bool hasPort = false;
    if (!authority.empty() && authority[0] == '[') {
        const size_t close = authority.find(']');
        if (close == std::string::npos) return false;
        out.host = authority.substr(1, close - 1);
        if (close + 1 < authority.size() && authority[close + 1] == ':') {
            hasPort = true;
            portText = authority.substr(close + 2);
        }
    } else {
        const size_t colon = authority.rfind(':');
        out.host = authority.substr(0, colon);
        if (colon != std::string::npos) {
            hasPort = true;
            portText = authority.substr(colon + 1);
        }
    }
    if (out.host.empty()) return false;

    const bool mmsScheme = out.scheme == "mms" || out.scheme == "mmst" || out.scheme == "mmsu";
    if (hasPort && mmsScheme) {
        uint16_t port;
        if (ParsePort(portText, port)) out.port = port;
    }

    size_t pos = authorityEnd;
    if (pos < url.size() && url[pos] == '/') {
        const size_t end = url.find_first_of("?#", pos);
        out.path = url.substr(pos, (end == std::string::npos ? url.size() : end) - pos);
        pos = end == std::string::npos ? url.size() : end;
    }
    if (pos < url.size() && url[pos] == '?') {
        const size_t end = url.find('#', pos);
        out.query = url.substr(pos, (end == std::string::npos ? url.size() : end) - pos);
    }
    return true;
}

}  // namespace larkspan
