// Stopping a job, and the one Finished that every job ends with, however it
// ends.
#include <gtest/gtest.h>

#include <condition_variable>
#include <deque>

#include "tests/recorder/WorkerFixture.h"

namespace larkspan::e2e {
namespace {

using testsupport::ReadFileBytes;

std::string Asx(const std::vector<std::string>& refs) {
    std::string text = "<ASX version=\"3.0\">\r\n";
    for (const auto& r : refs) text += "<Entry><Ref href=\"" + r + "\"/></Entry>\r\n";
    return text + "</ASX>\r\n";
}

enum class Via { Mms, Mmsh };

class WorkerStop : public WorkerTest, public ::testing::WithParamInterface<Via> {};

// Stop while the second of three entries receives data: the second file is
// closed with what it holds, the third entry never starts.
TEST_P(WorkerStop, DuringTheSecondOfThreeEntries) {
    const bool mms = GetParam() == Via::Mms;
    testserver::StreamOptions paced;
    paced.pacing = testserver::Pacing::Realtime;  // 20 s of stream: time enough to stop it
    Serve(server_, "a.asf", "audio.asf");
    Serve(server_, "b.asf", "clip.asf", paced);
    Serve(server_, "c.asf", "audio.asf");
    StartBoth();
    const std::string second = mms ? server_.MmsUrl("b.asf") : server_.MmshUrl("b.asf");
    const std::string third = server_.MmshUrl("c.asf");
    ServeText(server_, "three.asx", Asx({server_.MmsUrl("a.asf"), second, third}));

    auto worker = MakeWorker(server_.MmshUrl("three.asx"), "n");
    worker->Start();
    // Some packets of the second entry have reached its file.
    const std::string secondFile = base_.File("n1.asf");
    const bool receiving = WaitUntil(
        [&] {
            size_t progress = 0;
            for (const auto& e : log_.Events())
                progress += e.status == RecordStatus::Progress && e.outputPath == secondFile;
            return progress >= 5;
        },
        std::chrono::seconds(30));
    worker->Stop();
    WaitForEnd(*worker);
    ASSERT_TRUE(receiving);

    EXPECT_TRUE(worker->StopFlag());
    EXPECT_FALSE(worker->ErrorFlag()) << worker->GetErrorText();
    ExpectFinishedOnceAndLast();

    // The first entry is whole.
    EXPECT_TRUE(ReadFileBytes(base_.File("n0.asf")) == RecordedFile(audio_));

    // The second keeps whole packets of the sample behind a usable header.
    const Bytes got = ReadFileBytes(secondFile);
    ASSERT_GT(got.size(), clip_.header.size());
    const size_t dataBytes = got.size() - clip_.header.size();
    ASSERT_EQ(dataBytes % clip_.packetSize, 0u);
    const size_t packets = dataBytes / clip_.packetSize;
    EXPECT_GE(packets, 5u);
    EXPECT_LT(packets, clip_.packets.size());
    Bytes want = RecordedFile(clip_, packets);
    EXPECT_TRUE(got == want) << FirstDifference(got, want);
    testsupport::AsfFileParts parts;
    std::string error;
    EXPECT_TRUE(testsupport::SplitAsf(got, parts, &error)) << error;

    // The third was never started.
    EXPECT_FALSE(Exists(base_.File("n2.asf")));
    EXPECT_EQ(log_.ConnectingTo(third), 0u);
    for (const auto& r : server_.HttpRequests()) EXPECT_NE(r.path, "c.asf");
    EXPECT_EQ(base_.Names(), (std::vector<std::string>{"n0.asf", "n1.asf", "three.asx"}));
}

INSTANTIATE_TEST_SUITE_P(SecondEntry, WorkerStop, ::testing::Values(Via::Mms, Via::Mmsh),
                         [](const auto& info) { return info.param == Via::Mms ? "OverMms" : "OverMmsh"; });

// A Stop that arrives while the first protocol still waits for the server
// also ends the job: the other protocol is not tried.
TEST_P(WorkerStop, WhileTheFirstProtocolWaitsForTheServer) {
    const bool mms = GetParam() == Via::Mms;
    testserver::StreamOptions silent;
    silent.neverSend = true;
    Serve(server_, "silent.asf", "clip.asf", silent);
    StartBoth();
    const std::string url = mms ? server_.MmsUrl("silent.asf") : server_.MmshUrl("silent.asf");
    auto worker = MakeWorker(url, "");
    worker->Start();
    const bool asked = WaitUntil(
        [&] { return mms ? !server_.MmsCommands().empty() : !server_.HttpRequests().empty(); },
        std::chrono::seconds(30));
    worker->Stop();
    WaitForEnd(*worker);
    ASSERT_TRUE(asked);
    EXPECT_TRUE(worker->StopFlag());
    EXPECT_EQ(log_.ConnectingTo(url), 1u);
    EXPECT_EQ(log_.Count(RecordStatus::HeaderReceived), 0u);
    // Nothing arrived, so nothing was created.
    EXPECT_TRUE(base_.Names().empty());
    ExpectFinishedOnceAndLast();
}

// A playlist whose download is stopped is not followed.
TEST_F(WorkerTest, PlaylistStoppedWhileDownloadingIsNotFollowed) {
    Serve(server_, "clip.asf", "clip.asf");
    StartBoth();
    const std::string text = Asx({server_.MmshUrl("clip.asf")});
    testserver::HttpScript slow;
    slow.contentType = "video/x-ms-asf";
    slow.contentLength = false;  // the body ends only when the connection does
    slow.body = Bytes(text.begin(), text.end());
    slow.holdOpen = true;
    server_.ServeScript("slow.asx", slow, slow);
    auto worker = MakeWorker(server_.MmshUrl("slow.asx"), "");
    worker->Start();
    // The server has sent the whole playlist and holds the connection.
    const bool sent = WaitUntil(
        [&] {
            for (const auto& c : server_.Connections())
                if (c.path == "slow.asx" && c.bytesSent > text.size()) return true;
            return false;
        },
        std::chrono::seconds(30));
    worker->Stop();
    WaitForEnd(*worker);
    ASSERT_TRUE(sent);
    EXPECT_TRUE(worker->StopFlag());
    // What arrived stays in the file (the download keeps whatever came).
    const Bytes got = testsupport::ReadFileBytes(base_.File("slow.asx"));
    EXPECT_LE(got.size(), text.size());
    EXPECT_TRUE(std::equal(got.begin(), got.end(), text.begin()));
    EXPECT_EQ(log_.ConnectingTo(server_.MmshUrl("clip.asf")), 0u);
    EXPECT_FALSE(Exists(base_.File("clip.asf")));
    ExpectFinishedOnceAndLast();
}

// Several jobs at once, each ending its own way: each posts exactly one
// Finished, after all its other statuses.
TEST_F(WorkerTest, EveryJobEndsWithExactlyOneFinished) {
    // One job fails over to MMS on 1755: nothing may answer there.
    WellKnownPortsClosed ports;
    if (!ports.Held()) GTEST_SKIP() << "ports 80 and 1755 stay taken";
    Serve(server_, "clip.asf", "clip.asf");
    Serve(server_, "audio.asf", "audio.asf");
    StartBoth();
    ServeText(server_, "two.asx", Asx({server_.MmsUrl("audio.asf"), server_.MmshUrl("clip.asf")}));
    ServeText(server_, "empty.asx", "<ASX/>\r\n");  // too short to be taken for an address
    ClosedPort nowhere;
    ASSERT_TRUE(nowhere.Held());
    const uint16_t unused = nowhere.Port();
    // Something is in the way of the cancelled job's file.
    ASSERT_TRUE(testsupport::WriteFileBytes(base_.File("taken.asf"), Bytes{1, 2, 3}));

    struct Case {
        std::string source, name;
        OverwriteAnswer answer = OverwriteAnswer::Yes;
    };
    const std::vector<Case> cases = {
        {server_.MmshUrl("clip.asf"), "plain"},
        {server_.MmsUrl("audio.asf"), "mms"},
        {server_.MmshUrl("two.asx"), "list"},
        {server_.MmshUrl("empty.asx"), ""},
        {server_.MmshUrl("missing.asx"), ""},
        {"http://127.0.0.1:" + std::to_string(unused) + "/nowhere.asf", "nowhere"},
        {server_.MmshUrl("clip.asf"), "taken", OverwriteAnswer::Cancel},
    };
    struct Job {
        StatusLog log;
        FixedAsker asker;
        std::unique_ptr<CmmsThread> worker;
        explicit Job(OverwriteAnswer a) : asker(a) {}
    };
    std::vector<std::unique_ptr<Job>> jobs;
    for (size_t i = 0; i < cases.size(); ++i) {
        auto job = std::make_unique<Job>(cases[i].answer);
        RecordJob rj;
        rj.notifyWindow = &job->log;
        rj.jobNumber = static_cast<std::uint16_t>(100 + i);
        rj.settings = settings_;
        rj.sourceRef = cases[i].source;
        rj.requestedName = cases[i].name;
        job->worker = std::make_unique<CmmsThread>(std::move(rj), &job->asker, nullptr);
        job->log.Attach(job->worker.get());
        jobs.push_back(std::move(job));
    }
    for (auto& job : jobs) job->worker->Start();
    for (auto& job : jobs) WaitForEnd(*job->worker);

    for (size_t i = 0; i < jobs.size(); ++i) {
        SCOPED_TRACE(cases[i].source + " as '" + cases[i].name + "'");
        const auto events = jobs[i]->log.Events();
        ASSERT_FALSE(events.empty());
        EXPECT_EQ(jobs[i]->log.Count(RecordStatus::Finished), 1u);
        EXPECT_EQ(events.back().status, RecordStatus::Finished);
        for (const auto& e : events) EXPECT_EQ(e.jobNumber, 100 + i);
    }
    auto text = [&](size_t i) { return "job " + std::to_string(i) + ": '" + jobs[i]->worker->GetErrorText() + "'"; };
    EXPECT_FALSE(jobs[0]->worker->ErrorFlag()) << text(0);
    EXPECT_FALSE(jobs[1]->worker->ErrorFlag()) << text(1);
    EXPECT_FALSE(jobs[2]->worker->ErrorFlag()) << text(2);
    EXPECT_EQ(jobs[2]->worker->OutputPaths().size(), 3u);
    EXPECT_FALSE(jobs[3]->worker->ErrorFlag()) << text(3);  // nothing to record is no failure
    EXPECT_TRUE(jobs[4]->worker->ErrorFlag()) << text(4);   // the playlist is not on the server
    EXPECT_TRUE(jobs[5]->worker->ErrorFlag()) << text(5);
    EXPECT_TRUE(jobs[6]->worker->StopFlag());
    EXPECT_EQ(jobs[6]->asker.overwriteQuestions.load(), 1);
    EXPECT_EQ(testsupport::ReadFileBytes(base_.File("taken.asf")), (Bytes{1, 2, 3}));
}

// An owner that handles the worker's posts on a thread of its own, a little
// late each time, and reads the counters only through TakeProgress.
class SlowOwner : public RecordStatusTarget {
public:
    explicit SlowOwner(std::function<ProgressSnapshot()> take)
        : take_(std::move(take)), thread_([this] { Handle(); }) {}
    ~SlowOwner() override {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            closing_ = true;
        }
        wake_.notify_all();
        thread_.join();
    }
    void PostRecordStatus(RecordStatus status, std::uint16_t) override {
        std::lock_guard<std::mutex> lock(mutex_);
        queue_.push_back(status);
        wake_.notify_all();
    }
    bool WaitFinishedHandled() {
        std::unique_lock<std::mutex> lock(mutex_);
        return wake_.wait_for(lock, std::chrono::seconds(20), [&] { return finishedHandled_; });
    }
    ProgressSnapshot Last() {
        std::lock_guard<std::mutex> lock(mutex_);
        return last_;
    }
    size_t ProgressHandled() {
        std::lock_guard<std::mutex> lock(mutex_);
        return progressHandled_;
    }

private:
    void Handle() {
        std::unique_lock<std::mutex> lock(mutex_);
        for (;;) {
            wake_.wait(lock, [&] { return closing_ || !queue_.empty(); });
            if (queue_.empty()) return;
            const RecordStatus status = queue_.front();
            queue_.pop_front();
            lock.unlock();
            std::this_thread::sleep_for(std::chrono::milliseconds(3));
            ProgressSnapshot taken;
            if (status == RecordStatus::Progress) taken = take_();
            lock.lock();
            if (status == RecordStatus::Progress) {
                last_ = taken;
                ++progressHandled_;
            }
            if (status == RecordStatus::Finished) finishedHandled_ = true;
            wake_.notify_all();
        }
    }

