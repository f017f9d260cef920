#pragma once
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

#include "protocols/WakeSignal.h"
#include "protocols/mms/MmsHostLookup.h"

namespace larkspan {

// The few stream-socket calls the MMS client makes, kept in one file pair so
// that only it depends on the platform (POSIX here). The socket is
// non-blocking. A wait sleeps until the socket is ready, its time-out runs
// out or the wake signal given to WakeOn fires (the owner's Stop), so a quiet
// peer costs no wake-ups. Without a wake signal the wait is cut into short
// slices and the stop flag is looked at after each.
class MmsSocket {
public:
    static constexpr int kWaitSliceMs = 100;

    enum class ConnectResult { Ok, SocketFailed, SockoptFailed, ConnectFailed, TimedOut, Stopped };

    // Results of Receive besides a byte count.
    static constexpr long kClosed = 0;
    static constexpr long kFailed = -1;
    static constexpr long kStopped = -2;
    static constexpr long kTimedOut = -3;

    enum class SendResult { Ok, Failed, Stopped, TimedOut };

    MmsSocket() = default;
    explicit MmsSocket(int handle);  // adopts a connected socket (made non-blocking)
    ~MmsSocket();
    MmsSocket(MmsSocket&& other) noexcept;
    MmsSocket& operator=(MmsSocket&& other) noexcept;
    MmsSocket(const MmsSocket&) = delete;
    MmsSocket& operator=(const MmsSocket&) = delete;

    // Waits also end when signal fires; it must outlive the socket's waits.
    // Whoever sets the stop flag signals it afterwards.
    void WakeOn(const WakeSignal* signal) { wake_ = signal; }
    // How many times a wait has returned from poll: a silent peer with a
    // wake signal costs one per wait, not one per slice.
    uint64_t PollReturns() const { return pollReturns_; }

    // Connects to address (either family), giving up after timeoutMs.
    ConnectResult Connect(const NetAddress& address, int timeoutMs, const std::atomic<bool>& stop);
    // The socket's own address as text and port.
    bool LocalEndpoint(std::string& address, uint16_t& port) const;

    // Receives up to n bytes once data is there: the byte count, or kClosed,
    // kFailed, kStopped, or kTimedOut when nothing came for timeoutMs
    // (negative: wait without end).
    long Receive(uint8_t* dst, size_t n, const std::atomic<bool>& stop, int timeoutMs = -1);
    // Sends everything; gives up when the peer takes nothing for timeoutMs.
    SendResult SendAll(const uint8_t* data, size_t n, const std::atomic<bool>& stop, int timeoutMs = -1);

    // The system error of the last failure (ECONNREFUSED, ECONNRESET, ...).
    int LastError() const { return lastError_; }
    // A short text for a system error of a connection: "connection refused".
    static std::string ErrorText(int error);

    bool IsOpen() const { return fd_ >= 0; }
    void Close();

private:
    enum class WaitResult { Ready, Stopped, TimedOut, Failed };
    WaitResult Wait(bool forWrite, const std::atomic<bool>& stop, int timeoutMs);
    void Fail(int error) { lastError_ = error; }

    int fd_ = -1;
    int lastError_ = 0;
    const WakeSignal* wake_ = nullptr;
    uint64_t pollReturns_ = 0;
};

}  // namespace larkspan
