#include "protocols/mms/MmsClient.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <limits>

#include "asf/AsfCodec.h"
#include "asf/ByteSink.h"
#include "protocols/StreamErrors.h"
#include "protocols/mms/MmsHostLookup.h"
#include "protocols/mms/MmsSocketTransport.h"
#include "protocols/mms/MmsTransport.h"
#include "protocols/mms/MmsUrl.h"

namespace larkspan {

namespace {

constexpr char kConnectFailed[] = "connect failed !!";
constexpr char kSocketFailed[] = "socket failed";
constexpr char kSockoptError[] = "sockopt error";
constexpr char kUrlNotFound[] = "Url not found";
constexpr char kNotSupported[] = "not supported";
constexpr char kWriteError[] = "File Write Error";
constexpr char kBadData[] = "invalid data from the server";

constexpr uint8_t kHeaderObjectGuid[16] = {0x30, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11,
                                           0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C};
// Header packets carry the Header Object and then the first 50 bytes of the
// Data Object.
constexpr uint64_t kDataObjectPrefix = 50;

// Owners that pass no sink still get a client that works.
RecordEventSink& SilentSink() {
    static RecordEventSink sink;
    return sink;
}

uint32_t Le32(const uint8_t* p) { return AsfCodec::ReadU32(p); }

std::string Hex32(uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof(text), "0x%08X", value);
    return text;
}

std::string ResetText(uint64_t packets) {
    return "connection reset by the server after " + std::to_string(packets) + (packets == 1 ? " packet" : " packets");
}

}  // namespace

MmsClient::MmsClient(uint16_t jobNumber, RecorderSettings settings, RecordEventSink* sink)
    : jobNumber_(jobNumber),
      settings_(std::move(settings)),
      sink_(sink ? sink : &SilentSink()),
      commandBuffer_(new uint8_t[kCommandBufferSize]),
      packetBuffer_(new uint8_t[kPacketBufferSize]) {}

// Nothing to wait for: a host name lookup still running belongs to its own
// thread.
MmsClient::~MmsClient() = default;

void MmsClient::BeginRecording(ByteSink* file, const std::string& url) {
    // Every counter starts again: one client may record several entries of a
    // playlist in turn, each into a file of its own.
    stop_.store(false);
    url_ = url;
    file_ = file;
    io_ = nullptr;
    commands_.Reset();
    fileName_.clear();
    endOfStream_ = false;
    info_ = AsfHeaderInfo();
    headerParsed_ = false;
    headerWritten_ = false;
    foreignPackets_ = 0;
    header_.clear();
    headerPackets_ = 0;
    errorReported_ = false;
    limitReached_ = false;
    writeFailed_ = false;
    bytesWritten_ = 0;
    haveBaseSendTime_ = false;
    baseSendTime_ = 0;
    largestSendTime_ = 0;
    packetCount_ = 0;
    dataBytes_ = 0;
    startOffset_ = file ? file->Position() : 0;
    PacketMark start;
    start.end = startOffset_;
    written_.Reset(start);
}

uint32_t MmsClient::Record(ByteSink* file, const std::string& url) {
    BeginRecording(file, url);
    MmsUrl parts;
    const bool split = SplitMmsUrl(url, parts);
    sink_->OnConnecting(url, parts.port);
    if (!split) {
        Fail(WithCause(kConnectFailed, "no host in the address"));
        return 0;
    }
    MmsSocket socket;
    socket.WakeOn(&wake_);
    if (!OpenConnection(parts.host, parts.port, socket)) return 0;
    const int idleTimeoutMs = settings_.idleTimeout > 0 ? settings_.idleTimeout * 1000 : -1;
    MmsSocketTransport transport(socket, stop_, idleTimeoutMs);
    RunSession(transport, parts.path + parts.query);
    socket.Close();
    return BytesWritten32();
}

