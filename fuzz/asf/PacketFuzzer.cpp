// One received data packet, rebased as a live recording does it.
// Input: base time (4 bytes LE), header packet size (2 bytes LE), then the
// packet bytes. The packet is copied into a buffer of exactly its size so
// that the sanitizer sees any access past its end.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "asf/AsfCodec.h"

using larkspan::AsfCodec;
using larkspan::AsfHeaderInfo;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 6) return 0;
    const uint32_t base = AsfCodec::ReadU32(data);
    AsfHeaderInfo info;
    info.minPacketSize = info.maxPacketSize = AsfCodec::ReadU16(data + 4);
    const size_t length = size - 6;

    uint8_t* packet = static_cast<uint8_t*>(std::malloc(length ? length : 1));
    if (length) std::memcpy(packet, data + 6, length);

    const int at = AsfCodec::SendTimeOffset(packet, length);
    if (at != -1 && (at < 5 || static_cast<size_t>(at) + 4 > length)) __builtin_trap();

    const int r = AsfCodec::RebasePacketTimes(packet, length, base, info);
    if (r != 0 && r != 1) __builtin_trap();
    // A packet it did not even recognise (wrong first bytes) is rejected.
    if (length >= 3 && (data[6] != 0x82 || data[7] != 0 || data[8] != 0) && r != 1) __builtin_trap();
    // A rejected packet stays exactly as it was.
    if (r == 1 && length > 0 && std::memcmp(packet, data + 6, length) != 0) __builtin_trap();
    // A rewritten one keeps its leading fields: only times and padding move.
    if (r == 0 && std::memcmp(packet, data + 6, 5) != 0) __builtin_trap();
    // Rebasing counts from an earlier time: the send time never grows.
    if (r == 0 && at != -1 && AsfCodec::ReadU32(packet + at) > AsfCodec::ReadU32(data + 6 + at)) __builtin_trap();
    std::free(packet);
    return 0;
}
