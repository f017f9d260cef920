#include "protocols/mms/MmsCommands.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <iterator>

namespace larkspan {

namespace {

void Put32(std::vector<uint8_t>& m, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) m[at + i] = uint8_t(v >> (8 * i));
}

void Put16(std::vector<uint8_t>& m, size_t at, uint16_t v) {
    m[at] = uint8_t(v);
    m[at + 1] = uint8_t(v >> 8);
}

void Put64(std::vector<uint8_t>& m, size_t at, uint64_t v) {
    for (int i = 0; i < 8; ++i) m[at + i] = uint8_t(v >> (8 * i));
}

// timeSent of each command: constants, not clock readings.
constexpr uint64_t kTimeConnect = 0x3F847AE147AE147BULL;
constexpr uint64_t kTimeFunnelInfo = 0x3F847AE11EB851ECULL;
constexpr uint64_t kTimeFunnelAndOpen = 0x3FC1EB851EB851ECULL;
constexpr uint64_t kTimeReadBlock = 0x3FD0000000000000ULL;
constexpr uint64_t kTimeStreamSwitch = 0x3FF07EF9DB22D0E5ULL;
constexpr uint64_t kTimePong = 0x408F23220DE56042ULL;
constexpr uint64_t kDouble3600 = 0x40AC200000000000ULL;

// StartPlaying goes out byte for byte like this, sequence number 6 included.
constexpr uint8_t kStartPlayingTemplate[88] = {
    0x01, 0x00, 0x00, 0x00, 0xCE, 0xFA, 0x0B, 0xB0,  // rep/version, session id
    0x48, 0x00, 0x00, 0x00, 0x4D, 0x4D, 0x53, 0x20,  // messageLength 72, "MMS "
    0x09, 0x00, 0x00, 0x00, 0x06, 0x00, 0x00, 0x00,  // chunkCount, sequence
    0x6F, 0x12, 0x83, 0xC0, 0xCA, 0xA1, 0xF9, 0x3F,  // timeSent 1.602
    0x07, 0x00, 0x00, 0x00, 0x07, 0x00, 0x03, 0x00,  // chunkLen, MID
    0x01, 0x00, 0x00, 0x00, 0xFF, 0xFF, 0x01, 0x00,  // openFileId, 0x0001FFFF
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,  // position 0.0
    0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
    0x00, 0x00, 0x00, 0x00, 0x04, 0x00, 0x00, 0x00,  // playIncarnation 4
    0xFF, 0xFF, 0xFF, 0x7F, 0x00, 0x00, 0x00, 0x00,
    0xFF, 0xFF, 0xFF, 0x7F, 0x00, 0x00, 0x00, 0x00,
};

void AppendUnit(std::vector<uint8_t>& out, uint32_t unit) {
    out.push_back(uint8_t(unit));
    out.push_back(uint8_t(unit >> 8));
}

// Decodes one UTF-8 sequence at text[i]; advances i. Invalid input gives
// U+FFFD and consumes one byte.
uint32_t DecodeUtf8(const std::string& text, size_t& i) {
    const auto b0 = static_cast<uint8_t>(text[i]);
    if (b0 < 0x80) {
        ++i;
        return b0;
    }
    int extra;
    uint32_t cp;
    uint32_t min;
    if ((b0 & 0xE0) == 0xC0) {
        extra = 1, cp = b0 & 0x1F, min = 0x80;
    } else if ((b0 & 0xF0) == 0xE0) {
        extra = 2, cp = b0 & 0x0F, min = 0x800;
    } else if ((b0 & 0xF8) == 0xF0) {
        extra = 3, cp = b0 & 0x07, min = 0x10000;
    } else {
        ++i;
        return 0xFFFD;
    }
    if (text.size() - i <= static_cast<size_t>(extra)) {
        ++i;
        return 0xFFFD;
    }
    for (int k = 1; k <= extra; ++k) {
        const auto b = static_cast<uint8_t>(text[i + k]);
        if ((b & 0xC0) != 0x80) {
            ++i;
            return 0xFFFD;
        }
        cp = (cp << 6) | (b & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
        ++i;
        return 0xFFFD;
    }
    i += 1 + extra;
    return cp;
}

}  // namespace

MmsReply ReplyFor(uint32_t receivedMid) {
    static const struct {
        uint32_t mid;
        MmsReply reply;
    } kTable[] = {
        {mms::kMidReportConnectedEx, MmsReply::FunnelInfo},
        {mms::kMidReportFunnelInfo, MmsReply::ConnectFunnel},
        {mms::kMidReportConnectedFunnel, MmsReply::OpenFile},
        {mms::kMidReportOpenFile, MmsReply::ReadBlock},
        {mms::kMidReportStreamSwitch, MmsReply::StartPlaying},
        {mms::kMidPing, MmsReply::Pong},
    };
    for (const auto& row : kTable)
        if (row.mid == receivedMid) return row.reply;
    return MmsReply::None;
}

std::vector<uint8_t> ToUtf16Le(const std::string& text, size_t maxUnits) {
    std::vector<uint8_t> out;
    out.reserve(2 * std::min(text.size(), maxUnits));
    size_t units = 0;
    size_t i = 0;
    while (i < text.size()) {
        uint32_t cp = DecodeUtf8(text, i);
        if (cp >= 0x10000) {
            if (units + 2 > maxUnits) break;
            cp -= 0x10000;
            AppendUnit(out, 0xD800 | (cp >> 10));
            AppendUnit(out, 0xDC00 | (cp & 0x3FF));
            units += 2;
        } else {
            if (units + 1 > maxUnits) break;
            AppendUnit(out, cp);
            units += 1;
        }
    }
    return out;
}

void TerminateAtLastBlank(std::vector<uint8_t>& utf16) {
    for (size_t i = utf16.size(); i-- > 0;) {
        if (utf16[i] == 0x20) {
            utf16[i] = 0;
            return;
        }
    }
}

std::vector<uint8_t> MakeTransportString(uint32_t localAddress, uint16_t localPort) {
    char text[24];
    std::snprintf(text, sizeof(text), "%u.%u.%u.%u", (localAddress >> 24) & 0xFF, (localAddress >> 16) & 0xFF,
                  (localAddress >> 8) & 0xFF, localAddress & 0xFF);
    return MakeTransportString(std::string(text), localPort);
}

std::vector<uint8_t> MakeTransportString(const std::string& localAddress, uint16_t localPort) {
    char tail[32];
    std::snprintf(tail, sizeof(tail), "\\TCP\\%u %03x", unsigned(localPort), 15u);
    std::vector<uint8_t> out = ToUtf16Le("\\\\" + localAddress + tail, mms::kMaxTransportUnits);
    TerminateAtLastBlank(out);
    return out;
}

std::vector<uint8_t> MakeOpenFileName(const std::string& pathAndQuery) {
    static const char kSuffix[] = " 18.";  // "%s %02x." with 0x18
    const size_t suffixUnits = sizeof(kSuffix) - 1;
    std::string name = (!pathAndQuery.empty() && pathAndQuery[0] == '/') ? pathAndQuery.substr(1) : pathAndQuery;
    std::vector<uint8_t> out = ToUtf16Le(name, mms::kMaxFileNameUnits - suffixUnits);
    for (size_t k = 0; k < suffixUnits; ++k) AppendUnit(out, static_cast<uint8_t>(kSuffix[k]));
    TerminateAtLastBlank(out);
    return out;
}

std::vector<uint8_t> MmsCommandBuilder::Begin(uint32_t messageLength, uint32_t mid, uint64_t timeSentBits) {
    std::vector<uint8_t> m(mms::kTcpHeaderSize + messageLength, 0);
    const uint32_t chunkCount = messageLength / 8;
    Put32(m, 0, 0x00000001);
    Put32(m, 4, mms::kSessionId);
    Put32(m, 8, messageLength);
    std::memcpy(&m[12], "MMS ", 4);
    Put32(m, 16, chunkCount);
    Put32(m, 20, counter_++);
    Put64(m, 24, timeSentBits);
    Put32(m, 32, chunkCount - 2);
    Put32(m, 36, mid);
    return m;
}

std::vector<uint8_t> MmsCommandBuilder::Connect() {
    std::vector<uint8_t> m = Begin(160, mms::kMidConnect, kTimeConnect);
    Put32(m, 40, 0xF0F0F0F0);
    Put32(m, 44, 0x0004000B);
    Put32(m, 48, 0x0003001C);
    std::vector<uint8_t> player = ToUtf16Le(mms::kPlayerString, 80);
    std::memcpy(&m[52], player.data(), player.size());
    return m;
}

std::vector<uint8_t> MmsCommandBuilder::FunnelInfo() {
    std::vector<uint8_t> m = Begin(32, mms::kMidFunnelInfo, kTimeFunnelInfo);
    Put32(m, 40, 0xF0F0F0EF);
    Put32(m, 44, 0x0004000B);
    return m;
}

std::vector<uint8_t> MmsCommandBuilder::ConnectFunnel(const std::vector<uint8_t>& transportUtf16) {
    const auto length = static_cast<uint32_t>(44 + transportUtf16.size());
    std::vector<uint8_t> m = Begin(length, mms::kMidConnectFunnel, kTimeFunnelAndOpen);
    Put32(m, 40, 0xF0F0F0EF);
    Put32(m, 44, 0xFFFFFFFF);
    Put32(m, 48, 0);
    Put32(m, 52, 0x000A0000);
    Put32(m, 56, 2);
    if (!transportUtf16.empty()) std::memcpy(&m[60], transportUtf16.data(), transportUtf16.size());
    return m;
}

std::vector<uint8_t> MmsCommandBuilder::OpenFile(const std::vector<uint8_t>& fileNameUtf16) {
    const auto length = static_cast<uint32_t>(40 + fileNameUtf16.size());
    std::vector<uint8_t> m = Begin(length, mms::kMidOpenFile, kTimeFunnelAndOpen);
    Put32(m, 40, 1);
    Put32(m, 44, 0xFFFFFFFF);
    if (!fileNameUtf16.empty()) std::memcpy(&m[56], fileNameUtf16.data(), fileNameUtf16.size());
    return m;
}

std::vector<uint8_t> MmsCommandBuilder::ReadBlock() {
    std::vector<uint8_t> m = Begin(72, mms::kMidReadBlock, kTimeReadBlock);
    Put32(m, 40, 1);  // openFileId
    Put32(m, 52, 0x00008000);
    Put32(m, 56, 0xFFFFFFFF);
    Put32(m, 60, 0x006B0065);
    Put64(m, 64, 0);  // 0.0
    Put64(m, 72, kDouble3600);
    Put32(m, 80, mms::kIncarnationHeader);
    return m;
}

std::vector<uint8_t> MmsCommandBuilder::StreamSwitch() {
    std::vector<uint8_t> m = Begin(48, mms::kMidStreamSwitch, kTimeStreamSwitch);
    Put32(m, 40, 2);  // entry count
    Put16(m, 44, 0xFFFF);
    Put16(m, 46, 1);
    Put16(m, 48, 0);
    Put16(m, 50, 0xFFFF);
    Put16(m, 52, 2);
    Put16(m, 54, 0);
    Put32(m, 56, 0xFFFFFFFF);
    Put32(m, 60, 0x006B0065);
    return m;
}

std::vector<uint8_t> MmsCommandBuilder::StartPlaying() {
    ++counter_;
    return std::vector<uint8_t>(std::begin(kStartPlayingTemplate), std::end(kStartPlayingTemplate));
}

std::vector<uint8_t> MmsCommandBuilder::Pong() {
    std::vector<uint8_t> m = Begin(32, mms::kMidPong, kTimePong);
    Put32(m, 40, 0x000005D2);
    Put32(m, 44, 0x00000476);
    return m;
}

}  // namespace larkspan
