// The server side of one MMS-over-TCP connection. The server answers each
// command as it arrives; while data flows it keeps reading, so Pongs,
// StopPlaying and CloseFile are seen at once.
#include <algorithm>
#include <cstring>

#include "tools/server/ServerInternals.h"
#include "tools/server/WireBuilders.h"

namespace larkspan::testserver {

namespace {

constexpr size_t kMaxCommand = 64 * 1024;
constexpr int kIdleTimeoutMs = 120'000;       // a silent client is dropped after this
constexpr int kAfterEndTimeoutMs = 10'000;    // time left to a client to close after the end
constexpr uint32_t kOpenFileId = 1;
constexpr size_t kMaxMediaPayload = 65535 - 8;

uint32_t Get32(const std::vector<uint8_t>& b, size_t at) {
    if (at + 4 > b.size()) return 0;
    return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 | uint32_t(b[at + 3]) << 24;
}

std::string TextFrom(const std::vector<uint8_t>& msg, size_t at) {
    if (at >= msg.size()) return {};
    std::string text = DecodeUtf16Le(msg.data() + at, msg.size() - at);
    while (!text.empty() && text.back() == '\0') text.pop_back();
    return text;
}

class MmsSession {
public:
    explicit MmsSession(Connection& c) : c_(c), server_(c.Server()), id_(c.Id()) {}
    void Run();

private:
    enum class Read { Message, Timeout, Closed, Error };
    Read ReadMessage(int timeoutMs, std::vector<uint8_t>& msg);
    bool TakeBuffered(std::vector<uint8_t>& msg, bool& error);
    void Record(const std::vector<uint8_t>& msg);
    void Handle(const std::vector<uint8_t>& msg);
    bool Reply(uint32_t mid, const std::vector<uint8_t>& body);
    bool ReplyHr(uint32_t mid, uint32_t hr, uint32_t incarnation);
    void SendHeader();
    void StreamData();
    bool Service(std::chrono::steady_clock::time_point until);
    void Drop(const PacketFeed::Packet* next, uint64_t sent);
    void Stall(uint64_t sent);

    Connection& c_;
    LoopbackServer::Impl& server_;
    uint64_t id_;
    std::vector<uint8_t> in_;
    uint32_t seq_ = 0;
    std::shared_ptr<const Mount> mount_;
    bool silent_ = false;       // neverSend: from OpenFile on, answer nothing
    bool streaming_ = false;
    bool stopPlaying_ = false;  // StopPlaying or CloseFile while streaming
    bool ended_ = false;        // the stream was ended (EndOfStream sent or dropped)
    bool gone_ = false;         // connection unusable
    bool dropped_ = false;
    uint8_t headerIncarnation_ = 2;
    uint8_t playIncarnation_ = 4;
};

void MmsSession::Run() {
    std::vector<uint8_t> msg;
    while (!gone_ && !dropped_) {
        Read r = ReadMessage(ended_ ? kAfterEndTimeoutMs : kIdleTimeoutMs, msg);
        if (r == Read::Timeout) {
            server_.Log(id_, ended_ ? "client did not close after the end" : "idle timeout");
            break;
        }
        if (r != Read::Message) break;
        Handle(msg);
    }
    if (!dropped_ && !gone_) c_.Finish();
}

bool MmsSession::TakeBuffered(std::vector<uint8_t>& msg, bool& error) {
    error = false;
    if (in_.size() < 16) return false;
    if (Get32(in_, 4) != mms::kSessionId) {
        server_.Log(id_, "bytes that are not a command (no session id); closing");
        error = true;
        return false;
    }
    uint32_t length = Get32(in_, 8);
    if (length > kMaxCommand) {
        server_.Log(id_, "command of " + std::to_string(length) + " bytes; closing");
        error = true;
        return false;
    }
    if (in_.size() < 16 + size_t(length)) return false;
    msg.assign(in_.begin(), in_.begin() + 16 + length);
    in_.erase(in_.begin(), in_.begin() + 16 + length);
    return true;
}

MmsSession::Read MmsSession::ReadMessage(int timeoutMs, std::vector<uint8_t>& msg) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    uint8_t buffer[8192];
    for (;;) {
        bool error = false;
        if (TakeBuffered(msg, error)) return Read::Message;
        if (error) {
            gone_ = true;
            return Read::Error;
        }
        int wait = -1;
        if (timeoutMs >= 0) {
            auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
            wait = left.count() > 0 ? int(left.count()) : 0;
        }
        auto w = c_.WaitReadable(wait);
        if (w == Connection::Wait::Timeout) return Read::Timeout;
        if (w == Connection::Wait::Closed) {
            gone_ = true;
            return Read::Closed;
        }
        ssize_t n = c_.Recv(buffer, sizeof buffer);
        if (n <= 0) {
            gone_ = true;
            if (!in_.empty()) server_.Log(id_, "connection closed inside a command");
            return Read::Closed;
        }
        in_.insert(in_.end(), buffer, buffer + n);
    }
}

void MmsSession::Record(const std::vector<uint8_t>& msg) {
    MmsCommandRecord r;
    r.connection = id_;
    r.messageLength = Get32(msg, 8);
    r.sequence = Get32(msg, 20);
    r.mid = Get32(msg, 36);
    r.name = mms::MidName(r.mid);
    r.bytes = msg;
    switch (r.mid) {
        case mms::kConnect: r.text = TextFrom(msg, 52); break;
        case mms::kConnectFunnel: r.text = TextFrom(msg, 60); break;
        case mms::kOpenFile: r.text = TextFrom(msg, 56); break;
        case mms::kReadBlock: r.playIncarnation = Get32(msg, 80); break;
        case mms::kStartPlaying: r.playIncarnation = Get32(msg, 68); break;
        default: break;
    }
    if (server_.Logging()) {
        std::string line = "#" + std::to_string(r.sequence) + " " + r.name;
        if (!r.text.empty()) {
            std::string shown;
            for (char ch : r.text) shown += ch == '\0' ? std::string("\\0") : std::string(1, ch);
            line += " \"" + shown + "\"";
        }
        if (r.mid == mms::kReadBlock || r.mid == mms::kStartPlaying) {
            line += " playIncarnation=" + std::to_string(r.playIncarnation);
        }
        server_.Log(id_, line);
    }
    server_.AddMmsRecord(std::move(r));
}

bool MmsSession::Reply(uint32_t mid, const std::vector<uint8_t>& body) {
    double elapsed =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - c_.Started()).count();
    if (!c_.Send(MmsMessage(mid, seq_++, body, elapsed))) {
        gone_ = true;
        return false;
    }
    return true;
}