uint32_t MmsClient::RecordOver(MmsTransport& transport, ByteSink* file, const std::string& url) {
    BeginRecording(file, url);
    MmsUrl parts;
    SplitMmsUrl(url, parts);
    RunSession(transport, parts.path + parts.query);
    return BytesWritten32();
}

bool MmsClient::OpenConnection(const std::string& host, uint16_t port, MmsSocket& socket) {
    std::vector<NetAddress> addresses;
    std::string cause;
    switch (MmsHostLookup::Resolve(host, port, stop_, addresses, cause, &wake_)) {
    case MmsHostLookup::Result::Ok:
        break;
    case MmsHostLookup::Result::Stopped:
        return false;
    case MmsHostLookup::Result::NotFound:
    case MmsHostLookup::Result::Failed:
        Fail(WithCause(kConnectFailed, cause));
        return false;
    }
    // Every address of the name in turn (IPv6 and IPv4 alike); the last
    // failure is the one reported.
    MmsSocket::ConnectResult last = MmsSocket::ConnectResult::ConnectFailed;
    for (const NetAddress& address : addresses) {
        last = socket.Connect(address, kConnectTimeoutMs, stop_);
        if (last == MmsSocket::ConnectResult::Ok) return true;
        if (last == MmsSocket::ConnectResult::Stopped) return false;
    }
    const std::string reason = MmsSocket::ErrorText(socket.LastError());
    switch (last) {
    case MmsSocket::ConnectResult::SocketFailed:
        Fail(WithCause(kSocketFailed, reason));
        break;
    case MmsSocket::ConnectResult::SockoptFailed:
        Fail(WithCause(kSockoptError, reason));
        break;
    case MmsSocket::ConnectResult::TimedOut:
        Fail(WithCause(kConnectFailed, "timed out"));
        break;
    default:
        Fail(WithCause(kConnectFailed, reason));
        break;
    }
    return false;
}

void MmsClient::RunSession(MmsTransport& transport, const std::string& fileNamePathAndQuery) {
    io_ = &transport;
    fileName_ = MakeOpenFileName(fileNamePathAndQuery);
    if (Send(commands_.Connect())) {
        while (!stop_.load(std::memory_order_relaxed) && !endOfStream_) {
            if (!ProcessMessage()) break;
        }
    }
    ReportConnectionEnd();
    FinishSession();
    io_ = nullptr;
}

void MmsClient::ReportConnectionEnd() {
    // A stop, a limit or a failure already reported explains the end; else
    // the connection ended before the server said the stream had.
    if (endOfStream_ || errorReported_ || limitReached_ || stop_.load()) return;
    switch (io_->End()) {
    case TransportEnd::Closed:
        Fail(ClosedEarlyText(packetCount_));
        break;
    case TransportEnd::Reset:
        Fail(ResetText(packetCount_));
        break;
    case TransportEnd::TimedOut:
        Fail(IdleTimeoutText(settings_.idleTimeout));
        break;
    case TransportEnd::Failed:
        Fail(WithCause("connection failed", io_->FailureText()));
        break;
    case TransportEnd::Stopped:
    case TransportEnd::None:
        break;
    }
}

void MmsClient::FinishSession() {
    if (!file_) return;
    // What is still buffered must be on the disk before the header is made
    // to describe it.
    if (!writeFailed_ && bytesWritten_ > 0 && !file_->Flush()) OnWriteFailed();
    if (!file_->Seekable()) return;  // standard output: the header went out as it came
    RecordingTotals totals;
    totals.bytesWritten = bytesWritten_;
    totals.packetsWritten = packetCount_;
    totals.packetBytes = dataBytes_;
    totals.largestSendTime = largestSendTime_;
    totals.saveLiveTimeInfo = settings_.liveContentSaveTimeInfo != 0;
    // Only the server's end of stream, with every packet on the disk, leaves
    // a file the server's header describes.
    totals.endedEarly = !endOfStream_ || writeFailed_;
    const bool runs = headerParsed_ && info_.filePropertiesOffset != 0 && bytesWritten_ > 0;
    if (!AsfCodec::FinishFile(file_, info_, totals) && runs && !writeFailed_) {
        writeFailed_ = true;
        Fail(WithCause(kWriteError, file_->ErrorText()));
    }
}

