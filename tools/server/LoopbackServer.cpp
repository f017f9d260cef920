#include "tools/server/LoopbackServer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "tools/server/ServerInternals.h"

namespace larkspan::testserver {

namespace {

std::string ErrnoText(const char* what) { return std::string(what) + ": " + std::strerror(errno); }

}  // namespace

std::string MountKey(const std::string& target) {
    std::string key = target;
    // An absolute target (as a proxy would see it) loses scheme and host.
    size_t scheme = key.find("://");
    if (scheme != std::string::npos && scheme < key.find('/')) {
        size_t slash = key.find('/', scheme + 3);
        key = slash == std::string::npos ? std::string() : key.substr(slash);
    }
    size_t first = key.find_first_not_of('/');
    return first == std::string::npos ? std::string() : key.substr(first);
}

// ---------------------------------------------------------------------------
// Impl

std::shared_ptr<const Mount> LoopbackServer::Impl::FindMount(const std::string& target) const {
    std::string key = MountKey(target);
    std::lock_guard<std::mutex> lock(mu);
    auto it = mounts.find(key);
    if (it == mounts.end()) {
        size_t query = key.find('?');
        if (query != std::string::npos) it = mounts.find(key.substr(0, query));
    }
    return it == mounts.end() ? nullptr : it->second;
}

bool LoopbackServer::Impl::Logging() {
    std::lock_guard<std::mutex> lock(logMu);
    return static_cast<bool>(logger);
}

void LoopbackServer::Impl::Log(uint64_t connection, const std::string& text) {
    std::lock_guard<std::mutex> lock(logMu);
    if (logger) logger("[" + std::to_string(connection) + "] " + text);
}

uint32_t LoopbackServer::Impl::NextClientId() {
    std::lock_guard<std::mutex> lock(mu);
    return nextClientId++;
}

void LoopbackServer::Impl::AddHttpRecord(HttpRequestRecord record) {
    {
        std::lock_guard<std::mutex> lock(mu);
        http.push_back(std::move(record));
    }
    changed.notify_all();
}

void LoopbackServer::Impl::AddMmsRecord(MmsCommandRecord record) {
    {
        std::lock_guard<std::mutex> lock(mu);
        mms.push_back(std::move(record));
    }
    changed.notify_all();
}

void LoopbackServer::Impl::UpdateConnection(uint64_t id, const std::function<void(ConnectionRecord&)>& change) {
    {
        std::lock_guard<std::mutex> lock(mu);
        auto it = connections.find(id);
        if (it == connections.end()) return;
        change(it->second);
    }
    changed.notify_all();
}

bool LoopbackServer::Impl::Listen(Listener& listener, Protocol protocol, uint16_t port, uint16_t& bound,
                                  std::string* error, bool ipv6) {
    if (listener.fd >= 0) {
        if (error) *error = "already listening";
        return false;
    }
    if (wakePipe[0] < 0 && pipe2(wakePipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        if (error) *error = ErrnoText("pipe");
        return false;
    }
    stopping = false;
    int fd = socket(ipv6 ? AF_INET6 : AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        if (error) *error = ErrnoText("socket");
        return false;
    }
    int one = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    sockaddr_in6 addr6{};
    addr6.sin6_family = AF_INET6;
    addr6.sin6_port = htons(port);
    addr6.sin6_addr = in6addr_loopback;
    sockaddr* at = ipv6 ? reinterpret_cast<sockaddr*>(&addr6) : reinterpret_cast<sockaddr*>(&addr);
    socklen_t size = ipv6 ? sizeof addr6 : sizeof addr;
    if (bind(fd, at, size) != 0) {
        if (error) *error = ErrnoText("bind");
        close(fd);
        return false;
    }
    if (listen(fd, 256) != 0) {
        if (error) *error = ErrnoText("listen");
        close(fd);
        return false;
    }
    getsockname(fd, at, &size);
    bound = ntohs(ipv6 ? addr6.sin6_port : addr.sin_port);
    listener.fd = fd;
    listener.thread = std::thread([this, fd, protocol] { AcceptLoop(fd, protocol); });
    return true;
}

void LoopbackServer::Impl::AcceptLoop(int listenFd, Protocol protocol) {
    while (!stopping) {
        pollfd fds[2] = {{listenFd, POLLIN, 0}, {wakePipe[0], POLLIN, 0}};
        int n = poll(fds, 2, -1);
        if (n < 0) {
            if (errno == EINTR) continue;
            break;
        }
        if (stopping || (fds[1].revents & POLLIN)) break;
        if (!(fds[0].revents & POLLIN)) continue;
        int fd = accept4(listenFd, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) continue;
        int one = 1;
        setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        ReapFinished();

        auto worker = std::make_unique<Worker>();
        Worker* w = worker.get();
        {
            std::lock_guard<std::mutex> lock(mu);
            if (stopping) {
                close(fd);
                break;
            }
            w->id = nextConnectionId++;
            w->fd = fd;
            ConnectionRecord record;
            record.id = w->id;
            record.protocol = protocol;
            connections[w->id] = record;
            ++active;
            if (active > peak) peak = active;
            // Started under the lock: the other listener's reaping and Stop()
            // read the thread handle under it too.
            w->thread = std::thread([this, w, protocol] { RunConnection(w, protocol); });
            workers.push_back(std::move(worker));
        }
        changed.notify_all();
    }
}

void LoopbackServer::Impl::RunConnection(Worker* worker, Protocol protocol) {
    Connection connection(*this, worker->fd, worker->id);
    Log(worker->id, std::string("connected (") + (protocol == Protocol::Mmsh ? "MMSH" : "MMS") + ")");
    if (protocol == Protocol::Mmsh) {
        RunMmshSession(connection);
    } else {
        RunMmsSession(connection);
    }
    {
        std::lock_guard<std::mutex> lock(mu);
        close(worker->fd);
        worker->fd = -1;
        worker->done = true;
        --active;
        auto it = connections.find(worker->id);
        if (it != connections.end()) {
            it->second.open = false;
            if (connection.peerClosed) it->second.peerClosed = true;
            if (it->second.pingsSent > it->second.pongsReceived) {
                missingPongs += it->second.pingsSent - it->second.pongsReceived;
            }
            if (connection.servedRequest) ++completedRequests;
        }
    }
    changed.notify_all();
    Log(worker->id, "closed");
}

void LoopbackServer::Impl::ReapFinished() {
    std::list<std::unique_ptr<Worker>> finished;
    {
        std::lock_guard<std::mutex> lock(mu);
        for (auto it = workers.begin(); it != workers.end();) {
            if ((*it)->done) {
                finished.push_back(std::move(*it));
                it = workers.erase(it);
            } else {
                ++it;
            }
        }
    }
    for (auto& w : finished) {
        if (w->thread.joinable()) w->thread.join();
    }
}

// ---------------------------------------------------------------------------
// Connection

bool Connection::Send(const uint8_t* data, size_t length) {
    size_t done = 0;
    while (done < length) {
        if (Stopping()) return false;
        ssize_t n = ::send(fd_, data + done, length - done, MSG_NOSIGNAL);
        if (n < 0) {
            if (errno == EINTR) continue;
            if (errno == EPIPE || errno == ECONNRESET) peerClosed = true;
            return false;
        }
        done += size_t(n);
        server_.UpdateConnection(id_, [n](ConnectionRecord& r) { r.bytesSent += uint64_t(n); });
    }
    return true;
}

Connection::Wait Connection::WaitReadable(int timeoutMs) {
    for (;;) {
        if (Stopping()) return Wait::Closed;
        pollfd fds[2] = {{fd_, POLLIN, 0}, {server_.wakePipe[0], POLLIN, 0}};
        int n = poll(fds, 2, timeoutMs);
        if (n < 0) {
            if (errno == EINTR) continue;
            return Wait::Closed;
        }
        if (Stopping()) return Wait::Closed;
        if (n == 0) return Wait::Timeout;
        if (fds[0].revents & (POLLIN | POLLHUP | POLLERR)) return Wait::Readable;
        if (fds[0].revents & POLLNVAL) return Wait::Closed;
    }
}

ssize_t Connection::Recv(uint8_t* buffer, size_t length) {
    for (;;) {
        ssize_t n = ::recv(fd_, buffer, length, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n == 0) peerClosed = true;
        if (n < 0 && errno == ECONNRESET) peerClosed = true;
        return n;
    }
}

void Connection::Finish() {
    ::shutdown(fd_, SHUT_WR);
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    uint8_t sink[4096];
    while (!Stopping()) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) break;
        if (WaitReadable(int(left.count())) != Wait::Readable) break;
        ssize_t n = ::recv(fd_, sink, sizeof sink, 0);
        if (n <= 0) {
            if (n == 0) peerClosed = true;
            break;
        }
    }
}

