#include "protocols/mms/MmsSocketTransport.h"

#include <algorithm>
#include <cstring>

namespace larkspan {

MmsSocketTransport::MmsSocketTransport(MmsSocket& socket, const std::atomic<bool>& stop)
    : socket_(socket), stop_(stop), buffer_(new uint8_t[kBufferSize]) {}

bool MmsSocketTransport::Fill() {
    begin_ = end_ = 0;
    const long got = socket_.Receive(buffer_.get(), kBufferSize, stop_);
    if (got <= 0) return false;
    end_ = static_cast<size_t>(got);
    return true;
}

bool MmsSocketTransport::RecvExact(uint8_t* dst, size_t n) {
    while (n > 0) {
        if (begin_ == end_) {
            // A large read goes straight to its destination.
            if (n >= kBufferSize) {
                const long got = socket_.Receive(dst, n, stop_);
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
    return !stop_.load(std::memory_order_relaxed);
}

bool MmsSocketTransport::SendAll(const uint8_t* data, size_t n) { return socket_.SendAll(data, n, stop_); }

void MmsSocketTransport::LocalEndpoint(uint32_t& address, uint16_t& port) const {
    if (!socket_.LocalEndpoint(address, port)) {
        address = 0;
        port = 0;
    }
}

}  // namespace larkspan