void MmsClient::Fail(const std::string& text) {
    errorReported_ = true;
    sink_->ReportError(text);
}

bool MmsClient::BadData(const std::string& what) {
    Fail(WithCause(kBadData, what));
    return false;
}

bool MmsClient::RecvExact(uint8_t* dst, size_t n) {
    if (stop_.load(std::memory_order_relaxed)) return false;
    return io_->RecvExact(dst, n);
}

bool MmsClient::Send(const std::vector<uint8_t>& message) {
    if (stop_.load(std::memory_order_relaxed)) return false;
    return io_->SendAll(message.data(), message.size());
}

bool MmsClient::SendReply(MmsReply reply) {
    switch (reply) {
    case MmsReply::None:
        return true;
    case MmsReply::FunnelInfo:
        return Send(commands_.FunnelInfo());
    case MmsReply::ConnectFunnel: {
        std::string address;
        uint16_t port = 0;
        io_->LocalEndpoint(address, port);
        return Send(commands_.ConnectFunnel(MakeTransportString(address, port)));
    }
    case MmsReply::OpenFile:
        return Send(commands_.OpenFile(fileName_));
    case MmsReply::ReadBlock:
        return Send(commands_.ReadBlock());
    case MmsReply::StartPlaying:
        return Send(commands_.StartPlaying());
    case MmsReply::Pong:
        return Send(commands_.Pong());
    }
    return true;
}

bool MmsClient::ProcessMessage() {
    if (stop_.load(std::memory_order_relaxed)) return false;
    uint8_t head[8];
    if (!RecvExact(head, sizeof(head))) return false;
    if (Le32(head + 4) == mms::kSessionId) return ProcessCommand(head);
    return ProcessMediaPacket(head);
}

bool MmsClient::ProcessCommand(const uint8_t* /*head*/) {
    uint8_t lengthAndSeal[8];
    if (!RecvExact(lengthAndSeal, sizeof(lengthAndSeal))) return false;
    const uint32_t messageLength = Le32(lengthAndSeal);
    // No command is empty or anywhere near this long: the bytes are not a
    // server's, and reading past them could take forever.
    if (messageLength == 0 || messageLength > kMaxCommandLength)
        return BadData("command of " + std::to_string(messageLength) + " bytes");
    if (messageLength > kCommandBufferSize) {
        // Nothing we answer is this long: read past it and carry on.
        return !stop_.load(std::memory_order_relaxed) && io_->Discard(messageLength);
    }
    if (!RecvExact(commandBuffer_.get(), messageLength)) return false;

    // The buffer starts at message offset 16: the MID (offset 36) is at 20.
    constexpr size_t kMidAt = 36 - mms::kTcpHeaderSize;
    constexpr size_t kResultAt = 40 - mms::kTcpHeaderSize;
    constexpr size_t kOpenFileIdAt = 48 - mms::kTcpHeaderSize;
    if (messageLength < kMidAt + 4) return true;  // too short to name a command
    const uint32_t mid = Le32(commandBuffer_.get() + kMidAt);

    if (mid == mms::kMidReportOpenFile) {
        if (messageLength < kOpenFileIdAt + 4)
            return BadData("ReportOpenFile of " + std::to_string(messageLength) + " bytes");
        if (static_cast<int32_t>(Le32(commandBuffer_.get() + kOpenFileIdAt)) < 0) {
            const uint32_t result = Le32(commandBuffer_.get() + kResultAt);
            Fail(result != 0 ? WithCause(kUrlNotFound, "server error " + Hex32(result)) : std::string(kUrlNotFound));
            return false;
        }
    }
    if (mid == mms::kMidReportEndOfStream) {
        endOfStream_ = true;
        return true;
    }
    // The session goes on whatever the send gave; a broken connection shows
    // at the next receive, a stop at the loop's check.
    SendReply(ReplyFor(mid));
    return true;
}

