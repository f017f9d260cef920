#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

namespace larkspan {

// Converts little-endian UTF-16 from captured bytes to UTF-8. Reading stops at
// the first zero unit, after maxUnits units, or when fewer than two bytes are
// left, whichever comes first. Surrogate pairs become one code point; a lone
// or reversed surrogate becomes U+FFFD. `out` is cleared first.
// Returns the number of units consumed (the terminator not counted).
size_t Utf16LeToUtf8(const uint8_t* bytes, size_t byteCount, size_t maxUnits, std::string& out);

}  // namespace larkspan
