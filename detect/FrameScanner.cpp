#include "detect/FrameScanner.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "asf/AsfCodec.h"
#include "detect/Utf16Text.h"

namespace larkspan {
namespace {

constexpr uint16_t kHttpPort = 80;
constexpr uint16_t kMmsPort = 1755;
constexpr uint8_t kProtocolTcp = 6;
constexpr uint32_t kCommandMark = 0xB00BFACE;
constexpr uint32_t kOpenFileMid = 0x00030005;
// The record list keeps addresses in 1024-byte text slots.
constexpr int64_t kNameBuffer = 1024;
// Remembered addresses; past this many the memory is dropped (the record
// list itself also refuses a source it already has).
constexpr size_t kMaxRemembered = 4096;

// Offsets from the start of the IPv4 header. The fixed MMS positions assume
// a 20-byte IP header and a 20-byte TCP header (or 32 with the usual
// time-stamp option): frame offsets 54 and 66 on Ethernet.
constexpr size_t kCommandAt = 40;
constexpr size_t kCommandWithOptionsExtra = 12;
// Where a header packet's Header Object starts when an 8-byte media packet
// prefix follows minimal headers; the second position is tried when the
// first holds something else.
constexpr size_t kHeaderGuidAt = 48;
constexpr size_t kHeaderGuidAltAt = 36;

const uint8_t kHeaderObjectGuid[16] = {0x30, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11,
                                       0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C};

inline uint16_t Be16(const uint8_t* p) { return uint16_t(p[0] << 8 | p[1]); }
inline uint32_t Be32(const uint8_t* p) { return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3]; }

void AppendDotted(std::string& out, const uint8_t* a) {
    char text[16];
    int n = std::snprintf(text, sizeof text, "%u.%u.%u.%u", a[0], a[1], a[2], a[3]);
    out.append(text, size_t(n));
}

bool IsMediaExtension(const uint8_t* p) {
    return p[0] == '.' && (std::memcmp(p + 1, "wmv", 3) == 0 || std::memcmp(p + 1, "asf", 3) == 0 ||
                           std::memcmp(p + 1, "wma", 3) == 0);
}

}  // namespace

FrameScanner::FrameScanner(DetectionSink& sink, LinkType link) : sink_(sink), link_(link) {}

void FrameScanner::ScanCaptureBuffer(const uint8_t* buffer, size_t bytes, const std::atomic<bool>* captureFlag) {
    constexpr size_t kRecordHeader = 18;
    size_t offset = 0;
    while (offset < bytes && (!captureFlag || captureFlag->load(std::memory_order_relaxed))) {
        if (bytes - offset < kRecordHeader) break;
        const uint8_t* record = buffer + offset;
        uint32_t captured = AsfCodec::ReadU32(record + 8);
        uint16_t headerLength = AsfCodec::ReadU16(record + 16);
        size_t frame = offset + headerLength;
        if (frame > bytes) break;
        ScanFrame(buffer + frame, std::min<size_t>(captured, bytes - frame));
        uint64_t next = (uint64_t(frame) + captured + 3) & ~uint64_t(3);
        if (next <= offset) break;  // a record of no length would never move on
        offset = next > bytes ? bytes : size_t(next);
    }
}

