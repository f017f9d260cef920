#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

namespace larkspan {

// Where the MMS session reads the server's bytes from and sends its
// commands to. The socket is one; memory is another, so the reading and
// dispatching code can be driven by fixed or fuzzed bytes.
class MmsTransport {
public:
    virtual ~MmsTransport() = default;

    // Fills dst with exactly n bytes. False on a receive error, a closed
    // connection, or a stop request.
    virtual bool RecvExact(uint8_t* dst, size_t n) = 0;

    // Reads n bytes and drops them.
    virtual bool Discard(uint64_t n);

    // Sends all n bytes. False when the send failed or the client was stopped.
    virtual bool SendAll(const uint8_t* data, size_t n) = 0;

    // The connection's own IPv4 address (host order) and port.
    virtual void LocalEndpoint(uint32_t& address, uint16_t& port) const = 0;
};

// Serves a fixed byte string and keeps what is sent back.
class MmsMemoryTransport : public MmsTransport {
public:
    MmsMemoryTransport(const uint8_t* data, size_t size) : data_(data), size_(size) {}

    bool RecvExact(uint8_t* dst, size_t n) override;
    bool Discard(uint64_t n) override;
    bool SendAll(const uint8_t* data, size_t n) override;
    void LocalEndpoint(uint32_t& address, uint16_t& port) const override;

    void SetLocalEndpoint(uint32_t address, uint16_t port) {
        address_ = address;
        port_ = port;
    }
    // On by default; fuzzers turn it off to save the copies.
    void KeepSent(bool keep) { keepSent_ = keep; }
    const std::vector<uint8_t>& Sent() const { return sent_; }
    size_t Remaining() const { return size_ - pos_; }

private:
    const uint8_t* data_;
    size_t size_;
    size_t pos_ = 0;
    uint32_t address_ = 0x7F000001;  // 127.0.0.1
    uint16_t port_ = 1234;
    bool keepSent_ = true;
    std::vector<uint8_t> sent_;
};

}  // namespace larkspan