bool MmsClient::ProcessMediaPacket(const uint8_t* prefix) {
    const uint8_t incarnation = prefix[4];
    const uint16_t packetLength = AsfCodec::ReadU16(prefix + 6);
    if (packetLength <= mms::kMediaPrefixSize)
        return BadData("media packet of " + std::to_string(packetLength) + " bytes");
    const size_t payloadLength = packetLength - mms::kMediaPrefixSize;
    if (!RecvExact(packetBuffer_.get(), payloadLength)) return false;

    // We asked for these two incarnations; a packet of another one is not
    // ours and is skipped. Bytes that are no packet at all mostly land here
    // too, so a long run of them ends the session.
    if (incarnation != mms::kIncarnationHeader && incarnation != mms::kIncarnationData) {
        if (++foreignPackets_ < kMaxForeignPackets) return true;
        return BadData(std::to_string(foreignPackets_) + " media packets in a row of incarnation " +
                       std::to_string(incarnation));
    }
    foreignPackets_ = 0;

    if (incarnation == mms::kIncarnationHeader) return OnHeaderPacket(prefix, packetBuffer_.get(), payloadLength);

    // A data packet after header packets means the header is as complete as
    // it will get.
    if (!header_.empty() && !CompleteHeader()) return false;
    return OnDataPacket(prefix, packetBuffer_.get(), payloadLength);
}

bool MmsClient::OnHeaderPacket(const uint8_t* prefix, const uint8_t* payload, size_t length) {
    // Only the first header of a session goes to the file; a later one would
    // land in the middle of the data.
    if (headerWritten_) return true;
    if (header_.size() + length > kMaxHeaderBytes) {
        Fail(kNotSupported);
        return false;
    }
    header_.insert(header_.end(), payload, payload + length);
    ++headerPackets_;
    if (header_.size() >= sizeof(kHeaderObjectGuid) &&
        std::memcmp(header_.data(), kHeaderObjectGuid, sizeof(kHeaderObjectGuid)) != 0)
        return BadData("header packet without an ASF Header Object");
    return HeaderComplete(prefix[5]) ? CompleteHeader() : true;
}

bool MmsClient::HeaderComplete(uint8_t lastFlags) const {
    // The Header Object states its own size, whatever flags the server put
    // on the packets; only when that size is not there yet do the flags
    // tell.
    if (header_.size() >= 24) {
        const uint64_t objectSize = AsfCodec::ReadU64(header_.data() + 16);
        if (objectSize <= kMaxHeaderBytes) return header_.size() >= objectSize + kDataObjectPrefix;
    }
    return (lastFlags & mms::kHeaderLast) != 0;
}

bool MmsClient::CompleteHeader() {
    headerWritten_ = true;
    // Parsing the joined packets makes the File Properties offset and the
    // header length describe the header as it lies in the file, however the
    // server split it.
    AsfHeaderInfo parsed = info_;
    switch (AsfCodec::ParseHeader(header_.data(), header_.size(), parsed)) {
    case HeaderParseResult::Ok:
        info_ = parsed;
        headerParsed_ = true;
        break;
    case HeaderParseResult::FilePropertiesNotFound:
        break;  // written as it is; nothing to rewrite at the end
    case HeaderParseResult::NotSupported:
        Fail(kNotSupported);
        return false;
    }
    if (!WriteToFile(header_.data(), header_.size())) return false;
    bytesWritten_ += header_.size();
    MarkWritten();
    if (writeFailed_) return false;
    for (uint32_t i = 0; i < headerPackets_; ++i) sink_->OnHeaderReceived(url_, static_cast<int>(info_.DurationMs));
    header_.clear();
    header_.shrink_to_fit();
    return Send(commands_.StreamSwitch());
}

