// The MMSH client against the loopback stream server: requests, files,
// authentication, answers that are no recording, early ends and limits,
// stopping (also a stop that ends the HTTP stream's wait).
#include <gtest/gtest.h>

#include <curl/curl.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <future>
#include <thread>

#include "protocols/StreamErrors.h"
#include "protocols/WakeSignal.h"
#include "protocols/mmsh/CurlStream.h"
#include "tests/mmsh/MmshTestUtil.h"

namespace larkspan::mmshtest {
namespace {

const std::string kGuidLine = "Pragma: xClientGUID={C7A8076C-B32C-64A9-6B9C-2B4B56B340B5}";

HttpScript Answer(int status, Bytes body = {}, bool raw = false, std::string reason = "") {
    HttpScript script;
    script.status = status;
    script.body = std::move(body);
    script.raw = raw;
    script.reason = std::move(reason);
    return script;
}

// The header counts in both exchanges, every packet with its padding.
TEST_F(MmshClientTest, OnDemandRecordingIsHeaderPlusPacketsAfterTheseRequests) {
    for (const auto& [sample, trimPadding] : {std::pair{"clip.asf", false}, std::pair{"clip.asf", true},
                                              std::pair{"bigpackets.asf", false}, std::pair{"bigpackets.asf", true}}) {
        SCOPED_TRACE(testing::Message() << sample << (trimPadding ? " trimmed" : ""));
        AsfFileParts parts;
        ASSERT_TRUE(testsupport::SplitAsfFile(samples_ + "/" + sample, parts));
        StreamOptions options;
        options.trimPadding = trimPadding;
        ASSERT_TRUE(server_.ServeFile(sample, samples_ + "/" + sample, options));
        server_.ClearRecords();
        EventLog sink;
        MmshClient client(1, settings_, &sink, nullptr);
        Bytes written;
        EXPECT_EQ(RecordTo(client, server_.MmshUrl(sample), &written),
                  2 * parts.header.size() + parts.packets.size() * parts.packetSize);
        EXPECT_EQ(written, testsupport::RecordedFile(parts));
        EXPECT_EQ(sink.errors, Errors{});
        const uint32_t duration = ExpectedDurationMs(parts);
        EXPECT_EQ(sink.headerDurations, (std::vector<int>{0, int(duration)}));
        ASSERT_EQ(sink.progressEvents.size(), parts.packets.size());
        uint32_t last = 0;
        ASSERT_TRUE(testsupport::LargestSendTime(parts, last));
        EXPECT_EQ(sink.progressEvents.back().timeMs, last);
        EXPECT_EQ(sink.progressEvents.back().progress, int(uint64_t(last) * 10000 / duration));

        const auto requests = server_.HttpRequests();
        ASSERT_EQ(requests.size(), 2u);
        const std::vector<std::string> describe = {
            "User-Agent: NSPlayer/4.1.0.3856", "Host: 127.0.0.1",
            "Pragma: no-cache,rate=1.000000,stream-time=0,stream-offset=0:0,request-context=1,max-duration=0",
            kGuidLine, "Connection: Close"};
        const std::vector<std::string> play = {
            "User-Agent: NSPlayer/4.1.0.3856", "Host: 127.0.0.1",
            "Pragma: no-cache,rate=1.000000,stream-time=0,stream-offset=4294967295:4294967295,request-context=2,"
            "max-duration=" + std::to_string(duration),
            "Pragma: xPlayStrm=1", kGuidLine, "Pragma: stream-switch-count=1", "Pragma: stream-switch-entry=ffff:1:0",
            "Connection: Close"};
        for (const auto& r : requests) EXPECT_EQ(r.requestLine, "GET /" + std::string(sample) + " HTTP/1.0");
        EXPECT_EQ(requests[0].headerLines, describe);
        EXPECT_EQ(requests[1].headerLines, play);
        EXPECT_EQ(requests[1].rawHead.substr(requests[1].rawHead.size() - 21), "Connection: Close\r\n\r\n");
    }
}

// Typed answers the server turns down are said to be refused before the
// question comes again, three times at most; the last good ones are kept
// for the play request.
TEST_F(MmshClientTest, CredentialsAreAskedForUntilTheServerTakesThem) {
    StreamOptions options;
    options.user = "alice";
    options.password = "s3cret:x";
    ASSERT_TRUE(server_.ServeFile("clip.asf", samples_ + "/clip.asf", options));
    struct Row {
        const char* name;
        std::vector<std::string> answers;  // "" declines
        size_t refused;
        std::vector<int> statuses;
        std::vector<bool> withAuth;
    } rows[] = {
        {"declined", {""}, 0, {401}, {false}},
        {"three wrong", {"a", "b", "c", "s3cret:x"}, 3, {401, 401, 401, 401}, {false, true, true, true}},
        {"wrong, then right", {"wrong", "s3cret:x"}, 1, {401, 401, 200, 401, 200}, {false, true, true, false, true}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        server_.ClearRecords();
        ScriptedPrompt prompt(row.answers);
        EventLog sink;
        MmshClient client(1, settings_, &sink, &prompt);
        Bytes written;
        RecordTo(client, server_.MmshUrl("clip.asf"), &written);
        const bool recorded = row.statuses.back() == 200;
        EXPECT_EQ(written, recorded ? testsupport::RecordedFile(clip_) : Bytes{});
        EXPECT_EQ(sink.errors, recorded ? Errors{} : Errors{"Not Found: HTTP 401 Unauthorized"});
        EXPECT_EQ(prompt.asked, std::min<size_t>(row.answers.size(), 3));
        EXPECT_EQ(prompt.sites, std::vector<std::string>(prompt.asked, "127.0.0.1"));
        EXPECT_EQ(prompt.refusedSites, std::vector<std::string>(row.refused, "127.0.0.1"));
        // Re-sent requests carry the same lines as the first, and the answer.
        std::vector<int> statuses;
        std::vector<bool> withAuth;
        for (const auto& r : server_.HttpRequests()) {
            statuses.push_back(r.status);
            std::vector<std::string> lines;
            for (const auto& line : r.headerLines) {
                if (line.rfind("Authorization: Basic ", 0) != 0) lines.push_back(line);
            }
            withAuth.push_back(lines.size() < r.headerLines.size());
            EXPECT_EQ(lines, r.play ? MmshClient::PlayHeaders("127.0.0.1", ExpectedDurationMs(clip_))
                                    : MmshClient::DescribeHeaders("127.0.0.1"));
        }
        EXPECT_EQ(statuses, row.statuses);
        EXPECT_EQ(withAuth, row.withAuth);
    }
}

// Answers that give no recording: nothing is written, the cause is told,
// and no play request follows.
TEST_F(MmshClientTest, AnswersThatAreNoRecording) {
    const Bytes headerChunk = MakeChunk('H', clip_.header, 0x0C);
    HeaderValues noFileProperties = StreamHeader();
    noFileProperties.withFileProperties = false;
    const int gone = [] {
        LoopbackServer closed;
        return closed.StartMmsh() ? closed.MmshPort() : 0;
    }();
    struct Row {
        const char* path;
        std::optional<HttpScript> describe;
        std::string error;
    } rows[] = {
        {"missing.asf", std::nullopt, "Not Found: HTTP 404 Not Found"},
        {"error.asf", Answer(500), "Not Found: HTTP 500 Internal Server Error"},
        {"busy.asf", Answer(503, {}, false, "Too Busy Today"), "Not Found: HTTP 503 Too Busy Today"},
        {"nothttp.asf", Answer(200, Text("SSH-2.0-Other\r\n\r\nnothing of HTTP here\r\n"), true),
         "request error: not an HTTP response"},
        {"nothing.asf", Answer(200, {}, true), "request error: the server closed the connection without an answer"},
        {"nofp.asf", Answer(200, MakeChunk('H', MakeHeader(noFileProperties), 0x0C)),
         "Unable to parse this ASF header!"},
        {"cut.asf", Answer(200, Bytes(headerChunk.begin(), headerChunk.begin() + 7)), "read error"},
        {"page", std::nullopt, "not a stream: the server sent text/html"},
        {"locked.asf", std::nullopt, "Not Found: HTTP 401 Unauthorized"},
    };
    server_.ServeBody("page", Text("<html><body>No stream here</body></html>\n"), "text/html; charset=utf-8");
    StreamOptions locked;
    locked.user = "alice";
    ASSERT_TRUE(server_.ServeFile("locked.asf", samples_ + "/clip.asf", locked));
    for (const Row& row : rows) {
        SCOPED_TRACE(row.path);
        if (row.describe) server_.ServeScript(row.path, row.describe, std::nullopt);
        server_.ClearRecords();
        EventLog sink;
        MmshClient client(1, settings_, &sink, nullptr);
        const std::string path = dir_.File(row.path);
        OutputFile file;
        ASSERT_TRUE(file.CreateReplacing(path));
        EXPECT_EQ(client.Record(&file, server_.MmshUrl(row.path)), 0u);
        EXPECT_TRUE(file.Close());
        EXPECT_FALSE(std::filesystem::exists(path));
        EXPECT_EQ(sink.errors, Errors{row.error});
        EXPECT_EQ(server_.HttpRequests().size(), 1u);
    }
    EventLog sink;
    MmshClient client(1, settings_, &sink, nullptr);
    EXPECT_EQ(RecordTo(client, "http://127.0.0.1:" + std::to_string(gone) + "/a.asf"), 0u);
    EXPECT_EQ(sink.errors, Errors{"connect error: connection refused"});
    if (!(curl_version_info(CURLVERSION_NOW)->features & CURL_VERSION_SSL)) return;
    // TLS to a plain port: the rest is the TLS library's own account.
    MmshClient tls(1, settings_, &sink, nullptr);
    EXPECT_EQ(RecordTo(tls, "https://127.0.0.1:" + std::to_string(server_.MmshPort()) + "/page"), 0u);
    ASSERT_EQ(sink.errors.size(), 2u);
    EXPECT_EQ(sink.errors[1].rfind("connect error: TLS handshake failed (", 0), 0u) << sink.errors[1];
    EXPECT_EQ(sink.errors[1].back(), ')');
}

// A stream that ends before its $E keeps what did arrive, whole packets
// only, and the file's header describes them. The size limit counts the
// describe exchange's header too.
TEST_F(MmshClientTest, StreamsThatEndEarly) {
    const size_t toTwoMiB = (2 * 1048576 - 2 * clip_.header.size() + clip_.packetSize - 1) / clip_.packetSize;
    struct Row {
        const char* name;
        std::function<void(StreamOptions&, RecorderSettings&)> fault;
        size_t packets;
        std::string error;
    } rows[] = {
        {"closed after 10", [](auto& o, auto&) { o.dropAfterPackets = 10; }, 10, ClosedEarlyText(10)},
        {"closed after 1", [](auto& o, auto&) { o.dropAfterPackets = 1; }, 1, ClosedEarlyText(1)},
        {"closed after 0", [](auto& o, auto&) { o.dropAfterPackets = 0; }, 0, ClosedEarlyText(0)},
        {"closed inside packet 11", [](auto& o, auto&) { o.dropAfterPackets = 10, o.dropMidChunk = true; }, 10,
         "read error"},
        {"reset after 10", [](auto& o, auto&) { o.dropAfterPackets = 10, o.resetOnDrop = true; }, 10,
         "read error: connection reset"},
        {"stalled after 5", [](auto& o, auto&) { o.stallAfterPackets = 5; }, 5, IdleTimeoutText(1)},
        {"silent", [](auto& o, auto&) { o.neverSend = true; }, SIZE_MAX, IdleTimeoutText(1)},
        {"size limit of 2 MiB, without end", [](auto& o, auto& s) { o.repeat = 0, s.sizePolicy = 1, s.maxSize = 2; },
         toTwoMiB, ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        StreamOptions options;
        RecorderSettings settings = settings_;
        settings.idleTimeout = 1;
        row.fault(options, settings);
        ASSERT_TRUE(server_.ServeFile("clip.asf", samples_ + "/clip.asf", options));
        EventLog sink;
        MmshClient client(1, settings, &sink, nullptr);
        Bytes written;
        const uint32_t result = RecordTo(client, server_.MmshUrl("clip.asf"), &written);
        EXPECT_EQ(sink.errors, row.error.empty() ? Errors{} : Errors{row.error});
        if (row.packets == SIZE_MAX) {
            EXPECT_EQ(result, 0u);
            EXPECT_EQ(written, Bytes{});
            continue;
        }
        // A reset may throw away packets still on their way.
        const size_t packets =
            options.resetOnDrop ? (written.size() - clip_.header.size()) / clip_.packetSize : row.packets;
        EXPECT_LE(packets, row.packets);
        EXPECT_EQ(written.size(), clip_.header.size() + packets * clip_.packetSize);
        EXPECT_EQ(result, 2 * clip_.header.size() + packets * clip_.packetSize);
        if (packets <= clip_.packets.size()) {
            EXPECT_EQ(written, testsupport::RecordedFile(clip_, packets));
        }
    }
}

// The play answer carries the header again; the describe answer's may be
// cut short, and then no duration goes with the play request (nor one left
// from the client's last stream).
TEST_F(MmshClientTest, DescribeAnswerCutShortStillPlays) {
    const Bytes headerChunk = MakeChunk('H', clip_.header, 0x0C);
    StreamOptions cut;
    cut.describeScript = Answer(200, Bytes(headerChunk.begin(), headerChunk.begin() + headerChunk.size() / 2));
    cut.describeScript->contentLength = false;
    ASSERT_TRUE(server_.ServeFile("cut.asf", samples_ + "/clip.asf", cut));
    ASSERT_TRUE(server_.ServeFile("clip.asf", samples_ + "/clip.asf"));
    MmshClient client(1, settings_, &sink_, nullptr);
    ASSERT_GT(RecordTo(client, server_.MmshUrl("clip.asf")), 0u);
    server_.ClearRecords();
    Bytes written;
    EXPECT_EQ(RecordTo(client, server_.MmshUrl("cut.asf"), &written),
              clip_.header.size() + clip_.packets.size() * clip_.packetSize);
    EXPECT_EQ(written, testsupport::RecordedFile(clip_));
    EXPECT_EQ(sink_.errors, Errors{});
    const int duration = int(ExpectedDurationMs(clip_));
    EXPECT_EQ(sink_.headerDurations, (std::vector<int>{0, duration, 0, 0}));
    const auto requests = server_.HttpRequests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[1].headerLines, MmshClient::PlayHeaders("127.0.0.1", 0));
}

// A plain body is copied whole in one exchange; a page is no recording but
// may be fetched as a meta file.
TEST_F(MmshClientTest, PlainBodiesAreCopiedWholeWithoutAPlayRequest) {
    std::string text = "<ASX version=\"3.0\">\r\n<Entry><Ref href=\"mms://127.0.0.1/a.asf\"/></Entry>\r\n</ASX>\r\n";
    while (text.size() < 20000) text += "<!-- padding line for a multi-block body -->\r\n";
    server_.ServeBody("list.asx", Text(text), "video/x-ms-asf", false);
    MmshClient list(1, settings_, &sink_, nullptr);
    Bytes written;
    EXPECT_EQ(RecordTo(list, server_.MmshUrl("list.asx"), &written), text.size());
    EXPECT_EQ(written, Text(text));
    EXPECT_TRUE(list.BodyWasPlaylist());
    EXPECT_EQ(server_.HttpRequests().size(), 1u);
    const std::string page = "<html><body>No stream here</body></html>\n";
    server_.ServeBody("page", Text(page), "text/html");
    OutputFile file;
    ASSERT_TRUE(file.Create(dir_.File("page")));
    MmshClient client(1, settings_, &sink_, nullptr);
    EXPECT_EQ(client.Fetch(&file, server_.MmshUrl("page")), page.size());
    EXPECT_TRUE(file.Close());
    EXPECT_EQ(ReadFileBytes(dir_.File("page")), Text(page));
    EXPECT_EQ(sink_.errors, Errors{});
}

// Without a file both exchanges run and only the headers count. The port
// written in an http URL is used; without one, or in an mms URL (whose port
// is the other protocol's), it is 80.
TEST_F(MmshClientTest, PortsAndRecordingWithoutAFile) {
    ASSERT_TRUE(server_.ServeFile("clip.asf", samples_ + "/clip.asf"));
    const int port = server_.MmshPort();
    MmshClient client(1, settings_, &sink_, nullptr);
    const std::string url = "http://127.0.0.1:" + std::to_string(port) + "/clip.asf";
    EXPECT_EQ(RecordTo(client, url, nullptr, false), 2 * clip_.header.size());
    EXPECT_EQ(sink_.progressEvents.size(), clip_.packets.size());
    EXPECT_EQ(sink_.connecting, (std::vector<std::pair<std::string, int>>{{url, port}, {url, port}}));
    EXPECT_EQ(server_.HttpRequests().size(), 2u);
    const std::string noPort = "http://127.0.0.1/x.asf", mms = "mms://127.0.0.1:" + std::to_string(port) + "/x";
    for (const std::string& url : {noPort, mms}) {
        EventLog sink;
        MmshClient other(1, settings_, &sink, nullptr);
        RecordTo(other, url, nullptr, false);
        EXPECT_EQ(sink.connecting.at(0), std::pair(url, 80));
    }
    EXPECT_EQ(server_.HttpRequests().size(), 2u);
}

TEST_F(MmshClientTest, StopEndsARecordingBetweenPackets) {
    StreamOptions options;
    options.pacing = testserver::Pacing::Realtime;  // 20 s of packets at their own pace
    ASSERT_TRUE(server_.ServeFile("clip.asf", samples_ + "/clip.asf", options));
    MmshClient client(1, settings_, &sink_, nullptr);
    Bytes written;
    auto done = std::async(std::launch::async, [&] { return RecordTo(client, server_.MmshUrl("clip.asf"), &written); });
    ASSERT_TRUE(server_.WaitForHttpRequests(2, std::chrono::seconds(20)));
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    client.Stop();
    ASSERT_EQ(done.wait_for(std::chrono::seconds(20)), std::future_status::ready);
    const size_t packets = (done.get() - 2 * clip_.header.size()) / clip_.packetSize;
    EXPECT_LT(packets, clip_.packets.size());
    EXPECT_EQ(written, testsupport::RecordedFile(clip_, packets));
    EXPECT_EQ(sink_.errors, Errors{});
}

TEST_F(MmshClientTest, FullDiskIsAFileWriteError) {
    if (access("/dev/full", W_OK) != 0) GTEST_SKIP() << "no /dev/full";
    ASSERT_TRUE(server_.ServeFile("clip.asf", samples_ + "/clip.asf"));
    server_.ServeBody("small", Text("[Reference]\r\n" + std::string(87, ' ')), "text/plain");
    for (const char* path : {"clip.asf", "small"}) {
        SCOPED_TRACE(path);
        EventLog sink;
        MmshClient client(1, settings_, &sink, nullptr);
        OutputFile file;
        ASSERT_TRUE(file.OpenExisting("/dev/full"));
        client.Record(&file, server_.MmshUrl(path));
        EXPECT_EQ(sink.errors, Errors{"File Write Error: No space left on device"});
        EXPECT_TRUE(client.WriteFailed());
        file.Close();
    }
}

// The stop comes once libcurl's own timers (its connect time-out of 5 s
// included) have run out, so nothing but the wake signal can end the wait;
// a stop that comes before the wait begins ends it as well.
TEST_F(MmshClientTest, CurlStreamStopSignalledFromAnotherThreadEndsAWaitWithoutTimeOut) {
    HttpScript script = Answer(200, {'a', 'b', 'c'});  // without a length, then silence
    script.contentLength = false;
    script.holdOpen = true;
    server_.ServeScript("body.asf", script, script);
    WakeSignal wake;
    wake.Signal();  // a stop taken back before the request: left over, it must not make every wait return
    std::atomic<bool> stop{false};
    CurlStream stream(stop, 0, &wake);
    const auto sent = std::chrono::steady_clock::now();
    ASSERT_TRUE(stream.Open());
    HttpRequest request;
    request.url = server_.MmshUrl("body.asf");
    request.direct = true;
    ASSERT_EQ(stream.Send(request), CurlStream::SendResult::Ok);
    uint8_t body[3] = {};
    size_t got = 0;
    ASSERT_EQ(stream.Read(body, 3, got), ReadStatus::Ok);
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
        server_.Stop();  // ends the wait, so the test fails instead of hanging
        FAIL() << "the stop did not end the wait";
    }
    EXPECT_EQ(waiting.get(), ReadStatus::Stopped);
    // The signal's own return, and a few for libcurl's own timers; 50 ms
    // slices over the wait would take a hundred.
    EXPECT_LE(stream.PollReturns() - before, 4u);
}

}  // namespace
}  // namespace larkspan::mmshtest