bool MmsSession::ReplyHr(uint32_t mid, uint32_t hr, uint32_t incarnation) {
    std::vector<uint8_t> body;
    AppendLE32(body, hr);
    AppendLE32(body, incarnation);
    return Reply(mid, body);
}

void MmsSession::Handle(const std::vector<uint8_t>& msg) {
    Record(msg);
    const uint32_t mid = Get32(msg, 36);
    if (mid == mms::kPong) {
        server_.UpdateConnection(id_, [](ConnectionRecord& r) { ++r.pongsReceived; });
        return;
    }
    if (mid == mms::kStopPlaying || mid == mms::kCloseFile) {
        if (streaming_) stopPlaying_ = true;
        return;
    }
    if (silent_) return;
    if (streaming_ && mid == mms::kStartPlaying) return;  // already playing

    switch (mid) {
        case mms::kConnect: {
            const std::vector<uint8_t> version = Utf16Le(std::string("4.1.0.3928") + '\0');
            std::vector<uint8_t> body;
            AppendLE32(body, 0);           // hr
            AppendLE32(body, 0xF0F0F0EF);  // playIncarnation: no packet pair
            AppendLE32(body, 0x0004000B);  // protocol revisions
            AppendLE32(body, 0x0003001C);
            AppendLE64(body, 0x3FF0000000000000ull);  // blockGroupPlayTime 1.0
            AppendLE32(body, 1);           // blockGroupBlocks
            AppendLE32(body, 1);           // nMaxOpenFiles
            AppendLE32(body, 0x8000);      // nBlockMaxBytes
            AppendLE32(body, 0x00989680);  // maxBitRate
            AppendLE32(body, uint32_t(version.size() / 2));  // cbServerVersionInfo, terminator included
            AppendLE32(body, 0);           // cbVersionInfo
            AppendLE32(body, 0);           // cbVersionUrl
            AppendLE32(body, 0);           // cbAuthenPackage
            body.insert(body.end(), version.begin(), version.end());
            Reply(mms::kReportConnectedEX, body);
            return;
        }
        case mms::kFunnelInfo: {
            std::vector<uint8_t> body;
            AppendLE32(body, 0);           // hr
            AppendLE32(body, 0xF0F0F0EF);  // playIncarnation
            AppendLE32(body, 0x00004000);  // transportMask
            AppendLE32(body, 1);           // nBlockFragments
            AppendLE32(body, 0x10000);     // fragmentBytes
            AppendLE32(body, uint32_t(id_));  // nCubs: the client id
            AppendLE32(body, 0);           // failedCubs
            AppendLE32(body, 1);           // nDisks
            AppendLE32(body, 0);           // decluster
            AppendLE32(body, 0);           // cubddDatagramSize
            body.resize(64, 0);            // some readers want at least 64 bytes
            Reply(mms::kReportFunnelInfo, body);
            return;
        }
        case mms::kConnectFunnel: {
            const std::vector<uint8_t> funnel = Utf16Le(std::string("Loopback Funnel") + '\0');
            std::vector<uint8_t> body;
            AppendLE32(body, 0);           // hr
            AppendLE32(body, 0);           // playIncarnation
            AppendLE32(body, 0);           // packetPayloadSize
            body.insert(body.end(), funnel.begin(), funnel.end());
            Reply(mms::kReportConnectedFunnel, body);
            return;
        }
        case mms::kOpenFile: {
            std::string text = TextFrom(msg, 56);
            std::string name = text.substr(0, text.find('\0'));
            c_.servedRequest = true;
            mount_ = server_.FindMount(name);
            if (mount_ && !mount_->media) mount_ = nullptr;  // script-only mounts are MMSH only
            server_.UpdateConnection(id_, [&](ConnectionRecord& r) { r.path = MountKey(name); });
            std::vector<uint8_t> body;
            const AsfMedia* media = mount_ ? mount_->media.get() : nullptr;
            AppendLE32(body, media ? 0 : mms::kFileNotFound);   // hr
            AppendLE32(body, Get32(msg, 40));                   // playIncarnation, as asked
            AppendLE32(body, media ? kOpenFileId : 0xFFFFFFFF); // openFileId
            AppendLE32(body, 0);                                // padding
            AppendLE32(body, 0);                                // fileName
            AppendLE32(body, media && media->live ? 0x02000000 : 0x00800000);  // fileAttributes
            double seconds = media ? double(media->playDuration) / 1e7 : 0.0;
            uint64_t bits;
            std::memcpy(&bits, &seconds, sizeof bits);
            AppendLE64(body, bits);                             // fileDuration
            AppendLE32(body, media ? uint32_t(media->packets.size()) : 0);  // fileBlocks
            body.resize(body.size() + 16, 0);                   // unused1
            AppendLE32(body, media ? media->packetSize : 0);    // filePacketSize
            AppendLE64(body, media ? media->packets.size() : 0);  // filePacketCount
            AppendLE32(body, media ? media->maxBitrate : 0);    // fileBitRate
            AppendLE32(body, media ? uint32_t(media->header.size()) : 0);  // fileHeaderSize
            body.resize(body.size() + 36, 0);                   // unused2
            if (mount_ && mount_->options.neverSend) {
                silent_ = true;
                server_.Log(id_, "OpenFile " + name + ": silent from here on");
                return;
            }
            server_.Log(id_, "OpenFile " + name + (media ? ": found" : ": not found"));
            Reply(mms::kReportOpenFile, body);
            return;
        }
        case mms::kReadBlock: {
            headerIncarnation_ = uint8_t(Get32(msg, 80));
            std::vector<uint8_t> body;
            AppendLE32(body, mount_ ? 0 : mms::kFileNotFound);
            AppendLE32(body, headerIncarnation_);
            AppendLE32(body, 0);  // playSequence
            if (!Reply(mms::kReportReadBlock, body) || !mount_) return;
            SendHeader();
            return;
        }
        case mms::kStreamSwitch:
            ReplyHr(mms::kReportStreamSwitch, 0, 0);
            return;
        case mms::kStartPlaying: {
            playIncarnation_ = uint8_t(Get32(msg, 68));
            if (!mount_) {
                ReplyHr(mms::kReportEndOfStream, mms::kFileNotFound, playIncarnation_);
                return;
            }
            std::vector<uint8_t> body;
            AppendLE32(body, 0);                   // hr
            AppendLE32(body, playIncarnation_);
            AppendLE32(body, kOpenFileId);         // tigerFileId
            body.resize(body.size() + 16, 0);      // unused
            if (!Reply(mms::kReportStartedPlaying, body)) return;
            StreamData();
            return;
        }
        default:
            return;  // recorded; nothing to answer
    }
}

