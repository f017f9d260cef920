// The MMSH client against servers that fail it: silence, closes before the
// end of the stream, pages that are not streams, the failure texts and their
// causes, refused credentials, a describe answer cut short.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <future>
#include <string>
#include <vector>

#include <curl/curl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "asf/OutputFile.h"
#include "protocols/StreamErrors.h"
#include "protocols/mmsh/MmshClient.h"
#include "tests/mmsh/MmshClientFixture.h"

namespace larkspan::mmshtest {
namespace {

// A loopback port nothing listens on.
uint16_t UnusedPort() {
    int s = ::socket(AF_INET, SOCK_STREAM, 0);
    EXPECT_GE(s, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    EXPECT_EQ(::bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    socklen_t len = sizeof addr;
    EXPECT_EQ(::getsockname(s, reinterpret_cast<sockaddr*>(&addr), &len), 0);
    ::close(s);
    return ntohs(addr.sin_port);
}

std::vector<uint8_t> Bytes(const std::string& text) { return std::vector<uint8_t>(text.begin(), text.end()); }

TEST_F(MmshClientTest, SilentServerEndsTheRecordingAfterTheIdleTimeOut) {
    AsfFileParts parts;
    Load("clip.asf", parts);
    StreamOptions silent;
    silent.neverSend = true;  // not even the response headers
    StreamOptions stalled;
    stalled.stallAfterPackets = 5;
    struct Case {
        const char* name;
        StreamOptions options;
        std::vector<uint8_t> file;
        uint32_t result;
    };
    const Case cases[] = {
        {"silent", silent, {}, 0},
        {"stalled after 5 packets", stalled, ExpectedRecording(parts, 5),
         uint32_t(2 * parts.header.size() + 5 * parts.packetSize)},
    };
    Start();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(server_.ServeFile("idle.asf", samples_ + "/clip.asf", c.options));
        RecorderSettings settings = settings_;
        settings.idleTimeout = 1;
        RecordingSink sink;
        MmshClient client(1, settings, &sink, nullptr);
        std::vector<uint8_t> written;
        auto done = std::async(std::launch::async, [&] { return RecordTo(client, server_.MmshUrl("idle.asf"), &written); });
        // A generous deadline, only so that a hang fails instead of blocking.
        if (done.wait_for(std::chrono::seconds(20)) != std::future_status::ready) {
            client.Stop();
            FAIL() << "the recording did not end by itself";
        }
        EXPECT_EQ(done.get(), c.result);
        EXPECT_TRUE(written == c.file) << written.size() << " vs " << c.file.size();
        EXPECT_EQ(sink.errors, std::vector<std::string>{IdleTimeoutText(1)});
    }
}

TEST_F(MmshClientTest, ServerClosingBeforeTheEndOfTheStream) {
    AsfFileParts parts;
    Load("clip.asf", parts);
    struct Case {
        int64_t dropAfter;
        std::string error;
    };
    const Case cases[] = {{10, ClosedEarlyText(10)}, {1, ClosedEarlyText(1)}, {0, ClosedEarlyText(0)}};
    Start();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.dropAfter);
        StreamOptions options;
        options.dropAfterPackets = c.dropAfter;
        ASSERT_TRUE(server_.ServeFile("drop.asf", samples_ + "/clip.asf", options));
        RecordingSink sink;
        MmshClient client(1, settings_, &sink, nullptr);
        std::vector<uint8_t> written;
        EXPECT_EQ(RecordTo(client, server_.MmshUrl("drop.asf"), &written),
                  2 * parts.header.size() + c.dropAfter * parts.packetSize);
        // What did arrive stays in the file.
        EXPECT_TRUE(written == ExpectedRecording(parts, size_t(c.dropAfter)));
        EXPECT_EQ(sink.errors, std::vector<std::string>{c.error});
    }
}

TEST_F(MmshClientTest, ConnectionResetIsAReadErrorThatSaysSo) {
    AsfFileParts parts;
    Load("clip.asf", parts);
    StreamOptions options;
    options.dropAfterPackets = 10;
    options.resetOnDrop = true;
    ASSERT_TRUE(server_.ServeFile("reset.asf", samples_ + "/clip.asf", options));
    Start();
    MmshClient client(1, settings_, &sink_, nullptr);
    std::vector<uint8_t> written;
    RecordTo(client, server_.MmshUrl("reset.asf"), &written);
    EXPECT_EQ(sink_.errors, std::vector<std::string>{"read error: connection reset"});
    // A reset may throw away packets still on their way: whole ones only.
    ASSERT_GE(written.size(), parts.header.size());
    const size_t packets = (written.size() - parts.header.size()) / parts.packetSize;
    EXPECT_LE(packets, 10u);
    EXPECT_TRUE(written == ExpectedRecording(parts, packets));
}

TEST_F(MmshClientTest, WebPageIsNotARecordingButIsAMetaFile) {
    const std::string page = "<!DOCTYPE html>\n<html><body>No stream here</body></html>\n";
    server_.ServeBody("page", Bytes(page), "text/html; charset=utf-8");
    Start();
    const std::string path = dir_.File("page.asf");
    {
        OutputFile file;
        ASSERT_TRUE(file.CreateReplacing(path));
        MmshClient client(1, settings_, &sink_, nullptr);
        EXPECT_EQ(client.Record(&file, server_.MmshUrl("page")), 0u);
        EXPECT_TRUE(file.Close());
        EXPECT_FALSE(std::filesystem::exists(path)) << "no file for a page";
        EXPECT_FALSE(client.BodyWasPlaylist());
        EXPECT_EQ(sink_.errors, std::vector<std::string>{"not a stream: the server sent text/html"});
    }
    {
        OutputFile file;
        ASSERT_TRUE(file.Create(path));
        RecordingSink sink;
        MmshClient client(1, settings_, &sink, nullptr);
        EXPECT_EQ(client.Fetch(&file, server_.MmshUrl("page")), page.size());
        EXPECT_TRUE(file.Close());
        EXPECT_EQ(ReadFileBytes(path), Bytes(page));
        EXPECT_TRUE(sink.errors.empty());
    }
    EXPECT_EQ(server_.HttpRequests().size(), 2u);
}

TEST_F(MmshClientTest, FailureTextsNameTheirCause) {
    HttpScript serverError;
    serverError.status = 500;
    HttpScript ownReason;
    ownReason.status = 503;
    ownReason.reason = "Too Busy Today";
    HttpScript notHttp;
    notHttp.raw = true;
    notHttp.body = Bytes("SSH-2.0-Other\r\n\r\nnothing of HTTP here\r\n");
    HttpScript nothing;
    nothing.raw = true;
    server_.ServeScript("error.asf", serverError, std::nullopt);
    server_.ServeScript("busy.asf", ownReason, std::nullopt);
    server_.ServeScript("nothttp.asf", notHttp, std::nullopt);
    server_.ServeScript("nothing.asf", nothing, std::nullopt);
    Start();
    struct Case {
        std::string url;
        std::string error;
    };
    const Case cases[] = {
        {server_.MmshUrl("missing.asf"), "Not Found: HTTP 404 Not Found"},
        {server_.MmshUrl("error.asf"), "Not Found: HTTP 500 Internal Server Error"},
        {server_.MmshUrl("busy.asf"), "Not Found: HTTP 503 Too Busy Today"},
        {server_.MmshUrl("nothttp.asf"), "request error: not an HTTP response"},
        {server_.MmshUrl("nothing.asf"), "request error: the server closed the connection without an answer"},
        {"http://127.0.0.1:" + std::to_string(UnusedPort()) + "/a.asf", "connect error: connection refused"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.url);
        RecordingSink sink;
        MmshClient client(1, settings_, &sink, nullptr);
        std::vector<uint8_t> written;
        EXPECT_EQ(RecordTo(client, c.url, &written), 0u);
        EXPECT_TRUE(written.empty());
        EXPECT_EQ(sink.errors, std::vector<std::string>{c.error});
    }
}

TEST_F(MmshClientTest, TlsAddressOnAPlainPortSaysTheHandshakeFailed) {
    if (!(curl_version_info(CURLVERSION_NOW)->features & CURL_VERSION_SSL)) GTEST_SKIP() << "libcurl without TLS";
    ASSERT_TRUE(server_.ServeFile("clip.asf", samples_ + "/clip.asf"));
    Start();
    MmshClient client(1, settings_, &sink_, nullptr);
    EXPECT_EQ(RecordTo(client, "https://127.0.0.1:" + std::to_string(server_.MmshPort()) + "/clip.asf"), 0u);
    ASSERT_EQ(sink_.errors.size(), 1u);
    // The rest is the TLS library's own account of what it got.
    const std::string prefix = "connect error: TLS handshake failed (";
    EXPECT_EQ(sink_.errors[0].substr(0, prefix.size()), prefix);
    EXPECT_GT(sink_.errors[0].size(), prefix.size() + 1);
    EXPECT_EQ(sink_.errors[0].back(), ')');
}

TEST_F(MmshClientTest, RefusedCredentialsAreAskedForAtMostThreeTimes) {
    StreamOptions options;
    options.user = "alice";
    options.password = "right";
    ASSERT_TRUE(server_.ServeFile("clip.asf", samples_ + "/clip.asf", options));
    Start();
    ScriptedPrompt prompt({{true, "alice", "a"}, {true, "alice", "b"}, {true, "alice", "c"}, {true, "alice", "right"}});
    MmshClient client(1, settings_, &sink_, &prompt);
    EXPECT_EQ(RecordTo(client, server_.MmshUrl("clip.asf")), 0u);
    EXPECT_EQ(prompt.asked, 3u);
    EXPECT_EQ(prompt.refusedSites, std::vector<std::string>(3, "127.0.0.1"));
    EXPECT_EQ(sink_.errors, std::vector<std::string>{"Not Found: HTTP 401 Unauthorized"});
    EXPECT_EQ(server_.HttpRequests().size(), 4u);  // bare, then the three answers

    // Stored credentials the server turns down are refused like typed ones
    // before the question comes again.
    sink_.errors.clear();
    EXPECT_GT(RecordTo(client, server_.MmshUrl("clip.asf")), 0u);
    EXPECT_EQ(prompt.asked, 4u);
    EXPECT_EQ(prompt.refusedSites.size(), 4u);
    EXPECT_TRUE(sink_.errors.empty());
}

TEST_F(MmshClientTest, DescribeAnswerCutShortStillPlays) {
    AsfFileParts parts;
    Load("clip.asf", parts);
    const std::vector<uint8_t> headerChunk = MakeChunk('H', parts.header, 0x0C);
    StreamOptions cut;
    cut.describeScript = HttpScript();
    cut.describeScript->body.assign(headerChunk.begin(), headerChunk.begin() + headerChunk.size() / 2);
    cut.describeScript->contentLength = false;
    ASSERT_TRUE(server_.ServeFile("cut.asf", samples_ + "/clip.asf", cut));
    ASSERT_TRUE(server_.ServeFile("clip.asf", samples_ + "/clip.asf"));
    Start();
    MmshClient client(1, settings_, &sink_, nullptr);
    // A first stream whose header gives a duration the next must not inherit.
    ASSERT_GT(RecordTo(client, server_.MmshUrl("clip.asf")), 0u);
    const int duration = int(ExpectedDurationMs(parts));
    ASSERT_EQ(sink_.headerDurations, (std::vector<int>{0, duration}));
    server_.ClearRecords();

    std::vector<uint8_t> written;
    EXPECT_EQ(RecordTo(client, server_.MmshUrl("cut.asf"), &written),
              parts.header.size() + parts.packets.size() * parts.packetSize);
    EXPECT_TRUE(written == ExpectedRecording(parts));
    EXPECT_TRUE(sink_.errors.empty()) << sink_.errors.front();
    EXPECT_EQ(sink_.headerDurations, (std::vector<int>{0, duration, 0, 0}));
    // The play request goes out; its duration is unknown, as no header was
    // read yet for this stream.
    const auto requests = server_.HttpRequests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_TRUE(requests[1].play);
    EXPECT_EQ(requests[1].headerLines, MmshClient::PlayHeaders("127.0.0.1", 0));
}

}  // namespace
}  // namespace larkspan::mmshtest