void FrameScanner::ScanFrame(const uint8_t* f, size_t length) {
    ++framesScanned_;
    long at = Ipv4Offset(link_, f, length);
    if (at < 0) return;
    const size_t ip = size_t(at);
    if (length < ip + 20 || (f[ip] >> 4) != 4 || f[ip + 9] != kProtocolTcp) return;
    const size_t ipHeader = size_t(f[ip] & 0x0F) * 4;
    if (ipHeader < 20) return;
    const bool fragment = (Be16(f + ip + 6) & 0x3FFF) != 0;
    const size_t tcp = ip + ipHeader;
    if (length < tcp + 4) return;
    const uint16_t sourcePort = Be16(f + tcp);
    const uint16_t destPort = Be16(f + tcp + 2);

    if (following_ && !fragment && sourcePort == flow_.serverPort && destPort == flow_.playerPort &&
        Be32(f + ip + 12) == flow_.serverIp && Be32(f + ip + 16) == flow_.playerIp) {
        FollowServerSegment(f, ip, ipHeader, tcp, length);
    }
    if (destPort != kHttpPort && destPort != kMmsPort) return;

    // A fragment carries no TCP header of its own: its payload is taken to
    // start right after the IP header.
    size_t tcpHeader = 0;
    if (!fragment) {
        if (length < tcp + 13) return;
        tcpHeader = size_t(f[tcp + 12] >> 4) * 4;
    }
    Flow flow;
    flow.serverIp = Be32(f + ip + 16);
    flow.playerIp = Be32(f + ip + 12);
    flow.serverPort = destPort;
    flow.playerPort = sourcePort;

    if (destPort == kHttpPort) {
        DetectHttpGet(f, tcp + tcpHeader, length, ip, flow);
        return;
    }

    if (awaitingHeader_) LookForTitleInFrame(f, ip, length);
    bool command = false;
    if (length >= ip + kCommandAt + 8 && AsfCodec::ReadU32(f + ip + kCommandAt) == 1 &&
        AsfCodec::ReadU32(f + ip + kCommandAt + 4) == kCommandMark) {
        DetectMmsOpenFile(f, ip, 0, length);
        command = true;
    } else if (length >= ip + kCommandAt + kCommandWithOptionsExtra + 8 &&
               AsfCodec::ReadU32(f + ip + kCommandAt + kCommandWithOptionsExtra) == 1 &&
               AsfCodec::ReadU32(f + ip + kCommandAt + kCommandWithOptionsExtra + 4) == kCommandMark) {
        DetectMmsOpenFile(f, ip, kCommandWithOptionsExtra, length);
        command = true;
    }
    if (command) {
        awaitingHeader_ = true;
        if (!fragment) StartFollowing(flow, HeaderTitleReader::Framing::Mms, std::string());
    }
}

void FrameScanner::DetectHttpGet(const uint8_t* f, size_t payload, size_t length, size_t ip, const Flow& flow) {
    if (length < payload + 4 || std::memcmp(f + payload, "GET ", 4) != 0) return;
    const size_t target = payload + 4;
    const void* found = std::memchr(f + target, ' ', length - target);
    if (!found) return;
    const size_t blank = size_t(static_cast<const uint8_t*>(found) - f);
    // The extension must lie within the five characters before the blank:
    // "/a.asf" and "/a.asf?" match, "/a.asf?x=1" does not.
    const size_t window = blank >= payload + 5 ? blank - 5 : payload;
    bool media = false;
    for (size_t i = window; i + 4 <= blank && !media; ++i) media = IsMediaExtension(f + i);
    if (!media) return;
    // A request target never holds control characters; such bytes mean the
    // blank belongs to something else than a request line.
    for (size_t i = target; i < blank; ++i) {
        if (f[i] < 0x20 || f[i] == 0x7F) return;
    }
    std::string url = "http://";
    AppendDotted(url, f + ip + 16);
    url.append(reinterpret_cast<const char*>(f + target), blank - target);
    StartFollowing(flow, HeaderTitleReader::Framing::Mmsh, url);
    Report(std::move(url));
}

void FrameScanner::DetectMmsOpenFile(const uint8_t* f, size_t ip, size_t extra, size_t length) {
    const size_t command = ip + kCommandAt + extra;
    if (length < command + 40) return;  // through the MID
    const uint64_t messageLength = AsfCodec::ReadU32(f + command + 8);
    if (!(uint64_t(length) > command + 8 + messageLength)) return;
    if (AsfCodec::ReadU32(f + command + 36) != kOpenFileMid) return;
    // The name may use the chunk space the command announces, less the
    // fixed part, but never more than the name buffer.
    int64_t limit = int64_t(AsfCodec::ReadU32(f + command + 32)) * 8 - 24;
    if (limit < 1) limit = kNameBuffer;
    limit = std::min(limit, kNameBuffer);
    const size_t nameAt = command + 56;
    const size_t available = length > nameAt ? length - nameAt : 0;
    Utf16LeToUtf8(f + nameAt, available, size_t(limit - 1), scratch_);
    std::string url = "mms://";
    AppendDotted(url, f + ip + 16);
    url.push_back('/');
    url += scratch_;
    Report(std::move(url));
}