// ---------------------------------------------------------------------------
// PacketFeed

PacketFeed::PacketFeed(const Mount& mount) : mount_(mount) {
    const auto& packets = mount.media->packets;
    // One repeat lasts from the first send time to one packet interval past
    // the last, so times keep rising across repeats.
    uint32_t first = 0, last = 0;
    bool haveFirst = false;
    for (const auto& p : packets) {
        auto f = WalkPacket(p.data(), p.size(), mount.media->packetSize);
        if (!f) continue;
        if (!haveFirst) {
            first = f->sendTime;
            haveFirst = true;
        }
        last = f->sendTime;
    }
    uint32_t range = last - first;
    uint32_t step = packets.size() > 1 ? range / uint32_t(packets.size() - 1) : 0;
    span_ = range + (step ? step : 1);
}

bool PacketFeed::Next(Packet& packet) {
    const AsfMedia& media = *mount_.media;
    if (media.packets.empty()) return false;
    const uint64_t round = position_ / media.packets.size();
    const uint32_t repeat = mount_.options.repeat;
    if (repeat != 0 && round >= repeat) return false;
    const auto& source = media.packets[position_ % media.packets.size()];
    packet.index = uint32_t(position_);
    ++position_;

    const uint8_t* data = source.data();
    size_t length = source.size();
    if (round > 0) {
        scratch_ = source;
        ShiftPacketTimes(scratch_, media.packetSize, uint32_t(round * span_));
        data = scratch_.data();
    }
    if (mount_.options.trimPadding) {
        if (round > 0) {
            length = TrimmedLength(scratch_, media.packetSize);
        } else {
            length = TrimmedLength(source, media.packetSize);
        }
    }
    auto fields = WalkPacket(data, length, media.packetSize);
    if (fields) lastSendTime_ = fields->sendTime;
    packet.data = data;
    packet.length = length;
    packet.sendTime = lastSendTime_;
    return true;
}

