#pragma once
// What a recording of a sample stream must leave: the server's header and
// packets, with the header fields a finished recording rewrites.
#include <algorithm>
#include <cstdint>
#include <vector>

#include "tests/support/AsfFileParts.h"

namespace larkspan::testsupport {

// File Size in the File Properties object: 16-byte GUID, 8-byte size,
// 16-byte file id, then the field.
inline constexpr size_t kFilePropertiesFileSize = 40;

// Sets the header's packet counts, durations and Data Object size to those
// of n packets whose largest send time is largest ms.
inline void DescribePackets(std::vector<uint8_t>& header, const AsfFileParts& layout, uint64_t n, uint32_t largest) {
    const size_t fp = layout.filePropertiesOffset, data = layout.dataObjectOffset;
    const uint64_t preroll = GetLE64(header, fp + 80);
    PutLE64(header, fp + 56, n);
    PutLE64(header, fp + 64, (largest + preroll) * 10000);
    PutLE64(header, fp + 72, uint64_t(largest) * 10000);
    PutLE64(header, data + 16, 50 + n * layout.packetSize);
    PutLE32(header, data + 40, uint32_t(n));
}

// The first `count` packets as the server sends them: its header, then each
// packet whole (what goes to standard output, which cannot be rewritten).
inline std::vector<uint8_t> HeaderAndPackets(const AsfFileParts& parts, size_t count) {
    std::vector<uint8_t> out = parts.header;
    for (size_t i = 0; i < count && i < parts.packets.size(); ++i)
        out.insert(out.end(), parts.packets[i].begin(), parts.packets[i].end());
    return out;
}
inline std::vector<uint8_t> HeaderAndPackets(const AsfFileParts& parts) {
    return HeaderAndPackets(parts, parts.packets.size());
}

// What a recording file of the first `count` packets holds, over either
// protocol: the server's header with File Size set to the file's length,
// then the packets. A recording that ended early (before the server's end
// of stream: always so with fewer packets than the stream has) also has the
// header give their count, durations and size.
inline std::vector<uint8_t> RecordedFile(const AsfFileParts& parts, size_t count, bool endedEarly) {
    std::vector<uint8_t> out = HeaderAndPackets(parts, count);
    const size_t n = std::min(count, parts.packets.size());
    PutLE64(out, parts.filePropertiesOffset + kFilePropertiesFileSize, out.size());
    if (endedEarly) {
        AsfFileParts recorded = parts;
        recorded.packets.resize(n);
        uint32_t largest = 0;
        LargestSendTime(recorded, largest);
        DescribePackets(out, parts, n, largest);
    }
    return out;
}
inline std::vector<uint8_t> RecordedFile(const AsfFileParts& parts, size_t count) {
    return RecordedFile(parts, count, count < parts.packets.size());
}
inline std::vector<uint8_t> RecordedFile(const AsfFileParts& parts) {
    return RecordedFile(parts, parts.packets.size());
}

}  // namespace larkspan::testsupport
