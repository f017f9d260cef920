// Letting go of a worker at any moment: the owner's objects are never called
// again once Release returns, the worker still finishes its file, and the
// end of the program waits for released workers only a bounded time.
#include <gtest/gtest.h>

#include <condition_variable>

#include "tests/recorder/WorkerFixture.h"

namespace larkspan::e2e {
namespace {

using testsupport::ReadFileBytes;

// Wait for released workers up to this long; only a broken run comes near it.
constexpr auto kReleasedBound = std::chrono::seconds(20);

// An owner that is gone once the worker is released: any status posted to it
// after that is counted.
class LeavingOwner : public RecordStatusTarget {
public:
    void PostRecordStatus(RecordStatus status, std::uint16_t) override {
        if (gone.load()) ++callsAfterRelease;
        if (status == RecordStatus::Progress) {
            receiving.store(true);
            if (worker) worker->TakeProgress();  // so that the next report is posted too
        }
        std::lock_guard<std::mutex> lock(mutex_);
        posted_.notify_all();
    }
    // Waits, woken by each status, until done() holds (or the job finished).
    bool WaitFor(const std::function<bool()>& done) {
        std::unique_lock<std::mutex> lock(mutex_);
        return posted_.wait_for(lock, std::chrono::seconds(60), done);
    }
    CmmsThread* worker = nullptr;  // set before it starts
    std::atomic<bool> gone{false};
    std::atomic<int> callsAfterRelease{0};
    std::atomic<bool> receiving{false};

private:
    std::mutex mutex_;
    std::condition_variable posted_;
};

// Asks the overwrite question and keeps it on screen until cancelled.
class WaitingAsker : public QuestionAsker {
public:
    OverwriteAnswer AskOverwrite(const std::string&) override {
        std::unique_lock<std::mutex> lock(mutex_);
        asking_ = true;
        changed_.notify_all();
        changed_.wait(lock, [&] { return cancelled_; });
        asking_ = false;
        return OverwriteAnswer::Cancel;
    }
    std::string AskSaveAs(const std::string&) override { return {}; }
    void CancelPending() override {
        std::lock_guard<std::mutex> lock(mutex_);
        cancelled_ = true;
        changed_.notify_all();
    }
    bool WaitAsking() {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, std::chrono::seconds(20), [&] { return asking_; });
    }
    bool Asking() {
        std::lock_guard<std::mutex> lock(mutex_);
        return asking_;
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool asking_ = false;
    bool cancelled_ = false;
};

class WorkerRelease : public WorkerTest {
protected:
    std::unique_ptr<CmmsThread> MakeOwnedWorker(const std::string& source, const std::string& name,
                                                RecordStatusTarget* target, QuestionAsker* asker) {
        RecordJob job;
        job.notifyWindow = target;
        job.jobNumber = 9;
        job.settings = settings_;
        job.sourceRef = source;
        job.requestedName = name;
        return std::make_unique<CmmsThread>(std::move(job), asker, nullptr);
    }

