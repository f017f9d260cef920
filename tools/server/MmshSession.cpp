// The server side of one MMSH (HTTP) connection: one request, one answer,
// then the connection closes (HTTP/1.0 style, whatever the client asked).
#include <sys/socket.h>

#include <algorithm>
#include <cctype>
#include <cstring>

#include "tools/server/ServerInternals.h"
#include "tools/server/WireBuilders.h"

namespace larkspan::testserver {

namespace {

constexpr size_t kMaxRequestHead = 64 * 1024;
constexpr int kRequestTimeoutMs = 30'000;

const char* kDescribeType = "application/vnd.ms.wms-hdr.asfv1";
const char* kPlayType = "application/x-mms-framed";

std::string Lower(std::string s) {
    for (char& c : s) c = char(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

std::string Trim(const std::string& s) {
    size_t b = s.find_first_not_of(" \t");
    if (b == std::string::npos) return {};
    size_t e = s.find_last_not_of(" \t");
    return s.substr(b, e - b + 1);
}

const char* Reason(int status) {
    switch (status) {
        case 200: return "OK";
        case 206: return "Partial Content";
        case 301: return "Moved Permanently";
        case 302: return "Found";
        case 400: return "Bad Request";
        case 401: return "Unauthorized";
        case 403: return "Forbidden";
        case 404: return "Not Found";
        case 500: return "Internal Server Error";
        case 503: return "Service Unavailable";
        default: return "Status";
    }
}

std::string DecodeBase64(const std::string& in) {
    auto value = [](char c) -> int {
        if (c >= 'A' && c <= 'Z') return c - 'A';
        if (c >= 'a' && c <= 'z') return c - 'a' + 26;
        if (c >= '0' && c <= '9') return c - '0' + 52;
        if (c == '+') return 62;
        if (c == '/') return 63;
        return -1;
    };
    std::string out;
    uint32_t bits = 0;
    int count = 0;
    for (char c : in) {
        int v = value(c);
        if (v < 0) continue;  // '=' and stray characters
        bits = (bits << 6) | uint32_t(v);
        count += 6;
        if (count >= 8) {
            count -= 8;
            out.push_back(char((bits >> count) & 0xFF));
        }
    }
    return out;
}

enum class HeadRead { Ok, NotHttp, Failed };

// Reads up to and including the empty line that ends the request head.
// Accepts LF as well as CR LF line ends. A head that does not start with a
// method name (a TLS handshake, say) is not HTTP.
HeadRead ReadRequestHead(Connection& c, std::string& head) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kRequestTimeoutMs);
    uint8_t buffer[4096];
    for (;;) {
        if (!head.empty() && (head[0] < 'A' || head[0] > 'Z')) return HeadRead::NotHttp;
        size_t end = head.find("\r\n\r\n");
        if (end != std::string::npos) {
            head.resize(end + 4);
            return HeadRead::Ok;
        }
        end = head.find("\n\n");
        if (end != std::string::npos) {
            head.resize(end + 2);
            return HeadRead::Ok;
        }
        if (head.size() > kMaxRequestHead) return HeadRead::Failed;
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) return HeadRead::Failed;
        if (c.WaitReadable(int(left.count())) != Connection::Wait::Readable) return HeadRead::Failed;
        ssize_t n = c.Recv(buffer, sizeof buffer);
        if (n <= 0) return HeadRead::Failed;
        head.append(reinterpret_cast<const char*>(buffer), size_t(n));
    }
}

HttpRequestRecord ParseRequest(const std::string& head, uint64_t connection) {
    HttpRequestRecord r;
    r.connection = connection;
    r.rawHead = head;
    std::vector<std::string> lines;
    size_t pos = 0;
    while (pos < head.size()) {
        size_t nl = head.find('\n', pos);
        std::string line = head.substr(pos, nl == std::string::npos ? std::string::npos : nl - pos);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
        if (nl == std::string::npos) break;
        pos = nl + 1;
    }
    while (!lines.empty() && lines.back().empty()) lines.pop_back();
    if (!lines.empty()) {
        r.requestLine = lines.front();
        r.headerLines.assign(lines.begin() + 1, lines.end());
    }
    std::string rest = r.requestLine;
    size_t sp1 = rest.find(' ');
    r.method = rest.substr(0, sp1);
    if (sp1 != std::string::npos) {
        size_t sp2 = rest.find(' ', sp1 + 1);
        r.target = rest.substr(sp1 + 1, sp2 == std::string::npos ? std::string::npos : sp2 - sp1 - 1);
        if (sp2 != std::string::npos) r.version = rest.substr(sp2 + 1);
    }
    r.path = MountKey(r.target);
    for (const auto& line : r.headerLines) {
        std::string lower = Lower(line);
        // A client may run two lines together ("...stream-time=0Connection:
        // Close"), so look inside every line that carries a Pragma.
        if (lower.find("pragma:") != std::string::npos && line.find("xPlayStrm=1") != std::string::npos) {
            r.play = true;
        }
    }
    return r;
}

// The value of the first header line named name (case-insensitive), or
// nullopt.
std::optional<std::string> HeaderValue(const HttpRequestRecord& r, const std::string& name) {
    std::string prefix = Lower(name) + ":";
    for (const auto& line : r.headerLines) {
        std::string lower = Lower(line);
        if (lower.compare(0, prefix.size(), prefix) == 0) return Trim(line.substr(prefix.size()));
    }
    return std::nullopt;
}

bool Authorized(const HttpRequestRecord& r, const StreamOptions& o) {
    if (o.user.empty() && o.password.empty()) return true;
    auto value = HeaderValue(r, "Authorization");
    if (!value) return false;
    std::string v = *value;
    if (Lower(v.substr(0, 6)) != "basic ") return false;
    return DecodeBase64(Trim(v.substr(6))) == o.user + ":" + o.password;
}

std::string StatusLine(int status, const std::string& reason) {
    return "HTTP/1.0 " + std::to_string(status) + " " + (reason.empty() ? Reason(status) : reason) + "\r\n";
}

bool SendText(Connection& c, const std::string& text) {
    return c.Send(reinterpret_cast<const uint8_t*>(text.data()), text.size());
}

void SendError(Connection& c, int status, const std::vector<std::string>& extra = {}) {
    std::string body = std::to_string(status) + " " + Reason(status) + "\n";
    std::string head = StatusLine(status, {});
    for (const auto& line : extra) head += line + "\r\n";
    head += "Content-Type: text/plain\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n";
    SendText(c, head + body);
}

void HoldOpen(Connection& c) {
    uint8_t sink[4096];
    while (c.WaitReadable(-1) == Connection::Wait::Readable) {
        if (c.Recv(sink, sizeof sink) <= 0) return;
    }
}

std::string MmshHeaders(const std::string& contentType, uint32_t clientId, const StreamOptions& o,
                        const AsfMedia* media) {
    std::string head = "Content-Type: " + contentType + "\r\n";
    head += "Server: Larkspan-Loopback/1.0\r\n";
    head += "Pragma: no-cache\r\n";
    head += "Pragma: client-id=" + std::to_string(clientId) + "\r\n";
    if (media) head += media->live ? "Pragma: features=\"broadcast\"\r\n" : "Pragma: features=\"seekable,stridable\"\r\n";
    return head;
}

void SendScript(Connection& c, const HttpScript& s, bool play, uint32_t clientId, const StreamOptions& o) {
    if (s.raw) {
        c.Send(s.body);
    } else {
        std::string head = StatusLine(s.status, s.reason);
        if (s.contentType.empty()) {
            head += MmshHeaders(play ? kPlayType : kDescribeType, clientId, o, nullptr);
        } else {
            head += "Content-Type: " + s.contentType + "\r\n";
        }
        for (const auto& line : s.extraHeaders) head += line + "\r\n";
        if (s.contentLength) head += "Content-Length: " + std::to_string(s.body.size()) + "\r\n";
        head += "\r\n";
        if (SendText(c, head)) c.Send(s.body);
    }
    if (s.holdOpen) HoldOpen(c);
}

// Waits until the packet is due; false when the client went away or the
// server is stopping. Anything the client sends meanwhile is dropped.
bool PaceTo(Connection& c, std::chrono::steady_clock::time_point due) {
    uint8_t sink[1024];
    for (;;) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(due - std::chrono::steady_clock::now());
        if (left.count() <= 0) return !c.Stopping();
        auto w = c.WaitReadable(int(left.count()));
        if (w == Connection::Wait::Closed) return false;
        if (w == Connection::Wait::Readable && c.Recv(sink, sizeof sink) <= 0) return false;
    }
}

