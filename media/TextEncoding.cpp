#include "media/TextEncoding.h"

namespace larkspan {

size_t PutUtf8(char32_t cp, char* out) {
    if (cp < 0x80) {
        out[0] = static_cast<char>(cp);
        return 1;
    }
    if (cp < 0x800) {
        out[0] = static_cast<char>(0xC0 | (cp >> 6));
        out[1] = static_cast<char>(0x80 | (cp & 0x3F));
        return 2;
    }
    if (cp < 0x10000) {
        out[0] = static_cast<char>(0xE0 | (cp >> 12));
        out[1] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out[2] = static_cast<char>(0x80 | (cp & 0x3F));
        return 3;
    }
    out[0] = static_cast<char>(0xF0 | (cp >> 18));
    out[1] = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out[2] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out[3] = static_cast<char>(0x80 | (cp & 0x3F));
    return 4;
}

void AppendUtf8(char32_t cp, std::string& out) {
    char buf[4];
    out.append(buf, PutUtf8(cp, buf));
}

void AppendUtf16AsUtf8(const uint8_t* bytes, size_t units, bool bigEndian, std::string& out) {
    auto unit = [&](size_t i) -> char32_t {
        const uint8_t a = bytes[2 * i], b = bytes[2 * i + 1];
        return bigEndian ? static_cast<char32_t>((a << 8) | b) : static_cast<char32_t>(a | (b << 8));
    };
    constexpr char32_t kReplacement = 0xFFFD;
    for (size_t i = 0; i < units; ++i) {
        char32_t cp = unit(i);
        if (cp >= 0xD800 && cp <= 0xDBFF) {
            const char32_t low = i + 1 < units ? unit(i + 1) : 0;
            if (low >= 0xDC00 && low <= 0xDFFF) {
                cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
                ++i;
            } else {
                cp = kReplacement;
            }
        } else if (cp >= 0xDC00 && cp <= 0xDFFF) {
            cp = kReplacement;
        }
        AppendUtf8(cp, out);
    }
}

}  // namespace larkspan
