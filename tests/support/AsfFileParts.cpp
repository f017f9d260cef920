#include "tests/support/AsfFileParts.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "tests/support/AsfBuilders.h"

namespace larkspan::testsupport {

namespace {

constexpr size_t kObjectHeader = 24;  // GUID + 64-bit size
constexpr size_t kDataObjectHead = 50;

bool Fail(std::string* error, const std::string& what) {
    if (error) *error = what;
    return false;
}

bool GuidAt(const std::vector<uint8_t>& b, size_t offset, const uint8_t guid[16]) {
    return offset <= b.size() && b.size() - offset >= 16 && std::memcmp(b.data() + offset, guid, 16) == 0;
}

void Check(const std::vector<uint8_t>& b, size_t offset, size_t width) {
    if (offset > b.size() || b.size() - offset < width)
        throw std::out_of_range("field at " + std::to_string(offset) + " past the end of " +
                                std::to_string(b.size()) + " bytes");
}

uint64_t GetLE(const std::vector<uint8_t>& b, size_t offset, size_t width) {
    Check(b, offset, width);
    uint64_t v = 0;
    for (size_t i = width; i-- > 0;) v = (v << 8) | b[offset + i];
    return v;
}

void PutLE(std::vector<uint8_t>& b, size_t offset, size_t width, uint64_t v) {
    Check(b, offset, width);
    for (size_t i = 0; i < width; ++i) b[offset + i] = static_cast<uint8_t>(v >> (8 * i));
}

}  // namespace

uint32_t GetLE32(const std::vector<uint8_t>& b, size_t offset) { return uint32_t(GetLE(b, offset, 4)); }
uint64_t GetLE64(const std::vector<uint8_t>& b, size_t offset) { return GetLE(b, offset, 8); }
void PutLE32(std::vector<uint8_t>& b, size_t offset, uint32_t v) { PutLE(b, offset, 4, v); }
void PutLE64(std::vector<uint8_t>& b, size_t offset, uint64_t v) { PutLE(b, offset, 8, v); }

bool SplitAsf(const std::vector<uint8_t>& file, AsfFileParts& parts, std::string* error) {
    parts = AsfFileParts{};
    if (!GuidAt(file, 0, kHeaderObjectGuid) || file.size() < 30)
        return Fail(error, "no ASF Header Object at offset 0");
    const uint64_t headerSize = GetLE64(file, 16);
    if (headerSize < 30 || headerSize > file.size()) return Fail(error, "Header Object size out of range");

    // Walk the header's child objects for File Properties.
    for (size_t pos = 30; parts.packetSize == 0; pos += static_cast<size_t>(GetLE64(file, pos + 16))) {
        if (pos + kObjectHeader > headerSize) return Fail(error, "no File Properties Object in the header");
        const uint64_t size = GetLE64(file, pos + 16);
        if (size < kObjectHeader || size > headerSize - pos)
            return Fail(error, "header child object size out of range");
        if (!GuidAt(file, pos, kFilePropertiesGuid)) continue;
        if (size < 104) return Fail(error, "File Properties Object too short");
        const uint32_t minSize = GetLE32(file, pos + 92);
        if (minSize == 0 || minSize != GetLE32(file, pos + 96)) return Fail(error, "packet size is not fixed");
        parts.filePropertiesOffset = pos;
        parts.packetSize = minSize;
    }

    const size_t data = static_cast<size_t>(headerSize);
    if (!GuidAt(file, data, kDataObjectGuid)) return Fail(error, "no Data Object right after the header");
    if (file.size() - data < kDataObjectHead) return Fail(error, "Data Object header cut short");
    parts.dataObjectOffset = data;
    parts.header.assign(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(data + kDataObjectHead));

    const uint64_t dataSize = GetLE64(file, data + 16);
    size_t dataEnd = file.size();
    if (dataSize >= kDataObjectHead && dataSize <= file.size() - data) dataEnd = data + static_cast<size_t>(dataSize);

    size_t p = data + kDataObjectHead;
    while (dataEnd - p >= parts.packetSize) {
        parts.packets.emplace_back(file.begin() + static_cast<std::ptrdiff_t>(p),
                                   file.begin() + static_cast<std::ptrdiff_t>(p + parts.packetSize));
        p += parts.packetSize;
    }
    parts.trailer.assign(file.begin() + static_cast<std::ptrdiff_t>(p), file.end());
    return true;
}

bool SplitAsfFile(const std::string& path, AsfFileParts& parts, std::string* error) {
    std::vector<uint8_t> bytes = ReadFileBytes(path);
    if (bytes.empty()) return Fail(error, "cannot read " + path);
    return SplitAsf(bytes, parts, error);
}

bool WalkAsfPacket(const std::vector<uint8_t>& packet, uint32_t packetSize, AsfPacketLayout& layout,
                   std::string* error) {
    layout = AsfPacketLayout{};
    const size_t limit = packet.size() < packetSize ? packet.size() : packetSize;
    size_t pos = 0;
    bool bad = false;
    // Reads a field of 0, 1, 2 or 4 bytes, as its 2-bit length type says.
    auto field = [&](unsigned type) -> uint32_t {
        static const size_t widths[4] = {0, 1, 2, 4};
        const size_t w = widths[type & 3];
        if (bad || pos + w > limit) {
            bad = true;
            return 0;
        }
        uint32_t v = 0;
        for (size_t i = w; i-- > 0;) v = (v << 8) | packet[pos + i];
        pos += w;
        return v;
    };

    if (limit < 5 || packet[0] != 0x82 || packet[1] != 0 || packet[2] != 0)
        return Fail(error, "not an error-correction packet (82 00 00)");
    const uint8_t lt = packet[3];
    const uint8_t pf = packet[4];
    if (lt & 0x80) return Fail(error, "error-correction flag in the length type byte");
    pos = 5;
    uint32_t packetLength = field((lt >> 5) & 3);
    field((lt >> 1) & 3);  // sequence
    layout.paddingLength = field((lt >> 3) & 3);
    if ((lt >> 5 & 3) == 0) packetLength = packetSize;
    if (bad || layout.paddingLength > packetLength) return Fail(error, "bad packet length or padding");
    const size_t payloadEnd = packetLength - layout.paddingLength;

    layout.sendTimeOffset = pos;
    field(3);  // send time
    field(2);  // duration
    const bool multiple = lt & 1;
    size_t count = 1;
    if (multiple) count = field(1) & 0x3F;
    layout.payloadCount = count;
    for (size_t i = 0; i < count && !bad; ++i) {
        field(multiple ? (pf >> 6) & 3 : 1);  // stream number
        field((pf >> 4) & 3);                 // media object number
        field((pf >> 2) & 3);                 // offset into media object
        const uint32_t replicated = field(pf & 3);
        if (replicated == 8 && !bad) layout.presentationTimeOffsets.push_back(pos + 4);
        pos += replicated;
        // A single payload runs up to the padding.
        pos += multiple ? field(2) : (pos <= payloadEnd ? payloadEnd - pos : 0);
        bad = bad || pos > payloadEnd;
    }
    if (bad) return Fail(error, "payloads run past the packet");
    return true;
}

bool LargestSendTime(const AsfFileParts& parts, uint32_t& largest, std::string* error) {
    largest = 0;
    for (size_t i = 0; i < parts.packets.size(); ++i) {
        AsfPacketLayout layout;
        std::string why;
        if (!WalkAsfPacket(parts.packets[i], parts.packetSize, layout, &why))
            return Fail(error, "packet " + std::to_string(i) + ": " + why);
        largest = std::max(largest, GetLE32(parts.packets[i], layout.sendTimeOffset));
    }
    return true;
}

}  // namespace larkspan::testsupport
