#pragma once
#include <atomic>
#include <memory>

#include "protocols/mms/MmsSocket.h"
#include "protocols/mms/MmsTransport.h"

namespace larkspan {

// The session's transport over a connected socket. Reads go through a
// buffer, so a media packet's prefix and payload usually cost one receive
// between them rather than two. A receive or send that waits longer than
// the idle time-out fails with TransportEnd::TimedOut.
class MmsSocketTransport : public MmsTransport {
public:
    static constexpr size_t kBufferSize = 64 * 1024;

    // idleTimeoutMs < 0: wait without end.
    MmsSocketTransport(MmsSocket& socket, const std::atomic<bool>& stop, int idleTimeoutMs = -1);

    bool RecvExact(uint8_t* dst, size_t n) override;
    bool SendAll(const uint8_t* data, size_t n) override;
    void LocalEndpoint(std::string& address, uint16_t& port) const override;

private:
    bool Fill();
    long Receive(uint8_t* dst, size_t n);
    void FailedWith(int error);

    MmsSocket& socket_;
    const std::atomic<bool>& stop_;
    const int idleTimeoutMs_;
    std::unique_ptr<uint8_t[]> buffer_;
    size_t begin_ = 0;
    size_t end_ = 0;
};

}  // namespace larkspan
