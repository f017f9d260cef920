#include "detect/Utf16Text.h"

#include "media/TextEncoding.h"

namespace larkspan {

size_t Utf16LeToUtf8(const uint8_t* bytes, size_t byteCount, size_t maxUnits, std::string& out) {
    out.clear();
    const size_t available = byteCount / 2;
    const size_t limit = available < maxUnits ? available : maxUnits;
    size_t units = 0;
    while (units < limit && (bytes[2 * units] | bytes[2 * units + 1]) != 0) ++units;
    AppendUtf16AsUtf8(bytes, units, false, out);
    return units;
}

}  // namespace larkspan
