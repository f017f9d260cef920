#pragma once
// An ASF file split the way a stream server hands it out: the header (Header
// Object plus the first 50 bytes of the Data Object) and fixed-size data
// packets. The packet walking here is deliberately separate from asf/, so a
// fault in the recorder's codec cannot hide behind the same fault in the
// server that tests it.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace larkspan::testserver {

// Base added to every send and presentation time of a "live" stream, in ms.
inline constexpr uint32_t kDefaultLiveBaseMs = 5'000'000;

struct AsfMedia {
    std::vector<uint8_t> header;                // Header Object + first 50 bytes of the Data Object
    std::vector<std::vector<uint8_t>> packets;  // each exactly packetSize bytes
    uint32_t packetSize = 0;                    // File Properties minimum (= maximum) data packet size
    size_t filePropertiesOffset = 0;            // offset of the File Properties GUID in header
    uint64_t playDuration = 0;                  // 100-ns units, as in the header
    uint32_t preroll = 0;                       // ms
    uint32_t maxBitrate = 0;                    // bits per second, as in the header
    bool live = false;                          // produced by MakeLive

    // Loads a file with a fixed packet size. The packets end where the Data
    // Object says (or at the end of the file when it gives no usable size);
    // trailing index objects are dropped.
    static bool LoadFile(const std::string& path, AsfMedia& out, std::string* error = nullptr);
    static bool Parse(const uint8_t* bytes, size_t length, AsfMedia& out, std::string* error = nullptr);

    // header followed by every packet: the file minus its index objects.
    std::vector<uint8_t> Bytes() const;
};

// Where a data packet keeps its times and how much padding it carries,
// found by walking its fields (error-correction layout 82 00 00 only).
struct PacketFields {
    size_t sendTimeOffset = 0;
    uint32_t sendTime = 0;                           // ms
    std::vector<size_t> presentationTimeOffsets;     // 32-bit times in replicated data
    std::vector<size_t> compressedTimeOffsets;       // 32-bit times of compressed payloads
    uint32_t paddingLength = 0;                      // from the padding-length field (0 when absent)
    size_t payloadCount = 0;
};

// Walks one packet of packetSize bytes (length may be less when the packet
// was sent without its padding). nullopt when the packet is not laid out as
// expected or its fields run past its end.
std::optional<PacketFields> WalkPacket(const uint8_t* packet, size_t length, uint32_t packetSize);

// Adds delta (ms, modulo 2^32) to the send time and every payload
// presentation time. False, with the packet untouched, when it cannot be
// walked.
bool ShiftPacketTimes(std::vector<uint8_t>& packet, uint32_t packetSize, uint32_t deltaMs);

// Number of bytes of the packet worth sending: the packet without its
// trailing padding when the padding-length field says how much there is and
// those bytes are all zero (so zero-filling restores the packet exactly);
// otherwise the whole packet.
size_t TrimmedLength(const std::vector<uint8_t>& packet, uint32_t packetSize);

// The header of a live broadcast: Play and Send Duration 0, File Size 0,
// Data Packets Count 0, Broadcast flag set (Seekable cleared).
std::vector<uint8_t> MakeLiveHeader(const std::vector<uint8_t>& header, size_t filePropertiesOffset);

// The live variant of a stream: live header, every time shifted by baseMs.
AsfMedia MakeLive(const AsfMedia& media, uint32_t baseMs = kDefaultLiveBaseMs);

}  // namespace larkspan::testserver
