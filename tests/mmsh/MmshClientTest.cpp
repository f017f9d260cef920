// The MMSH client against the loopback stream server: what reaches the
// server, what lands in the file, limits, authentication, misbehaving
// servers, stopping.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <future>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <unistd.h>

#include "asf/OutputFile.h"
#include "protocols/StreamErrors.h"
#include "protocols/mmsh/MmshClient.h"
#include "tests/mmsh/MmshClientFixture.h"

namespace larkspan::mmshtest {
namespace {

TEST_F(MmshClientTest, RequestHeaderLinesReachTheServerInOrder) {
    AsfFileParts parts;
    Load("clip.asf", parts);
    ASSERT_TRUE(server_.ServeFile("clip.asf", samples_ + "/clip.asf"));
    Start();
    MmshClient client(1, settings_, &sink_, nullptr);
    RecordTo(client, server_.MmshUrl("clip.asf"));

    const auto requests = server_.HttpRequests();
    ASSERT_EQ(requests.size(), 2u);
    const std::vector<std::string> describe = {
        "User-Agent: NSPlayer/4.1.0.3856",
        "Host: 127.0.0.1",
        "Pragma: no-cache,rate=1.000000,stream-time=0,stream-offset=0:0,request-context=1,max-duration=0",
        kGuidLine,
        "Connection: Close",
    };
    const std::vector<std::string> play = {
        "User-Agent: NSPlayer/4.1.0.3856",
        "Host: 127.0.0.1",
        "Pragma: no-cache,rate=1.000000,stream-time=0,stream-offset=4294967295:4294967295,request-context=2,"
        "max-duration=" + std::to_string(ExpectedDurationMs(parts)),
        "Pragma: xPlayStrm=1",
        kGuidLine,
        "Pragma: stream-switch-count=1",
        "Pragma: stream-switch-entry=ffff:1:0",
        "Connection: Close",
    };
    EXPECT_EQ(requests[0].requestLine, "GET /clip.asf HTTP/1.0");
    EXPECT_EQ(requests[0].headerLines, describe);
    EXPECT_FALSE(requests[0].play);
    EXPECT_EQ(requests[1].requestLine, "GET /clip.asf HTTP/1.0");
    EXPECT_EQ(requests[1].headerLines, play);
    EXPECT_TRUE(requests[1].play);
    // Every line ends in CR LF and the block in an empty line.
    EXPECT_NE(requests[1].rawHead.find("Connection: Close\r\n\r\n"), std::string::npos);
}

TEST_F(MmshClientTest, OnDemandRecordingIsHeaderPlusPackets) {
    struct Case {
        const char* sample;
        bool trimPadding;
    };
    for (const Case& c : {Case{"clip.asf", false}, Case{"clip.asf", true}, Case{"bigpackets.asf", false},
                          Case{"bigpackets.asf", true}}) {
        SCOPED_TRACE(std::string(c.sample) + (c.trimPadding ? " trimmed" : ""));
        AsfFileParts parts;
        Load(c.sample, parts);
        StreamOptions options;
        options.trimPadding = c.trimPadding;
        ASSERT_TRUE(server_.ServeFile(c.sample, samples_ + "/" + c.sample, options));
        if (!server_.MmshPort()) Start();
        RecordingSink sink;
        MmshClient client(1, settings_, &sink, nullptr);
        std::vector<uint8_t> written;
        const uint32_t result = RecordTo(client, server_.MmshUrl(c.sample), &written);

        EXPECT_TRUE(written == ExpectedRecording(parts)) << "file differs: " << written.size() << " bytes";
        EXPECT_TRUE(sink.errors.empty()) << sink.errors.front();
        // The header counts in both exchanges, every packet with its padding.
        EXPECT_EQ(result, 2 * parts.header.size() + parts.packets.size() * parts.packetSize);
        ASSERT_EQ(sink.progressCalls.size(), parts.packets.size());
        const uint32_t duration = ExpectedDurationMs(parts);
        EXPECT_EQ(sink.headerDurations, (std::vector<int>{0, int(duration)}));
        const uint32_t lastTime = SendTimeOf(parts.packets.back(), parts.packetSize);
        EXPECT_EQ(sink.progressCalls.back().timeMs, lastTime);
        EXPECT_EQ(sink.progressCalls.back().progress, int(uint64_t(lastTime) * 10000 / duration));
    }
}

TEST_F(MmshClientTest, RecordingReadsBackWithTheSampleStreamsAndDuration) {
    if (!testsupport::HaveTool("ffprobe")) GTEST_SKIP() << "ffprobe not installed";
    ASSERT_TRUE(server_.ServeFile("clip.asf", samples_ + "/clip.asf"));
    Start();
    MmshClient client(1, settings_, &sink_, nullptr);
    RecordTo(client, server_.MmshUrl("clip.asf"));

    auto probe = [](const std::string& path, std::string& streams, double& duration) {
        std::string out;
        ASSERT_EQ(testsupport::RunCommand("ffprobe -v error -show_entries stream=codec_type,codec_name -of csv=p=0 " +
                                              testsupport::ShellQuote(path),
                                          &streams),
                  0);
        ASSERT_EQ(testsupport::RunCommand("ffprobe -v error -show_entries format=duration -of csv=p=0 " +
                                              testsupport::ShellQuote(path),
                                          &out),
                  0);
        duration = std::atof(out.c_str());
    };
    std::string sourceStreams, recordedStreams;
    double sourceDuration = 0, recordedDuration = 0;
    probe(samples_ + "/clip.asf", sourceStreams, sourceDuration);
    probe(dir_.File("out.asf"), recordedStreams, recordedDuration);
    EXPECT_EQ(recordedStreams, sourceStreams);
    EXPECT_NE(recordedStreams.find("wmv2"), std::string::npos);
    EXPECT_NE(recordedStreams.find("wmav2"), std::string::npos);
    EXPECT_GT(sourceDuration, 19.0);
    EXPECT_NEAR(recordedDuration, sourceDuration, 0.1);
}

TEST_F(MmshClientTest, LiveStreamTimesCountFromTheFirstPacket) {
    AsfFileParts parts;
    Load("audio.asf", parts);
    StreamOptions live;
    live.live = true;
    ASSERT_TRUE(server_.ServeFile("live.asf", samples_ + "/audio.asf", live));
    Start();
    MmshClient client(1, settings_, &sink_, nullptr);
    std::vector<uint8_t> written;
    RecordTo(client, server_.MmshUrl("live.asf"), &written);

    EXPECT_TRUE(sink_.errors.empty());
    EXPECT_EQ(client.HeaderInfo().DurationMs, 0u);
    EXPECT_EQ(sink_.headerDurations, (std::vector<int>{0, 0}));
    ASSERT_EQ(sink_.progressCalls.size(), parts.packets.size());
    const uint32_t first = SendTimeOf(parts.packets.front(), parts.packetSize);
    for (size_t i = 0; i < parts.packets.size(); ++i) {
        EXPECT_EQ(sink_.progressCalls[i].progress, 0) << i;
        EXPECT_EQ(sink_.progressCalls[i].timeMs, SendTimeOf(parts.packets[i], parts.packetSize) - first) << i;
    }
    // The packets in the file count from 0 as well, and the header says how
    // long they last.
    AsfFileParts recorded;
    std::string error;
    ASSERT_TRUE(testsupport::SplitAsf(written, recorded, &error)) << error;
    ASSERT_EQ(recorded.packets.size(), parts.packets.size());
    for (size_t i = 0; i < parts.packets.size(); ++i) {
        EXPECT_EQ(SendTimeOf(recorded.packets[i], recorded.packetSize),
                  SendTimeOf(parts.packets[i], parts.packetSize) - first)
            << i;
    }
    const uint32_t last = SendTimeOf(parts.packets.back(), parts.packetSize) - first;
    const uint64_t preroll = testsupport::GetLE64(recorded.header, recorded.filePropertiesOffset + 80);
    EXPECT_EQ(testsupport::GetLE64(recorded.header, recorded.filePropertiesOffset + 64), (last + preroll) * 10000);
}

TEST_F(MmshClientTest, TimeLimitStopsAtTheFirstPacketPastIt) {
    for (bool live : {false, true}) {
        SCOPED_TRACE(live ? "live" : "on demand");
        AsfFileParts parts;
        Load("clip.asf", parts);
        StreamOptions options;
        options.live = live;
        ASSERT_TRUE(server_.ServeFile("clip.asf", samples_ + "/clip.asf", options));
        if (!server_.MmshPort()) Start();
        RecorderSettings settings = settings_;
        settings.timePolicy = 1;
        settings.maxTime = 5;
        RecordingSink sink;
        MmshClient client(1, settings, &sink, nullptr);
        std::vector<uint8_t> written;
        RecordTo(client, server_.MmshUrl("clip.asf"), &written);

        // Independent count: packets up to and including the first whose
        // stream time reaches 5 s (on demand: absolute send time).
        const uint32_t base = live ? SendTimeOf(parts.packets.front(), parts.packetSize) : 0;
        size_t expected = 0;
        while (expected < parts.packets.size()) {
            const uint32_t t = SendTimeOf(parts.packets[expected], parts.packetSize) - base;
            ++expected;
            if (t / 1000 >= 5) break;
        }
        ASSERT_LT(expected, parts.packets.size());
        EXPECT_EQ(sink.progressCalls.size(), expected);
        EXPECT_EQ(sink.progressCalls.back().timeMs / 1000, 5u);
        if (!live) {
            EXPECT_TRUE(written == ExpectedRecording(parts, expected));
        }
        EXPECT_EQ(written.size(), parts.header.size() + expected * parts.packetSize);
        EXPECT_TRUE(sink.errors.empty());
    }
}

TEST_F(MmshClientTest, SizeLimitStopsAfterTheChunkThatReachesIt) {
    AsfFileParts parts;
    Load("clip.asf", parts);
    StreamOptions options;
    options.repeat = 0;  // without end: only the limit stops the recording
    ASSERT_TRUE(server_.ServeFile("clip.asf", samples_ + "/clip.asf", options));
    Start();
    RecorderSettings settings = settings_;
    settings.sizePolicy = 1;
    settings.maxSize = 2;
    MmshClient client(1, settings, &sink_, nullptr);
    std::vector<uint8_t> written;
    const uint32_t result = RecordTo(client, server_.MmshUrl("clip.asf"), &written);

    // The count holds the header twice (both exchanges) and every packet.
    const uint64_t limit = 2 * 1048576;
    const uint64_t packets = (limit - 2 * parts.header.size() + parts.packetSize - 1) / parts.packetSize;
    EXPECT_EQ(result, 2 * parts.header.size() + packets * parts.packetSize);
    EXPECT_EQ(written.size(), parts.header.size() + packets * parts.packetSize);
    EXPECT_EQ(sink_.progressCalls.size(), packets);
    EXPECT_TRUE(sink_.errors.empty());
}

TEST_F(MmshClientTest, StoredCredentialsAnswerTheSecondChallenge) {
    StreamOptions options;
    options.user = "alice";
    options.password = "s3cret:x";
    ASSERT_TRUE(server_.ServeFile("clip.asf", samples_ + "/clip.asf", options));
    Start();
    ScriptedPrompt prompt({{true, "alice", "wrong"}, {true, "alice", "s3cret:x"}});
    MmshClient client(1, settings_, &sink_, &prompt);
    std::vector<uint8_t> written;
    EXPECT_GT(RecordTo(client, server_.MmshUrl("clip.asf"), &written), 0u);

    EXPECT_EQ(prompt.asked, 2u);  // the wrong answer, then the right one; none for the play request
    EXPECT_EQ(prompt.sites, (std::vector<std::string>{"127.0.0.1", "127.0.0.1"}));
    EXPECT_EQ(prompt.refusedSites, std::vector<std::string>{"127.0.0.1"});  // the wrong answer
    EXPECT_TRUE(sink_.errors.empty());
    AsfFileParts parts;
    Load("clip.asf", parts);
    EXPECT_TRUE(written == ExpectedRecording(parts));

    // describe: bare, wrong answer, right answer; play: bare, stored answer.
    const auto requests = server_.HttpRequests();
    std::vector<int> statuses;
    std::vector<bool> withAuth, plays;
    for (const auto& r : requests) {
        statuses.push_back(r.status);
        plays.push_back(r.play);
        std::vector<std::string> rest;
        bool auth = false;
        for (const auto& line : r.headerLines) {
            if (line.rfind("Authorization: Basic ", 0) == 0) {
                auth = true;
            } else {
                rest.push_back(line);
            }
        }
        withAuth.push_back(auth);
        // Re-sent requests carry the same lines as the first.
        EXPECT_EQ(rest, r.play ? MmshClient::PlayHeaders("127.0.0.1", ExpectedDurationMs(parts))
                               : MmshClient::DescribeHeaders("127.0.0.1"));
    }
    EXPECT_EQ(statuses, (std::vector<int>{401, 401, 200, 401, 200}));
    EXPECT_EQ(withAuth, (std::vector<bool>{false, true, true, false, true}));
    EXPECT_EQ(plays, (std::vector<bool>{false, false, false, true, true}));
}

TEST_F(MmshClientTest, DecliningTheCredentialsQuestionIsNotFound) {
    StreamOptions options;
    options.user = "alice";
    options.password = "pw";
    ASSERT_TRUE(server_.ServeFile("clip.asf", samples_ + "/clip.asf", options));
    Start();
    ScriptedPrompt prompt({{false, "", ""}});
    MmshClient client(1, settings_, &sink_, &prompt);
    EXPECT_EQ(RecordTo(client, server_.MmshUrl("clip.asf")), 0u);
    EXPECT_EQ(prompt.asked, 1u);
    EXPECT_TRUE(prompt.refusedSites.empty());
    EXPECT_EQ(sink_.errors, std::vector<std::string>{"Not Found: HTTP 401 Unauthorized"});
    EXPECT_EQ(server_.HttpRequests().size(), 1u);

    // Without anyone to ask, the same.
    RecordingSink sink;
    MmshClient silent(1, settings_, &sink, nullptr);
    EXPECT_EQ(RecordTo(silent, server_.MmshUrl("clip.asf")), 0u);
    EXPECT_EQ(sink.errors, std::vector<std::string>{"Not Found: HTTP 401 Unauthorized"});
}

TEST_F(MmshClientTest, PlainBodyIsCopiedWholeWithoutAPlayRequest) {
    std::string text = "<ASX version=\"3.0\">\r\n<Entry><Ref href=\"mms://127.0.0.1/a.asf\"/></Entry>\r\n</ASX>\r\n";
    while (text.size() < 20000) text += "<!-- padding line for a multi-block body -->\r\n";
    const std::vector<uint8_t> body(text.begin(), text.end());
    for (bool withLength : {true, false}) {
        SCOPED_TRACE(withLength ? "with Content-Length" : "without Content-Length");
        server_.ServeBody("list.asx", body, "video/x-ms-asf", withLength);
        if (!server_.MmshPort()) Start();
        server_.ClearRecords();
        RecordingSink sink;
        MmshClient client(1, settings_, &sink, nullptr);
        std::vector<uint8_t> written;
        EXPECT_EQ(RecordTo(client, server_.MmshUrl("list.asx"), &written), body.size());
        EXPECT_TRUE(written == body);
        EXPECT_EQ(client.Framing(), MmshClient::kFramingRaw);
        EXPECT_TRUE(client.BodyWasPlaylist());
        EXPECT_EQ(server_.HttpRequests().size(), 1u);
        EXPECT_TRUE(sink.errors.empty());
    }
}

// Scripted describe answers the client must refuse without crashing, and
// without a play request.
TEST_F(MmshClientTest, MalformedDescribeBodies) {
    AsfFileParts parts;
    Load("clip.asf", parts);
    const std::vector<uint8_t> good = MakeChunk('H', parts.header, 0x0C);

    HeaderValues noFp = OnDemandHeader();
    noFp.withFileProperties = false;
    HeaderValues unequal = OnDemandHeader();
    unequal.maxPacketSize = 3201;

    struct Case {
        const char* name;
        std::vector<uint8_t> body;
        std::string error;  // empty: none expected
        bool contentLength;
    };
    std::vector<Case> cases = {
        {"no File Properties", MakeChunk('H', MakeHeader(noFp), 0x0C), "Unable to parse this ASF header!", true},
        {"min != max", MakeChunk('H', MakeHeader(unequal), 0x0C), "not supported", true},
        {"chunk length below 8", MakeChunkHead('H', 4, 0x0C), "Unable to parse this ASF header!", true},
        {"payload larger than any buffer", [] {
             auto b = MakeChunkHead('H', 0x7FFF, 0x0C);
             b.resize(b.size() + 0x7FF7, 0x41);
             return b;
         }(), "Unable to parse this ASF header!", true},
        {"head cut short", std::vector<uint8_t>(good.begin(), good.begin() + 7), "read error", false},
    };
    Start();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        HttpScript script;
        script.body = c.body;
        script.contentLength = c.contentLength;
        server_.ServeScript("bad.asf", script, std::nullopt);
        server_.ClearRecords();
        RecordingSink sink;
        MmshClient client(1, settings_, &sink, nullptr);
        std::vector<uint8_t> written;
        EXPECT_EQ(RecordTo(client, server_.MmshUrl("bad.asf"), &written), 0u);
        EXPECT_TRUE(written.empty());
        ASSERT_EQ(sink.errors.size(), 1u);
        EXPECT_EQ(sink.errors[0], c.error);
        EXPECT_EQ(server_.HttpRequests().size(), 1u) << "no play request";
    }
}

TEST_F(MmshClientTest, MalformedPlayBodies) {
    AsfFileParts parts;
    Load("clip.asf", parts);
    const std::vector<uint8_t> headerChunk = MakeChunk('H', parts.header, 0x0C);
    HttpScript describe;
    describe.body = headerChunk;

    auto play = [&](std::vector<uint8_t> tail) {
        std::vector<uint8_t> b = headerChunk;
        Append(b, tail);
        return b;
    };
    std::vector<uint8_t> twoPackets = MakeChunk('D', parts.packets[0]);
    Append(twoPackets, MakeChunk('D', parts.packets[1]));

    struct Case {
        const char* name;
        std::vector<uint8_t> body;
        size_t packetsWritten;
        std::string error;
        StreamEnd end = StreamEnd::Early;
    };
    std::vector<Case> cases = {
        {"data chunk length below 8", play([&] { auto b = twoPackets; Append(b, MakeChunkHead('D', 3)); return b; }()),
         2, ""},
        {"data payload longer than the buffer", play([&] {
             auto b = twoPackets;
             Append(b, MakeChunkHead('D', 8 + 20000));
             b.resize(b.size() + 20000, 0);
             Append(b, EndChunk());
             return b;
         }()),
         3, "", StreamEnd::Reached},
        {"ends inside a chunk", play([&] {
             auto b = twoPackets;
             auto third = MakeChunk('D', parts.packets[2]);
             b.insert(b.end(), third.begin(), third.begin() + 100);
             return b;
         }()),
         2, "read error"},
        {"ends without $E", play(twoPackets), 2, ClosedEarlyText(2)},
        {"stream change chunk", play([&] {
             auto b = MakeChunk('D', parts.packets[0]);
             Append(b, MakeChunk('C', std::vector<uint8_t>(4, 0)));
             Append(b, MakeChunk('D', parts.packets[1]));
             Append(b, EndChunk());
             return b;
         }()),
         2, "", StreamEnd::Reached},
    };
    Start();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        HttpScript playScript;
        playScript.body = c.body;
        playScript.contentLength = false;
        server_.ServeScript("bad.asf", describe, playScript);
        RecordingSink sink;
        MmshClient client(1, settings_, &sink, nullptr);
        std::vector<uint8_t> written;
        RecordTo(client, server_.MmshUrl("bad.asf"), &written);
        std::vector<uint8_t> expected = ExpectedRecording(parts, c.packetsWritten, c.end);
        if (c.packetsWritten == 3) {
            // The oversized chunk is a packet of zeros, longer than the packet size.
            expected = ExpectedRecording(parts, 2, c.end);
            expected.resize(expected.size() + 20000, 0);
            testsupport::PutLE64(expected, parts.filePropertiesOffset + 40, expected.size());
        }
        EXPECT_TRUE(written == expected) << written.size() << " vs " << expected.size();
        if (c.error.empty()) {
            EXPECT_TRUE(sink.errors.empty()) << sink.errors.front();
        } else {
            EXPECT_EQ(sink.errors, std::vector<std::string>{c.error});
        }
    }
}

