#pragma once
// Byte strings for the MMS tests, written out independently of the code
// under test: hex text, ASCII as UTF-16LE, little-endian integers.
#include <cstdint>
#include <string>
#include <vector>

#include "tests/support/FileContents.h"

namespace larkspan::mmstest {

using Bytes = std::vector<uint8_t>;

// "01 00 CE FA" -> bytes; blanks and line breaks are ignored.
inline Bytes Hex(const std::string& text) {
    Bytes out;
    int high = -1;
    for (char c : text) {
        int v;
        if (c >= '0' && c <= '9') v = c - '0';
        else if (c >= 'a' && c <= 'f') v = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F') v = c - 'A' + 10;
        else continue;
        if (high < 0) {
            high = v;
        } else {
            out.push_back(uint8_t(high * 16 + v));
            high = -1;
        }
    }
    return out;
}

// ASCII text as UTF-16LE units; '\0' in the text gives a zero unit.
inline Bytes Ascii16(const std::string& text) {
    Bytes out;
    for (char c : text) {
        out.push_back(uint8_t(c));
        out.push_back(0);
    }
    return out;
}

inline Bytes Cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

inline Bytes Le32(uint32_t v) { return {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)}; }
inline Bytes Le16(uint16_t v) { return {uint8_t(v), uint8_t(v >> 8)}; }
inline Bytes Le64(uint64_t v) { return Cat({Le32(uint32_t(v)), Le32(uint32_t(v >> 32))}); }
inline Bytes Zeros(size_t n) { return Bytes(n, 0); }

inline uint32_t Get32(const Bytes& b, size_t at) {
    return uint32_t(b.at(at)) | uint32_t(b.at(at + 1)) << 8 | uint32_t(b.at(at + 2)) << 16 | uint32_t(b.at(at + 3)) << 24;
}
inline uint64_t Get64(const Bytes& b, size_t at) { return Get32(b, at) | uint64_t(Get32(b, at + 4)) << 32; }

using testsupport::FirstDifference;

}  // namespace larkspan::mmstest
