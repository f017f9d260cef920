// The change of protocol: a reference whose first client records nothing is
// recorded by the other one into the same file, and the first client's
// failure is no longer shown. The second client goes to its own well-known
// port (the port written in the URL belongs to the first), so these tests
// listen on 1755 or 80 and are skipped when that cannot be had.
#include <gtest/gtest.h>

#include "tests/recorder/WorkerFixture.h"

namespace larkspan::e2e {
namespace {

using testsupport::ReadFileBytes;
using testserver::Protocol;

// How the first protocol fails: a server that answers but lacks the stream,
// or nothing listening at all.
enum class FirstFails { Refuses, NobodyListens };

std::string Name(const ::testing::TestParamInfo<FirstFails>& info) {
    return info.param == FirstFails::Refuses ? "ServerRefuses" : "NobodyListens";
}

class WorkerFallback : public WorkerTest, public ::testing::WithParamInterface<FirstFails> {
protected:
    // The first protocol's port for this case.
    uint16_t FirstPort(Protocol protocol) {
        if (GetParam() == FirstFails::NobodyListens) return nobody_.Port();
        std::string error;
        const bool ok = protocol == Protocol::Mmsh ? refuser_.StartMmsh(0, &error) : refuser_.StartMms(0, &error);
        EXPECT_TRUE(ok) << error;
        return protocol == Protocol::Mmsh ? refuser_.MmshPort() : refuser_.MmsPort();
    }