std::chrono::steady_clock::time_point PacketFeed::Due(const Packet& packet) {
    auto now = std::chrono::steady_clock::now();
    if (!started_) {
        started_ = true;
        firstSendTime_ = packet.sendTime;
        t0_ = now;
        return now;
    }
    int64_t ms = int64_t(packet.sendTime) - int64_t(firstSendTime_);
    if (ms < 0) ms = 0;
    double speed = mount_.options.paceSpeed > 0 ? mount_.options.paceSpeed : 1.0;
    return t0_ + std::chrono::microseconds(int64_t(double(ms) * 1000.0 / speed));
}

// ---------------------------------------------------------------------------
// LoopbackServer

LoopbackServer::LoopbackServer() : impl_(std::make_unique<Impl>()) {}

LoopbackServer::~LoopbackServer() {
    Stop();
    if (impl_->wakePipe[0] >= 0) {
        close(impl_->wakePipe[0]);
        close(impl_->wakePipe[1]);
    }
}

void LoopbackServer::Serve(const std::string& path, std::shared_ptr<const AsfMedia> media, StreamOptions options) {
    auto mount = std::make_shared<Mount>();
    mount->key = MountKey(path);
    mount->source = media;
    if (media && options.live && !media->live) {
        mount->media = std::make_shared<AsfMedia>(MakeLive(*media, options.liveBaseMs));
    } else {
        mount->media = media;
    }
    mount->options = std::move(options);
    std::lock_guard<std::mutex> lock(impl_->mu);
    impl_->mounts[mount->key] = mount;
}

bool LoopbackServer::ServeFile(const std::string& path, const std::string& asfFile, StreamOptions options,
                               std::string* error) {
    auto media = std::make_shared<AsfMedia>();
    if (!AsfMedia::LoadFile(asfFile, *media, error)) return false;
    Serve(path, media, std::move(options));
    return true;
}

void LoopbackServer::ServeBody(const std::string& path, std::vector<uint8_t> body, std::string contentType,
                               bool withContentLength) {
    HttpScript script;
    script.contentType = std::move(contentType);
    script.contentLength = withContentLength;
    script.body = std::move(body);
    ServeScript(path, script, script);
}

void LoopbackServer::ServeScript(const std::string& path, std::optional<HttpScript> describe,
                                 std::optional<HttpScript> play, StreamOptions options) {
    options.describeScript = std::move(describe);
    options.playScript = std::move(play);
    Serve(path, nullptr, std::move(options));
}

void LoopbackServer::Remove(const std::string& path) {
    std::lock_guard<std::mutex> lock(impl_->mu);
    impl_->mounts.erase(MountKey(path));
}

bool LoopbackServer::StartMmsh(uint16_t port, std::string* error) {
    uint16_t bound = 0;
    if (!impl_->Listen(impl_->mmshListener, Protocol::Mmsh, port, bound, error)) return false;
    mmshPort_ = bound;
    return true;
}

bool LoopbackServer::StartMms(uint16_t port, std::string* error) {
    uint16_t bound = 0;
    if (!impl_->Listen(impl_->mmsListener, Protocol::Mms, port, bound, error)) return false;
    mmsPort_ = bound;
    return true;
}

bool LoopbackServer::StartMmsIpv6(uint16_t port, std::string* error) {
    uint16_t bound = 0;
    if (!impl_->Listen(impl_->mmsListener, Protocol::Mms, port, bound, error, true)) return false;
    mmsPort_ = bound;
    return true;
}

