#include "asf/ByteSink.h"

namespace larkspan {

bool ByteSink::WriteZeros(size_t count) {
    static const uint8_t zeros[4096] = {};
    while (count > 0) {
        const size_t n = count < sizeof(zeros) ? count : sizeof(zeros);
        if (!Write(zeros, n)) return false;
        count -= n;
    }
    return true;
}

bool ByteSink::WriteU16(uint16_t v) {
    const uint8_t b[2] = {uint8_t(v), uint8_t(v >> 8)};
    return Write(b, 2);
}

bool ByteSink::WriteU32(uint32_t v) {
    uint8_t b[4];
    for (int i = 0; i < 4; ++i) b[i] = uint8_t(v >> (8 * i));
    return Write(b, 4);
}

bool ByteSink::WriteU64(uint64_t v) {
    uint8_t b[8];
    for (int i = 0; i < 8; ++i) b[i] = uint8_t(v >> (8 * i));
    return Write(b, 8);
}

}  // namespace larkspan
