#include "recorder/PlaylistReferences.h"

#include <filesystem>
#include <system_error>

namespace larkspan {

namespace {

char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size()) return false;
    for (size_t i = 0; i < prefix.size(); ++i)
        if (LowerAscii(text[i]) != prefix[i]) return false;
    return true;
}

constexpr size_t kNoticeReferenceMax = 300;

}  // namespace

bool IsNetworkAddress(std::string_view reference) {
    for (std::string_view scheme : {"mms:", "mmst:", "mmsu:", "http:", "https:"})
        if (StartsWithNoCase(reference, scheme)) return true;
    return false;
}

bool IsHttpsAddress(std::string_view reference) { return StartsWithNoCase(reference, "https:"); }

std::string PlaylistKey(const std::string& reference) {
    if (IsNetworkAddress(reference)) {
        std::string key = reference.substr(0, reference.find('#'));
        // Scheme and host ("scheme://user@host:port") are case-insensitive.
        const size_t slashes = key.find("://");
        const size_t hostEnd = slashes == std::string::npos ? key.find(':') : key.find('/', slashes + 3);
        for (size_t i = 0; i < key.size() && i < hostEnd; ++i) key[i] = LowerAscii(key[i]);
        return key;
    }
    std::error_code ec;
    std::filesystem::path path = std::filesystem::weakly_canonical(std::filesystem::path(reference), ec);
    if (ec) {
        ec.clear();
        path = std::filesystem::absolute(std::filesystem::path(reference), ec);
        if (ec) path = std::filesystem::path(reference);
    }
    return path.lexically_normal().string();
}

std::string ReferenceForNotice(std::string_view reference) {
    const bool cut = reference.size() > kNoticeReferenceMax;
    std::string out(reference.substr(0, cut ? kNoticeReferenceMax - 3 : reference.size()));
    for (char& c : out)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = ' ';
    if (cut) out += "...";
    return out;
}

}  // namespace larkspan
