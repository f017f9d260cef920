#include "asf/AsfCodec.h"

#include <cstdint>
#include <cstring>
#include <limits>

#include "asf/ByteSink.h"

namespace larkspan {

const uint8_t AsfCodec::kFilePropertiesGuid[16] = {0xA1, 0xDC, 0xAB, 0x8C, 0x47, 0xA9, 0xCF, 0x11,
                                                   0x8E, 0xE4, 0x00, 0xC0, 0x0C, 0x20, 0x53, 0x65};
const uint8_t AsfCodec::kContentDescriptionGuid[16] = {0x33, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11,
                                                       0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C};

namespace {

// File Properties Object field offsets, counted from its GUID.
constexpr size_t kFpFileSize = 40;
constexpr size_t kFpPacketsCount = 56;
constexpr size_t kFpPlayDuration = 64;
constexpr size_t kFpSendDuration = 72;
constexpr size_t kFpPreroll = 80;
constexpr size_t kFpFlags = 88;
constexpr size_t kFpMinPacketSize = 92;
constexpr size_t kFpMaxPacketSize = 96;
constexpr size_t kFpFieldsEnd = 100;  // end of the last field we read

// Data Object header fields, counted from the Data Object's GUID.
constexpr size_t kDataObjectSize = 16;
constexpr size_t kDataPacketsCount = 40;
constexpr uint32_t kDataObjectHeaderBytes = 50;

constexpr uint32_t kFlagsSeekable = 2;

// A read cursor over one data packet. Every read checks the bytes are there;
// once one is not, the cursor stays failed and every later read gives 0.
class PacketCursor {
public:
    PacketCursor(uint8_t* data, size_t length) : data_(data), length_(length) {}

    size_t Position() const { return pos_; }
    bool Ok() const { return ok_; }
    bool Has(size_t n) const { return ok_ && pos_ <= length_ && n <= length_ - pos_; }

    // Reads a field whose width is given by a 2-bit length type:
    // 0 absent, 1 byte, 2 word, 3 double word.
    uint32_t ReadByType(unsigned type) {
        static const size_t widths[4] = {0, 1, 2, 4};
        size_t w = widths[type & 3];
        if (!Has(w)) {
            ok_ = false;
            return 0;
        }
        uint32_t v = 0;
        switch (w) {
        case 1: v = data_[pos_]; break;
        case 2: v = AsfCodec::ReadU16(data_ + pos_); break;
        case 4: v = AsfCodec::ReadU32(data_ + pos_); break;
        default: break;
        }
        pos_ += w;
        return v;
    }

    uint8_t ReadByte() { return static_cast<uint8_t>(ReadByType(1)); }
    uint16_t ReadWord() { return static_cast<uint16_t>(ReadByType(2)); }

    // Position of a 4-byte field at the cursor, without moving; false when
    // the field does not lie wholly inside the packet.
    bool DwordAt(size_t offset, uint8_t*& field) const {
        if (!ok_ || pos_ > length_ || offset > length_ - pos_ || 4 > length_ - pos_ - offset) return false;
        field = data_ + pos_ + offset;
        return true;
    }

