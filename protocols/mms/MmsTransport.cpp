#include "protocols/mms/MmsTransport.h"

#include <algorithm>
#include <cstring>

namespace larkspan {

bool MmsTransport::Discard(uint64_t n) {
    uint8_t scratch[4096];
    while (n > 0) {
        const size_t step = static_cast<size_t>(std::min<uint64_t>(n, sizeof(scratch)));
        if (!RecvExact(scratch, step)) return false;
        n -= step;
    }
    return true;
}

bool MmsMemoryTransport::RecvExact(uint8_t* dst, size_t n) {
    if (n > size_ - pos_) {
        pos_ = size_;
        SetEnd(TransportEnd::Closed);
        return false;
    }
    if (n > 0) std::memcpy(dst, data_ + pos_, n);
    pos_ += n;
    return true;
}

bool MmsMemoryTransport::Discard(uint64_t n) {
    if (n > size_ - pos_) {
        pos_ = size_;
        SetEnd(TransportEnd::Closed);
        return false;
    }
    pos_ += static_cast<size_t>(n);
    return true;
}

bool MmsMemoryTransport::SendAll(const uint8_t* data, size_t n) {
    if (keepSent_) sent_.insert(sent_.end(), data, data + n);
    return true;
}

void MmsMemoryTransport::LocalEndpoint(std::string& address, uint16_t& port) const {
    address = address_;
    port = port_;
}

void MmsMemoryTransport::SetLocalEndpoint(uint32_t address, uint16_t port) {
    address_ = std::to_string((address >> 24) & 0xFF) + "." + std::to_string((address >> 16) & 0xFF) + "." +
               std::to_string((address >> 8) & 0xFF) + "." + std::to_string(address & 0xFF);
    port_ = port;
}

}  // namespace larkspan
