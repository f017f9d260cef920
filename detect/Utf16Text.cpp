#include "detect/Utf16Text.h"

namespace larkspan {
namespace {

void AppendUtf8(uint32_t cp, std::string& out) {
    if (cp < 0x80) {
        out.push_back(char(cp));
    } else if (cp < 0x800) {
        out.push_back(char(0xC0 | (cp >> 6)));
        out.push_back(char(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(char(0xE0 | (cp >> 12)));
        out.push_back(char(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(char(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(char(0xF0 | (cp >> 18)));
        out.push_back(char(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(char(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(char(0x80 | (cp & 0x3F)));
    }
}

constexpr uint32_t kReplacement = 0xFFFD;

}  // namespace

size_t Utf16LeToUtf8(const uint8_t* bytes, size_t byteCount, size_t maxUnits, std::string& out) {
    out.clear();
    const size_t available = byteCount / 2;
    const size_t limit = available < maxUnits ? available : maxUnits;
    size_t i = 0;
    while (i < limit) {
        uint32_t u = uint32_t(bytes[2 * i]) | (uint32_t(bytes[2 * i + 1]) << 8);
        if (u == 0) break;
        ++i;
        if (u >= 0xD800 && u <= 0xDBFF) {
            // A high surrogate needs its low half inside the same limit.
            if (i < limit) {
                uint32_t lo = uint32_t(bytes[2 * i]) | (uint32_t(bytes[2 * i + 1]) << 8);
                if (lo >= 0xDC00 && lo <= 0xDFFF) {
                    ++i;
                    AppendUtf8(0x10000 + ((u - 0xD800) << 10) + (lo - 0xDC00), out);
                    continue;
                }
            }
            AppendUtf8(kReplacement, out);
        } else if (u >= 0xDC00 && u <= 0xDFFF) {
            AppendUtf8(kReplacement, out);
        } else {
            AppendUtf8(u, out);
        }
    }
    return i;
}

}  // namespace larkspan