    // Declared in this order so that both servers have stopped listening
    // before the lock is let go.
    WellKnownPortsLock portsLock_;
    testserver::LoopbackServer wellKnown_;  // the stream, on 1755 or 80
    testserver::LoopbackServer refuser_;    // serves nothing
    ClosedPort nobody_;                     // refuses connections
};

TEST_P(WorkerFallback, HttpReferenceOnlyServedOverMms) {
    Serve(wellKnown_, "clip.asf", "clip.asf");
    std::string error;
    if (!StartOnPort(wellKnown_, Protocol::Mms, 1755, error)) GTEST_SKIP() << "port 1755 not available: " << error;
    const uint16_t port = FirstPort(Protocol::Mmsh);
    ASSERT_NE(port, 0);
    const std::string url = "http://127.0.0.1:" + std::to_string(port) + "/clip.asf";

    auto worker = MakeWorker(url, "");
    Run(*worker);

    EXPECT_FALSE(worker->ErrorFlag());
    EXPECT_EQ(worker->GetErrorText(), "");
    const Bytes got = ReadFileBytes(base_.File("clip.asf"));
    const Bytes want = RecordedFile(clip_);
    EXPECT_TRUE(got == want) << FirstDifference(got, want);
    EXPECT_EQ(base_.Names(), std::vector<std::string>{"clip.asf"});

    if (GetParam() == FirstFails::Refuses) {
        const auto requests = refuser_.HttpRequests();
        ASSERT_EQ(requests.size(), 1u);
        EXPECT_EQ(requests[0].status, 404);
    }
    bool opened = false;
    for (const auto& c : wellKnown_.MmsCommands()) opened |= c.name == "OpenFile";
    EXPECT_TRUE(opened);
    // MMSH once (its describe failed), then MMS once.
    EXPECT_EQ(log_.ConnectingTo(url), 2u);
    ExpectFinishedOnceAndLast();
}

TEST_P(WorkerFallback, MmsReferenceOnlyServedOverMmsh) {
    Serve(wellKnown_, "clip.asf", "clip.asf");
    std::string error;
    if (!StartOnPort(wellKnown_, Protocol::Mmsh, 80, error)) GTEST_SKIP() << "port 80 not available: " << error;
    const uint16_t port = FirstPort(Protocol::Mms);
    ASSERT_NE(port, 0);
    const std::string url = "mms://127.0.0.1:" + std::to_string(port) + "/clip.asf";

    auto worker = MakeWorker(url, "");
    Run(*worker);

    EXPECT_FALSE(worker->ErrorFlag());
    EXPECT_EQ(worker->GetErrorText(), "");
    const Bytes got = ReadFileBytes(base_.File("clip.asf"));
    const Bytes want = RecordedFile(clip_);
    EXPECT_TRUE(got == want) << FirstDifference(got, want);

    if (GetParam() == FirstFails::Refuses) {
        bool opened = false;
        for (const auto& c : refuser_.MmsCommands()) opened |= c.name == "OpenFile";
        EXPECT_TRUE(opened);
    }
    const auto requests = wellKnown_.HttpRequests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_FALSE(requests[0].play);
    EXPECT_TRUE(requests[1].play);
    EXPECT_EQ(log_.ConnectingTo(url), 3u);  // MMS, then the two MMSH requests
    ExpectFinishedOnceAndLast();
}

INSTANTIATE_TEST_SUITE_P(FirstProtocol, WorkerFallback,
                         ::testing::Values(FirstFails::Refuses, FirstFails::NobodyListens), Name);

// When neither protocol records anything, the failure of each is shown,
// the first attempt's first.
struct BothFail {
    const char* name;
    const char* scheme;
    const char* expected;
};

void PrintTo(const BothFail& c, std::ostream* os) { *os << c.name; }

class WorkerBothFail : public WorkerTest, public ::testing::WithParamInterface<BothFail> {};

TEST_P(WorkerBothFail, ShowsBothFailures) {
    WellKnownPortsClosed ports;
    if (!ports.Held()) GTEST_SKIP() << "ports 80 and 1755 stay taken";
    ClosedPort nowhere;
    ASSERT_TRUE(nowhere.Held());
    const std::string url =
        std::string(GetParam().scheme) + "://127.0.0.1:" + std::to_string(nowhere.Port()) + "/x.asf";
    auto worker = MakeWorker(url, "");
    Run(*worker);
    EXPECT_TRUE(worker->ErrorFlag());
    EXPECT_EQ(worker->GetErrorText(), GetParam().expected);
    EXPECT_TRUE(base_.Names().empty());
    ExpectFinishedOnceAndLast();
}

INSTANTIATE_TEST_SUITE_P(
    FirstProtocol, WorkerBothFail,
    ::testing::Values(BothFail{"MmsFirst", "mms",
                               "MMS: connect failed !!: connection refused; MMSH: connect error: connection refused"},
                      BothFail{"MmshFirst", "http",
                               "MMSH: connect error: connection refused; MMS: connect failed !!: connection refused"}),
    [](const auto& info) { return std::string(info.param.name); });

// A second protocol that records nothing without a word is named beside
// the first one's failure.
TEST_F(WorkerTest, SilentSecondProtocolIsNamedBesideTheFirstFailure) {
    WellKnownPortsLock lock;
    testserver::LoopbackServer mms;  // stops listening before the lock is let go
    testserver::StreamOptions headless;
    headless.noHeader = true;
    Serve(mms, "gone.asf", "clip.asf", headless);
    std::string error;
    if (!StartOnPort(mms, Protocol::Mms, 1755, error)) GTEST_SKIP() << "port 1755 not available: " << error;
    StartBoth();  // serves nothing: 404
    auto worker = MakeWorker(server_.MmshUrl("gone.asf"), "");
    Run(*worker);
    EXPECT_TRUE(worker->ErrorFlag());
    EXPECT_EQ(worker->GetErrorText(), "MMSH: Not Found: HTTP 404 Not Found; MMS: nothing recorded");
    EXPECT_TRUE(base_.Names().empty());
    ExpectFinishedOnceAndLast();
}

// "https:" is HTTP over TLS: MMS is never tried for it, so its failure is
// the HTTP client's alone.
TEST_F(WorkerTest, HttpsIsRecordedOverMmshOnly) {
    ClosedPort nowhere;
    ASSERT_TRUE(nowhere.Held());
    const std::string url = "https://127.0.0.1:" + std::to_string(nowhere.Port()) + "/clip.asf";
    auto worker = MakeWorker(url, "");
    Run(*worker);
    EXPECT_TRUE(worker->ErrorFlag());
    EXPECT_EQ(worker->GetErrorText(), "connect error: connection refused");
    EXPECT_EQ(log_.ConnectingTo(url), 1u);
    ExpectFinishedOnceAndLast();
}

}  // namespace
}  // namespace larkspan::e2e
