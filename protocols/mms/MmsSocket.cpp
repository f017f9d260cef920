#include "protocols/mms/MmsSocket.h"

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>

namespace larkspan {

namespace {

#if defined(MSG_NOSIGNAL)
constexpr int kSendFlags = MSG_NOSIGNAL;
#else
constexpr int kSendFlags = 0;
#endif

bool MakeNonBlocking(int fd) {
    const int flags = fcntl(fd, F_GETFL, 0);
    return flags >= 0 && fcntl(fd, F_SETFL, flags | O_NONBLOCK) == 0;
}

}  // namespace

MmsSocket::MmsSocket(int handle) : fd_(handle) {
    if (fd_ >= 0) MakeNonBlocking(fd_);
#if defined(SO_NOSIGPIPE)
    int one = 1;
    if (fd_ >= 0) setsockopt(fd_, SOL_SOCKET, SO_NOSIGPIPE, &one, sizeof(one));
#endif
}

MmsSocket::~MmsSocket() { Close(); }

MmsSocket::MmsSocket(MmsSocket&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }

MmsSocket& MmsSocket::operator=(MmsSocket&& other) noexcept {
    if (this != &other) {
        Close();
        fd_ = other.fd_;
        other.fd_ = -1;
    }
    return *this;
}

void MmsSocket::Close() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

bool MmsSocket::Resolve(const std::string& host, uint32_t& address) {
    if (host.empty()) return false;
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* result = nullptr;
    if (getaddrinfo(host.c_str(), nullptr, &hints, &result) == 0 && result) {
        for (addrinfo* ai = result; ai; ai = ai->ai_next) {
            if (ai->ai_family == AF_INET && ai->ai_addrlen >= sizeof(sockaddr_in)) {
                address = ntohl(reinterpret_cast<const sockaddr_in*>(ai->ai_addr)->sin_addr.s_addr);
                freeaddrinfo(result);
                return true;
            }
        }
        freeaddrinfo(result);
    }
    // The name service may be missing or refuse; a dotted address still works.
    in_addr dotted{};
    if (inet_pton(AF_INET, host.c_str(), &dotted) == 1) {
        address = ntohl(dotted.s_addr);
        return true;
    }
    return false;
}

MmsSocket::WaitResult MmsSocket::Wait(bool forWrite, const std::atomic<bool>& stop, int timeoutMs) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        if (stop.load(std::memory_order_relaxed)) return WaitResult::Stopped;
        int slice = kWaitSliceMs;
        if (timeoutMs >= 0) {
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now())
                            .count();
            if (left <= 0) return WaitResult::TimedOut;
            if (left < slice) slice = static_cast<int>(left);
        }
        pollfd p{};
        p.fd = fd_;
        p.events = forWrite ? POLLOUT : POLLIN;
        const int n = ::poll(&p, 1, slice);
        if (n < 0) {
            if (errno == EINTR) continue;
            return WaitResult::Failed;
        }
        if (n > 0) return WaitResult::Ready;  // errors and hang-ups show in the next call
    }
}

MmsSocket::ConnectResult MmsSocket::Connect(uint32_t address, uint16_t port, const std::atomic<bool>& stop) {
    Close();
    if (stop.load()) return ConnectResult::Stopped;
    fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd_ < 0) return ConnectResult::SocketFailed;
    int one = 1;
    if (setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof(one)) != 0) {
        Close();
        return ConnectResult::SockoptFailed;
    }
#if defined(SO_NOSIGPIPE)
    setsockopt(fd_, SOL_SOCKET, SO_NOSIGPIPE, &one, sizeof(one));
#endif
    if (!MakeNonBlocking(fd_)) {
        Close();
        return ConnectResult::SocketFailed;
    }
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    to.sin_addr.s_addr = htonl(address);
    int rc;
    do {
        rc = ::connect(fd_, reinterpret_cast<const sockaddr*>(&to), sizeof(to));
    } while (rc != 0 && errno == EINTR);
    if (rc != 0) {
        if (errno != EINPROGRESS) {
            Close();
            return ConnectResult::ConnectFailed;
        }
        switch (Wait(true, stop, kConnectTimeoutMs)) {
        case WaitResult::Ready:
            break;
        case WaitResult::Stopped:
            Close();
            return ConnectResult::Stopped;
        default:
            Close();
            return ConnectResult::ConnectFailed;
        }
        int error = 0;
        socklen_t len = sizeof(error);
        if (getsockopt(fd_, SOL_SOCKET, SO_ERROR, &error, &len) != 0 || error != 0) {
            Close();
            return ConnectResult::ConnectFailed;
        }
    }
    if (stop.load()) {
        Close();
        return ConnectResult::Stopped;
    }
    return ConnectResult::Ok;
}

bool MmsSocket::LocalEndpoint(uint32_t& address, uint16_t& port) const {
    sockaddr_in me{};
    socklen_t len = sizeof(me);
    if (fd_ < 0 || getsockname(fd_, reinterpret_cast<sockaddr*>(&me), &len) != 0 || me.sin_family != AF_INET)
        return false;
    address = ntohl(me.sin_addr.s_addr);
    port = ntohs(me.sin_port);
    return true;
}

long MmsSocket::Receive(uint8_t* dst, size_t n, const std::atomic<bool>& stop) {
    if (fd_ < 0) return kFailed;
    for (;;) {
        if (stop.load(std::memory_order_relaxed)) return kStopped;
        const ssize_t got = ::recv(fd_, dst, n, 0);
        if (got > 0) return static_cast<long>(got);
        if (got == 0) return kClosed;
        if (errno == EINTR) continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK) return kFailed;
        switch (Wait(false, stop, -1)) {
        case WaitResult::Ready:
            break;
        case WaitResult::Stopped:
            return kStopped;
        default:
            return kFailed;
        }
    }
}

bool MmsSocket::SendAll(const uint8_t* data, size_t n, const std::atomic<bool>& stop) {
    if (fd_ < 0) return false;
    size_t done = 0;
    while (done < n) {
        if (stop.load(std::memory_order_relaxed)) return false;
        const ssize_t sent = ::send(fd_, data + done, n - done, kSendFlags);
        if (sent > 0) {
            done += static_cast<size_t>(sent);
            continue;
        }
        if (sent < 0 && errno == EINTR) continue;
        if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            if (Wait(true, stop, -1) != WaitResult::Ready) return false;
            continue;
        }
        return false;
    }
    return true;
}

}  // namespace larkspan
