// The client over real TCP on 127.0.0.1 against a peer that plays fixed
// bytes: reads split at every byte boundary, the port of the URL, the
// transport string, Stop while the server is silent or the name lookup
// hangs, refused and reset connections, and what a wait on a silent peer
// costs.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <netdb.h>

#include <condition_variable>
#include <future>
#include <thread>

#include "asf/OutputFile.h"
#include "protocols/StreamErrors.h"
#include "protocols/WakeSignal.h"
#include "protocols/mms/MmsClient.h"
#include "protocols/mms/MmsHostLookup.h"
#include "tests/mms/MmsTestStreams.h"

namespace larkspan {
namespace {

using namespace mmstest;

// Accepts one connection, waits for the client's Connect, then sends its
// script `chunk` bytes per send. What it does once the script is out:
enum class AfterScript {
    WaitForClient,  // keep the connection until the client closes it
    StaySilent,     // send nothing more until the test ends
    Close,          // close its side at once
    ResetAfterPong, // reset the connection once the client has answered a Ping
};

class ScriptedPeer {
public:
    using After = AfterScript;
    ScriptedPeer(Bytes script, size_t chunk, After after = After::WaitForClient)
        : script_(std::move(script)), chunk_(chunk), after_(after) {
        listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        EXPECT_EQ(::bind(listener_, reinterpret_cast<sockaddr*>(&a), sizeof(a)), 0);
        EXPECT_EQ(::listen(listener_, 1), 0);
        socklen_t len = sizeof(a);
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&a), &len);
        port_ = ntohs(a.sin_port);
        thread_ = std::thread([this] { Serve(); });
    }
    ~ScriptedPeer() {
        {
            std::lock_guard<std::mutex> l(m_);
            finish_ = true;
        }
        cv_.notify_all();
        ::shutdown(listener_, SHUT_RDWR);
        thread_.join();
        ::close(listener_);
    }
    uint16_t Port() const { return port_; }
    std::string Url(const std::string& scheme = "mms") const {
        return scheme + "://127.0.0.1:" + std::to_string(port_) + "/clip.asf";
    }
    // Blocks until the client's first message has arrived.
    void WaitForConnect() {
        std::unique_lock<std::mutex> l(m_);
        cv_.wait(l, [this] { return received_.size() >= 176 || finish_; });
    }
    Bytes Received() {
        std::lock_guard<std::mutex> l(m_);
        return received_;
    }
    uint16_t ClientPort() const { return clientPort_; }

private:
    void Serve() {
        sockaddr_in peer{};
        socklen_t len = sizeof(peer);
        const int fd = ::accept(listener_, reinterpret_cast<sockaddr*>(&peer), &len);
        if (fd < 0) return;
        clientPort_ = ntohs(peer.sin_port);
        int one = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof(one));
        std::thread reader([this, fd] {
            uint8_t buf[4096];
            for (;;) {
                const ssize_t n = ::recv(fd, buf, sizeof(buf), 0);
                if (n <= 0) break;
                std::lock_guard<std::mutex> l(m_);
                received_.insert(received_.end(), buf, buf + n);
                cv_.notify_all();
            }
            std::lock_guard<std::mutex> l(m_);
            clientClosed_ = true;
            cv_.notify_all();
        });
        WaitForConnect();
        for (size_t at = 0; at < script_.size(); at += chunk_) {
            const size_t n = std::min(chunk_, script_.size() - at);
            if (::send(fd, script_.data() + at, n, MSG_NOSIGNAL) != ssize_t(n)) break;
            if (chunk_ < 16) usleep(50);  // let the client see the pieces one by one
        }
        if (after_ == After::Close) ::shutdown(fd, SHUT_WR);
        if (after_ == After::ResetAfterPong) {
            std::unique_lock<std::mutex> l(m_);
            cv_.wait(l, [this] {
                const auto sent = SplitSent(received_);
                return finish_ || clientClosed_ ||
                       std::any_of(sent.begin(), sent.end(), [](const SentCommand& c) { return c.mid == kPong; });
            });
            // Dissolving the association sends a reset rather than a close.
            sockaddr none{};
            none.sa_family = AF_UNSPEC;
            ::connect(fd, &none, sizeof(none));
        }
        {
            std::unique_lock<std::mutex> l(m_);
            cv_.wait(l, [this] { return finish_ || clientClosed_; });
        }
        ::shutdown(fd, SHUT_RDWR);
        reader.join();
        ::close(fd);
    }

    Bytes script_;
    size_t chunk_;
    After after_;
    int listener_ = -1;
    uint16_t port_ = 0;
    uint16_t clientPort_ = 0;
    std::thread thread_;
    std::mutex m_;
    std::condition_variable cv_;
    Bytes received_;
    bool clientClosed_ = false;
    bool finish_ = false;
};