std::string LoopbackServer::MmshUrl(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(MmshPort()) + "/" + MountKey(path);
}

std::string LoopbackServer::MmsUrl(const std::string& path) const {
    return "mms://127.0.0.1:" + std::to_string(MmsPort()) + "/" + MountKey(path);
}

void LoopbackServer::Stop() {
    Impl& s = *impl_;
    s.stopping = true;
    if (s.wakePipe[1] >= 0) {
        uint8_t b = 1;
        ssize_t ignored = write(s.wakePipe[1], &b, 1);
        (void)ignored;
    }
    for (auto* l : {&s.mmshListener, &s.mmsListener}) {
        if (l->thread.joinable()) l->thread.join();
        if (l->fd >= 0) close(l->fd);
        l->fd = -1;
    }
    std::list<std::unique_ptr<Impl::Worker>> workers;
    {
        std::lock_guard<std::mutex> lock(s.mu);
        for (auto& w : s.workers) {
            if (w->fd >= 0) ::shutdown(w->fd, SHUT_RDWR);
        }
        workers.swap(s.workers);
    }
    for (auto& w : workers) {
        if (w->thread.joinable()) w->thread.join();
    }
    // Leave the wake pipe empty so a later Start works.
    if (s.wakePipe[0] >= 0) {
        uint8_t sink[64];
        while (read(s.wakePipe[0], sink, sizeof sink) > 0) {
        }
    }
    s.changed.notify_all();
}

std::vector<HttpRequestRecord> LoopbackServer::HttpRequests() const {
    std::lock_guard<std::mutex> lock(impl_->mu);
    return impl_->http;
}

std::vector<MmsCommandRecord> LoopbackServer::MmsCommands() const {
    std::lock_guard<std::mutex> lock(impl_->mu);
    return impl_->mms;
}

std::vector<ConnectionRecord> LoopbackServer::Connections() const {
    std::lock_guard<std::mutex> lock(impl_->mu);
    std::vector<ConnectionRecord> out;
    out.reserve(impl_->connections.size());
    for (const auto& [id, record] : impl_->connections) out.push_back(record);
    return out;
}

size_t LoopbackServer::ActiveConnections() const {
    std::lock_guard<std::mutex> lock(impl_->mu);
    return impl_->active;
}

size_t LoopbackServer::PeakConnections() const {
    std::lock_guard<std::mutex> lock(impl_->mu);
    return impl_->peak;
}

size_t LoopbackServer::CompletedRequests() const {
    std::lock_guard<std::mutex> lock(impl_->mu);
    return impl_->completedRequests;
}

uint32_t LoopbackServer::MissingPongs() const {
    std::lock_guard<std::mutex> lock(impl_->mu);
    uint32_t missing = impl_->missingPongs;
    for (const auto& [id, r] : impl_->connections) {
        if (r.open && r.pingsSent > r.pongsReceived) missing += r.pingsSent - r.pongsReceived;
    }
    return missing;
}

void LoopbackServer::ClearRecords() {
    std::lock_guard<std::mutex> lock(impl_->mu);
    impl_->http.clear();
    impl_->mms.clear();
    impl_->missingPongs = 0;
    impl_->completedRequests = 0;
    for (auto it = impl_->connections.begin(); it != impl_->connections.end();) {
        it = it->second.open ? std::next(it) : impl_->connections.erase(it);
    }
}

bool LoopbackServer::WaitFor(const std::function<bool()>& pred, std::chrono::milliseconds timeout) const {
    // pred takes the public accessors' lock itself, so poll it between
    // change notifications rather than under the lock.
    auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        if (pred()) return true;
        std::unique_lock<std::mutex> lock(impl_->mu);
        if (impl_->changed.wait_until(lock, std::min(deadline, std::chrono::steady_clock::now() +
                                                                   std::chrono::milliseconds(50))) ==
                std::cv_status::timeout &&
            std::chrono::steady_clock::now() >= deadline) {
            lock.unlock();
            return pred();
        }
    }
}

bool LoopbackServer::WaitForHttpRequests(size_t count, std::chrono::milliseconds timeout) const {
    return WaitFor([&] { return HttpRequests().size() >= count; }, timeout);
}

bool LoopbackServer::WaitForIdle(std::chrono::milliseconds timeout) const {
    return WaitFor([&] { return ActiveConnections() == 0; }, timeout);
}

void LoopbackServer::SetLogger(std::function<void(const std::string&)> logger) {
    std::lock_guard<std::mutex> lock(impl_->logMu);
    impl_->logger = std::move(logger);
}

}  // namespace larkspan::testserver
