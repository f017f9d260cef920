// The change of protocol: a reference whose first client records nothing is
// recorded by the other one into the same file, and the first client's
// failure is no longer shown; when both fail, both failures are shown, the
// first attempt's first. The second client goes to its own well-known port
// (the port in the URL belongs to the first), so rows that need 80 or 1755
// are left out when those cannot be had.
#include "tests/recorder/E2eSupport.h"

namespace larkspan::e2e {
namespace {

using testserver::Protocol;

enum class First { Refuses, NobodyListens };          // how the first protocol fails
enum class Second { Serves, SendsNothing, Refused };  // what the well-known port of the other does

TEST_F(WorkerTest, FallbackToTheOtherProtocol) {
    const std::string refused = "connect failed !!: connection refused";
    const std::string httpRefused = "connect error: connection refused";
    const struct Row {
        const char* name;
        const char* scheme;
        First first;
        Second second;
        std::string error;  // empty: the other protocol recorded the file
        size_t connecting;
    } rows[] = {
        {"http, 404, then MMS", "http", First::Refuses, Second::Serves, "", 2},
        {"http, nobody, then MMS", "http", First::NobodyListens, Second::Serves, "", 2},
        {"mms, no such file, then MMSH", "mms", First::Refuses, Second::Serves, "", 3},
        {"mms, nobody, then MMSH", "mms", First::NobodyListens, Second::Serves, "", 3},
        {"http, 404, MMS silent", "http", First::Refuses, Second::SendsNothing,
         "MMSH: Not Found: HTTP 404 Not Found; MMS: nothing recorded", 2},
        {"mms, both refused", "mms", First::NobodyListens, Second::Refused,
         "MMS: " + refused + "; MMSH: " + httpRefused, 2},
        {"http, both refused", "http", First::NobodyListens, Second::Refused,
         "MMSH: " + httpRefused + "; MMS: " + refused, 2},
        // MMS is never tried for HTTP over TLS.
        {"https, nobody", "https", First::NobodyListens, Second::Refused, httpRefused, 1},
    };
    for (size_t i = 0; i < std::size(rows); ++i) {
        const Row& row = rows[i];
        SCOPED_TRACE(row.name);
        const bool http = std::string(row.scheme) != "mms";
        // Declared in this order so that both servers stop listening before
        // the ports are let go.
        WellKnownPortsLock lock;
        testserver::LoopbackServer wellKnown, refuser;
        ClosedPort nobody;
        std::unique_ptr<ClosedPort> closed80, closed1755;
        std::string error;
        if (row.second == Second::Refused) {
            closed80 = CloseFixedPort(80);
            closed1755 = CloseFixedPort(1755);
            ASSERT_TRUE(closed80 && closed1755) << "ports 80 and 1755 stay taken";
        } else {
            Serve(wellKnown, "clip.asf", "clip.asf", {.noHeader = row.second == Second::SendsNothing});
            ASSERT_TRUE(StartOnPort(wellKnown, http ? Protocol::Mms : Protocol::Mmsh, http ? 1755 : 80, error))
                << error;
        }
        uint16_t port = nobody.Port();
        if (row.first == First::Refuses) {
            ASSERT_TRUE(http ? refuser.StartMmsh(0, &error) : refuser.StartMms(0, &error)) << error;
            port = http ? refuser.MmshPort() : refuser.MmsPort();
        }
        const std::string url = std::string(row.scheme) + "://127.0.0.1:" + std::to_string(port) + "/clip.asf";
        const std::string name = "f" + std::to_string(i);
        auto worker = MakeWorker(url, name);
        Run(*worker);

        EXPECT_EQ(worker->ErrorFlag(), !row.error.empty());
        EXPECT_EQ(worker->GetErrorText(), row.error);
        EXPECT_EQ(std::filesystem::exists(base_.File(name + ".asf")), row.error.empty());
        if (row.error.empty()) ExpectFile(name + ".asf", RecordedFile(clip_));
        EXPECT_EQ(log_.Count(RecordStatus::Connecting, url), row.connecting);
        if (row.first == First::Refuses && http) {
            ASSERT_EQ(refuser.HttpRequests().size(), 1u);
            EXPECT_EQ(refuser.HttpRequests()[0].status, 404);
        }
        if (row.second == Second::Serves && !http) {
            // MMSH asks for the header, then for the stream.
            const auto requests = wellKnown.HttpRequests();
            ASSERT_EQ(requests.size(), 2u);
            EXPECT_FALSE(requests[0].play);
            EXPECT_TRUE(requests[1].play);
        }
        ExpectFinishedOnceAndLast();
    }
}

}  // namespace
}  // namespace larkspan::e2e
