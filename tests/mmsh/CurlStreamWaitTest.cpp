// What waiting costs in the HTTP stream: a silent server sleeps the reader
// in libcurl's poll until the idle time-out, and a stop signalled from
// another thread ends the wait at once. The server is the loopback server on
// 127.0.0.1.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <thread>

#include "protocols/StreamErrors.h"
#include "protocols/WakeSignal.h"
#include "protocols/mmsh/CurlStream.h"
#include "tools/server/LoopbackServer.h"

namespace larkspan {
namespace {

using testserver::HttpScript;
using testserver::LoopbackServer;

// Three body bytes without a length, then the connection stays open and
// silent.
HttpScript BodyThenSilence() {
    HttpScript script;
    script.contentType = "application/octet-stream";
    script.contentLength = false;
    script.body = {'a', 'b', 'c'};
    script.holdOpen = true;
    return script;
}

// Sends the request to url and reads the three body bytes.
void Begin(CurlStream& stream, const std::string& url, CurlStream::SendResult sent) {
    ASSERT_TRUE(stream.Open());
    HttpRequest request;
    request.url = url;
    request.direct = true;
    ASSERT_EQ(stream.Send(request), sent);
    if (sent != CurlStream::SendResult::Ok) return;
    uint8_t body[3] = {};
    size_t got = 0;
    ASSERT_EQ(stream.Read(body, 3, got), ReadStatus::Ok);
}

// Where the wait happens: before the response headers, or in the body.
TEST(CurlStreamWait, SilentServerCostsAFewPollReturnsUpToTheIdleTimeOut) {
    testserver::StreamOptions silent;
    silent.neverSend = true;
    LoopbackServer server;
    server.ServeScript("headers.asf", BodyThenSilence(), BodyThenSilence(), silent);
    server.ServeScript("body.asf", BodyThenSilence(), BodyThenSilence());
    ASSERT_TRUE(server.StartMmsh());
    for (const auto& [path, sent] : {std::pair{"headers.asf", CurlStream::SendResult::TimedOut},
                                     std::pair{"body.asf", CurlStream::SendResult::Ok}}) {
        SCOPED_TRACE(path);
        WakeSignal wake;
        std::atomic<bool> stop{false};
        CurlStream stream(stop, 1, &wake);
        Begin(stream, server.MmshUrl(path), sent);
        if (sent == CurlStream::SendResult::Ok) {
            uint8_t more = 0;
            size_t got = 0;
            EXPECT_EQ(stream.Read(&more, 1, got), ReadStatus::TimedOut);
        }
        // Connecting and sending take a few rounds; waiting out the second
        // of silence in 50 ms slices would take twenty.
        EXPECT_LE(stream.PollReturns(), 6u);
    }
}

// The stop comes once libcurl's own timers (its connect time-out of 5 s
// included) have run out, so nothing but the wake signal can end the wait;
// a stop that comes before the wait begins ends it as well.
TEST(CurlStreamWait, StopSignalledFromAnotherThreadEndsAWaitWithoutTimeOut) {
    LoopbackServer server;
    server.ServeScript("body.asf", BodyThenSilence(), BodyThenSilence());
    ASSERT_TRUE(server.StartMmsh());
    WakeSignal wake;
    std::atomic<bool> stop{false};
    CurlStream stream(stop, 0, &wake);
    const auto sent = std::chrono::steady_clock::now();
    Begin(stream, server.MmshUrl("body.asf"), CurlStream::SendResult::Ok);
    const uint64_t before = stream.PollReturns();
    auto waiting = std::async(std::launch::async, [&] {
        uint8_t more = 0;
        size_t n = 0;
        return stream.Read(&more, 1, n);
    });
    std::this_thread::sleep_until(sent + std::chrono::milliseconds(kConnectTimeoutMs + 500));
    stop.store(true);
    wake.Signal();
    if (waiting.wait_for(std::chrono::seconds(20)) != std::future_status::ready) {
        server.Stop();  // ends the wait, so the test fails instead of hanging
        FAIL() << "the stop did not end the wait";
    }
    EXPECT_EQ(waiting.get(), ReadStatus::Stopped);
    // The signal's own return, and a few for libcurl's own timers; 50 ms
    // slices over the wait would take a hundred.
    EXPECT_LE(stream.PollReturns() - before, 4u);
}

}  // namespace
}  // namespace larkspan