bool MmsClient::OnDataPacket(const uint8_t* /*prefix*/, uint8_t* payload, size_t length) {
    // Packets without a header before them would make a file nothing can read.
    if (!headerWritten_) return true;

    uint32_t sendTime = 0;
    const int at = AsfCodec::SendTimeOffset(payload, length);
    const bool found = at > 0 && static_cast<size_t>(at) + 4 <= length;
    if (found) {
        sendTime = Le32(payload + at);
        if (!haveBaseSendTime_) {
            haveBaseSendTime_ = true;
            baseSendTime_ = sendTime;
        }
    }
    const bool live = info_.DurationMs == 0;
    if (live && found) {
        sendTime = sendTime > baseSendTime_ ? sendTime - baseSendTime_ : 0;
        if (settings_.liveContentSaveTimeInfo && headerParsed_)
            AsfCodec::RebasePacketTimes(payload, length, baseSendTime_, info_);
    }

    int progress = 0;
    if (!live) {
        const double figure = static_cast<double>(sendTime) * 10000.0 / static_cast<double>(info_.DurationMs);
        progress = figure >= 10000.0 ? 10000 : static_cast<int>(figure);
    }

    if (!WriteToFile(payload, length)) return false;
    size_t packetLength = length;
    if (info_.minPacketSize > length) {
        const size_t padding = info_.minPacketSize - length;
        if (!file_->WriteZeros(padding)) {
            OnWriteFailed();
            return false;
        }
        packetLength += padding;
    }

    bytesWritten_ += packetLength;
    largestSendTime_ = std::max(largestSendTime_, sendTime);
    ++packetCount_;
    dataBytes_ += packetLength;
    MarkWritten();
    if (writeFailed_) return false;
    sink_->OnProgress(BytesWritten32(), progress, sendTime);

    if (settings_.timePolicy && static_cast<int64_t>(sendTime / 1000) >= static_cast<int64_t>(settings_.maxTime)) {
        limitReached_ = true;
        return false;
    }
    const int64_t mebibytes = static_cast<int64_t>(bytesWritten_ / 1048576);
    if (settings_.sizePolicy && mebibytes >= static_cast<int64_t>(settings_.maxSize)) {
        limitReached_ = true;
        return false;
    }
    return !stop_.load(std::memory_order_relaxed);
}

bool MmsClient::WriteToFile(const uint8_t* data, size_t length) {
    if (!file_ || !file_->Write(data, length)) {
        OnWriteFailed();
        return false;
    }
    return true;
}

void MmsClient::MarkWritten() {
    PacketMark mark;
    mark.end = startOffset_ + bytesWritten_;
    mark.packets = packetCount_;
    mark.dataBytes = dataBytes_;
    mark.largestSendTime = largestSendTime_;
    if (!written_.Add(mark, *file_)) OnWriteFailed();
}

void MmsClient::OnWriteFailed() {
    if (writeFailed_) return;
    writeFailed_ = true;
    Fail(WithCause(kWriteError, file_ ? file_->ErrorText() : std::string()));
    if (!file_ || !file_->Seekable()) return;

    // After a failed write the position is where the file really ends: keep
    // what lies whole before it and cut off the torn packet.
    const PacketMark keep = written_.CutToWhole(*file_);
    bytesWritten_ = keep.end - startOffset_;
    packetCount_ = keep.packets;
    dataBytes_ = keep.dataBytes;
    largestSendTime_ = keep.largestSendTime;
    // Without the whole header the file has nothing to make consistent.
    if (bytesWritten_ == 0) headerParsed_ = false;
}

uint32_t MmsClient::BytesWritten32() const {
    return static_cast<uint32_t>(std::min<uint64_t>(bytesWritten_, std::numeric_limits<uint32_t>::max()));
}

}  // namespace larkspan