    std::function<ProgressSnapshot()> take_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<RecordStatus> queue_;
    bool closing_ = false;
    bool finishedHandled_ = false;
    ProgressSnapshot last_;
    size_t progressHandled_ = 0;
    std::thread thread_;
};

// However late the owner handles the merged progress reports, the last one
// it takes holds the final counters.
TEST_F(WorkerTest, SlowOwnerSeesTheFinalCounters) {
    // Paced, so that reports keep coming while the owner handles one.
    testserver::StreamOptions paced;
    paced.pacing = testserver::Pacing::Realtime;
    paced.paceSpeed = 40;
    Serve(server_, "clip.asf", "clip.asf", paced);
    StartBoth();
    CmmsThread* worker = nullptr;
    SlowOwner owner([&] { return worker->TakeProgress(); });
    RecordJob job;
    job.notifyWindow = &owner;
    job.jobNumber = 7;
    job.settings = settings_;
    job.sourceRef = server_.MmshUrl("clip.asf");
    CmmsThread recorder(std::move(job), &asker_, nullptr);
    worker = &recorder;
    Run(recorder);
    ASSERT_TRUE(owner.WaitFinishedHandled());

    const std::uint32_t total = 2 * clip_.header.size() + clip_.packets.size() * clip_.packetSize;
    EXPECT_EQ(recorder.BytesWritten(), total);
    EXPECT_GT(owner.ProgressHandled(), 0u);
    const ProgressSnapshot last = owner.Last();
    EXPECT_EQ(last.bytesWritten, total);
    EXPECT_EQ(last.progress, recorder.Progress());
    EXPECT_EQ(last.streamTimeMs, recorder.StreamTime());
    EXPECT_EQ(last.durationMs, recorder.DurationMs());
}

}  // namespace
}  // namespace larkspan::e2e