void StreamPlay(Connection& c, const Mount& mount, uint32_t clientId) {
    const AsfMedia& media = *mount.media;
    const StreamOptions& o = mount.options;
    const uint64_t id = c.Id();
    std::string head = StatusLine(200, {}) + MmshHeaders(kPlayType, clientId, o, &media) + "\r\n";
    if (!SendText(c, head) || !c.Send(MmshHeaderChunk(media.header))) return;

    PacketFeed feed(mount);
    PacketFeed::Packet packet;
    uint64_t sent = 0;
    std::vector<uint8_t> chunk;
    auto drop = [&](const PacketFeed::Packet* next) {
        if (next && o.dropMidChunk) {
            auto whole = MmshChunk(kChunkData, next->data, next->length, next->index);
            c.Send(whole.data(), 12 + next->length / 2);
        }
        c.Server().UpdateConnection(id, [](ConnectionRecord& r) { r.dropped = true; });
        c.Server().Log(id, "dropped after " + std::to_string(sent) + " packets");
        if (o.resetOnDrop) c.Reset();
    };
    auto stall = [&] {
        c.Server().Log(id, "stalled after " + std::to_string(sent) + " packets");
        HoldOpen(c);
    };
    const bool stalls = o.stallAfterPackets >= 0;
    while (feed.Next(packet)) {
        if (o.pacing == Pacing::Realtime && !PaceTo(c, feed.Due(packet))) return;
        if (o.dropAfterPackets >= 0 && sent == uint64_t(o.dropAfterPackets)) return drop(&packet);
        if (stalls && sent == uint64_t(o.stallAfterPackets)) return stall();
        chunk = MmshChunkHead(kChunkData, uint16_t(8 + packet.length), packet.index);
        chunk.insert(chunk.end(), packet.data, packet.data + packet.length);
        if (!c.Send(chunk)) return;
        ++sent;
        c.Server().UpdateConnection(id, [](ConnectionRecord& r) { ++r.dataPacketsSent; });
    }
    if (o.dropAfterPackets >= 0 && sent == uint64_t(o.dropAfterPackets)) return drop(nullptr);
    if (stalls && sent == uint64_t(o.stallAfterPackets)) return stall();
    if (!c.Send(MmshEndChunk())) return;
    c.Server().UpdateConnection(id, [](ConnectionRecord& r) { r.completed = true; });
    c.Server().Log(id, "play done, " + std::to_string(sent) + " packets");
    c.Finish();
}

}  // namespace

