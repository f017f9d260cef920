#pragma once
// Checks, shared by the tests of both stream clients, that a recording's
// file describes what it holds: the header's counts, durations and sizes
// match its packets, and independent readers (ffprobe, GStreamer) find the
// duration the packets span, a seekable file and a seek that lands where
// it was asked to.
#include <gtest/gtest.h>

#include <string>

#include "tests/support/MediaReaders.h"
#include "tests/support/RecordedFiles.h"

namespace larkspan::testsupport {

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

    // The header as it was sent (a stored file's, for an on-demand stream)
    // with only the fields that describe the file put in. A stream served
    // more than once over holds the sample's packets first.
    const size_t n = got.packets.size();
    std::vector<uint8_t> header = end.live ? got.header : served.header;
    PutLE64(header, got.filePropertiesOffset + kFilePropertiesFileSize, file.size());
    if (end.live || !end.complete) DescribePackets(header, got, n, largest);
    if (end.live) PutLE32(header, got.filePropertiesOffset + 88, 2);  // seekable, no longer a broadcast
    EXPECT_EQ(got.header, header);
    for (size_t i = 0; !end.live && i < n && i < served.packets.size(); ++i)
        ASSERT_EQ(got.packets[i], served.packets[i]) << "packet " << i;

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
