#include "tools/server/AsfMedia.h"

#include <cstring>
#include <fstream>
#include <iterator>

namespace larkspan::testserver {

namespace {

const uint8_t kHeaderObjectGuid[16] = {0x30, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11,
                                       0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C};
const uint8_t kDataObjectGuid[16] = {0x36, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11,
                                     0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C};
const uint8_t kFilePropertiesGuid[16] = {0xA1, 0xDC, 0xAB, 0x8C, 0x47, 0xA9, 0xCF, 0x11,
                                         0x8E, 0xE4, 0x00, 0xC0, 0x0C, 0x20, 0x53, 0x65};

// File Properties fields, from the object's GUID.
constexpr size_t kFpFileSize = 40;
constexpr size_t kFpPacketCount = 56;
constexpr size_t kFpPlayDuration = 64;
constexpr size_t kFpSendDuration = 72;
constexpr size_t kFpPreroll = 80;
constexpr size_t kFpFlags = 88;
constexpr size_t kFpMinPacket = 92;
constexpr size_t kFpMaxPacket = 96;
constexpr size_t kFpMaxBitrate = 100;
constexpr size_t kFpEnd = 104;

uint32_t Get32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
uint64_t Get64(const uint8_t* p) { return uint64_t(Get32(p)) | uint64_t(Get32(p + 4)) << 32; }
void Put32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = uint8_t(v >> (8 * i));
}
void Put64(uint8_t* p, uint64_t v) {
    for (int i = 0; i < 8; ++i) p[i] = uint8_t(v >> (8 * i));
}

bool Fail(std::string* error, const std::string& text) {
    if (error) *error = text;
    return false;
}

// Reads a field whose width is given by a 2-bit length type (0 absent,
// 1 byte, 2 word, 3 double word). False when it does not fit.
bool ReadTyped(const uint8_t* p, size_t length, size_t& pos, unsigned type, uint32_t& value) {
    static const size_t kWidth[4] = {0, 1, 2, 4};
    size_t w = kWidth[type & 3];
    if (w > length || pos > length - w) return false;
    value = 0;
    for (size_t i = 0; i < w; ++i) value |= uint32_t(p[pos + i]) << (8 * i);
    pos += w;
    return true;
}

long FindGuid(const uint8_t* buf, size_t length, const uint8_t guid[16]) {
    for (size_t i = 0; i + 16 <= length; ++i) {
        if (std::memcmp(buf + i, guid, 16) == 0) return long(i);
    }
    return -1;
}

}  // namespace

bool AsfMedia::LoadFile(const std::string& path, AsfMedia& out, std::string* error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return Fail(error, "cannot open " + path);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) return Fail(error, "cannot read " + path);
    return Parse(bytes.data(), bytes.size(), out, error);
}

bool AsfMedia::Parse(const uint8_t* bytes, size_t length, AsfMedia& out, std::string* error) {
    if (length < 30 || std::memcmp(bytes, kHeaderObjectGuid, 16) != 0) {
        return Fail(error, "not an ASF file (no Header Object)");
    }
    uint64_t headerSize = Get64(bytes + 16);
    if (headerSize < 30 || headerSize > length || length - headerSize < 50) {
        return Fail(error, "Header Object size runs past the end of the file");
    }
    const size_t dataObject = size_t(headerSize);
    if (std::memcmp(bytes + dataObject, kDataObjectGuid, 16) != 0) {
        return Fail(error, "no Data Object right after the Header Object");
    }
    long fp = FindGuid(bytes, dataObject, kFilePropertiesGuid);
    if (fp < 0 || size_t(fp) + kFpEnd > dataObject) return Fail(error, "no File Properties Object");
    const uint8_t* props = bytes + fp;
    uint32_t minPacket = Get32(props + kFpMinPacket);
    uint32_t maxPacket = Get32(props + kFpMaxPacket);
    if (minPacket != maxPacket) return Fail(error, "packet size not fixed");
    if (minPacket < 16 || minPacket > 65527) return Fail(error, "packet size out of range");

    AsfMedia media;
    media.header.assign(bytes, bytes + dataObject + 50);
    media.packetSize = minPacket;
    media.filePropertiesOffset = size_t(fp);
    media.playDuration = Get64(props + kFpPlayDuration);
    media.preroll = uint32_t(Get64(props + kFpPreroll));
    media.maxBitrate = Get32(props + kFpMaxBitrate);
    media.live = (Get32(props + kFpFlags) & 1) != 0;

    // The Data Object's size bounds the packets; a live recording may leave
    // it 0 or too large, and then the file's end does.
    uint64_t dataSize = Get64(bytes + dataObject + 16);
    size_t dataEnd = length;
    if (dataSize >= 50 && dataSize <= length - dataObject) dataEnd = dataObject + size_t(dataSize);
    size_t pos = dataObject + 50;
    while (dataEnd - pos >= minPacket) {
        media.packets.emplace_back(bytes + pos, bytes + pos + minPacket);
        pos += minPacket;
    }
    out = std::move(media);
    return true;
}

std::vector<uint8_t> AsfMedia::Bytes() const {
    std::vector<uint8_t> out(header);
    out.reserve(header.size() + packets.size() * size_t(packetSize));
    for (const auto& p : packets) out.insert(out.end(), p.begin(), p.end());
    return out;
}

