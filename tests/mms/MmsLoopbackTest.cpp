// The client over real sockets: a peer that plays fixed bytes over a socket
// pair (reads split at every byte boundary, a close or reset mid-stream),
// failed connections and name lookups, Stop while the name lookup hangs,
// what a wait on a silent peer costs, and recordings from the loopback
// stream server on 127.0.0.1 compared byte by byte with its samples.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <future>
#include <thread>

#include "asf/OutputFile.h"
#include "protocols/StreamErrors.h"
#include "protocols/WakeSignal.h"
#include "protocols/mms/MmsClient.h"
#include "protocols/mms/MmsHostLookup.h"
#include "protocols/mms/MmsSocketTransport.h"
#include "tests/mms/MmsTestStreams.h"
#include "tests/support/RecordedFiles.h"
#include "tests/support/Samples.h"
#include "tools/server/LoopbackServer.h"

namespace larkspan {
namespace {

using namespace mmstest;

enum class After { Stay, Close, Reset };

// Records over one end of a socket pair; the other end plays the script
// `chunk` bytes per send, then stays, closes its side, or closes with the
// client's commands unread, which resets the connection.
uint32_t RecordOverPair(MmsClient& client, ByteSink* file, const Bytes& script, size_t chunk, After after) {
    int fds[2];
    EXPECT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, fds), 0);
    MmsSocket socket(fds[0]);
    const std::atomic<bool> stop{false};
    MmsSocketTransport transport(socket, stop);
    std::thread peer([&] {
        for (size_t at = 0; at < script.size(); at += chunk) {
            const size_t n = std::min(chunk, script.size() - at);
            if (::send(fds[1], script.data() + at, n, MSG_NOSIGNAL) != ssize_t(n)) break;
            if (chunk < 16) usleep(50);  // lets the client see the pieces one by one
        }
        if (after == After::Close) ::shutdown(fds[1], SHUT_WR);
        if (after != After::Reset) return;
        // Once the client has answered the last Ping, closing with its
        // commands unread resets the connection.
        Bytes queued(4096);
        for (ssize_t n = 0; (n = ::recv(fds[1], queued.data(), queued.size(), MSG_PEEK)) > 0; usleep(1000)) {
            const auto mids = Mids(SplitSent(Bytes(queued.begin(), queued.begin() + n)));
            if (std::count(mids.begin(), mids.end(), kPong) == 2) break;
        }
        ::close(fds[1]);
    });
    const uint32_t returned = client.RecordOver(transport, file, "mms://h/clip.asf");
    peer.join();
    if (after != After::Reset) ::close(fds[1]);
    // A socket without an address of its own names none.
    std::string address = "x";
    uint16_t port = 7;
    transport.LocalEndpoint(address, port);
    EXPECT_EQ(address + ":" + std::to_string(port), "0.0.0.0:0");
    return returned;
}

TEST(MmsSocket, RecordsFromBytesArrivingAFewAtATimeAndNamesAnEarlyEnd) {
    const HeaderValues shape = Shape(1200, 131000000, 4);
    std::vector<Bytes> packets;
    Bytes rest;
    for (uint32_t i = 0; i < 4; ++i) {
        packets.push_back(DataPacket(1200, i * 2500, 3100 + i * 2500, 100 + 300 * i));
        if (i > 0) Append(rest, MediaPacket(i, 4, 0, packets[i]));
    }
    Append(rest, EndOfStream());
    const Bytes start = Cat({Opening(), ServerCommand(kPing), MediaPacket(0, 2, 0x0C, AsfHeader(shape)),
                             StartOfData(), MediaPacket(0, 4, 0, packets[0])});
    const Bytes second = MediaPacket(1, 4, 0, packets[1]);
    struct Row {
        size_t chunk;
        Bytes rest;
        After after;
        std::string error;
    } rows[] = {
        {1, rest, After::Stay, ""},
        {3, rest, After::Stay, ""},
        {100000, rest, After::Stay, ""},
        {100000, Bytes(second.begin(), second.begin() + 200), After::Close, ClosedEarlyText(1)},
        {100000, ServerCommand(kPing), After::Reset, "connection reset by the server after 1 packet"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << "chunk " << row.chunk << " " << row.error);
        TempFolder dir{"mms"};
        OutputFile file;
        ASSERT_TRUE(file.Create(dir.File("out.asf")));
        EventLog log;
        MmsClient client(3, {}, &log);
        const uint32_t returned = RecordOverPair(client, &file, Cat({start, row.rest}), row.chunk, row.after);
        ASSERT_TRUE(file.Close());
        const bool whole = row.error.empty();
        const Bytes want = whole ? ExpectedFile(shape, packets) : ExpectedFile(shape, {packets[0]}, true);
        const Bytes have = ReadFileBytes(dir.File("out.asf"));
        EXPECT_EQ(have, want) << FirstDifference(have, want);
        EXPECT_EQ(returned, want.size());
        EXPECT_EQ(log.errors, whole ? std::vector<std::string>{} : std::vector<std::string>{row.error});
    }
}

