#pragma once
#include <cstddef>
#include <cstdint>

#include "asf/AsfHeaderInfo.h"

namespace larkspan {

class ByteSink;

enum class HeaderParseResult {
    Ok,
    FilePropertiesNotFound,  // no File Properties Object in the bytes given
    NotSupported,            // packet size not fixed, or 65536 and more
};

// What FinishFile needs to know about a finished recording.
struct RecordingTotals {
    uint64_t bytesWritten = 0;      // everything written to the file, header included
    uint32_t packetsWritten = 0;    // data packets written
    uint64_t packetBytes = 0;       // bytes of all data packets written, padding included
    uint32_t largestSendTime = 0;   // largest (rebased) send time of the packets written, ms
    bool saveLiveTimeInfo = false;  // the "Live Content Save Time Info" setting
    // The recording ended before the server's end of stream (a stop, a
    // limit, a dropped connection, a failed write): the header of an
    // on-demand stream then claims more than the file holds.
    bool endedEarly = false;
};

// Byte-level ASF helpers shared by both stream clients. Stateless; every
// read is checked against the length it is given.
class AsfCodec {
public:
    static const uint8_t kFilePropertiesGuid[16];
    static const uint8_t kContentDescriptionGuid[16];

    // Little-endian reads; the caller guarantees the bytes are there.
    static uint16_t ReadU16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
    static uint32_t ReadU32(const uint8_t* p) {
        return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
               (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
    }
    static uint64_t ReadU64(const uint8_t* p) {
        return static_cast<uint64_t>(ReadU32(p)) | (static_cast<uint64_t>(ReadU32(p + 4)) << 32);
    }
    static void StoreU32(uint8_t* p, uint32_t v);
    static void StoreU16(uint8_t* p, uint16_t v);
    static void StoreU64(uint8_t* p, uint64_t v);

    // First offset of the File Properties GUID, or -1.
    static long FindFileProperties(const uint8_t* buf, size_t length);
    // First offset of the Content Description GUID, or -1.
    static long FindContentDescription(const uint8_t* buf, size_t length);
    // First offset of any 16-byte GUID, or -1.
    static long FindGuid(const uint8_t* buf, size_t length, const uint8_t guid[16]);

    // Offset of a data packet's Send Time field, or -1 when the layout is not
    // one we know or the packet is too short to hold it.
    static int SendTimeOffset(const uint8_t* packet, size_t length);

    // Fills info from a header payload (Header Object + first 50 bytes of the
    // Data Object). A File Properties Object cut short by the end of the
    // payload counts as not found; info is then left as it was.
    static HeaderParseResult ParseHeader(const uint8_t* payload, size_t length, AsfHeaderInfo& info);

    // Moves the send time and payload presentation times of a live packet so
    // that they count from base. Only the first `length` bytes are touched.
    // 0 when the packet was understood and rewritten; 1 otherwise, and the
    // packet is then left exactly as it was.
    static int RebasePacketTimes(uint8_t* packet, size_t length, uint32_t base, const AsfHeaderInfo& info);

    // Rewrites File Size and, for live recordings with the setting on, the
    // counts, durations and flags, so the file plays and seeks like a stored
    // one. An on-demand recording that ended early gets the counts and
    // durations of what it holds (its flags stay as the server sent them);
    // a complete one keeps the server's header apart from File Size. Does nothing (and returns true) unless the header was parsed
    // (file properties offset not 0), something was written and the file is
    // open. Leaves the file at its end, flushed. Returns false when a seek or
    // write failed, or when a field info points at lies past the end of the
    // file (such a field is not written, so the file never grows).
    static bool FinishFile(ByteSink* file, const AsfHeaderInfo& info, const RecordingTotals& totals);
};

}  // namespace larkspan
