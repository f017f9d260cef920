// What a recording leaves on disk: an existing file is replaced only by a
// recording that receives something, a stopped question creates nothing,
// no recording of a run replaces a file an earlier one of the run wrote, a
// kept file skips only its entry, "-" is standard output, and a failed
// write says why.
#include <gtest/gtest.h>

#include <condition_variable>
#include <filesystem>

#include "tests/recorder/WorkerFixture.h"

namespace larkspan::e2e {
namespace {

using testsupport::ReadFileBytes;
using testsupport::WriteFileBytes;

std::string Asx(const std::vector<std::string>& refs) {
    std::string text = "<ASX version=\"3.0\">\r\n";
    for (const auto& r : refs) text += "<Entry><Ref href=\"" + r + "\"/></Entry>\r\n";
    return text + "</ASX>\r\n";
}

const Bytes kOld{'o', 'l', 'd'};

using WorkerOutput = WorkerTest;

// A source that sends nothing: an existing file stays as it was, and
// nothing is left where there was nothing.
struct FailedSource {
    const char* name;
    bool existing;
    int overWrite;
    bool fixedPath;
};

void PrintTo(const FailedSource& c, std::ostream* os) { *os << c.name; }

class WorkerFailedSource : public WorkerTest, public ::testing::WithParamInterface<FailedSource> {};

TEST_P(WorkerFailedSource, LeavesTheOutputPathAsItWas) {
    const FailedSource c = GetParam();
    ClosedPort nowhere;
    ASSERT_TRUE(nowhere.Held());
    const std::string url = "https://127.0.0.1:" + std::to_string(nowhere.Port()) + "/clip.asf";
    const std::string target = base_.File("clip.asf");
    if (c.existing) {
        ASSERT_TRUE(WriteFileBytes(target, kOld));
    }
    settings_.overWrite = c.overWrite;
    auto worker = MakeWorker(url, "");
    if (c.fixedPath) worker->SetFixedOutputPath(target);
    Run(*worker);

    EXPECT_TRUE(worker->ErrorFlag());
    EXPECT_EQ(worker->OutputPaths(), std::vector<std::string>{target});
    EXPECT_EQ(asker_.overwriteQuestions.load(), c.existing && c.overWrite ? 1 : 0);
    if (c.existing) {
        EXPECT_EQ(base_.Names(), std::vector<std::string>{"clip.asf"});
        EXPECT_EQ(ReadFileBytes(target), kOld);
    } else {
        EXPECT_TRUE(base_.Names().empty());
    }
    ExpectFinishedOnceAndLast();
}

INSTANTIATE_TEST_SUITE_P(Cases, WorkerFailedSource,
                         ::testing::Values(FailedSource{"NewFile", false, 1, false},
                                           FailedSource{"ExistingAnsweredYes", true, 1, false},
                                           FailedSource{"ExistingWithoutQuestion", true, 0, false},
                                           FailedSource{"FixedPathAnsweredYes", true, 1, true},
                                           FailedSource{"FixedPathNew", false, 1, true}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(WorkerOutput, FailedPlaylistDownloadKeepsAndIgnoresTheOldCopy) {
    Serve(server_, "clip.asf", "clip.asf");
    StartBoth();
    const std::string old = Asx({server_.MmshUrl("clip.asf")});
    ASSERT_TRUE(WriteFileBytes(base_.File("list.asx"), Bytes(old.begin(), old.end())));
    auto worker = MakeWorker(server_.MmshUrl("list.asx"), "");  // not on the server
    Run(*worker);
    EXPECT_TRUE(worker->ErrorFlag());
    EXPECT_EQ(ReadFileBytes(base_.File("list.asx")), Bytes(old.begin(), old.end()));
    EXPECT_EQ(base_.Names(), std::vector<std::string>{"list.asx"});
    EXPECT_EQ(log_.ConnectingTo(server_.MmshUrl("clip.asf")), 0u);
    ExpectFinishedOnceAndLast();
}

// Answers the overwrite question only when the job is stopped, and then
// with Yes, as a careless implementation might: the worker must still
// create nothing.
class CancellableAsker : public QuestionAsker {
public:
    OverwriteAnswer AskOverwrite(const std::string&) override {
        std::unique_lock<std::mutex> lock(mutex_);
        asked_ = true;
        changed_.notify_all();
        changed_.wait_for(lock, std::chrono::seconds(20), [&] { return cancelled_; });
        return OverwriteAnswer::Yes;
    }
    std::string AskSaveAs(const std::string&) override { return {}; }
    void CancelPending() override {
        std::lock_guard<std::mutex> lock(mutex_);
        cancelled_ = true;
        changed_.notify_all();
    }
    bool WaitAsked() {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, std::chrono::seconds(20), [&] { return asked_; });
    }
    bool Cancelled() {
        std::lock_guard<std::mutex> lock(mutex_);
        return cancelled_;
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool asked_ = false;
    bool cancelled_ = false;
};

TEST_F(WorkerOutput, StopDuringTheOverwriteQuestionCreatesNothing) {
    Serve(server_, "clip.asf", "clip.asf");
    StartBoth();
    ASSERT_TRUE(WriteFileBytes(base_.File("clip.asf"), kOld));
    CancellableAsker asker;
    RecordJob job;
    job.notifyWindow = &log_;
    job.jobNumber = 7;
    job.settings = settings_;
    job.sourceRef = server_.MmshUrl("clip.asf");
    CmmsThread worker(std::move(job), &asker, nullptr);
    log_.Attach(&worker);
    worker.Start();
    ASSERT_TRUE(asker.WaitAsked());
    worker.Stop();
    WaitForEnd(worker);

    EXPECT_TRUE(asker.Cancelled());
    EXPECT_TRUE(worker.StopFlag());
    EXPECT_EQ(base_.Names(), std::vector<std::string>{"clip.asf"});
    EXPECT_EQ(ReadFileBytes(base_.File("clip.asf")), kOld);
    EXPECT_TRUE(server_.HttpRequests().empty());
    ExpectFinishedOnceAndLast();
}

TEST_F(WorkerOutput, SameNamedEntriesOfAPlaylistKeepBothFiles) {
    Serve(server_, "a/clip.asf", "clip.asf");
    Serve(server_, "b/clip.asf", "audio.asf");
    StartBoth();
    TempFolder lists("lists");
    const std::string list = lists.File("two.asx");
    const std::string text = Asx({server_.MmshUrl("a/clip.asf"), server_.MmshUrl("b/clip.asf")});
    ASSERT_TRUE(WriteFileBytes(list, Bytes(text.begin(), text.end())));
    auto worker = MakeWorker(list, "");
    Run(*worker);

    EXPECT_FALSE(worker->ErrorFlag()) << worker->GetErrorText();
    EXPECT_EQ(asker_.overwriteQuestions.load(), 0);
    EXPECT_EQ(base_.Names(), (std::vector<std::string>{"clip (2).asf", "clip.asf"}));
    EXPECT_TRUE(ReadFileBytes(base_.File("clip.asf")) == RecordedFile(clip_));
    EXPECT_TRUE(ReadFileBytes(base_.File("clip (2).asf")) == RecordedFile(audio_));
    EXPECT_EQ(worker->OutputPaths(), (std::vector<std::string>{base_.File("clip.asf"), base_.File("clip (2).asf")}));
    ExpectFinishedOnceAndLast();
}

TEST_F(WorkerOutput, JobsOfOneRunKeepEachOthersFiles) {
    Serve(server_, "clip.asf", "clip.asf");
    StartBoth();
    auto run = std::make_shared<RunOutputs>();
    for (int i = 0; i < 2; ++i) {
        RecordJob job;
        job.jobNumber = static_cast<std::uint16_t>(i + 1);
        job.settings = settings_;
        job.sourceRef = server_.MmshUrl("clip.asf");
        job.runOutputs = run;
        CmmsThread worker(std::move(job), &asker_, nullptr);
        Run(worker);
        EXPECT_FALSE(worker.ErrorFlag()) << worker.GetErrorText();
    }
    EXPECT_EQ(asker_.overwriteQuestions.load(), 0);
    EXPECT_EQ(base_.Names(), (std::vector<std::string>{"clip (2).asf", "clip.asf"}));
    EXPECT_TRUE(ReadFileBytes(base_.File("clip (2).asf")) == RecordedFile(clip_));
}

TEST_F(WorkerOutput, SkipKeepsTheFileAndGoesOnWithThePlaylist) {
    Serve(server_, "clip.asf", "clip.asf");
    Serve(server_, "audio.asf", "audio.asf");
    StartBoth();
    ServeText(server_, "two.asx", Asx({server_.MmshUrl("clip.asf"), server_.MmshUrl("audio.asf")}));
    ASSERT_TRUE(WriteFileBytes(base_.File("n0.asf"), kOld));
    FixedAsker skipper(OverwriteAnswer::Skip);
    RecordJob job;
    job.notifyWindow = &log_;
    job.jobNumber = 7;
    job.settings = settings_;
    job.sourceRef = server_.MmshUrl("two.asx");
    job.requestedName = "n";
    CmmsThread worker(std::move(job), &skipper, nullptr);
    log_.Attach(&worker);
    Run(worker);

    EXPECT_FALSE(worker.ErrorFlag()) << worker.GetErrorText();
    EXPECT_FALSE(worker.StopFlag());
    EXPECT_EQ(log_.Notices(), std::vector<std::string>{"kept existing " + base_.File("n0.asf")});
    EXPECT_EQ(ReadFileBytes(base_.File("n0.asf")), kOld);
    EXPECT_TRUE(ReadFileBytes(base_.File("n1.asf")) == RecordedFile(audio_));
    EXPECT_EQ(log_.ConnectingTo(server_.MmshUrl("clip.asf")), 0u);
    ExpectFinishedOnceAndLast();
}

TEST_F(WorkerOutput, DashIsStandardOutput) {
    Serve(server_, "clip.asf", "clip.asf");
    StartBoth();
    ASSERT_FALSE(Exists("-")) << "a file named '-' is in the way in " << std::filesystem::current_path();
    TempFolder captured("stdout");
    const std::string capture = captured.File("out");
    std::fflush(stdout);
    const int saved = ::dup(1);
    const int fd = ::open(capture.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    ASSERT_GE(fd, 0);
    ::dup2(fd, 1);
    ::close(fd);
    auto worker = MakeWorker(server_.MmshUrl("clip.asf"), "");
    worker->SetFixedOutputPath("-");
    Run(*worker);
    ::dup2(saved, 1);
    ::close(saved);

    EXPECT_FALSE(worker->ErrorFlag()) << worker->GetErrorText();
    const Bytes got = ReadFileBytes(capture);
    // Standard output cannot seek: the header stays as the server sent it.
    EXPECT_TRUE(got == HeaderAndPackets(clip_)) << FirstDifference(got, HeaderAndPackets(clip_));
    EXPECT_EQ(worker->OutputPaths(), std::vector<std::string>{"-"});
    EXPECT_FALSE(Exists("-"));
    EXPECT_TRUE(base_.Names().empty());
    EXPECT_EQ(asker_.overwriteQuestions.load(), 0);
}

TEST_F(WorkerOutput, WriteErrorCarriesTheSystemReason) {
    if (!Exists("/dev/full")) GTEST_SKIP() << "no /dev/full here";
    Serve(server_, "clip.asf", "clip.asf");
    StartBoth();
    auto worker = MakeWorker(server_.MmshUrl("clip.asf"), "");
    worker->SetFixedOutputPath("/dev/full");
    Run(*worker);
    EXPECT_TRUE(worker->ErrorFlag());
    EXPECT_EQ(worker->GetErrorText(), "File Write Error: No space left on device");
    EXPECT_TRUE(std::filesystem::is_character_file("/dev/full"));
    ExpectFinishedOnceAndLast();
}

}  // namespace
}  // namespace larkspan::e2e
