// Letting go of a worker at any moment: the owner's objects are never called
// again once Release returns, the worker still finishes its file, and the
// end of the program waits for released workers only a bounded time.
#include "tests/recorder/E2eSupport.h"

namespace larkspan::e2e {
namespace {

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
    }
    CmmsThread* worker = nullptr;  // set before it starts
    std::atomic<bool> gone{false};
    std::atomic<int> callsAfterRelease{0};
    std::atomic<bool> receiving{false};
};

class WorkerRelease : public WorkerTest {
protected:
    // A recording cut short by Release: whole packets of the sample behind
    // a header that describes them.
    void ExpectWholePackets(const std::string& path, size_t atLeast) const {
        SCOPED_TRACE(path);
        const Bytes got = ReadFileBytes(path);
        ASSERT_GE(got.size(), clip_.header.size());
        const size_t dataBytes = got.size() - clip_.header.size();
        ASSERT_EQ(dataBytes % clip_.packetSize, 0u);
        const size_t packets = dataBytes / clip_.packetSize;
        EXPECT_GE(packets, atLeast);
        // Every packet in, but released before the server's end of stream:
        // an early end too.
        const Bytes want = RecordedFile(clip_, packets), wantEarly = RecordedFile(clip_, packets, true);
        EXPECT_TRUE(got == want || got == wantEarly) << FirstDifference(got, want);
    }
};

// Released while it waits for a server that never answers: it ends by
// itself, and its owner hears nothing more.
TEST_F(WorkerRelease, WhileConnecting) {
    testserver::StreamOptions silent;
    silent.neverSend = true;
    Serve(server_, "silent.asf", "clip.asf", silent);
    StartBoth();
    for (const bool mms : {true, false}) {
        SCOPED_TRACE(mms ? "MMS" : "MMSH");
        auto owner = std::make_unique<LeavingOwner>();
        auto asker = std::make_unique<FixedAsker>();
        auto worker = MakeWorker(mms ? server_.MmsUrl("silent.asf") : server_.MmshUrl("silent.asf"), "",
                                 owner.get(), asker.get());
        ASSERT_TRUE(worker->Start());
        EXPECT_FALSE(worker->Start());  // a second start is refused
        ASSERT_TRUE(WaitUntil([&] { return mms ? !server_.MmsCommands().empty() : !server_.HttpRequests().empty(); },
                              std::chrono::seconds(30)));
        CmmsThread::Release(std::move(worker));
        owner->gone.store(true);
        asker.reset();
        EXPECT_TRUE(CmmsThread::WaitForReleasedWorkers(kReleasedBound));
        EXPECT_EQ(owner->callsAfterRelease.load(), 0);
        EXPECT_TRUE(base_.Names().empty());
    }
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
        auto worker = MakeWorker(server_.MmsUrl("clip.asf"), name, owner.get(), &asker_);
        owner->worker = worker.get();
        const std::uint64_t mark = clip_.header.size() + releaseAfter[i] * clip_.packetSize;
        ASSERT_TRUE(worker->Start());
        // Released as soon as the report of that packet comes.
        WaitUntil([&] { return worker->BytesWritten() >= mark || worker->IsFinished(); }, kBound);
        CmmsThread::Release(std::move(worker));
        owner->gone.store(true);
        ASSERT_TRUE(CmmsThread::WaitForReleasedWorkers(kReleasedBound));
        EXPECT_EQ(owner->callsAfterRelease.load(), 0);
        ExpectWholePackets(base_.File(name + ".asf"), releaseAfter[i]);
    }
}

}  // namespace
}  // namespace larkspan::e2e
