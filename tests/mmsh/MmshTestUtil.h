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
#include "tests/support/AsfBuilders.h"
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

// The header the MMSH tests send unless they say otherwise: an on-demand
// stream of 20 s with 3,200-byte packets and a filler object ahead of File
// Properties, so the client has to look for it.
inline testsupport::HeaderValues OnDemandHeader() {
    testsupport::HeaderValues v;
    v.minPacketSize = v.maxPacketSize = 3200;
    v.playDuration = v.sendDuration = 200000000;
    v.preroll = 3000;
    v.flags = 2;
    v.paddingObjectBefore = 124;
    return v;
}
// The same as a broadcast: no duration, not seekable.
inline testsupport::HeaderValues LiveHeader() {
    testsupport::HeaderValues v = OnDemandHeader();
    v.playDuration = v.sendDuration = 0;
    v.flags = 1;
    return v;
}
using testsupport::HeaderValues;
using testsupport::MakeHeader;

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