void Connection::Reset() {
    // A zero linger time makes the close send a reset instead of a FIN.
    linger hard{1, 0};
    ::setsockopt(fd_, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
}

void RunMmshSession(Connection& c) {
    auto& server = c.Server();
    const uint64_t id = c.Id();
    std::string head;
    switch (ReadRequestHead(c, head)) {
        case HeadRead::Ok:
            break;
        case HeadRead::NotHttp:
            // What a web server does with a TLS handshake on its plain port.
            server.Log(id, "not an HTTP request");
            SendError(c, 400);
            c.Finish();
            return;
        case HeadRead::Failed:
            server.Log(id, "no complete request");
            return;
    }
    HttpRequestRecord request = ParseRequest(head, id);
    c.servedRequest = true;
    server.UpdateConnection(id, [&](ConnectionRecord& r) { r.path = request.path; });
    if (server.Logging()) {
        server.Log(id, request.requestLine);
        for (const auto& line : request.headerLines) server.Log(id, "  " + line);
    }

    auto mount = server.FindMount(request.target);
    const uint32_t clientId = server.NextClientId();
    const bool play = request.play;
    const std::optional<HttpScript>* script = nullptr;
    if (mount) script = play ? &mount->options.playScript : &mount->options.describeScript;

    // Decide the answer first, so the record carries its status.
    int status = 404;
    enum class Answer { Error, Unauthorized, Silent, Script, Describe, Play } answer = Answer::Error;
    if (mount && mount->options.neverSend) {
        answer = Answer::Silent;
        status = 0;
    } else if (mount && !Authorized(request, mount->options)) {
        answer = Answer::Unauthorized;
        status = 401;
    } else if (mount && script && script->has_value()) {
        answer = Answer::Script;
        status = (*script)->raw ? 0 : (*script)->status;
    } else if (mount && mount->media) {
        answer = play ? Answer::Play : Answer::Describe;
        status = 200;
    }
    request.status = status;
    server.AddHttpRecord(request);
    server.Log(id, "-> " + (status ? std::to_string(status) : std::string("(nothing)")) + " " +
                       (play ? "play" : "describe"));

    switch (answer) {
        case Answer::Error:
            SendError(c, 404);
            c.Finish();
            return;
        case Answer::Unauthorized:
            SendError(c, 401, {"WWW-Authenticate: Basic realm=\"" + mount->options.realm + "\""});
            c.Finish();
            return;
        case Answer::Silent:
            HoldOpen(c);
            return;
        case Answer::Script:
            SendScript(c, **script, play, clientId, mount->options);
            c.Server().UpdateConnection(id, [](ConnectionRecord& r) { r.completed = true; });
            c.Finish();
            return;
        case Answer::Describe: {
            auto body = MmshDescribeBody(*mount->media);
            std::string h = StatusLine(200, {}) +
                            MmshHeaders(kDescribeType, clientId, mount->options, mount->media.get()) +
                            "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n";
            if (SendText(c, h) && c.Send(body)) {
                c.Server().UpdateConnection(id, [](ConnectionRecord& r) { r.completed = true; });
            }
            c.Finish();
            return;
        }
        case Answer::Play:
            StreamPlay(c, *mount, clientId);
            return;
    }
}

}  // namespace larkspan::testserver