HeaderShape SampleShape() {
    HeaderShape s;
    s.packetSize = 1200;
    s.playDuration = 131000000;
    s.preroll = 3100;
    s.packetsCount = 4;
    return s;
}

TEST(MmsSocket, RecordsFromBytesArrivingAFewAtATime) {
    const HeaderShape shape = SampleShape();
    std::vector<Bytes> packets;
    for (uint32_t i = 0; i < 4; ++i) packets.push_back(DataPacket(1200, i * 2500, 3100 + i * 2500, 100 + 300 * i));
    Bytes script = Cat({Opening(), ServerCommand(kPing), MediaPacket(0, 2, 0x0C, AsfHeader(shape)), StartOfData()});
    for (uint32_t i = 0; i < 4; ++i) script = Cat({script, MediaPacket(i, 4, 0, packets[i])});
    script = Cat({script, EndOfStream()});

    for (const char* scheme : {"mms", "mmst", "mmsu"}) {
        for (size_t chunk : {size_t(1), size_t(3), size_t(100000)}) {
            if (chunk == 1 && std::string(scheme) != "mms") continue;
            SCOPED_TRACE(std::string(scheme) + " chunk " + std::to_string(chunk));
            ScriptedPeer peer(script, chunk);
            TempFolder dir{"mms"};
            OutputFile file;
            ASSERT_TRUE(file.Create(dir.File("out.asf")));
            EventLog log;
            MmsClient client(3, {}, &log);
            const uint32_t got = client.Record(&file, peer.Url(scheme));
            ASSERT_TRUE(file.Close());
            const Bytes want = ExpectedFile(shape, packets);
            const Bytes have = ReadFileBytes(dir.File("out.asf"));
            EXPECT_TRUE(have == want) << FirstDifference(have, want);
            EXPECT_EQ(got, want.size());
            EXPECT_TRUE(log.errors.empty());
            ASSERT_EQ(log.connecting.size(), 1u);
            EXPECT_EQ(log.connecting[0].second, peer.Port());
            if (chunk != 1) continue;
            // What went the other way: the reply table in order, and the
            // transport string naming the client's own end of the connection.
            const auto sent = SplitSent(peer.Received());
            EXPECT_EQ(Mids(sent), (std::vector<uint32_t>{kConnect, kFunnelInfo, kConnectFunnel, kOpenFile, kReadBlock,
                                                         kPong, kStreamSwitch, kStartPlaying}));
            const Bytes transport = Cat({Ascii16("\\\\127.0.0.1\\TCP\\" + std::to_string(peer.ClientPort())), Zeros(2),
                                         Ascii16("00f")});
            ASSERT_GE(sent.size(), 3u);
            EXPECT_EQ(Bytes(sent[2].bytes.begin() + 60, sent[2].bytes.end()), transport);
        }
    }
}

TEST(MmsSocket, StopEndsTheSessionWhileTheServerSendsNothing) {
    ScriptedPeer peer({}, 1, ScriptedPeer::After::StaySilent);
    TempFolder dir{"mms"};
    OutputFile file;
    ASSERT_TRUE(file.Create(dir.File("out.asf")));
    EventLog log;
    MmsClient client(3, {}, &log);
    std::thread stopper([&] {
        peer.WaitForConnect();
        client.Stop();
    });
    EXPECT_EQ(client.Record(&file, peer.Url()), 0u);
    stopper.join();
    EXPECT_TRUE(log.errors.empty());
}

