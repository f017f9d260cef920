#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

namespace larkspan {

// Writes code point cp as UTF-8 into out (room for 4 bytes); returns the
// byte count. cp must be a valid scalar value.
size_t PutUtf8(char32_t cp, char* out);
void AppendUtf8(char32_t cp, std::string& out);

// Appends `units` UTF-16 code units (little- or big-endian) as UTF-8. A
// surrogate pair becomes one code point when both halves lie within the
// units given; a lone or reversed surrogate becomes U+FFFD.
void AppendUtf16AsUtf8(const uint8_t* bytes, size_t units, bool bigEndian, std::string& out);

}  // namespace larkspan
