#pragma once
// Checks, shared by the tests of both stream clients, that a recording's
// file describes what it holds: the header's counts, durations and sizes
// match its packets, and independent readers (ffprobe, GStreamer) find the
// duration the packets span, a seekable file and a seek that lands where
// it was asked to.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "tests/support/AsfFileParts.h"
#include "tests/support/MediaReaders.h"

namespace larkspan::testsupport {

// Runs record() in a child process whose files may not grow past limit
// bytes (a disk that fills up): a write past it fails instead of ending the
// process. False when the child could not run or did not exit normally.
inline bool RunWithFileSizeLimit(uint64_t limit, const std::function<void()>& record) {
    const pid_t child = ::fork();
    if (child < 0) return false;
    if (child == 0) {
        ::signal(SIGXFSZ, SIG_IGN);
        const rlimit r{rlim_t(limit), rlim_t(limit)};
        ::setrlimit(RLIMIT_FSIZE, &r);
        record();
        ::_exit(0);
    }
    int status = 0;
    if (::waitpid(child, &status, 0) != child) return false;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

struct RecordingEnd {
    bool live = false;      // the server sent the stream as a broadcast
    bool complete = false;  // the server's end of stream was reached
};

// `served` is the sample the server streamed (its header and packets as a
// stored file has them, for an on-demand stream); `packets` the number of packets the file must hold,
// or SIZE_MAX when any number will do.
inline void ExpectRecordingDescribesItself(const std::string& path, const AsfFileParts& served, RecordingEnd end,
                                           size_t packets = SIZE_MAX) {
    const std::vector<uint8_t> file = ReadFileBytes(path);
    AsfFileParts got;
    std::string error;
    ASSERT_TRUE(SplitAsf(file, got, &error)) << error;
    EXPECT_TRUE(got.trailer.empty()) << got.trailer.size() << " bytes past the Data Object";
    if (packets != SIZE_MAX) {
        ASSERT_EQ(got.packets.size(), packets);
    }
    ASSERT_GT(got.packets.size(), 1u);
    uint32_t largest = 0;
    ASSERT_TRUE(LargestSendTime(got, largest, &error)) << error;

    const size_t n = got.packets.size();
    const size_t fp = got.filePropertiesOffset;
    const size_t data = got.dataObjectOffset;
    const uint64_t preroll = GetLE64(file, fp + 80);
    if (!end.live) {
        // A stream served more than once over holds the sample's packets first.
        for (size_t i = 0; i < n && i < served.packets.size(); ++i)
            ASSERT_EQ(got.packets[i], served.packets[i]) << "packet " << i;
        // The server's header with only the fields that describe the file
        // put in: everything else stays as it was sent.
        std::vector<uint8_t> header = served.header;
        PutLE64(header, fp + 40, file.size());
        if (!end.complete) {
            PutLE64(header, fp + 56, n);
            PutLE64(header, fp + 64, (largest + preroll) * 10000);
            PutLE64(header, fp + 72, uint64_t(largest) * 10000);
            PutLE64(header, data + 16, 50 + uint64_t(n) * got.packetSize);
            PutLE32(header, data + 40, uint32_t(n));
        }
        EXPECT_EQ(got.header, header);
    } else {
        EXPECT_EQ(GetLE64(file, fp + 40), file.size());
        EXPECT_EQ(GetLE64(file, fp + 56), n);
        EXPECT_EQ(GetLE64(file, fp + 64), (largest + preroll) * 10000);
        EXPECT_EQ(GetLE64(file, fp + 72), uint64_t(largest) * 10000);
        EXPECT_EQ(GetLE32(file, fp + 88), 2u);  // seekable, no longer a broadcast
        EXPECT_EQ(GetLE64(file, data + 16), 50 + uint64_t(n) * got.packetSize);
        EXPECT_EQ(GetLE32(file, data + 40), n);
    }

    const double spans = largest / 1000.0;
    const ReaderView view = ReadLikePlayers(path, spans / 2);
    if (!view.missingTool.empty()) {
        GTEST_SKIP() << view.missingTool << " not found on PATH (scripts/install-deps.sh installs it)";
    }
    EXPECT_NEAR(view.ffprobeDuration, spans, 0.5);
    EXPECT_NEAR(view.seekTarget, spans / 2, 1.0);
    EXPECT_NEAR(view.seekLandedAt, view.seekTarget, 0.5);
    EXPECT_TRUE(view.gstRan) << view.gstText;
    EXPECT_TRUE(view.gstSeekable) << view.gstText;
    EXPECT_NEAR(view.gstDuration, spans, 0.5) << view.gstText;
}

}  // namespace larkspan::testsupport