TEST(MmsSocket, StopInTheDataPhaseStillFinishesTheFile) {
    HeaderShape shape = SampleShape();
    shape.playDuration = 0;  // live: FinishFile has more to do
    shape.flags = 1;
    std::vector<Bytes> packets;
    Bytes script = Cat({Opening(), MediaPacket(0, 2, 0x0C, AsfHeader(shape)), StartOfData()});
    for (uint32_t i = 0; i < 3; ++i) {
        packets.push_back(DataPacket(1200, 900000 + i * 40, 903100 + i * 40, 1000));
        script = Cat({script, MediaPacket(i, 4, 0, packets.back())});
    }
    ScriptedPeer peer(script, 100000, ScriptedPeer::After::StaySilent);
    TempFolder dir{"mms"};
    OutputFile file;
    ASSERT_TRUE(file.Create(dir.File("out.asf")));
    EventLog log;
    MmsClient client(3, {}, &log);
    std::thread stopper([&] {
        while (log.progressCount.load() < 3) std::this_thread::yield();
        client.Stop();
    });
    const uint32_t got = client.Record(&file, peer.Url());
    stopper.join();
    ASSERT_TRUE(file.Close());
    const Bytes have = ReadFileBytes(dir.File("out.asf"));
    ASSERT_EQ(have.size(), AsfHeader(shape).size() + 3 * 1200);
    EXPECT_EQ(got, have.size());
    const size_t fp = FilePropsOffset(shape);
    EXPECT_EQ(Get64(have, fp + 40), have.size());
    EXPECT_EQ(Get64(have, fp + 56), 3u);
    EXPECT_EQ(Get32(have, fp + 88), 2u);
}

// The server's side going away after one packet: the file is finished as
// a cut recording and the reason named.
TEST(MmsSocket, ConnectionLostAfterAPacketLeavesAFinishedFile) {
    const HeaderShape shape = SampleShape();
    const Bytes p = DataPacket(1200, 0, 3100, 500);
    const Bytes whole = MediaPacket(1, 4, 0, p);
    const Bytes start = Cat({Opening(), MediaPacket(0, 2, 0x0C, AsfHeader(shape)), StartOfData(), MediaPacket(0, 4, 0, p)});
    const struct {
        const char* name;
        Bytes rest;
        ScriptedPeer::After after;
        std::string error;
    } cases[] = {
        {"closed mid packet", Bytes(whole.begin(), whole.begin() + 200), ScriptedPeer::After::Close, ClosedEarlyText(1)},
        {"reset", ServerCommand(kPing), ScriptedPeer::After::ResetAfterPong,
         "connection reset by the server after 1 packet"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedPeer peer(Cat({start, c.rest}), 100000, c.after);
        TempFolder dir{"mms"};
        OutputFile file;
        ASSERT_TRUE(file.Create(dir.File("out.asf")));
        EventLog log;
        MmsClient client(3, {}, &log);
        const uint32_t got = client.Record(&file, peer.Url());
        ASSERT_TRUE(file.Close());
        const Bytes want = ExpectedCutFile(shape, {p}, 0);
        const Bytes have = ReadFileBytes(dir.File("out.asf"));
        EXPECT_TRUE(have == want) << FirstDifference(have, want);
        EXPECT_EQ(got, want.size());
        EXPECT_EQ(log.errors, std::vector<std::string>{c.error});
    }
}

TEST(MmsSocket, RefusedConnectionIsReported) {
    // A port that was just free: bound, then closed.
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof(a)), 0);
    socklen_t len = sizeof(a);
    ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &len);
    const uint16_t port = ntohs(a.sin_port);
    ::close(s);

    TempFolder dir{"mms"};
    OutputFile file;
    ASSERT_TRUE(file.Create(dir.File("out.asf")));
    EventLog log;
    MmsClient client(3, {}, &log);
    EXPECT_EQ(client.Record(&file, "mms://127.0.0.1:" + std::to_string(port) + "/x.asf"), 0u);
    EXPECT_EQ(log.errors, std::vector<std::string>{"connect failed !!: connection refused"});
    ASSERT_EQ(log.connecting.size(), 1u);
    EXPECT_EQ(log.connecting[0].second, port);
}

// A name lookup that does not return until the test lets it.
struct HangingLookup {
    std::mutex m;
    std::condition_variable cv;
    bool entered = false;
    bool released = false;

    int Run() {
        std::unique_lock<std::mutex> l(m);
        entered = true;
        cv.notify_all();
        cv.wait(l, [this] { return released; });
        return EAI_NONAME;
    }
    void WaitEntered() {
        std::unique_lock<std::mutex> l(m);
        cv.wait(l, [this] { return entered; });
    }
    void Release() {
        std::lock_guard<std::mutex> l(m);
        released = true;
        cv.notify_all();
    }
    bool Released() {
        std::lock_guard<std::mutex> l(m);
        return released;
    }
};

