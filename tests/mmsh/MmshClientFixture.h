#pragma once
// The fixture of the MMSH client tests against the loopback stream server:
// sample parts, a started server, recording into a temporary file, and what
// a recording of the sample parts must look like.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "asf/OutputFile.h"
#include "protocols/mmsh/MmshClient.h"
#include "tests/mmsh/MmshTestUtil.h"
#include "tests/support/AsfFileParts.h"
#include "tests/support/RecordedFiles.h"
#include "tests/support/Samples.h"
#include "tools/server/LoopbackServer.h"

namespace larkspan::mmshtest {

using testserver::HttpScript;
using testserver::LoopbackServer;
using testserver::StreamOptions;
using testsupport::AsfFileParts;

inline const std::string kGuidLine = "Pragma: xClientGUID={C7A8076C-B32C-64A9-6B9C-2B4B56B340B5}";

// DurationMs from a header, worked out the way the header format defines it:
// play duration (100 ns) to ms, each 32-bit half by itself, minus preroll.
inline uint32_t ExpectedDurationMs(const AsfFileParts& parts) {
    const uint64_t play = testsupport::GetLE64(parts.header, parts.filePropertiesOffset + 64);
    const uint32_t preroll = testsupport::GetLE32(parts.header, parts.filePropertiesOffset + 80);
    if (play == 0) return 0;
    const uint32_t high = uint32_t(play >> 32), low = uint32_t(play);
    return uint32_t(uint64_t(high) * 4294967296ull / 10000) + low / 10000 - preroll;
}

inline uint32_t SendTimeOf(const std::vector<uint8_t>& packet, uint32_t packetSize) {
    testsupport::AsfPacketLayout layout;
    std::string error;
    EXPECT_TRUE(testsupport::WalkAsfPacket(packet, packetSize, layout, &error)) << error;
    return testsupport::GetLE32(packet, layout.sendTimeOffset);
}

enum class StreamEnd {
    Reached,  // the server's $E closed the play answer
    Early,    // anything else: a stop, a limit, a dropped connection
};

// The file a recording of these parts must produce: the header, then every
// packet whole (the server's packets already have their full size). File
// Size is the file's length; a recording that ended early also has the
// counts, durations and Data Object size of the packets it holds.
inline std::vector<uint8_t> ExpectedRecording(const AsfFileParts& parts, size_t packets = SIZE_MAX,
                                              StreamEnd end = StreamEnd::Early) {
    const size_t n = std::min(packets, parts.packets.size());
    return testsupport::RecordedFile(parts, n, end == StreamEnd::Early && n < parts.packets.size());
}

class MmshClientTest : public ::testing::Test {
protected:
    MmshClientTest() : dir_("client") {}

    void SetUp() override {
        samples_ = testsupport::SamplesDir();
        if (samples_.empty()) GTEST_SKIP() << testsupport::SamplesError();
    }

    void Load(const std::string& name, AsfFileParts& parts) {
        std::string error;
        ASSERT_TRUE(testsupport::SplitAsfFile(samples_ + "/" + name, parts, &error)) << error;
    }

    void Start() {
        std::string error;
        ASSERT_TRUE(server_.StartMmsh(0, &error)) << error;
    }

    // Records url into out.asf (or without a file) and returns Record's result.
    uint32_t RecordTo(MmshClient& client, const std::string& url, std::vector<uint8_t>* written = nullptr,
                      bool withFile = true) {
        const std::string path = dir_.File("out.asf");
        OutputFile file;
        EXPECT_TRUE(file.Create(path));
        const uint32_t result = client.Record(withFile ? &file : nullptr, url);
        EXPECT_TRUE(file.Close());
        if (written) *written = ReadFileBytes(path);
        return result;
    }

    std::string samples_;
    TempFolder dir_;
    LoopbackServer server_;
    RecordingSink sink_;
    RecorderSettings settings_;
};

}  // namespace larkspan::mmshtest