void MmsSession::SendHeader() {
    const StreamOptions& o = mount_->options;
    if (o.mmsHeaderScript) {
        if (!c_.Send(*o.mmsHeaderScript)) gone_ = true;
        return;
    }
    if (o.noHeader) {
        server_.Log(id_, "no header: ending the stream");
        ReplyHr(mms::kReportEndOfStream, 0, headerIncarnation_);
        ended_ = true;
        return;
    }
    const std::vector<uint8_t>& header = mount_->media->header;
    size_t piece = o.headerPacketSize ? o.headerPacketSize : kMaxMediaPayload;
    if (piece > kMaxMediaPayload) piece = kMaxMediaPayload;
    const size_t count = (header.size() + piece - 1) / piece;
    for (size_t i = 0; i < count; ++i) {
        size_t at = i * piece;
        size_t n = std::min(piece, header.size() - at);
        uint8_t flags = count == 1 ? 0x0C : (i + 1 == count ? 0x08 : 0x04);
        if (count > 1 && i == 0 && o.mmsFirstHeaderFlags >= 0) flags = uint8_t(o.mmsFirstHeaderFlags);
        if (!c_.Send(MmsMediaPacket(uint32_t(i), headerIncarnation_, flags, header.data() + at, n))) {
            gone_ = true;
            return;
        }
    }
}

