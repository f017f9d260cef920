#include "cli/PrintableText.h"

#include <cstdint>
#include <cstdio>

namespace larkspan::cli {

namespace {

// Length of the well-formed UTF-8 sequence at text[at] and its code point;
// 0 when the bytes there do not form one (overlong forms and surrogates
// included).
size_t Utf8Sequence(std::string_view text, size_t at, uint32_t& codePoint) {
    const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(at);
    size_t length;
    uint32_t minimum;
    if (lead >= 0xc2 && lead <= 0xdf) {
        length = 2;
        minimum = 0x80;
        codePoint = lead & 0x1f;
    } else if (lead >= 0xe0 && lead <= 0xef) {
        length = 3;
        minimum = 0x800;
        codePoint = lead & 0x0f;
    } else if (lead >= 0xf0 && lead <= 0xf4) {
        length = 4;
        minimum = 0x10000;
        codePoint = lead & 0x07;
    } else {
        return 0;
    }
    if (at + length > text.size()) return 0;
    for (size_t i = 1; i < length; ++i) {
        const unsigned char next = byte(at + i);
        if ((next & 0xc0) != 0x80) return 0;
        codePoint = (codePoint << 6) | (next & 0x3f);
    }
    if (codePoint < minimum || codePoint > 0x10ffff || (codePoint >= 0xd800 && codePoint <= 0xdfff)) return 0;
    return length;
}

void AppendEscaped(std::string& out, unsigned char byte) {
    char buf[5];
    std::snprintf(buf, sizeof buf, "\\x%02x", byte);
    out += buf;
}

}  // namespace

std::string EscapeControlCharacters(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    size_t at = 0;
    while (at < text.size()) {
        const unsigned char byte = static_cast<unsigned char>(text[at]);
        if (byte < 0x80) {
            if (byte < 0x20 || byte == 0x7f) AppendEscaped(out, byte);
            else out.push_back(static_cast<char>(byte));
            ++at;
            continue;
        }
        uint32_t codePoint = 0;
        const size_t length = Utf8Sequence(text, at, codePoint);
        if (length == 0) {
            AppendEscaped(out, byte);
            ++at;
            continue;
        }
        const bool c1Control = codePoint >= 0x80 && codePoint <= 0x9f;
        for (size_t i = 0; i < length; ++i) {
            if (c1Control) AppendEscaped(out, static_cast<unsigned char>(text[at + i]));
            else out.push_back(text[at + i]);
        }
        at += length;
    }
    return out;
}

std::string MaskUrlPasswords(std::string_view text) {
    std::string out;
    size_t copied = 0;
    size_t search = 0;
    while (true) {
        const size_t marker = text.find("://", search);
        if (marker == std::string_view::npos) break;
        const size_t start = marker + 3;
        // The authority ends at the path, query or fragment, or at a blank
        // (an address inside a sentence).
        size_t end = start;
        while (end < text.size() && text[end] != '/' && text[end] != '?' && text[end] != '#' &&
               static_cast<unsigned char>(text[end]) > ' ')
            ++end;
        const std::string_view authority = text.substr(start, end - start);
        const size_t at = authority.rfind('@');
        const size_t colon = at == std::string_view::npos ? at : authority.substr(0, at).find(':');
        if (colon != std::string_view::npos && colon + 1 < at) {
            out.append(text.substr(copied, start + colon + 1 - copied));
            out += "***";
            copied = start + at;
        }
        search = end > start ? end : start;
    }
    out.append(text.substr(copied));
    return out;
}

}  // namespace larkspan::cli
