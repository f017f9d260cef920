#pragma once
// Helpers for the MMSH client tests: a sink that keeps every notification,
// a scripted credentials prompt, and builders of the
// byte-level pieces a server sends (ASF header, data packets, chunks).
// The builders follow the ASF object layout directly, not asf/AsfCodec.
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "protocols/RecordEventSink.h"
#include "tests/support/FileContents.h"
#include "tests/support/TempFolder.h"

namespace larkspan::mmshtest {

struct Progress {
    uint32_t bytes;
    int progress;
    uint32_t timeMs;
};

class RecordingSink : public RecordEventSink {
public:
    void OnConnecting(const std::string& ref, int port) override {
        std::lock_guard<std::mutex> lock(mutex_);
        connectPorts.push_back(port);
    }
    void OnHeaderReceived(const std::string& ref, int durationMs) override {
        std::lock_guard<std::mutex> lock(mutex_);
        headerDurations.push_back(durationMs);
    }
    void OnProgress(uint32_t bytes, int progress, uint32_t timeMs) override {
        std::lock_guard<std::mutex> lock(mutex_);
        progressCalls.push_back({bytes, progress, timeMs});
    }
    void ReportError(const std::string& text) override {
        std::lock_guard<std::mutex> lock(mutex_);
        errors.push_back(text);
    }

    std::vector<int> connectPorts;
    std::vector<int> headerDurations;
    std::vector<Progress> progressCalls;
    std::vector<std::string> errors;

private:
    std::mutex mutex_;
};

// Answers each question with the next scripted reply; declines when the
// script runs out.
class ScriptedPrompt : public CredentialsPrompt {
public:
    struct Reply {
        bool ok;
        std::string user, password;
    };
    explicit ScriptedPrompt(std::vector<Reply> replies) : replies_(std::move(replies)) {}
    bool AskCredentials(const std::string& site, std::string& user, std::string& password) override {
        sites.push_back(site);
        if (asked >= replies_.size()) {
            ++asked;
            return false;
        }
        const Reply& r = replies_[asked++];
        if (!r.ok) return false;
        user = r.user;
        password = r.password;
        return true;
    }
    void OnCredentialsRefused(const std::string& site) override { refusedSites.push_back(site); }
    size_t asked = 0;
    std::vector<std::string> sites;
    std::vector<std::string> refusedSites;

private:
    std::vector<Reply> replies_;
};

using testsupport::ReadFileBytes;
using testsupport::TempFolder;

inline void Put16(std::vector<uint8_t>& b, uint16_t v) {
    b.push_back(uint8_t(v));
    b.push_back(uint8_t(v >> 8));
}
inline void Put32(std::vector<uint8_t>& b, uint32_t v) {
    for (int i = 0; i < 4; ++i) b.push_back(uint8_t(v >> (8 * i)));
}
inline void Put64(std::vector<uint8_t>& b, uint64_t v) {
    for (int i = 0; i < 8; ++i) b.push_back(uint8_t(v >> (8 * i)));
}
inline void Append(std::vector<uint8_t>& b, const std::vector<uint8_t>& more) { b.insert(b.end(), more.begin(), more.end()); }

inline const std::vector<uint8_t> kHeaderObjectGuid = {0x30, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11,
                                                       0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C};
inline const std::vector<uint8_t> kFilePropertiesGuid = {0xA1, 0xDC, 0xAB, 0x8C, 0x47, 0xA9, 0xCF, 0x11,
                                                         0x8E, 0xE4, 0x00, 0xC0, 0x0C, 0x20, 0x53, 0x65};
inline const std::vector<uint8_t> kDataObjectGuid = {0x36, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11,
                                                     0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C};
inline const std::vector<uint8_t> kOtherGuid = {0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88,
                                                0x99, 0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF, 0x00};

struct HeaderShape {
    uint32_t minPacket = 3200;
    uint32_t maxPacket = 3200;
    uint64_t playDuration100ns = 200000000;  // 20 s
    uint32_t preroll = 3000;
    bool withFileProperties = true;
    size_t fillerBytes = 100;  // an extra object, to move File Properties away from the start
};

// Header Object (with a filler object and File Properties) followed by the
// first 50 bytes of the Data Object: what a $H chunk carries.
inline std::vector<uint8_t> MakeHeader(const HeaderShape& shape) {
    std::vector<uint8_t> objects;
    // filler object
    Append(objects, kOtherGuid);
    Put64(objects, 24 + shape.fillerBytes);
    objects.insert(objects.end(), shape.fillerBytes, 0x5A);
    if (shape.withFileProperties) {
        Append(objects, kFilePropertiesGuid);
        Put64(objects, 104);
        objects.insert(objects.end(), 16, 0x01);  // file id
        Put64(objects, 0);                        // file size
        Put64(objects, 0);                        // creation date
        Put64(objects, 0);                        // data packets count
        Put64(objects, shape.playDuration100ns);
        Put64(objects, shape.playDuration100ns);      // send duration
        Put64(objects, shape.preroll);
        Put32(objects, shape.playDuration100ns == 0 ? 1 : 2);
        Put32(objects, shape.minPacket);
        Put32(objects, shape.maxPacket);
        Put32(objects, 100000);  // max bitrate
    }
    std::vector<uint8_t> h;
    Append(h, kHeaderObjectGuid);
    Put64(h, 30 + objects.size());
    Put32(h, shape.withFileProperties ? 2 : 1);
    h.push_back(1);
    h.push_back(2);
    Append(h, objects);
    // Data Object start: GUID, size, file id, packet count, reserved.
    Append(h, kDataObjectGuid);
    Put64(h, 0);
    h.insert(h.end(), 16, 0x01);
    Put64(h, 0);
    Put16(h, 0x0101);
    return h;
}

// A single-payload data packet (length type byte 0x00: send time at 5),
// `size` bytes long, filled with a pattern derived from `seed`.
inline std::vector<uint8_t> MakePacket(uint32_t sendTime, size_t size, uint8_t seed, uint8_t lengthType = 0x00) {
    std::vector<uint8_t> p = {0x82, 0x00, 0x00, lengthType, 0x5D};
    if (lengthType == 0x08) p.push_back(0);  // padding length byte
    Put32(p, sendTime);
    Put16(p, 100);
    while (p.size() < size) p.push_back(uint8_t(seed + p.size() * 7));
    p.resize(size);
    return p;
}

inline std::vector<uint8_t> MakeChunk(char type, const std::vector<uint8_t>& payload, uint8_t flags = 0,
                                      uint32_t location = 0) {
    std::vector<uint8_t> c = {'$', uint8_t(type)};
    Put16(c, uint16_t(payload.size() + 8));
    Put32(c, location);
    c.push_back(0);  // incarnation
    c.push_back(flags);
    Put16(c, uint16_t(payload.size() + 8));
    Append(c, payload);
    return c;
}

// A chunk head with an arbitrary length field (for malformed input).
inline std::vector<uint8_t> MakeChunkHead(char type, uint16_t lengthField, uint8_t flags = 0) {
    std::vector<uint8_t> c = {'$', uint8_t(type)};
    Put16(c, lengthField);
    Put32(c, 0);
    c.push_back(0);
    c.push_back(flags);
    Put16(c, lengthField);
    return c;
}

inline std::vector<uint8_t> EndChunk() { return MakeChunk('E', {}); }

}  // namespace larkspan::mmshtest