TEST_F(MmshClientTest, ConnectionDroppedMidChunkIsAReadError) {
    AsfFileParts parts;
    Load("clip.asf", parts);
    StreamOptions options;
    options.dropAfterPackets = 10;
    options.dropMidChunk = true;
    ASSERT_TRUE(server_.ServeFile("clip.asf", samples_ + "/clip.asf", options));
    Start();
    MmshClient client(1, settings_, &sink_, nullptr);
    std::vector<uint8_t> written;
    RecordTo(client, server_.MmshUrl("clip.asf"), &written);
    EXPECT_EQ(sink_.errors, std::vector<std::string>{"read error"});
    EXPECT_TRUE(written == ExpectedRecording(parts, 10));
}

TEST_F(MmshClientTest, StopEndsARecordingWhileTheServerSendsNothing) {
    StreamOptions options;
    options.neverSend = true;
    ASSERT_TRUE(server_.ServeFile("silent.asf", samples_ + "/clip.asf", options));
    Start();
    MmshClient client(1, settings_, &sink_, nullptr);
    auto done = std::async(std::launch::async, [&] { return RecordTo(client, server_.MmshUrl("silent.asf")); });
    ASSERT_TRUE(server_.WaitForHttpRequests(1, std::chrono::seconds(5)));
    EXPECT_EQ(done.wait_for(std::chrono::milliseconds(300)), std::future_status::timeout);
    client.Stop();
    ASSERT_EQ(done.wait_for(std::chrono::seconds(5)), std::future_status::ready);
    EXPECT_EQ(done.get(), 0u);
    EXPECT_TRUE(sink_.errors.empty());
}

