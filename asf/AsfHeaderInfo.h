#pragma once
#include <cstdint>

namespace larkspan {

// Values both stream clients take from a stream's ASF header.
struct AsfHeaderInfo {
    uint32_t filePropertiesOffset = 0;  // offset of the File Properties GUID in the header (and the file)
    uint32_t fileSizeHigh = 0;
    uint32_t fileSizeLow = 0;
    uint32_t playDurationHigh = 0;      // 100-ns units
    uint32_t playDurationLow = 0;
    uint32_t preroll = 0;               // ms, low half of Preroll
    uint32_t minPacketSize = 0;         // every data packet is padded to this size in the file
    uint32_t maxPacketSize = 0;
    uint32_t flags = 0;
    uint32_t HeaderLength = 0;          // offset of the Data Object in the file
    uint32_t DurationMs = 0;            // play duration minus preroll; 0 for a live broadcast

    bool IsLive() const { return DurationMs == 0; }
};

}  // namespace larkspan
