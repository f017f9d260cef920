#include "protocols/mmsh/MmshClient.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <exception>
#include <memory>

#include <curl/curl.h>

#include "asf/AsfCodec.h"
#include "asf/ByteSink.h"
#include "protocols/StreamErrors.h"
#include "protocols/mmsh/CurlStream.h"

namespace larkspan {

namespace {

constexpr uint8_t kHeaderObjectGuid[16] = {0x30, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11,
                                           0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C};
// A header chunk payload is the Header Object plus the first bytes of the
// Data Object, up to its packet count.
constexpr uint64_t kDataObjectPrefix = 50;
constexpr uint8_t kFlagHeaderComplete = 0x08;

constexpr char kReadError[] = "read error";
constexpr char kWriteError[] = "File Write Error";
constexpr char kParseError[] = "Unable to parse this ASF header!";
constexpr char kNotSupported[] = "not supported";
constexpr char kNotFound[] = "Not Found";
constexpr char kRequestError[] = "request error";
constexpr char kConnectError[] = "connect error";
constexpr char kOpenError[] = "InternetOpen Error";
constexpr char kNotAStream[] = "not a stream";

bool IsChunk(const uint8_t* head, char type) { return head[0] == '$' && head[1] == uint8_t(type); }

// Payload length of a chunk: its length field minus the 8 bytes after the
// field, as a signed 16-bit value (so 0 or less for a bogus head).
int PayloadLength(const uint8_t* head) {
    uint16_t length = AsfCodec::ReadU16(head + 2);
    return static_cast<int16_t>(static_cast<uint16_t>(length - 8));
}

uint32_t Saturate32(uint64_t v) { return v > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(v); }

enum class PlainBodyKind { AsfFile, Playlist, Other };

bool StartsWithNoCase(const uint8_t* data, size_t size, const char* prefix) {
    const size_t n = std::strlen(prefix);
    if (size < n) return false;
    for (size_t i = 0; i < n; ++i) {
        uint8_t c = data[i];
        if (c >= 'A' && c <= 'Z') c = uint8_t(c - 'A' + 'a');
        if (c != uint8_t(prefix[i])) return false;
    }
    return true;
}

// What the first bytes of a plain body say it is: a stored ASF file, a
// playlist (an ASX document, a [Reference] list or a bare stream address,
// after an optional UTF-8 byte order mark and blanks), or anything else (a
// web page, an error text).
PlainBodyKind ClassifyPlainBody(const uint8_t* data, size_t size) {
    if (size >= sizeof(kHeaderObjectGuid) && std::memcmp(data, kHeaderObjectGuid, sizeof(kHeaderObjectGuid)) == 0)
        return PlainBodyKind::AsfFile;
    size_t i = 0;
    if (size >= 3 && data[0] == 0xEF && data[1] == 0xBB && data[2] == 0xBF) i = 3;
    while (i < size && (data[i] == ' ' || data[i] == '\t' || data[i] == '\r' || data[i] == '\n')) ++i;
    for (const char* start : {"<asx", "[reference]", "mms://", "mmsh://", "http://"}) {
        if (StartsWithNoCase(data + i, size - i, start)) return PlainBodyKind::Playlist;
    }
    return PlainBodyKind::Other;
}

std::string Lower(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    return s;
}

struct UrlParts {
    std::string host;        // as written, without the port
    int port = 80;           // port the connection goes to
    std::string requestUrl;  // what libcurl is given
    bool loopback = false;
};

// Splits a stream URL. Any scheme is accepted: the stream is always fetched
// over HTTP. A port written in an HTTP URL is used; the port of an mms URL
// belongs to the other protocol, so those go to the HTTP default.
bool SplitUrl(const std::string& url, UrlParts& out) {
    std::unique_ptr<CURLU, void (*)(CURLU*)> u(curl_url(), curl_url_cleanup);
    if (!u) return false;
    if (curl_url_set(u.get(), CURLUPART_URL, url.c_str(), CURLU_NON_SUPPORT_SCHEME) != CURLUE_OK) return false;

    auto get = [&u](CURLUPart part, std::string& value) {
        char* text = nullptr;
        if (curl_url_get(u.get(), part, &text, 0) != CURLUE_OK || !text) return false;
        value = text;
        curl_free(text);
        return true;
    };
    std::string scheme, host, port;
    if (!get(CURLUPART_SCHEME, scheme) || !get(CURLUPART_HOST, host) || host.empty()) return false;
    scheme = Lower(scheme);
    const bool https = scheme == "https";
    const bool httpLike = https || scheme == "http" || scheme == "mmsh";
    int number = https ? 443 : 80;
    if (httpLike && get(CURLUPART_PORT, port)) {
        char* end = nullptr;
        long p = std::strtol(port.c_str(), &end, 10);
        if (!end || *end != '\0' || p < 1 || p > 65535) return false;
        number = static_cast<int>(p);
    }
    const std::string portText = std::to_string(number);
    // Credentials come only from the user's answer to a 401, never from the URL.
    if (curl_url_set(u.get(), CURLUPART_USER, nullptr, 0) != CURLUE_OK ||
        curl_url_set(u.get(), CURLUPART_PASSWORD, nullptr, 0) != CURLUE_OK ||
        curl_url_set(u.get(), CURLUPART_SCHEME, https ? "https" : "http", 0) != CURLUE_OK ||
        curl_url_set(u.get(), CURLUPART_PORT, portText.c_str(), 0) != CURLUE_OK)
        return false;
    std::string full;
    if (!get(CURLUPART_URL, full)) return false;

    const std::string h = Lower(host);
    out.host = host;
    out.port = number;
    out.requestUrl = full;
    out.loopback = h == "localhost" || h.rfind("127.", 0) == 0 || h == "[::1]" || h == "::1";
    return true;
}

}  // namespace

MmshClient::MmshClient(uint16_t jobNumber, const RecorderSettings& settings, RecordEventSink* sink,
                       CredentialsPrompt* prompt)
    : jobNumber_(jobNumber), settings_(settings), sink_(sink), prompt_(prompt), buffer_(kBufferSize) {}

MmshClient::~MmshClient() = default;

void MmshClient::Report(const std::string& text) {
    if (sink_) sink_->ReportError(text);
}

void MmshClient::ReportReadFailure(const ByteSource& body, ReadStatus status) {
    switch (status) {
    case ReadStatus::Ok:
    case ReadStatus::Stopped:
        return;
    case ReadStatus::TimedOut:
        Report(IdleTimeoutText(settings_.idleTimeout));
        return;
    case ReadStatus::Failed:
        Report(WithCause(kReadError, body.FailureCause()));
        return;
    case ReadStatus::End:
        Report(kReadError);
        return;
    }
}

std::vector<std::string> MmshClient::DescribeHeaders(const std::string& host) {
    return {
        std::string("User-Agent: ") + kAgent,
        "Host: " + host,
        "Pragma: no-cache,rate=1.000000,stream-time=0,stream-offset=0:0,request-context=1,max-duration=0",
        std::string("Pragma: xClientGUID=") + kClientGuid,
        "Connection: Close",
    };
}

std::vector<std::string> MmshClient::PlayHeaders(const std::string& host, uint32_t durationMs) {
    return {
        std::string("User-Agent: ") + kAgent,
        "Host: " + host,
        "Pragma: no-cache,rate=1.000000,stream-time=0,stream-offset=4294967295:4294967295,request-context=2,"
        "max-duration=" +
            std::to_string(durationMs),
        "Pragma: xPlayStrm=1",
        std::string("Pragma: xClientGUID=") + kClientGuid,
        "Pragma: stream-switch-count=1",
        "Pragma: stream-switch-entry=ffff:1:0",
        "Connection: Close",
    };
}

uint32_t MmshClient::Record(ByteSink* file, const std::string& url) { return Run(file, url, Purpose::Stream); }

uint32_t MmshClient::Fetch(ByteSink* file, const std::string& url) { return Run(file, url, Purpose::MetaFile); }

uint32_t MmshClient::Run(ByteSink* file, const std::string& url, Purpose purpose) {
    url_ = url;
    purpose_ = purpose;
    // One client serves every stream of a worker (playlist entries one after
    // another): counting, the size limit and what the last stream's header
    // said start afresh with each stream.
    bytesReceived_ = 0;
    info_ = AsfHeaderInfo();
    framing_ = kFramingNone;
    bodyWasPlaylist_ = false;
    headerRejected_ = false;
    writeFailed_ = false;
    wroteAny_ = false;
    haveDataStart_ = false;
    endOfStream_ = false;
    dataStart_ = 0;
    written_ = PacketMark();
    marks_.Reset(written_);
    pending_ = PendingHead();

    UrlParts parts;
    SplitUrl(url, parts);  // a URL that does not split fails in Exchange, with its message
    if (Exchange(file, url, DescribeHeaders(parts.host), true) != ExchangeResult::Ok) return 0;
    // A header that could not be used ends the recording here: data packets
    // without it would make a file nothing can read.
    if (framing_ == kFramingFramed && !Ended() && !StopRequested())
        Exchange(file, url, PlayHeaders(parts.host, info_.DurationMs), false);

    // The file keeps a write-behind buffer; a full disk may only show now.
    if (file && wroteAny_ && !writeFailed_ && !file->Flush()) OnWriteFailed(file);
    FinishRecording(file);
    return Saturate32(bytesReceived_);
}

void MmshClient::FinishRecording(ByteSink* file) {
    // Only a framed stream whose header went to the file whole, from the
    // file's start, has a header that can be made to describe it.
    if (!file || framing_ != kFramingFramed || !haveDataStart_ || !file->Seekable()) return;
    if (dataStart_ != header_.size()) return;
    RecordingTotals totals;
    totals.bytesWritten = written_.end;
    totals.packetsWritten = written_.packets;
    totals.packetBytes = written_.dataBytes;
    totals.largestSendTime = written_.largestSendTime;
    totals.saveLiveTimeInfo = settings_.liveContentSaveTimeInfo != 0;
    // Only the server's $E, with every packet on the disk, leaves a file the
    // server's header describes.
    totals.endedEarly = !endOfStream_ || writeFailed_;
    if (!AsfCodec::FinishFile(file, info_, totals) && !writeFailed_) {
        writeFailed_ = true;
        Report(WithCause(kWriteError, file->ErrorText()));
    }
}

ExchangeResult MmshClient::Exchange(ByteSink* file, const std::string& url,
                                    const std::vector<std::string>& headerBlock, bool describeOnly) {
    ExchangeResult result = ExchangeResult::OpenFailed;
    try {
        CurlStream stream(stop_, settings_.idleTimeout, &wake_);
        if (!stream.Open()) {
            Report(kOpenError);
            return result;
        }
        result = ExchangeResult::ConnectFailed;
        UrlParts parts;
        const bool split = SplitUrl(url, parts);
        if (sink_) sink_->OnConnecting(url, split ? parts.port : 80);
        if (!split) {
            Report(WithCause(kConnectError, "bad address"));
            return result;
        }

        HttpRequest request;
        request.url = parts.requestUrl;
        request.headers = headerBlock;
        request.direct = parts.loopback;
        if (!SendRequest(stream, request, result)) return result;
        result = ExchangeResult::StatusFailed;

        long status = stream.Status();
        if (status == 401) status = Authenticate(stream, request, parts.host, status);
        if (status == 0) return result;  // a re-send failed, and said why
        if (status == 200) {
            const uint64_t contentLength = stream.ContentLength();
            contentType_ = stream.ContentType();
            if (sink_) sink_->OnHeaderReceived(url, static_cast<int>(info_.DurationMs));
            result = ReadBody(stream, file, contentLength, describeOnly) != 0 ? ExchangeResult::Ok
                                                                              : ExchangeResult::BodyFailed;
        } else if (!StopRequested()) {
            Report(WithCause(kNotFound, stream.StatusText()));
        }
    } catch (const std::exception&) {
        // Out of memory or resources in the HTTP layer: the handles are
        // already closed by unwinding; keep the result reached so far.
    }
    return result;
}

bool MmshClient::SendRequest(CurlStream& stream, const HttpRequest& request, ExchangeResult& result) {
    switch (stream.Send(request)) {
    case CurlStream::SendResult::Ok:
        return true;
    case CurlStream::SendResult::SetupFailed:
        Report(kRequestError);
        result = ExchangeResult::RequestFailed;
        return false;
    case CurlStream::SendResult::ConnectFailed:
        Report(WithCause(kConnectError, stream.FailureCause()));
        result = ExchangeResult::ConnectFailed;
        return false;
    case CurlStream::SendResult::SendFailed:
        Report(WithCause(kNotFound, stream.FailureCause()));
        break;
    case CurlStream::SendResult::NoStatus:
        Report(WithCause(kRequestError, stream.FailureCause()));
        break;
    case CurlStream::SendResult::TimedOut:
        Report(IdleTimeoutText(settings_.idleTimeout));
        break;
    case CurlStream::SendResult::Stopped:
        break;
    }
    result = ExchangeResult::StatusFailed;
    return false;
}

long MmshClient::Authenticate(CurlStream& stream, HttpRequest& request, const std::string& site, long status) {
    ExchangeResult ignored = ExchangeResult::StatusFailed;
    bool credentialsSent = false;
    if (!user_.empty() && !password_.empty()) {
        request.user = user_;
        request.password = password_;
        if (!SendRequest(stream, request, ignored)) return 0;
        status = stream.Status();
        credentialsSent = true;
    }
    int prompts = 0;
    while (status == 401 && prompt_ && !StopRequested()) {
        // The server turned down what was just sent: say so before asking
        // again, and give up after a few tries rather than ask for ever.
        if (credentialsSent) prompt_->OnCredentialsRefused(site);
        if (prompts >= kMaxCredentialPrompts) break;
        ++prompts;
        std::string user = user_;
        std::string password = password_;
        if (!prompt_->AskCredentials(site, user, password)) break;
        user_ = user;
        password_ = password;
        request.user = user;
        request.password = password;
        if (!SendRequest(stream, request, ignored)) return 0;
        status = stream.Status();
        credentialsSent = true;
    }
    return status;
}

uint64_t MmshClient::ReadBody(ByteSource& body, ByteSink* file, uint64_t contentLength, bool describeOnly) {
    pending_ = PendingHead();
    if (StopRequested()) return 0;

    uint8_t head[kChunkHeadSize];
    size_t got = 0;
    ReadStatus status = body.Read(head, sizeof(head), got);
    if (status == ReadStatus::Stopped) return 0;
    if (got == 0 || status == ReadStatus::Failed || status == ReadStatus::TimedOut) {
        ReportReadFailure(body, status == ReadStatus::Ok ? ReadStatus::End : status);
        return 0;
    }
    uint64_t count = got;
    const bool framed = got >= 2 && (IsChunk(head, 'H') || IsChunk(head, 'D') || IsChunk(head, 'E'));
    framing_ = framed ? kFramingFramed : kFramingRaw;
    bodyLimit_ = contentLength == 0 ? UINT64_MAX : contentLength;
    bodyConsumed_ = got;

    if (!framed) return ReadPlainBody(body, file, head, got);

    if (got < kChunkHeadSize) {
        ReportReadFailure(body, status);
        return 0;
    }
    if (!IsChunk(head, 'H')) {
        // Data without a header before it would make a file nothing can read.
        headerRejected_ = true;
        Report(WithCause(kNotAStream, "the server sent no header"));
        return 0;
    }
    count += ReadHeaderChunk(body, head, file, describeOnly);
    if (!describeOnly && !Ended()) count += ReadDataChunks(body, file);
    return count;
}

uint64_t MmshClient::ReadPlainBody(ByteSource& body, ByteSink* file, const uint8_t* head, size_t got) {
    uint8_t* const buffer = buffer_.data();
    std::memcpy(buffer, head, got);
    size_t have = got;
    bool ended = false;
    if (purpose_ == Purpose::Stream) {
        // A recording takes a stored ASF file or a playlist the worker reads
        // on; anything else (a web page, say) must not end up in the file.
        const size_t want = static_cast<size_t>(std::min<uint64_t>(kSniffSize, bodyLimit_));
        if (want > have) {
            size_t more = 0;
            const ReadStatus status = body.Read(buffer + have, want - have, more);
            have += more;
            if (status == ReadStatus::Stopped) return 0;
            if (status == ReadStatus::Failed || status == ReadStatus::TimedOut) {
                ReportReadFailure(body, status);
                return 0;
            }
            ended = status == ReadStatus::End;
        }
        switch (ClassifyPlainBody(buffer, have)) {
        case PlainBodyKind::AsfFile:
            break;
        case PlainBodyKind::Playlist:
            bodyWasPlaylist_ = true;
            break;
        case PlainBodyKind::Other:
            Report(WithCause(kNotAStream,
                             "the server sent " + (contentType_.empty() ? std::string("an unknown body") : contentType_)));
            return 0;
        }
    }

    // The body is copied as it is, its first bytes included.
    if (file && !WriteOut(file, buffer, have)) return have;
    bytesReceived_ += have;
    if (ended) return have;
    const uint64_t remaining = bodyLimit_ > have ? bodyLimit_ - have : 0;
    return have + ReadRawBody(body, file, remaining);
}

bool MmshClient::HeaderIncomplete(uint8_t lastFlags) const {
    // The Header Object states its own size; the chunk payload holds it plus
    // the start of the Data Object. Without that, the flags tell.
    if (header_.size() >= 24 && std::memcmp(header_.data(), kHeaderObjectGuid, 16) == 0) {
        const uint64_t objectSize = AsfCodec::ReadU64(header_.data() + 16);
        if (objectSize > UINT64_MAX - kDataObjectPrefix) return true;
        return header_.size() < objectSize + kDataObjectPrefix;
    }
    return (lastFlags & kFlagHeaderComplete) == 0;
}

uint64_t MmshClient::ReadHeaderChunk(ByteSource& body, const uint8_t* head, ByteSink* file, bool describeOnly) {
    if (StopRequested()) return 0;

    header_.clear();
    uint8_t current[kChunkHeadSize];
    std::memcpy(current, head, kChunkHeadSize);
    bool parse = false;
    for (;;) {
        const int length = PayloadLength(current);
        if (length <= 0) break;
        if (header_.size() + static_cast<size_t>(length) > kMaxHeaderSize) {
            header_.clear();
            break;
        }
        const size_t old = header_.size();
        header_.resize(old + static_cast<size_t>(length));
        size_t got = 0;
        const ReadStatus status = body.Read(header_.data() + old, static_cast<size_t>(length), got);
        bodyConsumed_ += got;
        if (status != ReadStatus::Ok) {
            // A describe answer cut short is no reason to give up: the play
            // answer carries the header again.
            if (describeOnly && (status == ReadStatus::End || status == ReadStatus::Failed)) return 0;
            // Without the whole header nothing that follows is of use.
            headerRejected_ = true;
            ReportReadFailure(body, status);
            return 0;
        }
        if (current[9] & kFlagHeaderComplete) parse = true;
        if (!HeaderIncomplete(current[9])) break;
        if (bodyConsumed_ >= bodyLimit_) break;

        // The header goes on in the next chunk if that is a $H chunk too;
        // anything else is kept for the data loop.
        uint8_t next[kChunkHeadSize];
        size_t nextGot = 0;
        const ReadStatus nextStatus = body.Read(next, sizeof(next), nextGot);
        bodyConsumed_ += nextGot;
        if (nextStatus == ReadStatus::Ok && IsChunk(next, 'H')) {
            std::memcpy(current, next, kChunkHeadSize);
            continue;
        }
        pending_.valid = true;
        std::memcpy(pending_.bytes, next, kChunkHeadSize);
        pending_.got = nextGot;
        pending_.status = nextStatus;
        break;
    }

    if (header_.empty()) {
        headerRejected_ = true;
        Report(kParseError);
        return 0;
    }
    if (parse) {
        switch (AsfCodec::ParseHeader(header_.data(), header_.size(), info_)) {
        case HeaderParseResult::Ok:
            break;
        case HeaderParseResult::FilePropertiesNotFound:
            headerRejected_ = true;
            Report(kParseError);
            return 0;
        case HeaderParseResult::NotSupported:
            headerRejected_ = true;
            Report(kNotSupported);
            return 0;
        }
    }
    bytesReceived_ += header_.size();
    if (!describeOnly && file && WriteOut(file, header_.data(), header_.size())) {
        dataStart_ = file->Position();
        haveDataStart_ = true;
        endOfStream_ = false;
        written_ = PacketMark();
        written_.end = dataStart_;
        marks_.Reset(written_);
    }
    return bytesReceived_;
}

ReadStatus MmshClient::NextChunkHead(ByteSource& body, uint8_t* head, size_t& got) {
    if (pending_.valid) {
        pending_.valid = false;
        std::memcpy(head, pending_.bytes, kChunkHeadSize);
        got = pending_.got;
        return pending_.status;
    }
    return body.Read(head, kChunkHeadSize, got);
}

bool MmshClient::SkipPayload(ByteSource& body, size_t length, ReadStatus& status) {
    while (length > 0) {
        const size_t part = std::min(length, buffer_.size());
        size_t got = 0;
        status = body.Read(buffer_.data(), part, got);
        if (status != ReadStatus::Ok) return false;
        length -= part;
    }
    status = ReadStatus::Ok;
    return true;
}

bool MmshClient::WriteOut(ByteSink* file, const void* data, size_t size) {
    wroteAny_ = true;
    if (file->Write(data, size)) return true;
    OnWriteFailed(file);
    return false;
}

bool MmshClient::PadOut(ByteSink* file, size_t count) {
    if (count == 0) return true;
    wroteAny_ = true;
    if (file->WriteZeros(count)) return true;
    OnWriteFailed(file);
    return false;
}

void MmshClient::MarkWritten(ByteSink* file) {
    if (!marks_.Add(written_, *file)) OnWriteFailed(file);
}

void MmshClient::OnWriteFailed(ByteSink* file) {
    if (writeFailed_) return;
    writeFailed_ = true;
    Report(WithCause(kWriteError, file->ErrorText()));
    if (!haveDataStart_) return;
    // After a failed write the position is where the file really ends: keep
    // the whole packets before it and cut off a torn one, so a player never
    // meets it and the header rewrite counts only what is there.
    if (file->Position() < dataStart_) {
        // Not even the header is whole: there is nothing to describe.
        haveDataStart_ = false;
        marks_.Reset(PacketMark());
        return;
    }
    written_ = marks_.CutToWhole(*file);
}

uint64_t MmshClient::ReadDataChunks(ByteSource& body, ByteSink* file) {
    uint32_t sendTime = 0;  // the last send time found; kept for packets without one
    uint32_t baseTime = 0;  // a broadcast's first send time found
    bool baseSet = false;
    uint64_t packets = 0;   // $D chunks read whole in this exchange
    // A broadcast's packet times are moved to count from its first send time,
    // so the finished file plays and seeks from 0.
    const bool rebase = file != nullptr && info_.DurationMs == 0 && settings_.liveContentSaveTimeInfo != 0 &&
                        info_.filePropertiesOffset != 0;

    while (!StopRequested()) {
        uint8_t head[kChunkHeadSize];
        size_t got = 0;
        ReadStatus status = NextChunkHead(body, head, got);
        if (status == ReadStatus::Stopped) break;
        if (status == ReadStatus::End && got == 0) {
            // A clean close between chunks, but without the end-of-stream
            // chunk: the server gave up early.
            Report(ClosedEarlyText(packets));
            return 0;
        }
        if (status != ReadStatus::Ok || head[0] != '$') {
            ReportReadFailure(body, status == ReadStatus::Ok ? ReadStatus::End : status);
            return 0;
        }
        if (IsChunk(head, 'E')) {
            endOfStream_ = true;
            break;
        }
        const int length = PayloadLength(head);
        if (length <= 0) break;
        const size_t payload = static_cast<size_t>(length);

        if (!IsChunk(head, 'D')) {
            // Stream changes, repeated headers and unknown chunks carry no
            // data packet: they never go to the file.
            if (!SkipPayload(body, payload, status)) {
                if (status == ReadStatus::Stopped) break;
                ReportReadFailure(body, status);
                return 0;
            }
            continue;
        }

        // A packet to rebase is read whole; others may pass in parts.
        if (rebase && payload > buffer_.size()) buffer_.resize(payload);
        uint8_t* const buffer = buffer_.data();
        // The first part holds the packet's leading fields, send time included.
        const size_t first = std::min(payload, buffer_.size());
        status = body.Read(buffer, first, got);
        if (status == ReadStatus::Stopped) break;
        if (status != ReadStatus::Ok) {
            ReportReadFailure(body, status);
            return 0;
        }
        const int offset = AsfCodec::SendTimeOffset(buffer, first);
        const bool found = offset > 0 && static_cast<size_t>(offset) + 4 <= first;
        if (found) sendTime = AsfCodec::ReadU32(buffer + offset);

        uint32_t streamTime = sendTime;
        int progress = 0;
        if (info_.DurationMs == 0) {
            // A broadcast counts from the first send time actually found;
            // packets before it (of a layout without one) stay at 0.
            if (found && !baseSet) {
                baseTime = sendTime;
                baseSet = true;
            }
            streamTime = baseSet && sendTime > baseTime ? sendTime - baseTime : 0;
            if (rebase && baseSet) AsfCodec::RebasePacketTimes(buffer, first, baseTime, info_);
        } else {
            // Packets sent past the stated duration do not take progress
            // beyond the whole.
            const uint64_t hundredths = uint64_t(sendTime) * 10000u / info_.DurationMs;
            progress = static_cast<int>(std::min<uint64_t>(hundredths, 10000));
        }

        // Packets longer than the buffer pass through it in parts.
        bool writing = file != nullptr;
        if (writing && !WriteOut(file, buffer, first)) return bytesReceived_;
        for (size_t done = first; done < payload;) {
            const size_t part = std::min(payload - done, buffer_.size());
            status = body.Read(buffer, part, got);
            if (status != ReadStatus::Ok) {
                if (status == ReadStatus::Stopped) return bytesReceived_;
                ReportReadFailure(body, status);
                return 0;
            }
            if (writing && !WriteOut(file, buffer, part)) return bytesReceived_;
            done += part;
        }
        if (writing) {
            const size_t packetSize = info_.minPacketSize;
            const size_t padding = payload < packetSize ? packetSize - payload : 0;
            if (!PadOut(file, padding)) return bytesReceived_;
            bytesReceived_ += payload + padding;
            ++written_.packets;
            written_.dataBytes += payload + padding;
            written_.largestSendTime = std::max(written_.largestSendTime, streamTime);
            written_.end = file->Position();
            MarkWritten(file);
            if (writeFailed_) return bytesReceived_;
        }
        ++packets;

        if (sink_) sink_->OnProgress(Saturate32(bytesReceived_), progress, streamTime);

        if (settings_.timePolicy && int64_t(streamTime / 1000) >= int64_t(settings_.maxTime)) break;
        if (settings_.sizePolicy && int64_t(bytesReceived_ / 1048576) >= int64_t(settings_.maxSize)) break;
    }
    return bytesReceived_;
}

uint64_t MmshClient::ReadRawBody(ByteSource& body, ByteSink* file, uint64_t remaining) {
    uint64_t total = 0;
    uint8_t* const buffer = buffer_.data();
    while (!StopRequested()) {
        const uint64_t left = remaining - total;
        const size_t want = static_cast<size_t>(std::min<uint64_t>(left, kRawBlockSize));
        if (want == 0) break;
        size_t got = 0;
        const ReadStatus status = body.Read(buffer, want, got);
        if (got > 0) {
            if (file && !WriteOut(file, buffer, got)) break;
            bytesReceived_ += got;
            total += got;
            if (total >= remaining) break;
            if (sink_) sink_->OnProgress(Saturate32(bytesReceived_), 0, 0);
            if (settings_.sizePolicy && int64_t(bytesReceived_ / 1048576) >= int64_t(settings_.maxSize)) break;
        }
        if (status == ReadStatus::Failed || status == ReadStatus::TimedOut) ReportReadFailure(body, status);
        if (status != ReadStatus::Ok) break;
    }
    return total;
}

}  // namespace larkspan
