#pragma once
// Shared by the end-to-end tests of the recording worker and of larkspan-rec:
// temporary folders, waiting for a condition, the files a recording of the
// sample must produce, and the well-known stream ports (80, 1755) that the
// fallback between the two protocols needs.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/AsfFileParts.h"
#include "tests/support/RecordedFiles.h"
#include "tests/support/TempFolder.h"
#include "tests/support/WellKnownPortsLock.h"
#include "tools/server/LoopbackServer.h"

namespace larkspan::e2e {

using Bytes = std::vector<uint8_t>;

using testsupport::TempFolder;

// Polls pred every 10 ms until it holds or the bound passes. The bound only
// keeps a broken run from hanging; nothing is measured with it.
inline bool WaitUntil(const std::function<bool()>& pred, std::chrono::milliseconds bound) {
    const auto end = std::chrono::steady_clock::now() + bound;
    while (!pred()) {
        if (std::chrono::steady_clock::now() >= end) return pred();
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

inline bool Exists(const std::string& path) {
    std::error_code ec;
    return std::filesystem::exists(path, ec);
}

inline uint64_t SizeOf(const std::string& path) {
    std::error_code ec;
    const uint64_t n = std::filesystem::file_size(path, ec);
    return ec ? 0 : n;
}

using testsupport::kFilePropertiesFileSize;

using testsupport::HeaderAndPackets;
using testsupport::RecordedFile;

using testsupport::FirstDifference;

// The send time of each data packet of a recording, in file order.
inline bool PacketSendTimes(const Bytes& file, std::vector<uint32_t>& times, std::string* error) {
    testsupport::AsfFileParts parts;
    if (!testsupport::SplitAsf(file, parts, error)) return false;
    times.clear();
    for (const auto& packet : parts.packets) {
        testsupport::AsfPacketLayout layout;
        if (!testsupport::WalkAsfPacket(packet, parts.packetSize, layout, error)) return false;
        times.push_back(testsupport::GetLE32(packet, layout.sendTimeOffset));
    }
    return true;
}

// The fallback from one protocol to the other goes to the other protocol's
// well-known port: 1755 for MMS after an http: reference, 80 for MMSH after
// an mms: one.
using testsupport::WellKnownPortsLock;

// Starts the server's MMSH or MMS side on a fixed port, trying again for a
// while when another test holds it. False (with the reason) when it stays
// taken or cannot be bound at all (no privilege for port 80).
inline bool StartOnPort(testserver::LoopbackServer& server, testserver::Protocol protocol, uint16_t port,
                        std::string& error) {
    return WaitUntil(
        [&] {
            error.clear();
            return protocol == testserver::Protocol::Mmsh ? server.StartMmsh(port, &error)
                                                          : server.StartMms(port, &error);
        },
        std::chrono::seconds(10));
}

// A port on 127.0.0.1 that refuses every connection while this object
// lives: a socket is bound there and never listens, so no other process can
// listen there meanwhile either (other suites on this machine listen on 80
// and 1755 now and then).
class ClosedPort {
public:
    // port 0 takes a free port.
    explicit ClosedPort(uint16_t port = 0) {
        fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd_ < 0) return;
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_port = htons(port);
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof addr;
        bool bound = ::bind(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
        if (!bound && errno == EADDRINUSE) {
            // Connections of a server that has gone may linger there in
            // TIME_WAIT; address reuse passes them, but not a listener.
            int one = 1;
            ::setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
            bound = ::bind(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
        }
        if (!bound || ::getsockname(fd_, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
            ::close(fd_);
            fd_ = -1;
            return;
        }
        port_ = ntohs(addr.sin_port);
    }
    ~ClosedPort() {
        if (fd_ >= 0) ::close(fd_);
    }
    ClosedPort(const ClosedPort&) = delete;
    ClosedPort& operator=(const ClosedPort&) = delete;

    bool Held() const { return fd_ >= 0; }
    uint16_t Port() const { return port_; }

private:
    int fd_ = -1;
    uint16_t port_ = 0;
};

// Closes a fixed port as above, trying again for a while when someone
// listens there. Null when it stays taken.
inline std::unique_ptr<ClosedPort> CloseFixedPort(uint16_t port) {
    std::unique_ptr<ClosedPort> held;
    WaitUntil(
        [&] {
            held = std::make_unique<ClosedPort>(port);
            if (held->Held()) return true;
            held.reset();
            return false;
        },
        std::chrono::seconds(10));
    return held;
}

// Both well-known ports closed: whatever falls back to the other protocol
// meets a refused connection.
struct WellKnownPortsClosed {
    WellKnownPortsLock lock;
    std::unique_ptr<ClosedPort> http = CloseFixedPort(80);
    std::unique_ptr<ClosedPort> mms = CloseFixedPort(1755);
    bool Held() const { return http && mms; }
};

}  // namespace larkspan::e2e
