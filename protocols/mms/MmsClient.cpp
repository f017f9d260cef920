#include "protocols/mms/MmsClient.h"

#include <algorithm>
#include <limits>

#include "asf/AsfCodec.h"
#include "asf/OutputFile.h"
#include "protocols/mms/MmsSocketTransport.h"
#include "protocols/mms/MmsTransport.h"
#include "protocols/mms/MmsUrl.h"

namespace larkspan {

namespace {

// Owners that pass no sink still get a client that works.
RecordEventSink& SilentSink() {
    static RecordEventSink sink;
    return sink;
}

uint32_t Le32(const uint8_t* p) { return AsfCodec::ReadU32(p); }

}  // namespace

MmsClient::MmsClient(uint16_t jobNumber, RecorderSettings settings, RecordEventSink* sink)
    : jobNumber_(jobNumber),
      settings_(std::move(settings)),
      sink_(sink ? sink : &SilentSink()),
      commandBuffer_(new uint8_t[kCommandBufferSize]),
      packetBuffer_(new uint8_t[kPacketBufferSize]) {}

MmsClient::~MmsClient() = default;

void MmsClient::BeginRecording(OutputFile* file, const std::string& url) {
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
    assemblingHeader_ = false;
    header_.clear();
    headerPackets_ = 0;
    writeFailed_ = false;
    bytesWritten_ = 0;
    haveBaseSendTime_ = false;
    baseSendTime_ = 0;
    largestSendTime_ = 0;
    packetCount_ = 0;
    dataBytes_ = 0;
}

uint32_t MmsClient::Record(OutputFile* file, const std::string& url) {
    BeginRecording(file, url);
    MmsUrl parts;
    const bool split = SplitMmsUrl(url, parts);
    sink_->OnConnecting(url, parts.port);
    if (!split) {
        sink_->ReportError("connect failed !!");
        return 0;
    }
    MmsSocket socket;
    if (!OpenConnection(parts.host, parts.port, socket)) return 0;
    MmsSocketTransport transport(socket, stop_);
    RunSession(transport, parts.path + parts.query);
    socket.Close();
    return BytesWritten32();
}

uint32_t MmsClient::RecordOver(MmsTransport& transport, OutputFile* file, const std::string& url) {
    BeginRecording(file, url);
    MmsUrl parts;
    SplitMmsUrl(url, parts);
    RunSession(transport, parts.path + parts.query);
    return BytesWritten32();
}

bool MmsClient::OpenConnection(const std::string& host, uint16_t port, MmsSocket& socket) {
    uint32_t address = 0;
    if (!MmsSocket::Resolve(host, address)) {
        sink_->ReportError("connect failed !!");
        return false;
    }
    switch (socket.Connect(address, port, stop_)) {
    case MmsSocket::ConnectResult::Ok:
        return true;
    case MmsSocket::ConnectResult::SocketFailed:
        sink_->ReportError("socket failed");
        return false;
    case MmsSocket::ConnectResult::SockoptFailed:
        sink_->ReportError("sockopt error");
        return false;
    case MmsSocket::ConnectResult::ConnectFailed:
        sink_->ReportError("connect failed !!");
        return false;
    case MmsSocket::ConnectResult::Stopped:
        return false;
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
    FinishSession();
    io_ = nullptr;
}

void MmsClient::FinishSession() {
    if (!file_) return;
    RecordingTotals totals;
    totals.bytesWritten = bytesWritten_;
    totals.packetsWritten = packetCount_;
    totals.packetBytes = dataBytes_;
    totals.largestSendTime = largestSendTime_;
    totals.saveLiveTimeInfo = settings_.liveContentSaveTimeInfo != 0;
    const bool runs = headerParsed_ && info_.filePropertiesOffset != 0 && bytesWritten_ > 0;
    if (!AsfCodec::FinishFile(file_, info_, totals) && runs && !writeFailed_) {
        writeFailed_ = true;
        sink_->ReportError("File Write Error");
    }
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
        uint32_t address = 0;
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
    if (messageLength == 0) return false;
    if (messageLength > kCommandBufferSize) {
        // Nothing we answer is this long: read past it and carry on.
        return !stop_.load(std::memory_order_relaxed) && io_->Discard(messageLength);
    }
    if (!RecvExact(commandBuffer_.get(), messageLength)) return false;

    // The buffer starts at message offset 16: the MID (offset 36) is at 20.
    constexpr size_t kMidAt = 36 - mms::kTcpHeaderSize;
    constexpr size_t kOpenFileIdAt = 48 - mms::kTcpHeaderSize;
    if (messageLength < kMidAt + 4) return true;  // too short to name a command
    const uint32_t mid = Le32(commandBuffer_.get() + kMidAt);

    if (mid == mms::kMidReportOpenFile) {
        if (messageLength < kOpenFileIdAt + 4) return false;
        if (static_cast<int32_t>(Le32(commandBuffer_.get() + kOpenFileIdAt)) < 0) {
            sink_->ReportError("Url not found");
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
    const uint16_t packetLength = AsfCodec::ReadU16(prefix + 6);
    if (packetLength <= mms::kMediaPrefixSize) return false;
    const size_t payloadLength = packetLength - mms::kMediaPrefixSize;
    if (!RecvExact(packetBuffer_.get(), payloadLength)) return false;

    const uint8_t incarnation = prefix[4];
    if (incarnation == mms::kIncarnationHeader) return OnHeaderPacket(prefix, packetBuffer_.get(), payloadLength);

    // Anything else after a first-of-several header packet means the header
    // is as complete as it will get.
    if (assemblingHeader_ && !CompleteHeader()) return false;
    if (incarnation == mms::kIncarnationData) return OnDataPacket(prefix, packetBuffer_.get(), payloadLength);
    return true;  // another incarnation: not ours, ignored
}

bool MmsClient::OnHeaderPacket(const uint8_t* prefix, const uint8_t* payload, size_t length) {
    // Only the first header of a session goes to the file; a later one would
    // land in the middle of the data.
    if (headerWritten_) return true;
    if (header_.size() + length > kMaxHeaderBytes) {
        sink_->ReportError("not supported");
        return false;
    }
    header_.insert(header_.end(), payload, payload + length);
    ++headerPackets_;
    const uint8_t flags = prefix[5];
    if (!assemblingHeader_ && flags == mms::kHeaderFirstOfSeveral) {
        assemblingHeader_ = true;
        return true;
    }
    if (assemblingHeader_ && (flags & mms::kHeaderLast) == 0) return true;
    return CompleteHeader();
}

bool MmsClient::CompleteHeader() {
    assemblingHeader_ = false;
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
        sink_->ReportError("not supported");
        return false;
    }
    if (!WriteToFile(header_.data(), header_.size())) return false;
    bytesWritten_ += header_.size();
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
            writeFailed_ = true;
            sink_->ReportError("File Write Error");
            return false;
        }
        packetLength += padding;
    }

    bytesWritten_ += packetLength;
    sink_->OnProgress(BytesWritten32(), progress, sendTime);
    largestSendTime_ = std::max(largestSendTime_, sendTime);
    ++packetCount_;
    dataBytes_ += packetLength;

    if (settings_.timePolicy && static_cast<int64_t>(sendTime / 1000) >= static_cast<int64_t>(settings_.maxTime))
        return false;
    if (settings_.sizePolicy && static_cast<int64_t>(bytesWritten_ / 1048576) >= static_cast<int64_t>(settings_.maxSize))
        return false;
    return !stop_.load(std::memory_order_relaxed);
}

bool MmsClient::WriteToFile(const uint8_t* data, size_t length) {
    if (!file_ || !file_->Write(data, length)) {
        writeFailed_ = true;
        sink_->ReportError("File Write Error");
        return false;
    }
    return true;
}

uint32_t MmsClient::BytesWritten32() const {
    return static_cast<uint32_t>(std::min<uint64_t>(bytesWritten_, std::numeric_limits<uint32_t>::max()));
}

}  // namespace larkspan
