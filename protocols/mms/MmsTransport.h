#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace larkspan {

// Why the last receive or send of a transport failed.
enum class TransportEnd {
    None,      // nothing failed yet
    Closed,    // the peer closed the connection (or the bytes ran out)
    Reset,     // the peer reset the connection
    TimedOut,  // nothing arrived (or could be sent) for the idle time-out
    Stopped,   // the client was asked to stop
    Failed,    // another system error; FailureText() names it
};

// Where the MMS session reads the server's bytes from and sends its
// commands to. The socket is one; memory is another, so the reading and
// dispatching code can be driven by fixed or fuzzed bytes.
class MmsTransport {
public:
    virtual ~MmsTransport() = default;

    // Fills dst with exactly n bytes. False on a receive error, a closed
    // connection, a time-out or a stop request; End() then says which.
    virtual bool RecvExact(uint8_t* dst, size_t n) = 0;

    // Reads n bytes and drops them.
    virtual bool Discard(uint64_t n);

    // Sends all n bytes. False when the send failed or the client was stopped.
    virtual bool SendAll(const uint8_t* data, size_t n) = 0;

    // The connection's own address as text ("192.168.0.5", "::1") and port.
    virtual void LocalEndpoint(std::string& address, uint16_t& port) const = 0;

    TransportEnd End() const { return end_; }
    // The system's reason when End() is Failed.
    const std::string& FailureText() const { return failureText_; }

protected:
    void SetEnd(TransportEnd end, std::string failureText = {}) {
        end_ = end;
        failureText_ = std::move(failureText);
    }

private:
    TransportEnd end_ = TransportEnd::None;
    std::string failureText_;
};

// Serves a fixed byte string and keeps what is sent back. Running out of
// bytes reads as the server closing the connection.
class MmsMemoryTransport : public MmsTransport {
public:
    MmsMemoryTransport(const uint8_t* data, size_t size) : data_(data), size_(size) {}

    bool RecvExact(uint8_t* dst, size_t n) override;
    bool Discard(uint64_t n) override;
    bool SendAll(const uint8_t* data, size_t n) override;
    void LocalEndpoint(std::string& address, uint16_t& port) const override;

    // IPv4 address in host byte order.
    void SetLocalEndpoint(uint32_t address, uint16_t port);
    // On by default; fuzzers turn it off to save the copies.
    void KeepSent(bool keep) { keepSent_ = keep; }
    const std::vector<uint8_t>& Sent() const { return sent_; }
    size_t Remaining() const { return size_ - pos_; }

private:
    const uint8_t* data_;
    size_t size_;
    size_t pos_ = 0;
    std::string address_ = "127.0.0.1";
    uint16_t port_ = 1234;
    bool keepSent_ = true;
    std::vector<uint8_t> sent_;
};

}  // namespace larkspan
