#pragma once
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

namespace larkspan {

// The few stream-socket calls the MMS client makes, kept in one file pair so
// that only it depends on the platform (POSIX here). The socket is
// non-blocking and every wait is cut into short slices, so a stop request is
// seen within one slice even while the peer sends nothing.
class MmsSocket {
public:
    static constexpr int kWaitSliceMs = 100;
    static constexpr int kConnectTimeoutMs = 60000;

    enum class ConnectResult { Ok, SocketFailed, SockoptFailed, ConnectFailed, Stopped };

    // Results of Receive besides a byte count.
    static constexpr long kClosed = 0;
    static constexpr long kFailed = -1;
    static constexpr long kStopped = -2;

    MmsSocket() = default;
    explicit MmsSocket(int handle);  // adopts a connected socket (made non-blocking)
    ~MmsSocket();
    MmsSocket(MmsSocket&& other) noexcept;
    MmsSocket& operator=(MmsSocket&& other) noexcept;
    MmsSocket(const MmsSocket&) = delete;
    MmsSocket& operator=(const MmsSocket&) = delete;

    // IPv4 address of a host name or dotted address, in host byte order.
    static bool Resolve(const std::string& host, uint32_t& address);

    ConnectResult Connect(uint32_t address, uint16_t port, const std::atomic<bool>& stop);
    bool LocalEndpoint(uint32_t& address, uint16_t& port) const;

    // Receives up to n bytes once data is there: the byte count, or kClosed,
    // kFailed, kStopped.
    long Receive(uint8_t* dst, size_t n, const std::atomic<bool>& stop);
    // False when the send failed or stop was set before everything went out.
    bool SendAll(const uint8_t* data, size_t n, const std::atomic<bool>& stop);

    bool IsOpen() const { return fd_ >= 0; }
    void Close();

private:
    enum class WaitResult { Ready, Stopped, TimedOut, Failed };
    WaitResult Wait(bool forWrite, const std::atomic<bool>& stop, int timeoutMs);

    int fd_ = -1;
};

}  // namespace larkspan
