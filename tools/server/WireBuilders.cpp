#include "tools/server/WireBuilders.h"

#include <cstdio>
#include <cstring>

namespace larkspan::testserver {

void AppendLE16(std::vector<uint8_t>& out, uint16_t v) {
    out.push_back(uint8_t(v));
    out.push_back(uint8_t(v >> 8));
}
void AppendLE32(std::vector<uint8_t>& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(uint8_t(v >> (8 * i)));
}
void AppendLE64(std::vector<uint8_t>& out, uint64_t v) {
    for (int i = 0; i < 8; ++i) out.push_back(uint8_t(v >> (8 * i)));
}

std::vector<uint8_t> MmshChunkHead(uint8_t type, uint16_t lengthField, uint32_t location, uint8_t incarnation,
                                   uint8_t flags) {
    std::vector<uint8_t> head;
    head.reserve(12);
    head.push_back('$');
    head.push_back(type);
    AppendLE16(head, lengthField);
    AppendLE32(head, location);
    head.push_back(incarnation);
    head.push_back(flags);
    AppendLE16(head, lengthField);
    return head;
}

std::vector<uint8_t> MmshChunk(uint8_t type, const uint8_t* payload, size_t length, uint32_t location,
                               uint8_t incarnation, uint8_t flags) {
    if (length > 65535 - 8) length = 65535 - 8;
    std::vector<uint8_t> chunk = MmshChunkHead(type, uint16_t(8 + length), location, incarnation, flags);
    if (length) chunk.insert(chunk.end(), payload, payload + length);
    return chunk;
}

std::vector<uint8_t> MmshHeaderChunk(const std::vector<uint8_t>& header) {
    return MmshChunk(kChunkHeader, header.data(), header.size(), 0, 0, 0x0C);
}

std::vector<uint8_t> MmshEndChunk(uint32_t reason) { return MmshChunkHead(kChunkEnd, 8, reason, 0, 0); }

std::vector<uint8_t> MmshDescribeBody(const AsfMedia& media) { return MmshHeaderChunk(media.header); }

std::vector<uint8_t> MmshPlayBody(const AsfMedia& media, bool trimPadding) {
    std::vector<uint8_t> body = MmshHeaderChunk(media.header);
    uint32_t index = 0;
    for (const auto& packet : media.packets) {
        size_t n = trimPadding ? TrimmedLength(packet, media.packetSize) : packet.size();
        auto chunk = MmshChunk(kChunkData, packet.data(), n, index++);
        body.insert(body.end(), chunk.begin(), chunk.end());
    }
    auto end = MmshEndChunk();
    body.insert(body.end(), end.begin(), end.end());
    return body;
}

namespace mms {
std::string MidName(uint32_t mid) {
    switch (mid) {
        case kConnect: return "Connect";
        case kConnectFunnel: return "ConnectFunnel";
        case kOpenFile: return "OpenFile";
        case kStartPlaying: return "StartPlaying";
        case kStopPlaying: return "StopPlaying";
        case kCloseFile: return "CloseFile";
        case kReadBlock: return "ReadBlock";
        case kFunnelInfo: return "FunnelInfo";
        case kPong: return "Pong";
        case kStreamSwitch: return "StreamSwitch";
        case kReportConnectedEX: return "ReportConnectedEX";
        case kReportConnectedFunnel: return "ReportConnectedFunnel";
        case kReportStartedPlaying: return "ReportStartedPlaying";
        case kReportOpenFile: return "ReportOpenFile";
        case kReportReadBlock: return "ReportReadBlock";
        case kReportFunnelInfo: return "ReportFunnelInfo";
        case kPing: return "Ping";
        case kReportEndOfStream: return "ReportEndOfStream";
        case kReportStreamSwitch: return "ReportStreamSwitch";
        default: break;
    }
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", mid);
    return text;
}
}  // namespace mms

std::vector<uint8_t> MmsMessage(uint32_t mid, uint32_t sequence, const std::vector<uint8_t>& body,
                                double timeSent) {
    size_t total = 40 + body.size();
    total = (total + 7) / 8 * 8;
    const uint32_t messageLength = uint32_t(total - 16);
    const uint32_t chunkCount = messageLength / 8;
    std::vector<uint8_t> out;
    out.reserve(total);
    out.insert(out.end(), {0x01, 0x00, 0x00, 0x00});
    AppendLE32(out, mms::kSessionId);
    AppendLE32(out, messageLength);
    out.insert(out.end(), {'M', 'M', 'S', ' '});
    AppendLE32(out, chunkCount);
    AppendLE32(out, sequence);
    uint64_t bits;
    std::memcpy(&bits, &timeSent, sizeof bits);
    AppendLE64(out, bits);
    AppendLE32(out, chunkCount - 2);
    AppendLE32(out, mid);
    out.insert(out.end(), body.begin(), body.end());
    out.resize(total, 0);
    return out;
}

std::vector<uint8_t> MmsMediaPacket(uint32_t location, uint8_t incarnation, uint8_t flags, const uint8_t* payload,
                                    size_t length) {
    if (length > 65535 - 8) length = 65535 - 8;
    std::vector<uint8_t> out;
    out.reserve(8 + length);
    AppendLE32(out, location);
    out.push_back(incarnation);
    out.push_back(flags);
    AppendLE16(out, uint16_t(8 + length));
    if (length) out.insert(out.end(), payload, payload + length);
    return out;
}

std::vector<uint8_t> Utf16Le(const std::string& text) {
    std::vector<uint8_t> out;
    out.reserve(text.size() * 2);
    for (unsigned char c : text) {
        out.push_back(c);
        out.push_back(0);
    }
    return out;
}

std::string DecodeUtf16Le(const uint8_t* bytes, size_t length) {
    std::string out;
    out.reserve(length / 2);
    for (size_t i = 0; i + 1 < length; i += 2) {
        uint16_t unit = uint16_t(bytes[i] | bytes[i + 1] << 8);
        out.push_back(unit <= 0xFF ? char(unit) : '?');
    }
    return out;
}

}  // namespace larkspan::testserver