TEST(MmsSocket, FailedConnectionsAndLookupsAreReportedWithTheirCause) {
    testserver::LoopbackServer gone;  // a port that was just in use
    ASSERT_TRUE(gone.StartMms());
    const int closedPort = gone.MmsPort();
    gone.Stop();
    const std::string port = std::to_string(closedPort);
    const int kSystem = 1;  // lookup results are 0 or negative
    struct Row {
        std::string url;
        int lookupResult;  // kSystem: the system's lookup
        std::string error;
        int reportedPort;
    } rows[] = {
        {"mms://127.0.0.1:" + port + "/x", kSystem, "connect failed !!: connection refused", closedPort},
        {"mms://localhost:" + port + "/x", kSystem, "connect failed !!: connection refused", closedPort},
        {"mms://stream.example.invalid/x", EAI_NONAME, "connect failed !!: name not found", 1755},
        {"mms://stream.example.invalid/x", EAI_FAIL, "connect failed !!: name not found", 1755},
        {"mms://stream.example.invalid/x", EAI_AGAIN, "connect failed !!: name service not answering", 1755},
        {"mms://stream.example.invalid/x", 0, "connect failed !!: name not found", 1755},  // no addresses
        {"mms:///x", kSystem, "connect failed !!: no host in the address", 1755},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << row.url << " " << row.lookupResult);
        if (row.lookupResult != kSystem) {
            const int result = row.lookupResult;
            MmsHostLookup::SetLookupFunction([result](const std::string&, std::vector<NetAddress>&) { return result; });
        }
        TempFolder dir{"mms"};
        OutputFile file;
        ASSERT_TRUE(file.Create(dir.File("out.asf")));
        EventLog log;
        MmsClient client(3, {}, &log);
        EXPECT_EQ(client.Record(&file, row.url), 0u);
        MmsHostLookup::SetLookupFunction(nullptr);
        EXPECT_EQ(log.errors, std::vector<std::string>{row.error});
        EXPECT_EQ(log.connecting, (std::vector<std::pair<std::string, int>>{{row.url, row.reportedPort}}));
    }
}

// The lookup hangs until the test lets it go, after the client is gone.
TEST(MmsSocket, StopDuringAHangingNameLookupEndsRecordAndTheClientGoesWithoutWaiting) {
    auto entered = std::make_shared<std::promise<void>>();
    auto release = std::make_shared<std::promise<void>>();
    std::shared_future<void> released = release->get_future().share();
    MmsHostLookup::SetLookupFunction([entered, released](const std::string&, std::vector<NetAddress>&) {
        entered->set_value();
        released.wait();
        return EAI_NONAME;
    });
    TempFolder dir{"mms"};
    OutputFile file;
    ASSERT_TRUE(file.Create(dir.File("out.asf")));
    EventLog log;
    auto client = std::make_unique<MmsClient>(3, RecorderSettings{}, &log);
    std::thread stopper([&client, lookupBegan = entered->get_future()]() mutable {
        lookupBegan.wait();
        client->Stop();
    });
    auto recording = std::async(std::launch::async, [&] {
        const uint32_t got = client->Record(&file, "mms://stream.example.invalid/live");
        client.reset();
        return got;
    });
    const bool ended = recording.wait_for(std::chrono::seconds(20)) == std::future_status::ready;
    release->set_value();  // lets the lookup thread end, whatever happened
    stopper.join();
    MmsHostLookup::SetLookupFunction(nullptr);
    ASSERT_TRUE(ended);
    EXPECT_EQ(recording.get(), 0u);
    EXPECT_EQ(log.errors, std::vector<std::string>{});
}

