#include "protocols/mms/MmsSocket.h"

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <fcntl.h>
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

MmsSocket::MmsSocket(MmsSocket&& other) noexcept
    : fd_(other.fd_), lastError_(other.lastError_), wake_(other.wake_), pollReturns_(other.pollReturns_) {
    other.fd_ = -1;
}

MmsSocket& MmsSocket::operator=(MmsSocket&& other) noexcept {
    if (this != &other) {
        Close();
        fd_ = other.fd_;
        lastError_ = other.lastError_;
        wake_ = other.wake_;
        pollReturns_ = other.pollReturns_;
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

std::string MmsSocket::ErrorText(int error) {
    switch (error) {
    case ECONNREFUSED:
        return "connection refused";
    case ECONNRESET:
    case EPIPE:
        return "connection reset";
    case ETIMEDOUT:
        return "timed out";
    case ENETUNREACH:
        return "network unreachable";
    case EHOSTUNREACH:
        return "host unreachable";
    default:
        return std::strerror(error);
    }
}

MmsSocket::WaitResult MmsSocket::Wait(bool forWrite, const std::atomic<bool>& stop, int timeoutMs) {
    const int wakeHandle = wake_ ? wake_->Handle() : -1;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        if (stop.load(std::memory_order_relaxed)) return WaitResult::Stopped;
        // With a wake signal the wait needs no slices: only the time-out
        // bounds it.
        int waitMs = wakeHandle >= 0 ? -1 : kWaitSliceMs;
        if (timeoutMs >= 0) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now())
                    .count();
            if (left <= 0) return WaitResult::TimedOut;
            if (waitMs < 0 || left < waitMs) waitMs = static_cast<int>(left);
        }
        pollfd p[2] = {};
        p[0].fd = fd_;
        p[0].events = forWrite ? POLLOUT : POLLIN;
        p[1].fd = wakeHandle;
        p[1].events = POLLIN;
        const int n = ::poll(p, wakeHandle >= 0 ? 2 : 1, waitMs);
        ++pollReturns_;
        if (n < 0) {
            if (errno == EINTR) continue;
            Fail(errno);
            return WaitResult::Failed;
        }
        if (n > 0 && p[0].revents != 0) return WaitResult::Ready;  // errors and hang-ups show in the next call
        // A signal is taken off before the flag is looked at again: a stop
        // signalled after that look leaves the handle readable, and one
        // left from before this recording began is simply dropped.
        if (n > 0 && p[1].revents != 0) wake_->Drain();
    }
}

MmsSocket::ConnectResult MmsSocket::Connect(const NetAddress& address, int timeoutMs, const std::atomic<bool>& stop) {
    Close();
    lastError_ = 0;
    if (stop.load()) return ConnectResult::Stopped;
    fd_ = ::socket(address.Family(), SOCK_STREAM, 0);
    if (fd_ < 0) {
        Fail(errno);
        return ConnectResult::SocketFailed;
    }
    int one = 1;
    if (setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof(one)) != 0) {
        Fail(errno);
        Close();
        return ConnectResult::SockoptFailed;
    }
#if defined(SO_NOSIGPIPE)
    setsockopt(fd_, SOL_SOCKET, SO_NOSIGPIPE, &one, sizeof(one));
#endif
    if (!MakeNonBlocking(fd_)) {
        Fail(errno);
        Close();
        return ConnectResult::SocketFailed;
    }
    int rc;
    do {
        rc = ::connect(fd_, address.Get(), address.length);
    } while (rc != 0 && errno == EINTR);
    if (rc != 0) {
        if (errno != EINPROGRESS) {
            Fail(errno);
            Close();
            return ConnectResult::ConnectFailed;
        }
        switch (Wait(true, stop, timeoutMs)) {
        case WaitResult::Ready:
            break;
        case WaitResult::Stopped:
            Close();
            return ConnectResult::Stopped;
        case WaitResult::TimedOut:
            Fail(ETIMEDOUT);
            Close();
            return ConnectResult::TimedOut;
        case WaitResult::Failed:
            Close();
            return ConnectResult::ConnectFailed;
        }
        int error = 0;
        socklen_t len = sizeof(error);
        if (getsockopt(fd_, SOL_SOCKET, SO_ERROR, &error, &len) != 0 || error != 0) {
            Fail(error != 0 ? error : errno);
            Close();
            return lastError_ == ETIMEDOUT ? ConnectResult::TimedOut : ConnectResult::ConnectFailed;
        }
    }
    if (stop.load()) {
        Close();
        return ConnectResult::Stopped;
    }
    return ConnectResult::Ok;
}

bool MmsSocket::LocalEndpoint(std::string& address, uint16_t& port) const {
    NetAddress me;
    me.length = sizeof(me.storage);
    if (fd_ < 0 || getsockname(fd_, reinterpret_cast<sockaddr*>(&me.storage), &me.length) != 0) return false;
    if (me.Family() == AF_INET) {
        port = ntohs(reinterpret_cast<const sockaddr_in*>(&me.storage)->sin_port);
    } else if (me.Family() == AF_INET6) {
        port = ntohs(reinterpret_cast<const sockaddr_in6*>(&me.storage)->sin6_port);
    } else {
        return false;
    }
    address = me.Text();
    return true;
}

long MmsSocket::Receive(uint8_t* dst, size_t n, const std::atomic<bool>& stop, int timeoutMs) {
    if (fd_ < 0) return kFailed;
    for (;;) {
        if (stop.load(std::memory_order_relaxed)) return kStopped;
        const ssize_t got = ::recv(fd_, dst, n, 0);
        if (got > 0) return static_cast<long>(got);
        if (got == 0) return kClosed;
        if (errno == EINTR) continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK) {
            Fail(errno);
            return kFailed;
        }
        switch (Wait(false, stop, timeoutMs)) {
        case WaitResult::Ready:
            break;
        case WaitResult::Stopped:
            return kStopped;
        case WaitResult::TimedOut:
            return kTimedOut;
        case WaitResult::Failed:
            return kFailed;
        }
    }
}

MmsSocket::SendResult MmsSocket::SendAll(const uint8_t* data, size_t n, const std::atomic<bool>& stop, int timeoutMs) {
    if (fd_ < 0) return SendResult::Failed;
    size_t done = 0;
    while (done < n) {
        if (stop.load(std::memory_order_relaxed)) return SendResult::Stopped;
        const ssize_t sent = ::send(fd_, data + done, n - done, kSendFlags);
        if (sent > 0) {
            done += static_cast<size_t>(sent);
            continue;
        }
        if (sent < 0 && errno == EINTR) continue;
        if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            switch (Wait(true, stop, timeoutMs)) {
            case WaitResult::Ready:
                continue;
            case WaitResult::Stopped:
                return SendResult::Stopped;
            case WaitResult::TimedOut:
                return SendResult::TimedOut;
            case WaitResult::Failed:
                return SendResult::Failed;
            }
        }
        Fail(sent < 0 ? errno : EIO);
        return SendResult::Failed;
    }
    return SendResult::Ok;
}

}  // namespace larkspan