void FrameScanner::LookForTitleInFrame(const uint8_t* f, size_t ip, size_t length) {
    size_t guid = 0;
    for (size_t at : {ip + kHeaderGuidAt, ip + kHeaderGuidAltAt}) {
        if (length >= at + 16 && std::memcmp(f + at, kHeaderObjectGuid, 16) == 0) {
            guid = at;
            break;
        }
    }
    if (!guid) return;
    awaitingHeader_ = false;
    if (following_ && reader_.framing() == HeaderTitleReader::Framing::Mms) following_ = false;
    size_t from = 0;
    const size_t start = guid + 16;
    if (ReadContentTitle(f + start, length - start, from, true, scratch_) == TitleSearch::Found)
        ReportTitle(lastUrl_, scratch_);
}

void FrameScanner::StartFollowing(const Flow& flow, HeaderTitleReader::Framing framing, const std::string& url) {
    if (following_ && flow_ == flow && reader_.framing() == framing) {
        flowUrl_ = url;
        return;
    }
    following_ = true;
    flow_ = flow;
    flowUrl_ = url;
    haveSeq_ = false;
    reader_.Reset(framing);
}

void FrameScanner::FollowServerSegment(const uint8_t* f, size_t ip, size_t ipHeader, size_t tcp, size_t length) {
    const bool mms = reader_.framing() == HeaderTitleReader::Framing::Mms;
    if (mms && !awaitingHeader_) {
        following_ = false;
        return;
    }
    if (length < tcp + 14) return;
    const size_t tcpHeader = size_t(f[tcp + 12] >> 4) * 4;
    if (tcpHeader < 20) return;
    const uint32_t seq = Be32(f + tcp + 4);
    const uint8_t flags = f[tcp + 13];
    // Segmentation offload can leave the total length 0 in outgoing captures.
    const size_t total = Be16(f + ip + 2);
    const size_t ipEnd = total ? ip + total : length;
    const size_t payload = tcp + tcpHeader;
    if (ipEnd < payload || length < payload) return;
    if (flags & 0x02) {  // SYN: the data starts one past its sequence number
        nextSeq_ = seq + 1;
        haveSeq_ = true;
        reader_.StartOfStream();
        return;
    }
    const size_t wire = ipEnd - payload;           // payload bytes sent
    const size_t have = std::min(length, ipEnd) - payload;  // payload bytes captured
    if (wire == 0) return;

    const uint8_t* data = f + payload;
    size_t count = have;
    bool segmentStart = true;
    if (haveSeq_) {
        const int32_t ahead = int32_t(seq - nextSeq_);
        if (ahead < 0) {
            // A retransmission: keep only what is new.
            const size_t old = size_t(-int64_t(ahead));
            if (old >= wire) return;
            if (old >= have) {
                reader_.Resync();
            } else {
                data += old;
                count -= old;
                segmentStart = false;
            }
        } else if (ahead > 0) {
            reader_.Resync();  // a segment was lost (or comes later): pick up again
        }
    }
    HeaderTitleReader::Status status = reader_.Feed(data, count, segmentStart);
    nextSeq_ = seq + uint32_t(wire);
    haveSeq_ = true;
    if (have < wire) reader_.Resync();  // the capture cut the segment short

    if (status == HeaderTitleReader::Status::Searching) return;
    following_ = false;
    if (mms) awaitingHeader_ = false;
    if (status == HeaderTitleReader::Status::TitleFound)
        ReportTitle(mms ? lastUrl_ : flowUrl_, reader_.Title());
}

void FrameScanner::Report(std::string url) {
    lastUrl_ = url;
    if (reported_.count(url)) return;
    if (reported_.size() >= kMaxRemembered) reported_.clear();
    reported_.insert(url);
    sink_.AddRow(url, "", "0");
}

void FrameScanner::ReportTitle(const std::string& url, const std::string& title) {
    lastTitle_ = title;
    if (url.empty() || title.empty()) return;
    if (url == lastTitledUrl_ && title == lastTitledName_) return;
    lastTitledUrl_ = url;
    lastTitledName_ = title;
    sink_.SetRowName(url, title, "0");
}

}  // namespace larkspan
