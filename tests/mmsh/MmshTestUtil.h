#pragma once
// Helpers for the MMSH client tests: the byte helpers and report sink of
// the MMS tests, a scripted credentials prompt, builders of data packets and
// $H/$D/$E chunks, and the fixture of the tests against the loopback stream
// server.
#include <gtest/gtest.h>

#include "asf/OutputFile.h"
#include "protocols/mmsh/MmshClient.h"
#include "tests/mms/MmsTestStreams.h"
#include "tests/support/RecordedFiles.h"
#include "tests/support/Samples.h"
#include "tools/server/LoopbackServer.h"

namespace larkspan::mmshtest {

using namespace mmstest;
using Errors = std::vector<std::string>;
using Progress = EventLog::Progress;
using testserver::HttpScript;
using testserver::LoopbackServer;
using testserver::StreamOptions;
using testsupport::AsfFileParts;
using testsupport::MakeHeader;

// Answers each question with the next scripted reply ({} declines);
// declines when the script runs out.
class ScriptedPrompt : public CredentialsPrompt {
public:
    explicit ScriptedPrompt(std::vector<std::string> passwords) : passwords_(std::move(passwords)) {}
    bool AskCredentials(const std::string& site, std::string& user, std::string& password) override {
        sites.push_back(site);
        if (asked >= passwords_.size() || passwords_[asked].empty()) {
            ++asked;
            return false;
        }
        user = "alice";
        password = passwords_[asked++];
        return true;
    }
    void OnCredentialsRefused(const std::string& site) override { refusedSites.push_back(site); }
    size_t asked = 0;
    std::vector<std::string> sites;
    std::vector<std::string> refusedSites;

private:
    std::vector<std::string> passwords_;
};

inline Bytes Text(const std::string& text) { return Bytes(text.begin(), text.end()); }

// An on-demand stream of 20 s (17 s after the preroll) with 3,200-byte
// packets and a filler object ahead of File Properties; or a broadcast.
inline HeaderValues StreamHeader(bool live = false, uint32_t packetSize = 3200) {
    HeaderValues v;
    v.minPacketSize = v.maxPacketSize = packetSize;
    v.playDuration = v.sendDuration = live ? 0 : 200000000;
    v.preroll = 3000;
    v.flags = live ? 1 : 2;
    v.paddingObjectBefore = 124;
    return v;
}

// A single-payload data packet (length type byte 0x00: send time at 5),
// `size` bytes long, filled with a pattern derived from `seed`; length type
// 0x49 gives a layout without a known send time.
inline Bytes MakePacket(uint32_t sendTime, size_t size, uint8_t seed = 1, uint8_t lengthType = 0x00) {
    Bytes p = {0x82, 0x00, 0x00, lengthType, 0x5D, uint8_t(sendTime), uint8_t(sendTime >> 8), uint8_t(sendTime >> 16),
               uint8_t(sendTime >> 24), 100, 0};
    while (p.size() < size) p.push_back(uint8_t(seed + p.size() * 7));
    p.resize(size);
    return p;
}

// A chunk head with any length field (payload plus 8), then the payload.
inline Bytes MakeChunkHead(char type, uint16_t lengthField, uint8_t flags = 0) {
    return {'$', uint8_t(type), uint8_t(lengthField), uint8_t(lengthField >> 8), 0, 0, 0, 0, 0, flags,
            uint8_t(lengthField), uint8_t(lengthField >> 8)};
}
inline Bytes MakeChunk(char type, const Bytes& payload, uint8_t flags = 0) {
    Bytes c = MakeChunkHead(type, uint16_t(payload.size() + 8), flags);
    Append(c, payload);
    return c;
}
inline Bytes EndChunk() { return MakeChunk('E', {}); }

// DurationMs from a header, worked out the way the header format defines it:
// play duration (100 ns) to ms, minus the preroll.
inline uint32_t ExpectedDurationMs(const AsfFileParts& parts) {
    const uint64_t play = testsupport::GetLE64(parts.header, parts.filePropertiesOffset + 64);
    return play ? uint32_t(play / 10000 - testsupport::GetLE64(parts.header, parts.filePropertiesOffset + 80)) : 0;
}

class MmshClientTest : public ::testing::Test {
protected:
    void SetUp() override {
        samples_ = testsupport::SamplesDir();
        if (samples_.empty()) GTEST_SKIP() << testsupport::SamplesError();
        ASSERT_TRUE(testsupport::SplitAsfFile(samples_ + "/clip.asf", clip_));
        ASSERT_TRUE(server_.StartMmsh());
    }

    // Records url into out.asf (or without a file) and returns Record's result.
    uint32_t RecordTo(MmshClient& client, const std::string& url, Bytes* written = nullptr, bool withFile = true) {
        OutputFile file;
        EXPECT_TRUE(file.Create(dir_.File("out.asf")));
        const uint32_t result = client.Record(withFile ? &file : nullptr, url);
        file.Close();
        if (written) *written = ReadFileBytes(dir_.File("out.asf"));
        return result;
    }

    std::string samples_;
    AsfFileParts clip_;
    TempFolder dir_{"client"};
    LoopbackServer server_;
    EventLog sink_;
    RecorderSettings settings_;
};

}  // namespace larkspan::mmshtest
