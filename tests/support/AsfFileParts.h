#pragma once
// An ASF file taken apart the way a stream server hands it out: the header
// (Header Object plus the first 50 bytes of the Data Object) and fixed-size
// data packets. The parsing here is written separately from asf/AsfCodec on
// purpose, so tests can hold the codec against it.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "tests/support/FileContents.h"

namespace larkspan::testsupport {

struct AsfFileParts {
    std::vector<uint8_t> header;                // Header Object + first 50 bytes of the Data Object
    std::vector<std::vector<uint8_t>> packets;  // data packets, each packetSize bytes
    std::vector<uint8_t> trailer;               // bytes after the last whole packet (index objects)
    uint32_t packetSize = 0;                    // File Properties minimum (= maximum) packet size
    uint64_t filePropertiesOffset = 0;          // offset of the File Properties GUID
    uint64_t dataObjectOffset = 0;              // offset of the Data Object GUID = header.size() - 50
};

// Splits a whole ASF file held in memory. The Data Object's size decides
// where the packets end; when it is 0 or runs past the end of the bytes (a
// recording of a live stream), the packets run to the end. False, with
// *error set, for anything that is not an ASF file with a fixed packet size.
bool SplitAsf(const std::vector<uint8_t>& file, AsfFileParts& parts, std::string* error = nullptr);
bool SplitAsfFile(const std::string& path, AsfFileParts& parts, std::string* error = nullptr);

// Where one data packet (error-correction layout 0x82 0 0) keeps its times,
// found by walking its fields. Offsets count from the packet's first byte.
struct AsfPacketLayout {
    size_t sendTimeOffset = 0;
    std::vector<size_t> presentationTimeOffsets;  // one per payload with 8 bytes of replicated data
    uint32_t paddingLength = 0;
    size_t payloadCount = 0;
};
// False, with *error set, when the packet does not walk cleanly within
// packetSize bytes.
bool WalkAsfPacket(const std::vector<uint8_t>& packet, uint32_t packetSize, AsfPacketLayout& layout,
                   std::string* error = nullptr);

// The largest send time among the packets, in ms. False, with *error set,
// when a packet does not walk cleanly.
bool LargestSendTime(const AsfFileParts& parts, uint32_t& largest, std::string* error = nullptr);

// Little-endian fields of a byte vector; throw std::out_of_range when the
// field does not lie inside it.
uint32_t GetLE32(const std::vector<uint8_t>& b, size_t offset);
uint64_t GetLE64(const std::vector<uint8_t>& b, size_t offset);
void PutLE32(std::vector<uint8_t>& b, size_t offset, uint32_t v);
void PutLE64(std::vector<uint8_t>& b, size_t offset, uint64_t v);

}  // namespace larkspan::testsupport