// A wait on a silent peer sleeps in one poll until its time-out; a wake
// signal left from before costs one more return and does not end the wait;
// a stop signalled from another thread ends a wait without time-out at once.
TEST(MmsSocket, WaitOnASilentPeerReturnsFromPollOnlyForTheTimeOutOrAWakeSignal) {
    struct Row {
        const char* name;
        bool signalledBefore;
        int timeoutMs;
        long result;
        uint64_t pollReturns;
    } rows[] = {
        {"nothing signalled", false, 300, MmsSocket::kTimedOut, 1},
        {"a signal left from before", true, 300, MmsSocket::kTimedOut, 2},
        {"a stop from another thread", false, -1, MmsSocket::kStopped, 1},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        int fds[2];
        ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, fds), 0);
        WakeSignal wake;
        std::atomic<bool> stop{false};
        MmsSocket socket(fds[0]);
        socket.WakeOn(&wake);
        if (row.signalledBefore) wake.Signal();
        auto waiting = std::async(std::launch::async, [&] {
            uint8_t byte = 0;
            return socket.Receive(&byte, 1, stop, row.timeoutMs);
        });
        if (row.timeoutMs < 0) {
            // Gives the wait time to begin; a stop that comes first ends it as well.
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            stop.store(true);
            wake.Signal();
        }
        ASSERT_EQ(waiting.wait_for(std::chrono::seconds(20)), std::future_status::ready);
        EXPECT_EQ(waiting.get(), row.result);
        if (row.timeoutMs >= 0) {
            EXPECT_EQ(socket.PollReturns(), row.pollReturns);
        } else {
            EXPECT_LE(socket.PollReturns(), row.pollReturns);  // 0 when the stop came first
        }
        ::close(fds[1]);
    }
}

class MmsLoopback : public ::testing::Test {
protected:
    void SetUp() override {
        samples_ = testsupport::SamplesDir();
        if (samples_.empty()) GTEST_SKIP() << testsupport::SamplesError();
        ASSERT_TRUE(testsupport::SplitAsfFile(samples_ + "/clip.asf", clip_));
        ASSERT_TRUE(server_.StartMms());
    }

    Bytes Record(const std::string& url, EventLog& log, RecorderSettings settings = {}) {
        OutputFile file;
        EXPECT_TRUE(file.Create(dir_.File("out.asf")));
        MmsClient client(1, settings, &log);
        returned_ = client.Record(&file, url);
        EXPECT_TRUE(file.Close());
        return ReadFileBytes(dir_.File("out.asf"));
    }

    std::string samples_;
    testsupport::AsfFileParts clip_;
    testserver::LoopbackServer server_;
    TempFolder dir_{"mms"};
    uint32_t returned_ = 0;
};

// By host name; the commands as the server decoded them.
TEST_F(MmsLoopback, OnDemandRecordingIsTheSampleHeaderAndItsPackets) {
    testserver::StreamOptions options;
    options.trimPadding = true;  // the client restores the padding
    ASSERT_TRUE(server_.ServeFile("dir/clip.asf", samples_ + "/clip.asf", options));
    const std::string url = "mms://localhost:" + std::to_string(server_.MmsPort()) + "/dir/clip.asf";
    EventLog log;
    const Bytes file = Record(url, log);
    const Bytes want = testsupport::RecordedFile(clip_);
    ASSERT_EQ(file, want) << FirstDifference(file, want);
    EXPECT_EQ(returned_, want.size());
    EXPECT_EQ(log.errors, std::vector<std::string>{});
    EXPECT_EQ(log.connecting, (std::vector<std::pair<std::string, int>>{{url, server_.MmsPort()}}));
    EXPECT_EQ(log.progressEvents.size(), clip_.packets.size());

    const auto cmds = server_.MmsCommands();
    ASSERT_EQ(cmds.size(), 7u);
    const uint32_t mids[] = {kConnect, kFunnelInfo, kConnectFunnel, kOpenFile, kReadBlock, kStreamSwitch, kStartPlaying};
    for (uint32_t i = 0; i < 7; ++i) {
        EXPECT_EQ(cmds[i].mid, mids[i]) << i;
        EXPECT_EQ(cmds[i].sequence, i) << i;
    }
    EXPECT_EQ(cmds[0].text, "NSPlayer/4.1.0.3925; {3300AD50-2C39-46C0-AE0A-2D27C2D35A1D}");
    EXPECT_EQ(cmds[2].text.rfind("\\\\127.0.0.1\\TCP\\", 0), 0u) << cmds[2].text;
    EXPECT_EQ(cmds[2].text.substr(cmds[2].text.size() - 4), std::string("\0" "00f", 4));
    EXPECT_EQ(cmds[3].text, std::string("dir/clip.asf\0" "18.", 16));
    EXPECT_EQ(cmds[4].playIncarnation, 2u);
    EXPECT_EQ(cmds[6].playIncarnation, 4u);
}