TEST(MmsSocket, StopDuringAHangingNameLookupEndsRecordAndTheClientGoesWithoutWaiting) {
    auto lookup = std::make_shared<HangingLookup>();
    MmsHostLookup::SetLookupFunction([lookup](const std::string&, std::vector<NetAddress>&) { return lookup->Run(); });
    TempFolder dir{"mms"};
    OutputFile file;
    ASSERT_TRUE(file.Create(dir.File("out.asf")));
    EventLog log;
    auto client = std::make_unique<MmsClient>(3, RecorderSettings{}, &log);
    std::thread stopper([&] {
        lookup->WaitEntered();
        client->Stop();
    });
    // Record, then the client's destruction, while the lookup still hangs.
    auto recording = std::async(std::launch::async, [&] {
        const uint32_t got = client->Record(&file, "mms://stream.example.invalid/live");
        client.reset();
        return got;
    });
    const bool ended = recording.wait_for(std::chrono::seconds(20)) == std::future_status::ready;
    const bool lookupStillHanging = !lookup->Released();
    lookup->Release();  // lets the lookup thread end, whatever happened
    stopper.join();
    MmsHostLookup::SetLookupFunction(nullptr);
    ASSERT_TRUE(ended);
    EXPECT_TRUE(lookupStillHanging);
    EXPECT_EQ(recording.get(), 0u);
    EXPECT_TRUE(log.errors.empty());
}

TEST(MmsSocket, UnknownHostNameIsReportedAsNameNotFound) {
    MmsHostLookup::SetLookupFunction([](const std::string&, std::vector<NetAddress>&) { return EAI_NONAME; });
    TempFolder dir{"mms"};
    OutputFile file;
    ASSERT_TRUE(file.Create(dir.File("out.asf")));
    EventLog log;
    MmsClient client(3, {}, &log);
    const uint32_t got = client.Record(&file, "mms://stream.example.invalid/live");
    MmsHostLookup::SetLookupFunction(nullptr);
    EXPECT_EQ(got, 0u);
    EXPECT_EQ(log.errors, std::vector<std::string>{"connect failed !!: name not found"});
}

// A listening socket on 127.0.0.1 that never accepts: a connection to it
// stands (in the backlog) and never sees a byte.
struct SilentListener {
    int fd = -1;
    NetAddress address;
    SilentListener() {
        fd = ::socket(AF_INET, SOCK_STREAM, 0);
        auto* a = reinterpret_cast<sockaddr_in*>(&address.storage);
        a->sin_family = AF_INET;
        a->sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.length = sizeof(sockaddr_in);
        EXPECT_EQ(::bind(fd, address.Get(), address.length), 0);
        EXPECT_EQ(::listen(fd, 1), 0);
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address.storage), &address.length);
    }
    ~SilentListener() { ::close(fd); }
};

// A wait on a silent peer sleeps in one poll until its time-out; a wake
// signal left over from before (a stop then taken back) costs one more
// return and does not end the wait.
TEST(MmsSocket, WaitOnASilentPeerReturnsFromPollOnlyForTheTimeOutOrAWakeSignal) {
    struct Case {
        const char* name;
        bool signalledBefore;
        uint64_t pollReturns;
    };
    const Case cases[] = {
        {"nothing signalled", false, 1},
        {"a signal left from before", true, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SilentListener listener;
        WakeSignal wake;
        std::atomic<bool> stop{false};
        MmsSocket socket;
        socket.WakeOn(&wake);
        ASSERT_EQ(socket.Connect(listener.address, 5000, stop), MmsSocket::ConnectResult::Ok);
        const uint64_t afterConnect = socket.PollReturns();
        if (c.signalledBefore) wake.Signal();
        uint8_t byte = 0;
        EXPECT_EQ(socket.Receive(&byte, 1, stop, 300), MmsSocket::kTimedOut);
        EXPECT_EQ(socket.PollReturns() - afterConnect, c.pollReturns);
    }
}

TEST(MmsSocket, StopSignalledFromAnotherThreadEndsAWaitWithoutEndAtOnce) {
    SilentListener listener;
    WakeSignal wake;
    std::atomic<bool> stop{false};
    MmsSocket socket;
    socket.WakeOn(&wake);
    ASSERT_EQ(socket.Connect(listener.address, 5000, stop), MmsSocket::ConnectResult::Ok);
    const uint64_t afterConnect = socket.PollReturns();
    auto waiting = std::async(std::launch::async, [&] {
        uint8_t byte = 0;
        return socket.Receive(&byte, 1, stop, -1);
    });
    // Gives the wait time to begin; a stop that comes first ends it as well.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    stop.store(true);
    wake.Signal();
    ASSERT_EQ(waiting.wait_for(std::chrono::seconds(20)), std::future_status::ready);
    EXPECT_EQ(waiting.get(), MmsSocket::kStopped);
    EXPECT_LE(socket.PollReturns() - afterConnect, 1u);
}

}  // namespace
}  // namespace larkspan
