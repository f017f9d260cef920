// Stopping a job (what it leaves, what it no longer starts), and letting go of
// a worker (Release): its owner is not called again, it still finishes its file.
#include "tests/recorder/E2eSupport.h"

namespace larkspan::e2e {
namespace {

// Stop while the second of three entries receives data (over MMS, MMSH): the
// second file is closed with what it holds, the third entry never starts.
TEST_F(WorkerTest, StopDuringTheSecondOfThreeEntries) {
    const testserver::StreamOptions paced{.pacing = testserver::Pacing::Realtime};  // 20 s: time enough to stop it
    Serve(server_, "a.asf", "audio.asf");
    Serve(server_, "b.asf", "clip.asf", paced);
    Serve(server_, "c.asf", "audio.asf");
    StartBoth();
    const std::string third = server_.MmshUrl("c.asf");
    for (const bool mms : {true, false}) {
        SCOPED_TRACE(mms ? "MMS" : "MMSH");
        const std::string second = mms ? server_.MmsUrl("b.asf") : server_.MmshUrl("b.asf");
        const std::string list = mms ? "mms.asx" : "mmsh.asx", name = mms ? "s" : "h";
        ServeText(server_, list, Asx({server_.MmsUrl("a.asf"), second, third}));
        auto worker = MakeWorker(server_.MmshUrl(list), name);
        worker->Start();
        // Some packets of the second entry have reached its file.
        const std::string secondFile = base_.File(name + "1.asf");
        const uint64_t somePackets = clip_.header.size() + 5 * clip_.packetSize;
        const bool receiving = WaitUntil(
            [&] { return worker->OutputPath() == secondFile && worker->BytesWritten() >= somePackets; }, kBound);
        worker->Stop();
        WaitForEnd(*worker);
        ASSERT_TRUE(receiving);
        EXPECT_TRUE(worker->StopFlag());
        EXPECT_EQ(worker->GetErrorText(), "");
        ExpectFinishedOnceAndLast();
        ExpectFile(name + "0.asf", RecordedFile(audio_));
        // The second keeps whole packets of the sample behind a header that
        // describes them.
        const Bytes got = ReadFileBytes(secondFile);
        ASSERT_GT(got.size(), clip_.header.size());
        const size_t packets = (got.size() - clip_.header.size()) / clip_.packetSize;
        EXPECT_GE(packets, 5u);
        EXPECT_LT(packets, clip_.packets.size());
        ExpectFile(name + "1.asf", RecordedFile(clip_, packets));
        EXPECT_FALSE(std::filesystem::exists(base_.File(name + "2.asf")));
        EXPECT_EQ(log_.Count(RecordStatus::Connecting, third), 0u);
    }
    EXPECT_EQ(RequestsFor("c.asf"), 0u);
}

// Stop while waiting for the server: the other protocol is not tried, nothing
// is created; a stopped playlist download keeps what came and is not followed.
TEST_F(WorkerTest, StopWhileWaitingForTheServer) {
    Serve(server_, "silent.asf", "clip.asf", {.neverSend = true});
    Serve(server_, "clip.asf", "clip.asf");
    const std::string list = Asx({"http://127.0.0.1:1/clip.asf"});
    // The body ends only when the connection does, which is held open.
    const testserver::HttpScript slow{.contentType = "video/x-ms-asf", .contentLength = false,
                                      .body = Bytes(list.begin(), list.end()), .holdOpen = true};
    server_.ServeScript("slow.asx", slow, slow);
    StartBoth();
    // The playlist has arrived: its file is there and its header reported
    // (what the server has sent may still be on its way).
    auto arrived = [&] {
        return std::filesystem::exists(base_.File("slow.asx")) && log_.Count(RecordStatus::HeaderReceived) == 1;
    };
    for (const std::string& url : {server_.MmsUrl("silent.asf"), server_.MmshUrl("silent.asf"),
                                   server_.MmshUrl("slow.asx")}) {
        SCOPED_TRACE(url);
        const bool playlist = url == server_.MmshUrl("slow.asx");
        const size_t before = Asked();
        auto worker = MakeWorker(url, "");
        worker->Start();
        // The server has been asked (and the playlist has arrived).
        const auto askedNow = [&] { return playlist ? arrived() : Asked() > before; };
        const bool asked = WaitUntil(askedNow, std::chrono::seconds(30));
        worker->Stop();
        WaitForEnd(*worker);
        ASSERT_TRUE(asked);
        EXPECT_TRUE(worker->StopFlag());
        EXPECT_EQ(log_.Count(RecordStatus::Connecting, url), 1u);
        EXPECT_EQ(log_.Count(RecordStatus::Connecting), 1u);
        EXPECT_EQ(log_.Count(RecordStatus::HeaderReceived), playlist ? 1u : 0u);
        EXPECT_EQ(base_.Names(), playlist ? std::vector<std::string>{"slow.asx"} : std::vector<std::string>{});
        ExpectFinishedOnceAndLast();
    }
    const Bytes got = ReadFileBytes(base_.File("slow.asx"));
    EXPECT_LE(got.size(), list.size());
    EXPECT_TRUE(std::equal(got.begin(), got.end(), list.begin()));
}

// Released while it waits for a silent server, and ever nearer the end of a
// stream: nothing is posted once Release returns, and each file is finished
// on the worker's own thread, its header made whole for what it holds.
TEST_F(WorkerTest, ReleasedWorkersFinishOnTheirOwn) {
    Serve(server_, "silent.asf", "clip.asf", {.neverSend = true});
    // Each release point is reached while the stream still runs.
    Serve(server_, "clip.asf", "clip.asf", {.pacing = testserver::Pacing::Realtime, .paceSpeed = 40});
    StartBoth();
    const size_t all = clip_.packets.size();
    const struct {
        std::string url;
        size_t releaseAfter;  // packets written (SIZE_MAX: once the server was asked)
    } rows[] = {{server_.MmsUrl("silent.asf"), SIZE_MAX}, {server_.MmshUrl("silent.asf"), SIZE_MAX},
                {server_.MmsUrl("clip.asf"), all / 2},    {server_.MmsUrl("clip.asf"), all - 1},
                {server_.MmsUrl("clip.asf"), all},        {server_.MmsUrl("clip.asf"), all}};
    for (size_t i = 0; i < std::size(rows); ++i) {
        SCOPED_TRACE(rows[i].url + " after " + std::to_string(rows[i].releaseAfter));
        const size_t asked = Asked();
        const uint64_t mark = clip_.header.size() + rows[i].releaseAfter * clip_.packetSize;
        auto worker = MakeWorker(rows[i].url, "r" + std::to_string(i));
        ASSERT_TRUE(worker->Start());
        EXPECT_FALSE(worker->Start());  // a second start is refused
        const auto releasePoint = [&] {
            if (rows[i].releaseAfter == SIZE_MAX) return Asked() > asked;
            return worker->BytesWritten() >= mark || worker->IsFinished();
        };
        ASSERT_TRUE(WaitUntil(releasePoint, kBound));
        CmmsThread::Release(std::move(worker));
        const size_t posted = log_.Events().size();
        ASSERT_TRUE(CmmsThread::WaitForReleasedWorkers(std::chrono::seconds(20)));
        EXPECT_EQ(log_.Events().size(), posted);
        const std::string name = "r" + std::to_string(i) + ".asf";
        if (rows[i].releaseAfter == SIZE_MAX) {
            EXPECT_FALSE(std::filesystem::exists(base_.File(name)));
            continue;
        }
        const Bytes got = ReadFileBytes(base_.File(name));
        const size_t packets = (got.size() - clip_.header.size()) / clip_.packetSize;
        EXPECT_GE(packets, rows[i].releaseAfter);
        // All packets in, released before the server's end: an early end too.
        const Bytes want = RecordedFile(clip_, packets), early = RecordedFile(clip_, packets, true);
        EXPECT_TRUE(got == want || got == early) << FirstDifference(got, want);
    }
}

}  // namespace
}  // namespace larkspan::e2e
