// A header payload as a server might send it: parsed, and searched for the
// objects the clients and the detector look for.
#include <cstddef>
#include <cstdint>

#include "asf/AsfCodec.h"

using larkspan::AsfCodec;
using larkspan::AsfHeaderInfo;
using larkspan::HeaderParseResult;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const long fp = AsfCodec::FindFileProperties(data, size);
    const long cd = AsfCodec::FindContentDescription(data, size);
    if (fp >= 0 && static_cast<size_t>(fp) + 16 >= size) __builtin_trap();
    if (cd >= 0 && static_cast<size_t>(cd) + 16 >= size) __builtin_trap();

    AsfHeaderInfo info;
    const HeaderParseResult r = AsfCodec::ParseHeader(data, size, info);
    if (r == HeaderParseResult::Ok) {
        // What the clients rely on afterwards: the fields read lie inside the
        // bytes given, and the Data Object offset is the end less 50 bytes.
        if (fp < 0 || info.filePropertiesOffset != static_cast<unsigned long>(fp)) __builtin_trap();
        if (size_t(info.filePropertiesOffset) + 100 > size) __builtin_trap();
        if (size_t(info.HeaderLength) + 50 != size) __builtin_trap();
        if (info.minPacketSize != info.maxPacketSize || info.minPacketSize >= 65536) __builtin_trap();
        if ((info.playDurationHigh | info.playDurationLow) == 0 && !info.IsLive()) __builtin_trap();
    } else if (r == HeaderParseResult::FilePropertiesNotFound) {
        AsfHeaderInfo untouched;
        if (info.filePropertiesOffset != untouched.filePropertiesOffset || info.HeaderLength != untouched.HeaderLength)
            __builtin_trap();
    }
    return 0;
}
