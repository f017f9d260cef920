// What waiting costs in the HTTP stream: a silent server sleeps the reader
// in libcurl's poll until the idle time-out, and a stop signalled from
// another thread ends the wait at once. The server is the loopback server on
// 127.0.0.1.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <thread>

#include "protocols/WakeSignal.h"
#include "protocols/mmsh/CurlStream.h"
#include "tools/server/LoopbackServer.h"

namespace larkspan {
namespace {

using testserver::HttpScript;
using testserver::LoopbackServer;
using testserver::StreamOptions;

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

HttpRequest RequestFor(const std::string& url) {
    HttpRequest request;
    request.url = url;
    request.direct = true;
    return request;
}

// Where the wait happens: before the response headers, or in the body.
TEST(CurlStreamWait, SilentServerCostsAFewPollReturnsUpToTheIdleTimeOut) {
    StreamOptions silent;
    silent.neverSend = true;
    LoopbackServer server;
    server.ServeScript("headers.asf", BodyThenSilence(), BodyThenSilence(), silent);
    server.ServeScript("body.asf", BodyThenSilence(), BodyThenSilence());
    ASSERT_TRUE(server.StartMmsh());

    struct Case {
        const char* name;
        const char* path;
        CurlStream::SendResult sent;
    };
    const Case cases[] = {
        {"no response headers", "headers.asf", CurlStream::SendResult::TimedOut},
        {"body bytes, then nothing", "body.asf", CurlStream::SendResult::Ok},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WakeSignal wake;
        std::atomic<bool> stop{false};
        CurlStream stream(stop, 1, &wake);
        ASSERT_TRUE(stream.Open());
        ASSERT_EQ(stream.Send(RequestFor(server.MmshUrl(c.path))), c.sent);
        if (c.sent == CurlStream::SendResult::Ok) {
            uint8_t body[3] = {};
            size_t got = 0;
            ASSERT_EQ(stream.Read(body, 3, got), ReadStatus::Ok);
            uint8_t more = 0;
            EXPECT_EQ(stream.Read(&more, 1, got), ReadStatus::TimedOut);
        }
        // Connecting and sending take a few rounds; waiting out the second
        // of silence in 50 ms slices would take twenty.
        EXPECT_LE(stream.PollReturns(), 6u);
    }
}

TEST(CurlStreamWait, StopSignalledFromAnotherThreadEndsAWaitWithoutTimeOut) {
    LoopbackServer server;
    server.ServeScript("body.asf", BodyThenSilence(), BodyThenSilence());
    ASSERT_TRUE(server.StartMmsh());
    WakeSignal wake;
    std::atomic<bool> stop{false};
    CurlStream stream(stop, 0, &wake);
    ASSERT_TRUE(stream.Open());
    ASSERT_EQ(stream.Send(RequestFor(server.MmshUrl("body.asf"))), CurlStream::SendResult::Ok);
    uint8_t body[3] = {};
    size_t got = 0;
    ASSERT_EQ(stream.Read(body, 3, got), ReadStatus::Ok);
    const uint64_t before = stream.PollReturns();
    auto waiting = std::async(std::launch::async, [&] {
        uint8_t more = 0;
        size_t n = 0;
        return stream.Read(&more, 1, n);
    });
    // Gives the wait time to begin; a stop that comes first ends it as well.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    stop.store(true);
    wake.Signal();
    ASSERT_EQ(waiting.wait_for(std::chrono::seconds(20)), std::future_status::ready);
    EXPECT_EQ(waiting.get(), ReadStatus::Stopped);
    // The signal's own return, and at most two of libcurl's own right after
    // the transfer began; 50 ms slices over the wait would take six.
    EXPECT_LE(stream.PollReturns() - before, 3u);
}

}  // namespace
}  // namespace larkspan
