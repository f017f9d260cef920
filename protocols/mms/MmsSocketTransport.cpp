#include "protocols/mms/MmsSocketTransport.h"

#include <cerrno>
#include <algorithm>
#include <cstring>

namespace larkspan {

MmsSocketTransport::MmsSocketTransport(MmsSocket& socket, const std::atomic<bool>& stop, int idleTimeoutMs)
    : socket_(socket), stop_(stop), idleTimeoutMs_(idleTimeoutMs), buffer_(new uint8_t[kBufferSize]) {}

void MmsSocketTransport::FailedWith(int error) {
    if (error == ECONNRESET || error == EPIPE) {
        SetEnd(TransportEnd::Reset);
    } else if (error == ETIMEDOUT) {
        SetEnd(TransportEnd::TimedOut);
    } else {
        SetEnd(TransportEnd::Failed, MmsSocket::ErrorText(error));
    }
}

long MmsSocketTransport::Receive(uint8_t* dst, size_t n) {
    const long got = socket_.Receive(dst, n, stop_, idleTimeoutMs_);
    switch (got) {
    case MmsSocket::kClosed:
        SetEnd(TransportEnd::Closed);
        break;
    case MmsSocket::kStopped:
        SetEnd(TransportEnd::Stopped);
        break;
    case MmsSocket::kTimedOut:
        SetEnd(TransportEnd::TimedOut);
        break;
    case MmsSocket::kFailed:
        FailedWith(socket_.LastError());
        break;
    default:
        break;
    }
    return got;
}

bool MmsSocketTransport::Fill() {
    begin_ = end_ = 0;
    const long got = Receive(buffer_.get(), kBufferSize);
    if (got <= 0) return false;
    end_ = static_cast<size_t>(got);
    return true;
}

bool MmsSocketTransport::RecvExact(uint8_t* dst, size_t n) {
    while (n > 0) {
        if (begin_ == end_) {
            // A large read goes straight to its destination.
            if (n >= kBufferSize) {
                const long got = Receive(dst, n);
                if (got <= 0) return false;
                dst += got;
                n -= static_cast<size_t>(got);
                continue;
            }
            if (!Fill()) return false;
        }
        const size_t take = std::min(n, end_ - begin_);
        std::memcpy(dst, buffer_.get() + begin_, take);
        begin_ += take;
        dst += take;
        n -= take;
    }
    // A stop found after the bytes arrived still ends the read.
    if (stop_.load(std::memory_order_relaxed)) {
        SetEnd(TransportEnd::Stopped);
        return false;
    }
    return true;
}

bool MmsSocketTransport::SendAll(const uint8_t* data, size_t n) {
    switch (socket_.SendAll(data, n, stop_, idleTimeoutMs_)) {
    case MmsSocket::SendResult::Ok:
        return true;
    case MmsSocket::SendResult::Stopped:
        SetEnd(TransportEnd::Stopped);
        return false;
    case MmsSocket::SendResult::TimedOut:
        SetEnd(TransportEnd::TimedOut);
        return false;
    case MmsSocket::SendResult::Failed:
        FailedWith(socket_.LastError());
        return false;
    }
    return false;
}

void MmsSocketTransport::LocalEndpoint(std::string& address, uint16_t& port) const {
    if (!socket_.LocalEndpoint(address, port)) {
        address = "0.0.0.0";
        port = 0;
    }
}

}  // namespace larkspan