TEST_F(MmshClientTest, StopEndsARecordingBetweenPackets) {
    StreamOptions options;
    options.pacing = testserver::Pacing::Realtime;  // 20 s of packets at their own pace
    ASSERT_TRUE(server_.ServeFile("clip.asf", samples_ + "/clip.asf", options));
    Start();
    MmshClient client(1, settings_, &sink_, nullptr);
    std::vector<uint8_t> written;
    auto done = std::async(std::launch::async, [&] { return RecordTo(client, server_.MmshUrl("clip.asf"), &written); });
    ASSERT_TRUE(server_.WaitForHttpRequests(2, std::chrono::seconds(5)));
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    client.Stop();
    ASSERT_EQ(done.wait_for(std::chrono::seconds(5)), std::future_status::ready);
    const uint32_t result = done.get();
    EXPECT_TRUE(sink_.errors.empty());
    AsfFileParts parts;
    Load("clip.asf", parts);
    ASSERT_GT(result, 2 * parts.header.size());
    const size_t packets = (result - 2 * parts.header.size()) / parts.packetSize;
    EXPECT_LT(packets, parts.packets.size());
    EXPECT_TRUE(written == ExpectedRecording(parts, packets));
}

TEST_F(MmshClientTest, PortWrittenInTheUrlIsUsed) {
    ASSERT_TRUE(server_.ServeFile("clip.asf", samples_ + "/clip.asf"));
    Start();
    const int port = server_.MmshPort();
    ASSERT_NE(port, 80);
    MmshClient client(1, settings_, &sink_, nullptr);
    EXPECT_GT(RecordTo(client, "http://127.0.0.1:" + std::to_string(port) + "/clip.asf", nullptr, false), 0u);
    EXPECT_EQ(sink_.connectPorts, (std::vector<int>{port, port}));
    EXPECT_EQ(server_.HttpRequests().size(), 2u);

    // Without a port the default is reported (whatever answers there), and
    // an mms URL's port belongs to the other protocol.
    for (const std::string& url :
         std::vector<std::string>{"http://127.0.0.1/x.asf", "mms://127.0.0.1:" + std::to_string(port) + "/x.asf"}) {
        RecordingSink sink;
        MmshClient other(1, settings_, &sink, nullptr);
        RecordTo(other, url, nullptr, false);
        ASSERT_FALSE(sink.connectPorts.empty()) << url;
        EXPECT_EQ(sink.connectPorts[0], 80) << url;
    }
    EXPECT_EQ(server_.HttpRequests().size(), 2u);
}

