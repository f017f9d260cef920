#pragma once
// Hand-built ASF headers and data packets, written from the object layout
// rather than taken from asf/AsfCodec, so a wrong constant there shows.
#include <cstdint>
#include <string>
#include <vector>

#include "tests/support/AsfFileParts.h"

namespace larkspan::testsupport {

inline const uint8_t kHeaderObjectGuid[16] = {0x30, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11,
                                              0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C};
inline const uint8_t kDataObjectGuid[16] = {0x36, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11,
                                            0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C};
inline const uint8_t kFilePropertiesGuid[16] = {0xA1, 0xDC, 0xAB, 0x8C, 0x47, 0xA9, 0xCF, 0x11,
                                                0x8E, 0xE4, 0x00, 0xC0, 0x0C, 0x20, 0x53, 0x65};
inline const uint8_t kContentDescriptionGuid[16] = {0x33, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11,
                                                    0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C};

struct HeaderValues {
    uint64_t fileSize = 0;
    uint64_t packetsCount = 0;
    uint64_t playDuration = 0;  // 100-ns units
    uint64_t sendDuration = 0;
    uint64_t preroll = 0;       // ms
    uint32_t flags = 1;
    uint32_t minPacketSize = 3000;
    uint32_t maxPacketSize = 3000;
    size_t paddingObjectBefore = 0;  // bytes of an unknown object placed before File Properties
    bool withFileProperties = true;  // false: a header a recorder cannot use
    uint64_t dataObjectSize = 0;     // Data Object size field (0: unknown, as for a broadcast)
    uint64_t dataPacketsCount = 0;   // Data Object packet count field
};

// Header Object (with an optional unknown object, then, unless left out, a
// File Properties Object) followed by the first 50 bytes of a Data Object: what a server
// sends as the header.
inline std::vector<uint8_t> MakeHeader(const HeaderValues& v, size_t* fpOffset = nullptr,
                                       size_t* dataOffset = nullptr) {
    std::vector<uint8_t> h(30, 0);
    std::copy(kHeaderObjectGuid, kHeaderObjectGuid + 16, h.begin());
    h[28] = 1;
    h[29] = 2;
    uint32_t objects = 0;
    if (v.paddingObjectBefore >= 24) {
        std::vector<uint8_t> o(v.paddingObjectBefore, 0x5A);
        PutLE64(o, 16, o.size());
        h.insert(h.end(), o.begin(), o.end());
        ++objects;
    }
    const size_t fp = h.size();
    std::vector<uint8_t> f(v.withFileProperties ? 104 : 0, 0);
    if (v.withFileProperties) {
        ++objects;
        std::copy(kFilePropertiesGuid, kFilePropertiesGuid + 16, f.begin());
        PutLE64(f, 16, 104);
        for (int i = 0; i < 16; ++i) f[24 + i] = static_cast<uint8_t>(0xC0 + i);  // file id
        PutLE64(f, 40, v.fileSize);
        PutLE64(f, 48, 0x01D0000000000000ull);  // creation date
        PutLE64(f, 56, v.packetsCount);
        PutLE64(f, 64, v.playDuration);
        PutLE64(f, 72, v.sendDuration);
        PutLE64(f, 80, v.preroll);
        PutLE32(f, 88, v.flags);
        PutLE32(f, 92, v.minPacketSize);
        PutLE32(f, 96, v.maxPacketSize);
        PutLE32(f, 100, 123456);  // max bitrate
    }
    h.insert(h.end(), f.begin(), f.end());
    PutLE64(h, 16, h.size());
    PutLE32(h, 24, objects);

    const size_t data = h.size();
    std::vector<uint8_t> d(50, 0);
    std::copy(kDataObjectGuid, kDataObjectGuid + 16, d.begin());
    for (int i = 0; i < 16; ++i) d[24 + i] = static_cast<uint8_t>(0xC0 + i);  // file id again
    PutLE64(d, 16, v.dataObjectSize);
    PutLE64(d, 40, v.dataPacketsCount);
    d[48] = 1;  // reserved
    h.insert(h.end(), d.begin(), d.end());
    if (fpOffset) *fpOffset = fp;
    if (dataOffset) *dataOffset = data;
    return h;
}

// One payload for MakePacket: its presentation time, its size in bytes and
// the length of its replicated data.
struct PayloadDescription {
    uint32_t presentationTime = 0;
    uint16_t size = 16;
    uint8_t replicatedLength = 8;
};

// A data packet in the error-correction layout, with property flags 0x5D
// (stream number byte, media object number byte, offset dword, replicated
// length byte). lengthTypes chooses packet length / padding / several
// payloads; padding fills the packet up to packetSize. The padding bytes
// are filled with padFill so tests can see them cleared.
inline std::vector<uint8_t> MakePacket(uint8_t lengthTypes, uint32_t sendTime,
                                       const std::vector<PayloadDescription>& payloads, uint32_t packetSize,
                                       uint8_t padFill = 0) {
    std::vector<uint8_t> p = {0x82, 0x00, 0x00, lengthTypes, 0x5D};
    const unsigned packetLengthType = (lengthTypes >> 5) & 3;
    const unsigned paddingType = (lengthTypes >> 3) & 3;
    const bool several = lengthTypes & 1;
    auto put = [&p](unsigned width, uint32_t value) {
        for (unsigned i = 0; i < width; ++i) p.push_back(static_cast<uint8_t>(value >> (8 * i)));
    };
    static const unsigned widths[4] = {0, 1, 2, 4};
    const size_t packetLengthAt = p.size();
    put(widths[packetLengthType], 0);
    put(widths[(lengthTypes >> 1) & 3], 0);  // sequence
    const size_t paddingAt = p.size();
    put(widths[paddingType], 0);
    put(4, sendTime);
    put(2, 100);  // duration
    if (several) p.push_back(static_cast<uint8_t>(0x80 | payloads.size()));
    for (size_t i = 0; i < payloads.size(); ++i) {
        p.push_back(static_cast<uint8_t>(0x81 + (i & 1)));  // stream number, key frame bit
        p.push_back(static_cast<uint8_t>(i));              // media object number
        put(4, 0);                                         // offset into media object
        p.push_back(payloads[i].replicatedLength);
        for (uint8_t r = 0; r < payloads[i].replicatedLength; ++r) {
            uint32_t word = r < 4 ? payloads[i].size : payloads[i].presentationTime;
            p.push_back(static_cast<uint8_t>(word >> (8 * (r % 4))));
        }
        if (several) put(2, payloads[i].size);
        for (uint16_t b = 0; b < payloads[i].size; ++b) p.push_back(static_cast<uint8_t>(0x30 + b));
    }
    const uint32_t padding = p.size() < packetSize ? static_cast<uint32_t>(packetSize - p.size()) : 0;
    if (paddingType != 0) {
        for (unsigned i = 0; i < widths[paddingType]; ++i) p[paddingAt + i] = static_cast<uint8_t>(padding >> (8 * i));
    }
    if (packetLengthType != 0) {
        for (unsigned i = 0; i < widths[packetLengthType]; ++i)
            p[packetLengthAt + i] = static_cast<uint8_t>(packetSize >> (8 * i));
    }
    p.resize(packetSize, padFill);
    return p;
}

}  // namespace larkspan::testsupport