std::optional<PacketFields> WalkPacket(const uint8_t* p, size_t length, uint32_t packetSize) {
    if (length == 0 || length > packetSize) return std::nullopt;
    size_t pos = 0;
    if (p[0] & 0x80) {
        // Error-correction data: only the plain form (length in the low
        // nibble, no opaque data, no length type) is known to us.
        if (p[0] & 0x70) return std::nullopt;
        pos = 1 + (p[0] & 0x0F);
    }
    if (pos + 2 > length) return std::nullopt;
    const uint8_t lengthFlags = p[pos];
    const uint8_t propertyFlags = p[pos + 1];
    pos += 2;
    if (lengthFlags & 0x80) return std::nullopt;

    PacketFields f;
    uint32_t packetLength = 0, sequence = 0, padding = 0;
    if (!ReadTyped(p, length, pos, (lengthFlags >> 5) & 3, packetLength) ||
        !ReadTyped(p, length, pos, (lengthFlags >> 1) & 3, sequence) ||
        !ReadTyped(p, length, pos, (lengthFlags >> 3) & 3, padding)) {
        return std::nullopt;
    }
    if (((lengthFlags >> 5) & 3) == 0 || packetLength == 0 || packetLength > packetSize) packetLength = packetSize;
    if (padding > packetLength) return std::nullopt;
    if (pos + 6 > length) return std::nullopt;
    f.sendTimeOffset = pos;
    f.sendTime = Get32(p + pos);
    pos += 6;  // send time, duration
    f.paddingLength = padding;
    const size_t payloadEnd = packetLength - padding;  // where payload data stops

    const bool multiple = (lengthFlags & 1) != 0;
    unsigned count = 1;
    unsigned payloadLengthType = 2;
    if (multiple) {
        if (pos >= length) return std::nullopt;
        count = p[pos] & 0x3F;
        payloadLengthType = (p[pos] >> 6) & 3;
        ++pos;
        if (count == 0 || payloadLengthType == 0) return std::nullopt;
    }
    const unsigned streamType = (propertyFlags >> 6) & 3;
    const unsigned objectType = (propertyFlags >> 4) & 3;
    const unsigned offsetType = (propertyFlags >> 2) & 3;
    const unsigned replicatedType = propertyFlags & 3;
    if (streamType != 1) return std::nullopt;

    for (unsigned i = 0; i < count; ++i) {
        uint32_t stream = 0, object = 0, offset = 0, replicated = 0;
        if (!ReadTyped(p, length, pos, streamType, stream) || !ReadTyped(p, length, pos, objectType, object)) {
            return std::nullopt;
        }
        const size_t offsetPos = pos;
        if (!ReadTyped(p, length, pos, offsetType, offset) ||
            !ReadTyped(p, length, pos, replicatedType, replicated)) {
            return std::nullopt;
        }
        if (replicated == 1) {
            // Compressed payloads: the offset field holds the presentation
            // time, followed by a one-byte time delta.
            if (offsetType == 3) f.compressedTimeOffsets.push_back(offsetPos);
            if (pos + 1 > length) return std::nullopt;
            pos += 1;
        } else {
            if (replicated > length || pos > length - replicated) return std::nullopt;
            if (replicated >= 8) f.presentationTimeOffsets.push_back(pos + 4);
            pos += replicated;
        }
        uint32_t payloadLength = 0;
        if (multiple) {
            if (!ReadTyped(p, length, pos, payloadLengthType, payloadLength)) return std::nullopt;
        } else {
            if (pos > payloadEnd) return std::nullopt;
            payloadLength = uint32_t(payloadEnd - pos);
        }
        if (payloadLength > payloadEnd || pos > payloadEnd - payloadLength) return std::nullopt;
        pos += payloadLength;
    }
    f.payloadCount = count;
    return f;
}

bool ShiftPacketTimes(std::vector<uint8_t>& packet, uint32_t packetSize, uint32_t deltaMs) {
    auto fields = WalkPacket(packet.data(), packet.size(), packetSize);
    if (!fields) return false;
    auto shift = [&](size_t at) {
        if (at + 4 <= packet.size()) Put32(packet.data() + at, Get32(packet.data() + at) + deltaMs);
    };
    shift(fields->sendTimeOffset);
    for (size_t at : fields->presentationTimeOffsets) shift(at);
    for (size_t at : fields->compressedTimeOffsets) shift(at);
    return true;
}

size_t TrimmedLength(const std::vector<uint8_t>& packet, uint32_t packetSize) {
    if (packet.size() != packetSize) return packet.size();
    auto fields = WalkPacket(packet.data(), packet.size(), packetSize);
    if (!fields || fields->paddingLength == 0) return packet.size();
    const size_t keep = packet.size() - fields->paddingLength;
    for (size_t i = keep; i < packet.size(); ++i) {
        if (packet[i] != 0) return packet.size();
    }
    return keep;
}

std::vector<uint8_t> MakeLiveHeader(const std::vector<uint8_t>& header, size_t fp) {
    std::vector<uint8_t> out(header);
    if (fp + kFpEnd > out.size()) return out;
    uint8_t* props = out.data() + fp;
    Put64(props + kFpFileSize, 0);
    Put64(props + kFpPacketCount, 0);
    Put64(props + kFpPlayDuration, 0);
    Put64(props + kFpSendDuration, 0);
    Put32(props + kFpFlags, (Get32(props + kFpFlags) | 1u) & ~2u);
    return out;
}

AsfMedia MakeLive(const AsfMedia& media, uint32_t baseMs) {
    AsfMedia live = media;
    live.header = MakeLiveHeader(media.header, media.filePropertiesOffset);
    live.playDuration = 0;
    live.live = true;
    for (auto& packet : live.packets) ShiftPacketTimes(packet, live.packetSize, baseMs);
    return live;
}

}  // namespace larkspan::testserver
