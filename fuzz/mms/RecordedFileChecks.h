// What an MMS recording promises about its file, whatever the server sent:
// the header comes first, whole, the data after it is whole packets, and the
// closing header rewrite changes bytes in place without growing the file.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "asf/AsfCodec.h"
#include "asf/AsfHeaderInfo.h"
#include "fuzz/MemorySink.h"

namespace larkspan {

[[noreturn]] inline void RecordingInvariantBroken(const char* what) {
    std::fprintf(stderr, "invariant broken: %s\n", what);
    std::abort();
}

// serverBytes: how many bytes the server sent in all; `info` is the header
// as the client parsed it. packetsFit: no data packet sent was longer than
// the header's packet size (a longer one is kept whole, unpadded, so the
// data is then whole packets only when they all fit).
inline void CheckRecordedFile(const MemorySink& file, const AsfHeaderInfo& info, uint64_t serverBytes,
                              bool packetsFit) {
    static const uint8_t kHeaderObjectGuid[16] = {0x30, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11,
                                                  0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C};
    if (file.grewInPlace) RecordingInvariantBroken("the header rewrite made the file longer");
    if (file.bytes.size() - file.padded > serverBytes) RecordingInvariantBroken("more in the file than was sent");
    if (info.filePropertiesOffset == 0) {
        // Without a parsed header there is nothing to pad to and nothing to rewrite.
        if (file.padded != 0) RecordingInvariantBroken("padding without a packet size");
        if (file.writesInPlace != 0) RecordingInvariantBroken("rewrite of a header that was not parsed");
        return;
    }
    const uint64_t headerBytes = uint64_t(info.HeaderLength) + 50;
    if (file.bytes.size() < headerBytes) RecordingInvariantBroken("header not in the file");
    if (std::memcmp(file.bytes.data(), kHeaderObjectGuid, 16) != 0)
        RecordingInvariantBroken("file does not start with the header");
    if (info.minPacketSize == 0) {
        // A header may state no packet size: packets then go out as they came.
        if (file.padded != 0) RecordingInvariantBroken("padding without a packet size");
    } else {
        if (file.largestPadding >= info.minPacketSize) RecordingInvariantBroken("padding of a whole packet");
        if (packetsFit && (file.bytes.size() - headerBytes) % info.minPacketSize != 0)
            RecordingInvariantBroken("data not whole packets");
    }
    // Once anything past the header was written the header states the file's size.
    if (file.bytes.size() > headerBytes &&
        AsfCodec::ReadU64(file.bytes.data() + info.filePropertiesOffset + 40) != file.bytes.size())
        RecordingInvariantBroken("File Size differs from the file");
}

}  // namespace larkspan
