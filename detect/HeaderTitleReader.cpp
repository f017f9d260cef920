#include "detect/HeaderTitleReader.h"

#include <algorithm>
#include <cstring>

#include "asf/AsfCodec.h"
#include "detect/Utf16Text.h"

namespace larkspan {
namespace {

// ASF Header Object 75B22630-668E-11CF-A6D9-00AA0062CE6C: every header starts with it.
const uint8_t kHeaderObjectGuid[16] = {0x30, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11,
                                       0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C};
// Bytes 4-7 of every MMS command message: the session id 0xB00BFACE.
const uint8_t kCommandMark[4] = {0xCE, 0xFA, 0x0B, 0xB0};

// A command longer than this is not one a server sends; treat it as noise.
constexpr uint32_t kMaxCommandLength = 1u << 20;
// An MMSH response head longer than this is not one either.
constexpr size_t kMaxResponseHead = 16 * 1024;

// Content Description Object: GUID, size (8), five 16-bit lengths, then the title.
constexpr size_t kTitleLengthAt = 24;
constexpr size_t kTitleAt = 34;


}  // namespace

TitleSearch ReadContentTitle(const uint8_t* buf, size_t length, size_t& from, bool final, std::string& title) {
    if (from > length) from = length;
    long at = AsfCodec::FindContentDescription(buf + from, length - from);
    if (at < 0) {
        // A GUID that starts in the last 16 bytes may still be completed by more data.
        if (length > 16) from = std::max(from, length - 16);
        return TitleSearch::NotFound;
    }
    const size_t object = from + size_t(at);
    from = object;
    if (length < object + kTitleAt) return final ? TitleSearch::NotFound : TitleSearch::Incomplete;
    const size_t titleBytes = AsfCodec::ReadU16(buf + object + kTitleLengthAt);
    const size_t wanted = std::min(titleBytes, kMaxDetectedTextUnits * 2);
    const size_t there = std::min(wanted, length - (object + kTitleAt));
    size_t units = Utf16LeToUtf8(buf + object + kTitleAt, there, kMaxDetectedTextUnits, title);
    // Done when everything the length field announced is there, or the
    // title ended (zero unit, unit limit) before the bytes we have run out.
    if (there == wanted || final || units < there / 2) return TitleSearch::Found;
    title.clear();
    return TitleSearch::Incomplete;
}

HeaderTitleReader::HeaderTitleReader(size_t headerLimit) : headerLimit_(headerLimit) {
    header_.reserve(headerLimit_);
}

void HeaderTitleReader::Reset(Framing framing) {
    framing_ = framing;
    Lose();
    title_.clear();
}

void HeaderTitleReader::Resync() { Lose(); }

void HeaderTitleReader::Lose() {
    phase_ = Phase::Lost;
    collecting_ = false;
    overflowed_ = false;
    header_.clear();
    smallHave_ = smallNeed_ = 0;
    remaining_ = 0;
}

void HeaderTitleReader::Expect(Phase phase, size_t count) {
    phase_ = phase;
    smallHave_ = 0;
    smallNeed_ = count;
}

void HeaderTitleReader::StartOfStream() {
    Lose();
    // A server's first bytes are a command (MMS) or the response head (MMSH).
    if (framing_ == Framing::Mms) {
        Expect(Phase::Prefix, 8);
    } else {
        phase_ = Phase::HttpHead;
        headBytes_ = 0;
        blankLineMatch_ = 0;
    }
}

void HeaderTitleReader::EnterFirstPhase() {
    if (framing_ == Framing::Mms) {
        Expect(Phase::Prefix, 8);
    } else if (probeHave_ >= 5 && std::memcmp(probe_, "HTTP/", 5) == 0) {
        phase_ = Phase::HttpHead;
        headBytes_ = 0;
        blankLineMatch_ = 0;
    } else {
        Expect(Phase::ChunkHead, 4);
    }
}

// Whether the bytes at the start of a segment begin a message: an MMS
// command (its session id at offset 4) or a media packet carrying the start
// of an ASF header; an HTTP response or a $H chunk for MMSH.
HeaderTitleReader::ProbeResult HeaderTitleReader::CheckProbe() const {
    if (framing_ == Framing::Mms) {
        if (probeHave_ < 8) return ProbeResult::NeedMore;
        if (std::memcmp(probe_ + 4, kCommandMark, 4) == 0) return ProbeResult::Match;
        if (probeHave_ < 24) return ProbeResult::NeedMore;
        return std::memcmp(probe_ + 8, kHeaderObjectGuid, 16) == 0 ? ProbeResult::Match : ProbeResult::NoMatch;
    }
    if (probeHave_ >= 1 && probe_[0] == '$') {
        if (probeHave_ < 2) return ProbeResult::NeedMore;
        return probe_[1] == 'H' ? ProbeResult::Match : ProbeResult::NoMatch;
    }
    const size_t n = std::min<size_t>(probeHave_, 5);
    if (std::memcmp(probe_, "HTTP/", n) != 0) return ProbeResult::NoMatch;
    return n == 5 ? ProbeResult::Match : ProbeResult::NeedMore;
}

HeaderTitleReader::Status HeaderTitleReader::Feed(const uint8_t* data, size_t length, bool segmentStart) {
    if (phase_ != Phase::Lost && phase_ != Phase::Probe) return FeedInStep(data, length);
    // A probe under way goes on with the next bytes (a gap would have
    // ended it); a lost reader tries again where a segment starts.
    if (segmentStart && phase_ == Phase::Lost) {
        phase_ = Phase::Probe;
        probeHave_ = 0;
    }
    if (phase_ != Phase::Probe) return Status::Searching;
    // Gather the first bytes of the segment (tiny segments may take several).
    const size_t take = std::min(sizeof probe_ - probeHave_, length);
    std::memcpy(probe_ + probeHave_, data, take);
    probeHave_ += take;
    switch (CheckProbe()) {
    case ProbeResult::NeedMore:
        return Status::Searching;
    case ProbeResult::NoMatch:
        phase_ = Phase::Lost;
        return Status::Searching;
    case ProbeResult::Match:
        break;
    }
    EnterFirstPhase();
    const size_t probed = probeHave_;
    probeHave_ = 0;
    Status s = FeedInStep(probe_, probed);
    if (s != Status::Searching) return s;
    return FeedInStep(data + take, length - take);
}

HeaderTitleReader::Status HeaderTitleReader::FeedInStep(const uint8_t* data, size_t length) {
    size_t pos = 0;
    while (pos < length) {
        switch (phase_) {
        case Phase::Lost:
        case Phase::Probe:
            return Status::Searching;
        case Phase::HttpHead: {
            static const char kBlankLine[] = "\r\n\r\n";
            while (pos < length && blankLineMatch_ < 4) {
                char c = char(data[pos++]);
                if (c == kBlankLine[blankLineMatch_]) {
                    ++blankLineMatch_;
                } else {
                    blankLineMatch_ = c == '\r' ? 1 : 0;
                }
                if (++headBytes_ > kMaxResponseHead) {
                    Lose();
                    return Status::Searching;
                }
            }
            if (blankLineMatch_ == 4) Expect(Phase::ChunkHead, 4);
            break;
        }
        case Phase::Prefix:
        case Phase::CommandRest:
        case Phase::ChunkHead:
        case Phase::ChunkExt:
        case Phase::Peek: {
            size_t take = std::min(smallNeed_ - smallHave_, length - pos);
            std::memcpy(small_ + smallHave_, data + pos, take);
            smallHave_ += take;
            pos += take;
            if (smallHave_ == smallNeed_) {
                Status s = CompleteSmall();
                if (s != Status::Searching) return s;
            }
            break;
        }
        case Phase::Copy: {
            size_t take = size_t(std::min<uint64_t>(remaining_, length - pos));
            remaining_ -= take;
            Status s = AppendHeader(data + pos, take);
            pos += take;
            if (s != Status::Searching) return s;
            if (remaining_ == 0) {
                s = AfterPayload();
                if (s != Status::Searching) return s;
            }
            break;
        }
        case Phase::Skip: {
            size_t take = size_t(std::min<uint64_t>(remaining_, length - pos));
            remaining_ -= take;
            pos += take;
            if (remaining_ == 0) {
                Status s = AfterPayload();
                if (s != Status::Searching) return s;
            }
            break;
        }
        }
    }
    return Status::Searching;
}

HeaderTitleReader::Status HeaderTitleReader::CompleteSmall() {
    switch (phase_) {
    case Phase::Prefix:
        if (std::memcmp(small_ + 4, kCommandMark, 4) == 0) {
            phase_ = Phase::CommandRest;  // keep the 8 bytes, read 8 more
            smallNeed_ = 16;
            return Status::Searching;
        } else {
            uint16_t packetLength = AsfCodec::ReadU16(small_ + 6);
            if (packetLength < 8) {
                Lose();
                return Status::Searching;
            }
            return StartPayload(packetLength - 8u, small_[4], (small_[5] & 0x08) != 0);
        }
    case Phase::CommandRest: {
        // A command between header packets (a ping, say) is passed over
        // without ending the header.
        uint32_t messageLength = AsfCodec::ReadU32(small_ + 8);
        if (messageLength > kMaxCommandLength) {
            Lose();
            return Status::Searching;
        }
        phase_ = Phase::Skip;
        remaining_ = messageLength;
        return remaining_ == 0 ? AfterPayload() : Status::Searching;
    }
    case Phase::ChunkHead: {
        if (small_[0] != '$') {
            Lose();
            return Status::Searching;
        }
        chunkType_ = small_[1];
        uint16_t chunkLength = AsfCodec::ReadU16(small_ + 2);
        if (chunkType_ == 'H') {
            if (chunkLength < 8) {
                Lose();
                return Status::Searching;
            }
            remaining_ = chunkLength - 8u;
            Expect(Phase::ChunkExt, 8);
            return Status::Searching;
        }
        if (collecting_) return EndHeader();  // data (or end) after the header chunks
        phase_ = Phase::Skip;
        remaining_ = chunkLength;
        return remaining_ == 0 ? AfterPayload() : Status::Searching;
    }
    case Phase::ChunkExt:
        // Flags at chunk head offset 9: 0x08 marks the chunk that completes the header.
        return StartPayload(remaining_, 0, (small_[5] & 0x08) != 0);
    case Phase::Peek: {
        if (smallHave_ == 16 && std::memcmp(small_, kHeaderObjectGuid, 16) == 0) {
            collecting_ = true;
            overflowed_ = false;
            header_.clear();
            searchFrom_ = 0;
            Status s = AppendHeader(small_, 16);
            if (s != Status::Searching) return s;
            phase_ = Phase::Copy;
        } else {
            phase_ = Phase::Skip;
        }
        remaining_ -= smallHave_;
        return remaining_ == 0 ? AfterPayload() : Status::Searching;
    }
    default:
        return Status::Searching;
    }
}

HeaderTitleReader::Status HeaderTitleReader::StartPayload(size_t payloadLength, uint8_t incarnation, bool lastOfHeader) {
    if (collecting_) {
        // In MMS a packet of another incarnation (a data packet) ends the header.
        if (framing_ == Framing::Mms && incarnation != collectIncarnation_) return EndHeader();
        lastOfHeader_ = lastOfHeader;
        phase_ = Phase::Copy;
        remaining_ = payloadLength;
        return remaining_ == 0 ? AfterPayload() : Status::Searching;
    }
    collectIncarnation_ = incarnation;
    lastOfHeader_ = lastOfHeader;
    remaining_ = payloadLength;
    if (payloadLength == 0) return AfterPayload();
    Expect(Phase::Peek, std::min<size_t>(16, payloadLength));
    return Status::Searching;
}

HeaderTitleReader::Status HeaderTitleReader::AfterPayload() {
    if (phase_ == Phase::Copy && lastOfHeader_) return EndHeader();
    if (framing_ == Framing::Mms) {
        Expect(Phase::Prefix, 8);
    } else {
        Expect(Phase::ChunkHead, 4);
    }
    return Status::Searching;
}

HeaderTitleReader::Status HeaderTitleReader::AppendHeader(const uint8_t* data, size_t length) {
    size_t room = headerLimit_ - header_.size();
    size_t n = std::min(room, length);
    header_.insert(header_.end(), data, data + n);
    if (n < length) overflowed_ = true;
    TitleSearch r = ReadContentTitle(header_.data(), header_.size(), searchFrom_, false, title_);
    if (r == TitleSearch::Found) {
        Lose();
        return Status::TitleFound;
    }
    if (overflowed_) return EndHeader();
    return Status::Searching;
}

HeaderTitleReader::Status HeaderTitleReader::EndHeader() {
    TitleSearch r = ReadContentTitle(header_.data(), header_.size(), searchFrom_, true, title_);
    Lose();
    if (r == TitleSearch::Found) return Status::TitleFound;
    title_.clear();
    return Status::HeaderWithoutTitle;
}

}  // namespace larkspan
