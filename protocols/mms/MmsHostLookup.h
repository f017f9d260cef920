#pragma once
#include <sys/socket.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "protocols/WakeSignal.h"

namespace larkspan {

// One socket address (IPv4 or IPv6) with its port.
struct NetAddress {
    sockaddr_storage storage{};
    socklen_t length = 0;

    int Family() const { return storage.ss_family; }
    const sockaddr* Get() const { return reinterpret_cast<const sockaddr*>(&storage); }
    // The numeric address without the port ("127.0.0.1", "::1").
    std::string Text() const;
    void SetPort(uint16_t port);
};

// Turns a host name into stream socket addresses (both families). Returns 0
// or a getaddrinfo error code (EAI_NONAME, ...).
using HostLookupFunction = std::function<int(const std::string& host, std::vector<NetAddress>& out)>;

// Host name lookup that a stop request can cut short. A numeric address is
// taken as it is. A name is looked up on a small thread of its own that owns
// everything it touches, so the caller can walk away from a slow name
// service at once: the thread ends by itself when the lookup returns, and
// nobody waits for it. The caller sleeps until the answer comes or the wake
// signal fires; without a wake signal it looks at the stop flag every slice.
class MmsHostLookup {
public:
    enum class Result { Ok, NotFound, Failed, Stopped };
    static constexpr int kWaitSliceMs = 50;

    // Fills out with the addresses of host, each with port set. On NotFound
    // and Failed, cause names the reason ("name not found"). wake, when
    // given, is signalled after stop is set.
    static Result Resolve(const std::string& host, uint16_t port, const std::atomic<bool>& stop,
                          std::vector<NetAddress>& out, std::string& cause, const WakeSignal* wake = nullptr);

    // Replaces the system's lookup, e.g. with one that never answers; an
    // empty function restores getaddrinfo. Lookups already running keep the
    // function they started with.
    static void SetLookupFunction(HostLookupFunction lookup);
};

}  // namespace larkspan