    // A recording cut short by Release: whole packets of the sample behind
    // a header that describes them.
    void ExpectWholePackets(const std::string& path, size_t atLeast = 0) const {
        SCOPED_TRACE(path);
        const Bytes got = ReadFileBytes(path);
        ASSERT_GE(got.size(), clip_.header.size());
        const size_t dataBytes = got.size() - clip_.header.size();
        ASSERT_EQ(dataBytes % clip_.packetSize, 0u);
        const size_t packets = dataBytes / clip_.packetSize;
        EXPECT_GE(packets, atLeast);
        const Bytes want = RecordedFile(clip_, packets);
        // Every packet in, but released before the server's end of stream:
        // an early end too.
        const Bytes wantEarly = RecordedFile(clip_, packets, true);
        EXPECT_TRUE(got == want || got == wantEarly) << FirstDifference(got, want);
    }
};

// Released while it waits for a server that never answers: it ends by
// itself, and its owner hears nothing more.
TEST_F(WorkerRelease, WhileConnecting) {
    for (const bool mms : {true, false}) {
        SCOPED_TRACE(mms ? "MMS" : "MMSH");
        testserver::LoopbackServer server;
        testserver::StreamOptions silent;
        silent.neverSend = true;
        Serve(server, "silent.asf", "clip.asf", silent);
        std::string error;
        ASSERT_TRUE(server.StartMmsh(0, &error)) << error;
        ASSERT_TRUE(server.StartMms(0, &error)) << error;
        auto owner = std::make_unique<LeavingOwner>();
        auto asker = std::make_unique<FixedAsker>();
        auto worker = MakeOwnedWorker(mms ? server.MmsUrl("silent.asf") : server.MmshUrl("silent.asf"), "", owner.get(),
                                      asker.get());
        ASSERT_TRUE(worker->Start());
        EXPECT_FALSE(worker->Start());  // a second start is refused
        ASSERT_TRUE(WaitUntil([&] { return mms ? !server.MmsCommands().empty() : !server.HttpRequests().empty(); },
                              std::chrono::seconds(30)));
        CmmsThread::Release(std::move(worker));
        owner->gone.store(true);
        asker.reset();
        EXPECT_TRUE(CmmsThread::WaitForReleasedWorkers(kReleasedBound));
        EXPECT_EQ(owner->callsAfterRelease.load(), 0);
        EXPECT_TRUE(base_.Names().empty());
    }
}

// Released while its overwrite question is on screen: the question ends,
// Release returns only once it has, and the file in the way is kept.
TEST_F(WorkerRelease, WhileAskingToOverwrite) {
    Serve(server_, "clip.asf", "clip.asf");
    StartBoth();
    ASSERT_TRUE(testsupport::WriteFileBytes(base_.File("taken.asf"), Bytes{1, 2, 3}));
    auto owner = std::make_unique<LeavingOwner>();
    auto asker = std::make_unique<WaitingAsker>();
    auto worker = MakeOwnedWorker(server_.MmshUrl("clip.asf"), "taken", owner.get(), asker.get());
    ASSERT_TRUE(worker->Start());
    ASSERT_TRUE(asker->WaitAsking());
    CmmsThread::Release(std::move(worker));
    EXPECT_FALSE(asker->Asking());
    owner->gone.store(true);
    asker.reset();
    EXPECT_TRUE(CmmsThread::WaitForReleasedWorkers(kReleasedBound));
    EXPECT_EQ(owner->callsAfterRelease.load(), 0);
    EXPECT_EQ(ReadFileBytes(base_.File("taken.asf")), (Bytes{1, 2, 3}));
    EXPECT_EQ(base_.Names(), (std::vector<std::string>{"taken.asf"}));
}

// Released at points ever nearer the end of an MMS stream, the last right as
// it ends: each file is finished on the worker's thread, its header made
// whole for what it holds.
TEST_F(WorkerRelease, AsTheStreamEnds) {
    testserver::StreamOptions paced;
    paced.pacing = testserver::Pacing::Realtime;
    paced.paceSpeed = 40;  // each release point is reached while the stream still runs
    Serve(server_, "clip.asf", "clip.asf", paced);
    StartBoth();
    const size_t packets = clip_.packets.size();
    const std::vector<size_t> releaseAfter = {packets / 2, packets - 2, packets - 1, packets, packets, packets, packets};
    for (size_t i = 0; i < releaseAfter.size(); ++i) {
        SCOPED_TRACE("released after packet " + std::to_string(releaseAfter[i]));
        const std::string name = "end" + std::to_string(i);
        auto owner = std::make_unique<LeavingOwner>();
        auto worker = MakeOwnedWorker(server_.MmsUrl("clip.asf"), name, owner.get(), &asker_);
        owner->worker = worker.get();
        const std::uint64_t mark = clip_.header.size() + releaseAfter[i] * clip_.packetSize;
        ASSERT_TRUE(worker->Start());
        // Released as soon as the report of that packet comes.
        owner->WaitFor([&] { return worker->BytesWritten() >= mark || worker->IsFinished(); });
        CmmsThread::Release(std::move(worker));
        owner->gone.store(true);
        ASSERT_TRUE(CmmsThread::WaitForReleasedWorkers(kReleasedBound));
        EXPECT_EQ(owner->callsAfterRelease.load(), 0);
        ExpectWholePackets(base_.File(name + ".asf"), releaseAfter[i]);
    }
}

// The end of the program with ten recordings running: all are released at
// once, and the wait for them ends with every file finished.
TEST_F(WorkerRelease, TenWorkersAtExit) {
    testserver::StreamOptions paced;
    paced.pacing = testserver::Pacing::Realtime;
    paced.paceSpeed = 4;  // long enough to be running still when released
    Serve(server_, "clip.asf", "clip.asf", paced);
    StartBoth();
    constexpr int kWorkers = 10;
    std::vector<std::unique_ptr<LeavingOwner>> owners;
    std::vector<std::unique_ptr<CmmsThread>> workers;
    for (int i = 0; i < kWorkers; ++i) {
        const bool mms = i % 2 == 0;
        owners.push_back(std::make_unique<LeavingOwner>());
        workers.push_back(MakeOwnedWorker(mms ? server_.MmsUrl("clip.asf") : server_.MmshUrl("clip.asf"),
                                          "w" + std::to_string(i), owners.back().get(), &asker_));
        ASSERT_TRUE(workers.back()->Start());
    }
    // Every one is receiving packets.
    ASSERT_TRUE(WaitUntil(
        [&] {
            for (const auto& owner : owners)
                if (!owner->receiving.load()) return false;
            return true;
        },
        kBound));
    for (auto& worker : workers) CmmsThread::Release(std::move(worker));
    for (auto& owner : owners) owner->gone.store(true);
    EXPECT_TRUE(CmmsThread::WaitForReleasedWorkers(kReleasedBound));
    for (int i = 0; i < kWorkers; ++i) {
        EXPECT_EQ(owners[static_cast<size_t>(i)]->callsAfterRelease.load(), 0);
        ExpectWholePackets(base_.File("w" + std::to_string(i) + ".asf"));
    }
}

}  // namespace
}  // namespace larkspan::e2e
