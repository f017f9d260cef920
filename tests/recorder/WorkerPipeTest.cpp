// A worker recording into a pipe that a player reads: the reader gets
// exactly what a file recording receives, a slow reader holds the client
// back, the end and a failure are passed on, and Stop ends a write that
// waits for the reader.
#include <gtest/gtest.h>

#include "asf/StreamPipe.h"
#include "tests/recorder/WorkerFixture.h"

namespace larkspan::e2e {
namespace {

using testsupport::ReadFileBytes;

enum class Via { Mms, Mmsh };

class WorkerPipe : public WorkerTest, public ::testing::WithParamInterface<Via> {
protected:
    bool Mms() const { return GetParam() == Via::Mms; }
    std::string Url(const std::string& key) const { return Mms() ? server_.MmsUrl(key) : server_.MmshUrl(key); }

    // A worker on source that writes into pipe.
    std::unique_ptr<CmmsThread> PipeWorker(const std::string& source, const std::shared_ptr<StreamPipe>& pipe) {
        auto worker = MakeWorker(source, "");
        worker->SetOutputSink(pipe);
        return worker;
    }
};

// Reads in small pieces with a pause after each, until the pipe ends.
Bytes ReadSlowly(StreamPipe& pipe) {
    Bytes got;
    uint8_t piece[700];
    for (size_t n; (n = pipe.Read(piece, sizeof piece)) != 0;) {
        got.insert(got.end(), piece, piece + n);
        std::this_thread::sleep_for(std::chrono::microseconds(300));
    }
    return got;
}

TEST_P(WorkerPipe, ReaderGetsWhatAFileRecordingReceives) {
    Serve(server_, "clip.asf", "clip.asf");
    StartBoth();
    auto recorded = MakeWorker(Url("clip.asf"), "file");
    Run(*recorded);
    ASSERT_FALSE(recorded->ErrorFlag()) << recorded->GetErrorText();

    // Much smaller than the stream, so the client waits for the reader.
    auto pipe = std::make_shared<StreamPipe>(4096);
    auto piped = PipeWorker(Url("clip.asf"), pipe);
    ASSERT_TRUE(piped->Start());
    const Bytes got = ReadSlowly(*pipe);
    WaitForEnd(*piped);
    EXPECT_FALSE(piped->ErrorFlag()) << piped->GetErrorText();
    EXPECT_EQ(pipe->EndText(), "");

    // The header as it came: a pipe gets no rewrite, the file only that.
    EXPECT_TRUE(got == HeaderAndPackets(clip_)) << FirstDifference(got, HeaderAndPackets(clip_));
    const Bytes file = ReadFileBytes(base_.File("file.asf"));
    const Bytes fileWant = RecordedFile(clip_);
    EXPECT_TRUE(file == fileWant) << FirstDifference(file, fileWant);
    // Nothing was named or written for the piped recording.
    EXPECT_EQ(base_.Names(), (std::vector<std::string>{"file.asf"}));
    EXPECT_EQ(piped->OutputPath(), "");
}

// A stream cut off by the server: the reader gets the packets that came,
// then the end with the worker's error text.
TEST_P(WorkerPipe, FailurePassedOnAfterTheBytes) {
    testserver::StreamOptions dropped;
    dropped.dropAfterPackets = 5;
    Serve(server_, "cut.asf", "clip.asf", dropped);
    StartBoth();
    auto pipe = std::make_shared<StreamPipe>();
    auto worker = PipeWorker(Url("cut.asf"), pipe);
    ASSERT_TRUE(worker->Start());
    const Bytes got = ReadSlowly(*pipe);
    WaitForEnd(*worker);
    ASSERT_TRUE(worker->ErrorFlag());
    EXPECT_NE(worker->GetErrorText(), "");
    EXPECT_EQ(pipe->EndText(), worker->GetErrorText());
    EXPECT_TRUE(got == HeaderAndPackets(clip_, 5)) << FirstDifference(got, HeaderAndPackets(clip_, 5));
}

// Stop while the client waits for a reader that reads nothing: the job ends
// and the reader sees why.
TEST_P(WorkerPipe, StopEndsAWriteWaitingForTheReader) {
    Serve(server_, "clip.asf", "clip.asf");
    StartBoth();
    auto pipe = std::make_shared<StreamPipe>(4096);
    auto worker = PipeWorker(Url("clip.asf"), pipe);
    ASSERT_TRUE(worker->Start());
    ASSERT_TRUE(WaitUntil([&] { return pipe->Buffered() == 4096; }, std::chrono::seconds(30)));
    worker->Stop();
    WaitForEnd(*worker, std::chrono::seconds(20));
    EXPECT_TRUE(worker->StopFlag());
    uint8_t byte = 0;
    EXPECT_EQ(pipe->Read(&byte, 1), 0u);
    EXPECT_EQ(pipe->EndText(), "the recording was stopped");
    ExpectFinishedOnceAndLast();
}

INSTANTIATE_TEST_SUITE_P(Protocols, WorkerPipe, ::testing::Values(Via::Mms, Via::Mmsh),
                         [](const auto& info) { return info.param == Via::Mms ? "OverMms" : "OverMmsh"; });

}  // namespace
}  // namespace larkspan::e2e
