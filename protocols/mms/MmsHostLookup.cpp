#include "protocols/mms/MmsHostLookup.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>

namespace larkspan {

namespace {

int SystemLookup(const std::string& host, std::vector<NetAddress>& out) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_ADDRCONFIG;
    addrinfo* result = nullptr;
    const int rc = getaddrinfo(host.c_str(), nullptr, &hints, &result);
    if (rc != 0) return rc;
    for (addrinfo* ai = result; ai; ai = ai->ai_next) {
        if ((ai->ai_family != AF_INET && ai->ai_family != AF_INET6) || ai->ai_addrlen > sizeof(sockaddr_storage))
            continue;
        NetAddress a;
        std::memcpy(&a.storage, ai->ai_addr, ai->ai_addrlen);
        a.length = static_cast<socklen_t>(ai->ai_addrlen);
        out.push_back(a);
    }
    freeaddrinfo(result);
    return out.empty() ? EAI_NONAME : 0;
}

std::mutex& LookupMutex() {
    static std::mutex m;
    return m;
}

HostLookupFunction& InstalledLookup() {
    static HostLookupFunction f;
    return f;
}

HostLookupFunction CurrentLookup() {
    std::lock_guard<std::mutex> lock(LookupMutex());
    return InstalledLookup() ? InstalledLookup() : HostLookupFunction(SystemLookup);
}

bool ParseNumeric(const std::string& host, NetAddress& out) {
    in_addr v4{};
    if (inet_pton(AF_INET, host.c_str(), &v4) == 1) {
        auto* sin = reinterpret_cast<sockaddr_in*>(&out.storage);
        sin->sin_family = AF_INET;
        sin->sin_addr = v4;
        out.length = sizeof(sockaddr_in);
        return true;
    }
    in6_addr v6{};
    if (inet_pton(AF_INET6, host.c_str(), &v6) == 1) {
        auto* sin6 = reinterpret_cast<sockaddr_in6*>(&out.storage);
        sin6->sin6_family = AF_INET6;
        sin6->sin6_addr = v6;
        out.length = sizeof(sockaddr_in6);
        return true;
    }
    return false;
}

std::string LookupErrorText(int code) {
    switch (code) {
    case EAI_NONAME:
    case EAI_FAIL:
#if defined(EAI_NODATA)
    case EAI_NODATA:
#endif
        return "name not found";
    case EAI_AGAIN:
        return "name service not answering";
    default:
        return gai_strerror(code);
    }
}

// What the lookup thread and the waiting caller share. The thread holds its
// own reference, so the caller may leave before the lookup ends.
struct PendingLookup {
    std::mutex m;
    std::condition_variable done;
    WakeSignal answered;  // signalled with done, for a caller that polls
    bool finished = false;
    int code = 0;
    std::vector<NetAddress> addresses;
};

}  // namespace

std::string NetAddress::Text() const {
    char text[INET6_ADDRSTRLEN] = {};
    if (Family() == AF_INET) {
        inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(&storage)->sin_addr, text, sizeof(text));
    } else if (Family() == AF_INET6) {
        inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6*>(&storage)->sin6_addr, text, sizeof(text));
    }
    return text;
}

void NetAddress::SetPort(uint16_t port) {
    if (Family() == AF_INET) reinterpret_cast<sockaddr_in*>(&storage)->sin_port = htons(port);
    if (Family() == AF_INET6) reinterpret_cast<sockaddr_in6*>(&storage)->sin6_port = htons(port);
}

void MmsHostLookup::SetLookupFunction(HostLookupFunction lookup) {
    std::lock_guard<std::mutex> lock(LookupMutex());
    InstalledLookup() = std::move(lookup);
}

MmsHostLookup::Result MmsHostLookup::Resolve(const std::string& host, uint16_t port, const std::atomic<bool>& stop,
                                             std::vector<NetAddress>& out, std::string& cause,
                                             const WakeSignal* wake) {
    out.clear();
    cause.clear();
    if (host.empty()) {
        cause = "no host name";
        return Result::NotFound;
    }
    NetAddress numeric;
    if (ParseNumeric(host, numeric)) {
        numeric.SetPort(port);
        out.push_back(numeric);
        return Result::Ok;
    }
    if (stop.load()) return Result::Stopped;

    auto pending = std::make_shared<PendingLookup>();
    HostLookupFunction lookup = CurrentLookup();
    try {
        std::thread([pending, lookup, host] {
            std::vector<NetAddress> addresses;
            const int code = lookup(host, addresses);
            std::lock_guard<std::mutex> lock(pending->m);
            pending->code = code;
            pending->addresses = std::move(addresses);
            pending->finished = true;
            pending->done.notify_all();
            pending->answered.Signal();
        }).detach();
    } catch (const std::system_error&) {
        // No thread to be had: look up in place.
        pending->code = lookup(host, pending->addresses);
        pending->finished = true;
    }

    bool polling = wake && wake->Handle() >= 0 && pending->answered.Handle() >= 0;
    std::unique_lock<std::mutex> lock(pending->m);
    while (!pending->finished) {
        if (stop.load()) return Result::Stopped;
        if (!polling) {
            pending->done.wait_for(lock, std::chrono::milliseconds(kWaitSliceMs));
            continue;
        }
        lock.unlock();
        pollfd p[2] = {};
        p[0].fd = pending->answered.Handle();
        p[0].events = POLLIN;
        p[1].fd = wake->Handle();
        p[1].events = POLLIN;
        const int n = ::poll(p, 2, -1);
        if (n < 0 && errno != EINTR) polling = false;  // the slices still work
        // A signal left from before is dropped; a stop shows at the next look.
        if (n > 0 && p[1].revents != 0) wake->Drain();
        lock.lock();
    }
    if (pending->code != 0) {
        cause = LookupErrorText(pending->code);
        return pending->code == EAI_NONAME || pending->code == EAI_FAIL ? Result::NotFound : Result::Failed;
    }
    out = std::move(pending->addresses);
    for (NetAddress& a : out) a.SetPort(port);
    if (out.empty()) {
        cause = LookupErrorText(EAI_NONAME);
        return Result::NotFound;
    }
    return Result::Ok;
}

}  // namespace larkspan