TEST_F(MmshClientTest, RecordingWithoutAFileRunsBothExchanges) {
    AsfFileParts parts;
    Load("clip.asf", parts);
    ASSERT_TRUE(server_.ServeFile("clip.asf", samples_ + "/clip.asf"));
    Start();
    MmshClient client(1, settings_, &sink_, nullptr);
    EXPECT_EQ(RecordTo(client, server_.MmshUrl("clip.asf"), nullptr, false), 2 * parts.header.size());
    EXPECT_EQ(sink_.progressCalls.size(), parts.packets.size());
    EXPECT_EQ(server_.HttpRequests().size(), 2u);
}

TEST_F(MmshClientTest, FullDiskIsAFileWriteError) {
    if (access("/dev/full", W_OK) != 0) GTEST_SKIP() << "no /dev/full";
    ASSERT_TRUE(server_.ServeFile("clip.asf", samples_ + "/clip.asf"));
    Start();
    for (const char* path : {"clip.asf", "small"}) {
        SCOPED_TRACE(path);
        if (std::string(path) == "small") {
            std::string text = "[Reference]\r\n";
            text.resize(100, ' ');
            server_.ServeBody("small", std::vector<uint8_t>(text.begin(), text.end()), "text/plain");
        }
        RecordingSink sink;
        MmshClient client(1, settings_, &sink, nullptr);
        OutputFile file;
        ASSERT_TRUE(file.OpenExisting("/dev/full"));
        client.Record(&file, server_.MmshUrl(path));
        EXPECT_EQ(sink.errors, std::vector<std::string>{"File Write Error: No space left on device"});
        EXPECT_TRUE(client.WriteFailed());
        file.Close();
    }
}

}  // namespace
}  // namespace larkspan::mmshtest
