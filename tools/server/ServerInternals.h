#pragma once
// Shared by LoopbackServer.cpp and the two protocol sessions; not part of the
// library's interface.
#include <sys/types.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <list>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "tools/server/LoopbackServer.h"

namespace larkspan::testserver {

struct Mount {
    std::string key;
    std::shared_ptr<const AsfMedia> media;   // what is served (live transform applied); null for scripts only
    std::shared_ptr<const AsfMedia> source;  // as loaded
    StreamOptions options;
};

// Mount key of a request target or file name: no scheme and host, no
// leading '/'.
std::string MountKey(const std::string& target);

class Connection;

struct LoopbackServer::Impl {
    mutable std::mutex mu;
    mutable std::condition_variable changed;  // any record changed

    std::map<std::string, std::shared_ptr<const Mount>> mounts;

    std::vector<HttpRequestRecord> http;
    std::vector<MmsCommandRecord> mms;
    std::map<uint64_t, ConnectionRecord> connections;
    size_t active = 0;
    size_t peak = 0;
    size_t completedRequests = 0;
    uint32_t missingPongs = 0;  // over closed connections; open ones are added on demand
    uint64_t nextConnectionId = 1;
    uint32_t nextClientId = 1;

    std::atomic<bool> stopping{false};
    int wakePipe[2] = {-1, -1};
    struct Listener {
        int fd = -1;
        std::thread thread;
    };
    Listener mmshListener, mmsListener;

    struct Worker {
        uint64_t id = 0;
        int fd = -1;
        bool done = false;
        std::thread thread;
    };
    std::list<std::unique_ptr<Worker>> workers;

    std::mutex logMu;
    std::function<void(const std::string&)> logger;

    // ---- used by the sessions
    std::shared_ptr<const Mount> FindMount(const std::string& target) const;
    void Log(uint64_t connection, const std::string& text);
    bool Logging();
    uint32_t NextClientId();
    void AddHttpRecord(HttpRequestRecord record);
    void AddMmsRecord(MmsCommandRecord record);
    void UpdateConnection(uint64_t id, const std::function<void(ConnectionRecord&)>& change);

    // ---- listening
    bool Listen(Listener& listener, Protocol protocol, uint16_t port, uint16_t& bound, std::string* error,
                bool ipv6 = false);
    void AcceptLoop(int fd, Protocol protocol);
    void RunConnection(Worker* worker, Protocol protocol);
    void ReapFinished();
};

// One accepted socket, seen from its session.
class Connection {
public:
    Connection(LoopbackServer::Impl& server, int fd, uint64_t id) : server_(server), fd_(fd), id_(id) {}

    uint64_t Id() const { return id_; }
    LoopbackServer::Impl& Server() { return server_; }
    bool Stopping() const { return server_.stopping.load(); }
    std::chrono::steady_clock::time_point Started() const { return started_; }

    // Sends everything or fails (peer gone, server stopping).
    bool Send(const uint8_t* data, size_t length);
    bool Send(const std::vector<uint8_t>& bytes) { return Send(bytes.data(), bytes.size()); }

    enum class Wait { Readable, Timeout, Closed };
    // Waits for incoming bytes; timeoutMs < 0 waits without end. Closed
    // when the server is stopping or the socket failed.
    Wait WaitReadable(int timeoutMs);
    // Reads what is there (at most length). 0 when the peer closed, < 0 on
    // error.
    ssize_t Recv(uint8_t* buffer, size_t length);

    // Half-closes and waits briefly for the peer to close, so the last bytes
    // are not lost to a reset.
    void Finish();

    // -- MMSH faults
    // Makes the coming close reset the connection (RST) rather than end it.
    void Reset();

    bool peerClosed = false;
    bool servedRequest = false;  // an HTTP request was read, or an MMS file asked for

private:
    LoopbackServer::Impl& server_;
    int fd_;
    uint64_t id_;
    std::chrono::steady_clock::time_point started_ = std::chrono::steady_clock::now();
};

// The data packets of one play, in order: repeats, times continuing across
// repeats, padding trimmed on request.
class PacketFeed {
public:
    explicit PacketFeed(const Mount& mount);
    struct Packet {
        const uint8_t* data = nullptr;
        size_t length = 0;
        uint32_t index = 0;     // location id
        uint32_t sendTime = 0;  // ms, as sent
    };
    bool Next(Packet& packet);  // false at the end

    // Realtime pacing: when the packet is due.
    std::chrono::steady_clock::time_point Due(const Packet& packet);

private:
    const Mount& mount_;
    uint64_t position_ = 0;
    uint32_t span_ = 0;
    std::vector<uint8_t> scratch_;
    uint32_t lastSendTime_ = 0;
    bool started_ = false;
    uint32_t firstSendTime_ = 0;
    std::chrono::steady_clock::time_point t0_;
};

void RunMmshSession(Connection& connection);
void RunMmsSession(Connection& connection);

}  // namespace larkspan::testserver
