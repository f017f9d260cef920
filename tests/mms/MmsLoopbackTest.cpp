// The client over real sockets: fixed bytes over a socket pair (split at
// every byte boundary, a close or reset mid-stream), failed connections and
// lookups, Stop in a hanging lookup, and the loopback server's streams.
#include <gtest/gtest.h>

#include <netdb.h>
#include <sys/socket.h>
#include <unistd.h>

#include <future>
#include <thread>

#include "asf/OutputFile.h"
#include "protocols/StreamErrors.h"
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
    MmsSocketTransport transport(socket, stop, 20000);  // a generous idle time-out, so a fault cannot hang the test
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
    std::string address;
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
    struct Row {
        size_t chunk;
        Bytes rest;
        After after;
        std::string error;
    } rows[] = {
        {1, rest, After::Stay, ""},
        {3, rest, After::Stay, ""},
        {100000, rest, After::Stay, ""},
        {100000, Bytes(rest.begin(), rest.begin() + 200), After::Close, ClosedEarlyText(1)},
        // Reset while the client waits for the rest of a packet.
        {100000, Cat({ServerCommand(kPing), Bytes(rest.begin(), rest.begin() + 200)}), After::Reset,
         "connection reset by the server after 1 packet"},
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
        {"mms://[::1]:" + port + "/x", kSystem, "connect failed !!: connection refused", closedPort},
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
        EventLog log;
        MmsClient client(3, {}, &log);
        EXPECT_EQ(client.Record(nullptr, row.url), 0u);
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
    EventLog log;
    auto client = std::make_unique<MmsClient>(3, RecorderSettings{}, &log);
    std::thread stopper([&client, lookupBegan = entered->get_future()]() mutable {
        lookupBegan.wait();
        client->Stop();
    });
    auto recording = std::async(std::launch::async, [&] {
        const uint32_t got = client->Record(nullptr, "mms://stream.example.invalid/live");
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

// What the loopback server does, and the file and report it must give:
// every packet (the server's end of stream), the first n (an early end),
// or nothing. The host is given by name.
TEST(MmsLoopback, ServerBehaviours) {
    const std::string samples = testsupport::SamplesDir();
    if (samples.empty()) GTEST_SKIP() << testsupport::SamplesError();
    testserver::LoopbackServer server;
    ASSERT_TRUE(server.StartMms());
    const int all = -1, none = -2;
    struct Row {
        const char* name;
        std::function<void(testserver::StreamOptions&)> fault;
        int packets;
        std::string error;
        const char* sample = "clip.asf";
        const char* path = "clip.asf";
    } rows[] = {
        {"padding trimmed", [](auto& o) { o.trimPadding = true; }, all, ""},  // the client restores it
        {"big packets", [](auto&) {}, all, "", "bigpackets.asf"},
        {"header in packets of 250 bytes", [](auto& o) { o.headerPacketSize = 250; }, all, ""},
        {"first of them flagged 0x00", [](auto& o) { o.headerPacketSize = 250, o.mmsFirstHeaderFlags = 0; }, all, ""},
        {"first of them flagged 0x08", [](auto& o) { o.headerPacketSize = 250, o.mmsFirstHeaderFlags = 8; }, all, ""},
        {"header in packets of 20 bytes", [](auto& o) { o.headerPacketSize = 20; }, all, ""},
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
    TempFolder dir{"mms"};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        testserver::StreamOptions options;
        row.fault(options);
        ASSERT_TRUE(server.ServeFile("clip.asf", samples + "/" + row.sample, options));
        testsupport::AsfFileParts parts;
        ASSERT_TRUE(testsupport::SplitAsfFile(samples + "/" + row.sample, parts));
        OutputFile file;
        ASSERT_TRUE(file.Create(dir.File("out.asf")));
        EventLog log;
        MmsClient client(1, settings, &log);
        const std::string url = "mms://localhost:" + std::to_string(server.MmsPort()) + "/" + row.path;
        const uint32_t returned = client.Record(&file, url);
        ASSERT_TRUE(file.Close());
        const Bytes want = row.packets == none ? Bytes{}
                           : row.packets == all ? testsupport::RecordedFile(parts)
                                                : testsupport::RecordedFile(parts, size_t(row.packets));
        const Bytes have = ReadFileBytes(dir.File("out.asf"));
        EXPECT_EQ(have, want) << FirstDifference(have, want);
        EXPECT_EQ(returned, want.size());
        EXPECT_EQ(log.errors, row.error.empty() ? std::vector<std::string>{} : std::vector<std::string>{row.error});
        EXPECT_EQ(log.connecting, (std::vector<std::pair<std::string, int>>{{url, server.MmsPort()}}));
    }
    // The funnel names the client's own end of the connection; every Ping
    // was answered.
    const auto cmds = server.MmsCommands();
    ASSERT_GE(cmds.size(), 3u);
    EXPECT_EQ(cmds[2].text.rfind("\\\\127.0.0.1\\TCP\\", 0), 0u) << cmds[2].text;
    ASSERT_TRUE(server.WaitForIdle(std::chrono::seconds(20)));
    uint32_t pings = 0;
    for (const auto& c : server.Connections()) pings += c.pingsSent;
    testsupport::AsfFileParts clip;
    ASSERT_TRUE(testsupport::SplitAsfFile(samples + "/clip.asf", clip));
    EXPECT_EQ(pings, clip.packets.size() / 25);
    EXPECT_EQ(server.MissingPongs(), 0u);
}

}  // namespace
}  // namespace larkspan