    // Moves on by n bytes. Moving past the end of the bytes received is not
    // an error by itself (a payload may be cut short); the next read fails.
    void Skip(uint64_t n) {
        if (!ok_) return;
        if (n > std::numeric_limits<size_t>::max() - pos_) {
            ok_ = false;
            return;
        }
        pos_ += static_cast<size_t>(n);
    }

private:
    uint8_t* data_;
    size_t length_;
    size_t pos_ = 0;
    bool ok_ = true;
};

// A time that counts from base: times at or before base become 0 rather
// than wrapping round.
void RebaseTimeField(uint8_t* field, uint32_t base) {
    uint32_t t = AsfCodec::ReadU32(field);
    AsfCodec::StoreU32(field, t > base ? t - base : 0);
}

}  // namespace

void AsfCodec::StoreU16(uint8_t* p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}

void AsfCodec::StoreU32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

void AsfCodec::StoreU64(uint8_t* p, uint64_t v) {
    for (int i = 0; i < 8; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

long AsfCodec::FindGuid(const uint8_t* buf, size_t length, const uint8_t guid[16]) {
    // The scan stops 16 bytes short of the end (signed, so that 16 bytes or
    // fewer never match): a GUID at the very end has no object behind it.
    if (!buf || length <= 16) return -1;
    const size_t last = length - 16;
    if (last > static_cast<size_t>(std::numeric_limits<long>::max())) return -1;
    for (size_t i = 0; i < last; ++i) {
        if (buf[i] == guid[0] && std::memcmp(buf + i, guid, 16) == 0) return static_cast<long>(i);
    }
    return -1;
}

long AsfCodec::FindFileProperties(const uint8_t* buf, size_t length) {
    return FindGuid(buf, length, kFilePropertiesGuid);
}

long AsfCodec::FindContentDescription(const uint8_t* buf, size_t length) {
    return FindGuid(buf, length, kContentDescriptionGuid);
}

int AsfCodec::SendTimeOffset(const uint8_t* packet, size_t length) {
    if (!packet || length < 4) return -1;
    int offset;
    switch (packet[3]) {
    case 0x00:
    case 0x01: offset = 5; break;
    case 0x08:
    case 0x09: offset = 6; break;
    case 0x10:
    case 0x11: offset = 7; break;
    case 0x48: offset = 8; break;
    case 0x50: offset = 9; break;
    default: return -1;
    }
    if (length < static_cast<size_t>(offset) + 4) return -1;
    return offset;
}

HeaderParseResult AsfCodec::ParseHeader(const uint8_t* payload, size_t length, AsfHeaderInfo& info) {
    // Every field of AsfHeaderInfo is 32 bits wide; a header longer than that
    // cannot be described by it (and no server sends one).
    if (length > std::numeric_limits<uint32_t>::max()) return HeaderParseResult::NotSupported;

    const long found = FindFileProperties(payload, length);
    // An object cut short by the end of the bytes counts as absent: its
    // fields cannot be read.
    if (found < 0 || static_cast<size_t>(found) + kFpFieldsEnd > length)
        return HeaderParseResult::FilePropertiesNotFound;

    const uint8_t* fp = payload + found;
    info.filePropertiesOffset = static_cast<uint32_t>(found);
    info.fileSizeLow = ReadU32(fp + kFpFileSize);
    info.fileSizeHigh = ReadU32(fp + kFpFileSize + 4);
    info.playDurationLow = ReadU32(fp + kFpPlayDuration);
    info.playDurationHigh = ReadU32(fp + kFpPlayDuration + 4);
    info.preroll = ReadU32(fp + kFpPreroll);
    info.flags = ReadU32(fp + kFpFlags);
    info.minPacketSize = ReadU32(fp + kFpMinPacketSize);
    info.maxPacketSize = ReadU32(fp + kFpMaxPacketSize);

    if (info.minPacketSize >= 65536 || info.minPacketSize != info.maxPacketSize)
        return HeaderParseResult::NotSupported;

    if (info.playDurationHigh == 0 && info.playDurationLow == 0) {
        info.DurationMs = 0;
    } else {
        // Each half is converted and truncated by itself, in 32-bit unsigned
        // arithmetic: 2^32 x high / 10000 (exact in 64 bits) + low / 10000.
        const uint64_t highMs = (static_cast<uint64_t>(info.playDurationHigh) << 32) / 10000u;
        info.DurationMs = static_cast<uint32_t>(highMs) + info.playDurationLow / 10000u - info.preroll;
    }

    // The bytes received end with the first 50 bytes of the Data Object.
    info.HeaderLength = static_cast<uint32_t>(length) - kDataObjectHeaderBytes;
    return HeaderParseResult::Ok;
}

int AsfCodec::RebasePacketTimes(uint8_t* packet, size_t length, uint32_t base, const AsfHeaderInfo& info) {
    if (!packet || length < 5) return 1;
    // Only the error-correction layout with two zero bytes of data.
    if (packet[0] != 0x82 || packet[1] != 0 || packet[2] != 0) return 1;

    const uint8_t lengthTypes = packet[3];
    if (lengthTypes & 0x80) return 1;
    const unsigned packetLengthType = (lengthTypes >> 5) & 3;
    const unsigned sequenceType = (lengthTypes >> 1) & 3;
    const unsigned paddingLengthType = (lengthTypes >> 3) & 3;
    const bool severalPayloads = (lengthTypes & 1) != 0;

    const uint8_t propertyFlags = packet[4];
    const unsigned streamNumberType = (propertyFlags >> 6) & 3;
    const unsigned mediaObjectNumberType = (propertyFlags >> 4) & 3;
    const unsigned offsetIntoObjectType = (propertyFlags >> 2) & 3;
    const unsigned replicatedLengthType = propertyFlags & 3;

    // The packet is walked first and changed only once all of it was
    // understood: a rejected packet leaves as it came.
    PacketCursor cur(packet, length);
    cur.Skip(5);
    uint64_t packetLength = cur.ReadByType(packetLengthType);
    cur.ReadByType(sequenceType);
    const uint32_t paddingLength = cur.ReadByType(paddingLengthType);

    uint8_t* sendTime = nullptr;
    if (!cur.DwordAt(0, sendTime)) return 1;
    cur.Skip(4);
    cur.Skip(2);  // Duration
    const uint64_t headerBytes = cur.Position();

    if (packetLengthType == 0) packetLength = info.minPacketSize;
    // Padding that reaches back into the packet's own header is nonsense;
    // zeroing it would wipe the fields just read.
    if (packetLength <= headerBytes || paddingLength >= packetLength - headerBytes) return 1;
    const uint64_t payloadEnd = packetLength - paddingLength;

    const uint8_t payloadFlags = cur.ReadByte();
    if (!cur.Ok()) return 1;
    // Number of payloads: the low 6 bits. With a single payload the byte
    // just read is that payload's stream number.
    const unsigned payloadCount = severalPayloads ? (payloadFlags & 0x3F) : 1;
    uint8_t* presentationTimes[0x3F];
    unsigned timeCount = 0;

    for (unsigned i = 0; i < payloadCount; ++i) {
        if (severalPayloads) cur.ReadByType(streamNumberType);
        cur.ReadByType(mediaObjectNumberType);
        cur.ReadByType(offsetIntoObjectType);
        const uint32_t replicatedLength = cur.ReadByType(replicatedLengthType);
        if (!cur.Ok()) return 1;

        if (replicatedLength == 8) {
            // Media object size, then its presentation time.
            if (!cur.DwordAt(4, presentationTimes[timeCount])) return 1;
            ++timeCount;
        }
        cur.Skip(replicatedLength);

        uint64_t payloadLength;
        if (severalPayloads) {
            payloadLength = cur.ReadWord();
            if (!cur.Ok()) return 1;
        } else {
            if (cur.Position() > payloadEnd) return 1;
            payloadLength = payloadEnd - cur.Position();
        }
        cur.Skip(payloadLength);
        if (!cur.Ok() || cur.Position() > packetLength || cur.Position() > payloadEnd) return 1;
    }

    RebaseTimeField(sendTime, base);
    for (unsigned i = 0; i < timeCount; ++i) RebaseTimeField(presentationTimes[i], base);
    if (paddingLength != 0) {
        // Only the padding bytes actually received are cleared.
        const uint64_t end = packetLength < length ? packetLength : length;
        if (payloadEnd < end) std::memset(packet + payloadEnd, 0, static_cast<size_t>(end - payloadEnd));
    }
    return 0;
}

bool AsfCodec::FinishFile(ByteSink* file, const AsfHeaderInfo& info, const RecordingTotals& totals) {
    const uint64_t P = info.filePropertiesOffset;
    const uint64_t D = info.HeaderLength;
    // A sink that cannot seek (a pipe, standard output) keeps the header as it came.
    if (P == 0 || totals.bytesWritten == 0 || file == nullptr || !file->Seekable()) return true;

    if (!file->SeekToEnd()) return false;
    const uint64_t fileLength = file->Position();
    bool ok = true;

    // A field is written only where the file already has bytes for it: a
    // header that does not match info must not make the file grow a hole.
    auto at = [&](uint64_t pos, uint64_t width) {
        if (!ok) return false;
        if (pos + width > fileLength || !file->Seek(pos)) {
            ok = false;
            return false;
        }
        return true;
    };

    if (at(P + kFpFileSize, 8)) ok = file->WriteU64(fileLength);

    // A live broadcast's header says nothing of counts or durations; an
    // on-demand one cut short claims the whole stream. Either way the file
    // is described as it is: by the packets it holds and the largest send
    // time among them.
    const bool live = info.DurationMs == 0;
    const bool describeLive = live && totals.saveLiveTimeInfo;
    const bool describeCut = !live && totals.endedEarly;
    if (ok && (describeLive || describeCut)) {
        // Play Duration counts the preroll in, Send Duration does not; both
        // are in 100-ns units.
        const uint64_t largest = totals.largestSendTime;
        const uint64_t playDuration = (largest + info.preroll) * 10000u;
        const uint64_t sendDuration = largest * 10000u;

        if (at(P + kFpPacketsCount, 8)) ok = file->WriteU64(totals.packetsWritten);
        if (at(P + kFpPlayDuration, 8)) ok = file->WriteU64(playDuration);
        if (at(P + kFpSendDuration, 8)) ok = file->WriteU64(sendDuration);
        // A broadcast becomes a stored file; an on-demand file is seekable
        // already and keeps its flags.
        if (describeLive && at(P + kFpFlags, 4)) ok = file->WriteU32(kFlagsSeekable);
        if (at(D + kDataObjectSize, 8)) ok = file->WriteU64(kDataObjectHeaderBytes + totals.packetBytes);
        // Only the low half of Total Data Packets; the high half stays as sent.
        if (at(D + kDataPacketsCount, 4)) ok = file->WriteU32(totals.packetsWritten);
    }

    // Leave the file where a writer expects it: at its end, on disk.
    const bool atEnd = file->SeekToEnd();
    const bool flushed = file->Flush();
    return ok && atEnd && flushed;
}

}  // namespace larkspan