// What the server does, and the file and report it must give: every packet
// (the server's end of stream), the first n (an early end), or nothing.
TEST_F(MmsLoopback, ServerBehaviours) {
    const int all = -1, none = -2;
    struct Row {
        const char* name;
        std::function<void(testserver::StreamOptions&)> fault;
        int packets;
        std::string error;
        const char* sample = "clip.asf";
        const char* path = "clip.asf";
    } rows[] = {
        {"big packets", [](auto&) {}, all, "", "bigpackets.asf"},
        {"header in packets of 250 bytes", [](auto& o) { o.headerPacketSize = 250; }, all, ""},
        {"first of them flagged 0x00", [](auto& o) { o.headerPacketSize = 250, o.mmsFirstHeaderFlags = 0; }, all, ""},
        {"a Ping every 25 packets", [](auto& o) { o.pingEvery = 25; }, all, ""},
        {"dropped inside packet 41", [](auto& o) { o.dropAfterPackets = 40, o.dropMidChunk = true; }, 40,
         ClosedEarlyText(40)},
        {"no header", [](auto& o) { o.noHeader = true; }, none, ""},
        {"unknown path", [](auto&) {}, none, "Url not found: server error 0x80070002", "clip.asf", "missing.asf"},
        {"stall in the data", [](auto& o) { o.stallAfterPackets = 30; }, 30, IdleTimeoutText(1)},
        {"silent after OpenFile", [](auto& o) { o.neverSend = true; }, none, IdleTimeoutText(1)},
        {"junk after a command head",
         [](auto& o) { o.mmsHeaderScript = Cat({Hex("01 00 00 00 CE FA 0B B0 F8 FF FF 7F"), Bytes(35 * 1024, 'B')}); },
         none, "invalid data from the server: command of 2147483640 bytes"},
    };
    RecorderSettings settings;
    settings.idleTimeout = 1;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        testserver::StreamOptions options;
        row.fault(options);
        ASSERT_TRUE(server_.ServeFile("clip.asf", samples_ + "/" + row.sample, options));
        testsupport::AsfFileParts parts;
        ASSERT_TRUE(testsupport::SplitAsfFile(samples_ + "/" + row.sample, parts));
        EventLog log;
        const Bytes file = Record(server_.MmsUrl(row.path), log, settings);
        const Bytes want = row.packets == none ? Bytes{}
                           : row.packets == all ? testsupport::RecordedFile(parts)
                                                : testsupport::RecordedFile(parts, size_t(row.packets));
        EXPECT_EQ(file, want) << FirstDifference(file, want);
        EXPECT_EQ(returned_, want.size());
        EXPECT_EQ(log.errors, row.error.empty() ? std::vector<std::string>{} : std::vector<std::string>{row.error});
    }
    // Every Ping was answered.
    ASSERT_TRUE(server_.WaitForIdle(std::chrono::seconds(20)));
    uint32_t pings = 0;
    for (const auto& c : server_.Connections()) pings += c.pingsSent;
    EXPECT_EQ(pings, clip_.packets.size() / 25);
    EXPECT_EQ(server_.MissingPongs(), 0u);
}

TEST_F(MmsLoopback, RecordsFromAnIpv6Literal) {
    testserver::LoopbackServer server;
    ASSERT_TRUE(server.ServeFile("clip.asf", samples_ + "/clip.asf"));
    if (!server.StartMmsIpv6()) GTEST_SKIP() << "no IPv6 loopback";
    EventLog log;
    const Bytes file = Record("mms://[::1]:" + std::to_string(server.MmsPort()) + "/clip.asf", log);
    EXPECT_EQ(file, testsupport::RecordedFile(clip_));
    EXPECT_EQ(log.errors, std::vector<std::string>{});
    // The funnel names the client's own IPv6 address, without brackets.
    const auto cmds = server.MmsCommands();
    ASSERT_GE(cmds.size(), 3u);
    EXPECT_EQ(cmds[2].text.rfind("\\\\::1\\TCP\\", 0), 0u) << cmds[2].text;
}

}  // namespace
}  // namespace larkspan
