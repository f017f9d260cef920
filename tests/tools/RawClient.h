#pragma once
// A bare TCP client for talking to the loopback server byte by byte, so the
// tests see exactly what the server sends. Every read gives up after a while
// (a server fault must fail a test, not hang it).
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace larkspan::testing {

class RawClient {
public:
    explicit RawClient(uint16_t port, int readTimeoutSeconds = 20) {
        fd_ = socket(AF_INET, SOCK_STREAM, 0);
        if (fd_ < 0) return;
        timeval tv{readTimeoutSeconds, 0};
        setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
        setsockopt(fd_, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_port = htons(port);
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (connect(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
            close(fd_);
            fd_ = -1;
        }
    }
    ~RawClient() {
        if (fd_ >= 0) close(fd_);
    }
    RawClient(const RawClient&) = delete;
    RawClient& operator=(const RawClient&) = delete;

    bool ok() const { return fd_ >= 0; }

    bool Send(const void* data, size_t length) {
        const auto* p = static_cast<const uint8_t*>(data);
        while (length) {
            ssize_t n = send(fd_, p, length, MSG_NOSIGNAL);
            if (n <= 0) return false;
            p += n;
            length -= size_t(n);
        }
        return true;
    }
    bool Send(const std::string& s) { return Send(s.data(), s.size()); }
    bool Send(const std::vector<uint8_t>& v) { return Send(v.data(), v.size()); }

    // Exactly n bytes, or false (closed early, timed out).
    bool ReadExact(std::vector<uint8_t>& out, size_t n) {
        out.resize(n);
        size_t got = 0;
        while (got < n) {
            ssize_t r = recv(fd_, out.data() + got, n - got, 0);
            if (r <= 0) {
                out.resize(got);
                return false;
            }
            got += size_t(r);
        }
        return true;
    }

    // Everything until the server closes. closedCleanly is false when the
    // read timed out or failed instead.
    std::vector<uint8_t> ReadAll(bool* closedCleanly = nullptr) {
        std::vector<uint8_t> out;
        uint8_t buffer[65536];
        for (;;) {
            ssize_t r = recv(fd_, buffer, sizeof buffer, 0);
            if (r == 0) {
                if (closedCleanly) *closedCleanly = true;
                return out;
            }
            if (r < 0) {
                if (closedCleanly) *closedCleanly = false;
                return out;
            }
            out.insert(out.end(), buffer, buffer + r);
        }
    }

    void ShutdownWrite() { shutdown(fd_, SHUT_WR); }

private:
    int fd_ = -1;
};

inline uint16_t LE16(const std::vector<uint8_t>& b, size_t at) { return uint16_t(b.at(at) | b.at(at + 1) << 8); }
inline uint32_t LE32(const std::vector<uint8_t>& b, size_t at) {
    return uint32_t(b.at(at)) | uint32_t(b.at(at + 1)) << 8 | uint32_t(b.at(at + 2)) << 16 |
           uint32_t(b.at(at + 3)) << 24;
}
inline uint64_t LE64(const std::vector<uint8_t>& b, size_t at) {
    return uint64_t(LE32(b, at)) | uint64_t(LE32(b, at + 4)) << 32;
}

}  // namespace larkspan::testing