// Waits until the given time, handling whatever commands come in. False when
// the connection is gone or the client asked to stop.
bool MmsSession::Service(std::chrono::steady_clock::time_point until) {
    std::vector<uint8_t> msg;
    for (;;) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - std::chrono::steady_clock::now());
        int wait = left.count() > 0 ? int(left.count()) : 0;
        Read r = ReadMessage(wait, msg);
        if (r == Read::Message) {
            Handle(msg);
            if (gone_ || stopPlaying_) return false;
            continue;
        }
        if (r == Read::Timeout) return !gone_ && !stopPlaying_;
        return false;
    }
}

void MmsSession::Drop(const PacketFeed::Packet* next, uint64_t sent) {
    if (next && mount_->options.dropMidChunk) {
        auto whole = MmsMediaPacket(next->index, playIncarnation_, 0, next->data, next->length);
        c_.Send(whole.data(), 8 + next->length / 2);
    }
    dropped_ = true;
    server_.UpdateConnection(id_, [](ConnectionRecord& r) { r.dropped = true; });
    server_.Log(id_, "dropped after " + std::to_string(sent) + " packets");
}

// Sends nothing more but keeps the connection, answering nothing, until the
// client leaves or the server stops.
void MmsSession::Stall(uint64_t sent) {
    server_.Log(id_, "stalled after " + std::to_string(sent) + " packets");
    std::vector<uint8_t> msg;
    silent_ = true;
    while (!gone_ && !c_.Stopping()) {
        Read r = ReadMessage(-1, msg);
        if (r != Read::Message) break;
        Record(msg);
    }
    streaming_ = false;
    gone_ = true;
}

void MmsSession::StreamData() {
    const StreamOptions& o = mount_->options;
    streaming_ = true;
    stopPlaying_ = false;
    if (o.mmsDataScript) {
        if (!c_.Send(*o.mmsDataScript)) gone_ = true;
        streaming_ = false;
        ended_ = true;
        return;
    }
    PacketFeed feed(*mount_);
    PacketFeed::Packet packet;
    uint64_t sent = 0;
    bool finished = true;
    while (feed.Next(packet)) {
        auto due = o.pacing == Pacing::Realtime ? feed.Due(packet) : std::chrono::steady_clock::now();
        if (!Service(due)) {
            finished = false;
            break;
        }
        if (o.dropAfterPackets >= 0 && sent == uint64_t(o.dropAfterPackets)) {
            Drop(&packet, sent);
            streaming_ = false;
            return;
        }
        if (o.stallAfterPackets >= 0 && sent == uint64_t(o.stallAfterPackets)) {
            Stall(sent);
            return;
        }
        if (!c_.Send(MmsMediaPacket(packet.index, playIncarnation_, 0, packet.data, packet.length))) {
            gone_ = true;
            streaming_ = false;
            return;
        }
        ++sent;
        server_.UpdateConnection(id_, [](ConnectionRecord& r) { ++r.dataPacketsSent; });
        if (o.pingEvery && sent % o.pingEvery == 0) {
            std::vector<uint8_t> body;
            AppendLE32(body, 0);  // dwParam1
            AppendLE32(body, 0);  // dwParam2
            if (!Reply(mms::kPing, body)) {
                streaming_ = false;
                return;
            }
            server_.UpdateConnection(id_, [](ConnectionRecord& r) { ++r.pingsSent; });
        }
    }
    streaming_ = false;
    if (gone_) return;
    if (finished && o.dropAfterPackets >= 0 && sent == uint64_t(o.dropAfterPackets)) {
        Drop(nullptr, sent);
        return;
    }
    if (ReplyHr(mms::kReportEndOfStream, 0, playIncarnation_)) {
        if (finished) server_.UpdateConnection(id_, [](ConnectionRecord& r) { r.completed = true; });
        server_.Log(id_, std::string(finished ? "play done, " : "play stopped, ") + std::to_string(sent) +
                             " packets");
    }
    ended_ = true;
}

}  // namespace

void RunMmsSession(Connection& connection) {
    MmsSession session(connection);
    session.Run();
}

}  // namespace larkspan::testserver
