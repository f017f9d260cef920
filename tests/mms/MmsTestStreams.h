#pragma once
// What a server puts on the wire in an MMS session, built by hand apart from
// the code under test; the files a recording must give; a sink that keeps
// every report.
#include <algorithm>
#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include "protocols/RecordEventSink.h"
#include "tests/support/AsfBuilders.h"
#include "tests/support/FileContents.h"
#include "tests/support/TempFolder.h"

namespace larkspan::mmstest {

using Bytes = std::vector<uint8_t>;
using testsupport::FirstDifference;
using testsupport::HeaderValues;
using testsupport::ReadFileBytes;
using testsupport::TempFolder;

// "01 00 CE FA" -> bytes.
inline Bytes Hex(const std::string& text) {
    Bytes out;
    std::istringstream words(text);
    for (std::string word; words >> word;) {
        for (size_t i = 0; i + 1 < word.size(); i += 2) out.push_back(uint8_t(std::stoul(word.substr(i, 2), 0, 16)));
    }
    return out;
}

// ASCII text as UTF-16LE units; '\0' in the text gives a zero unit.
inline Bytes Ascii16(const std::string& text) {
    Bytes out;
    for (char c : text) out.insert(out.end(), {uint8_t(c), 0});
    return out;
}

inline Bytes Cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}
inline void Append(Bytes& to, const Bytes& more) { to.insert(to.end(), more.begin(), more.end()); }
inline Bytes Le16(uint16_t v) { return {uint8_t(v), uint8_t(v >> 8)}; }
inline Bytes Le32(uint32_t v) { return {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)}; }
inline Bytes Le64(uint64_t v) { return Cat({Le32(uint32_t(v)), Le32(uint32_t(v >> 32))}); }
inline Bytes Zeros(size_t n) { return Bytes(n, 0); }

// Server-to-client MIDs, then client-to-server ones.
constexpr uint32_t kReportConnectedEx = 0x00040001;
constexpr uint32_t kReportConnectedFunnel = 0x00040002;
constexpr uint32_t kReportStartedPlaying = 0x00040005;
constexpr uint32_t kReportOpenFile = 0x00040006;
constexpr uint32_t kReportReadBlock = 0x00040011;
constexpr uint32_t kReportFunnelInfo = 0x00040015;
constexpr uint32_t kPing = 0x0004001B;
constexpr uint32_t kReportEndOfStream = 0x0004001E;
constexpr uint32_t kReportStreamSwitch = 0x00040021;
constexpr uint32_t kConnect = 0x00030001;
constexpr uint32_t kConnectFunnel = 0x00030002;
constexpr uint32_t kOpenFile = 0x00030005;
constexpr uint32_t kStartPlaying = 0x00030007;
constexpr uint32_t kReadBlock = 0x00030015;
constexpr uint32_t kFunnelInfo = 0x00030018;
constexpr uint32_t kPong = 0x0003001B;
constexpr uint32_t kStreamSwitch = 0x00030033;

// A command with any messageLength and the bytes after the TCP header.
inline Bytes RawCommand(uint32_t messageLength, const Bytes& rest) {
    return Cat({Hex("01 00 00 00 CE FA 0B B0"), Le32(messageLength), Hex("4D 4D 53 20"), rest});
}

// A server command, its body padded to a multiple of 8 like a server pads it.
inline Bytes ServerCommand(uint32_t mid, Bytes body = Zeros(8)) {
    body.resize((body.size() + 7) / 8 * 8, 0);
    const uint32_t length = uint32_t(24 + body.size());
    return RawCommand(length, Cat({Le32(length / 8), Le32(1), Zeros(8), Le32(length / 8 - 2), Le32(mid), body}));
}

// ReportOpenFile: result, playIncarnation, openFileId (negative: not found).
inline Bytes ReportOpenFile(int32_t openFileId, uint32_t result = 0) {
    return ServerCommand(kReportOpenFile, Cat({Le32(result), Le32(1), Le32(uint32_t(openFileId)), Zeros(28)}));
}

// A media packet: location id, playIncarnation, flags, length incl. prefix.
inline Bytes MediaPacket(uint32_t location, uint8_t incarnation, uint8_t flags, const Bytes& payload) {
    return Cat({Le32(location), Bytes{incarnation, flags}, Le16(uint16_t(payload.size() + 8)), payload});
}

// The server's replies up to the header (to Connect, FunnelInfo,
// ConnectFunnel, OpenFile, ReadBlock), those that start the data, the end.
inline Bytes Opening() {
    return Cat({ServerCommand(kReportConnectedEx), ServerCommand(kReportFunnelInfo, Zeros(64)),
                ServerCommand(kReportConnectedFunnel), ReportOpenFile(1), ServerCommand(kReportReadBlock)});
}
inline Bytes StartOfData() { return Cat({ServerCommand(kReportStreamSwitch), ServerCommand(kReportStartedPlaying)}); }
inline Bytes EndOfStream() { return ServerCommand(kReportEndOfStream); }

// A header of packets of `packetSize` bytes: on demand when it has a
// duration (100-ns units), else a broadcast.
inline HeaderValues Shape(uint32_t packetSize, uint64_t playDuration, uint64_t packetsCount = 0) {
    HeaderValues v;
    v.minPacketSize = v.maxPacketSize = packetSize;
    v.playDuration = v.sendDuration = playDuration;
    v.preroll = 3100;
    v.flags = playDuration ? 2 : 1;
    v.packetsCount = v.dataPacketsCount = packetsCount;
    v.dataObjectSize = packetsCount ? 50 + packetsCount * packetSize : 0;
    return v;
}
inline Bytes AsfHeader(const HeaderValues& v) { return testsupport::MakeHeader(v); }
inline size_t FilePropsOffset(const HeaderValues& v) { return 30 + v.paddingObjectBefore; }

// A data packet with one payload (replicated data: object size, then
// presentation time), sent without its trailing padding.
inline Bytes DataPacket(uint32_t packetSize, uint32_t sendTime, uint32_t presentationTime, size_t dataBytes) {
    const bool wordPadding = packetSize - 27 - dataBytes > 255;
    const uint32_t padding = uint32_t(packetSize - (wordPadding ? 28 : 27) - dataBytes);
    const Bytes paddingField = wordPadding ? Le16(uint16_t(padding)) : Bytes{uint8_t(padding)};
    return Cat({Hex("82 00 00"), Bytes{uint8_t(wordPadding ? 0x10 : 0x08), 0x5D}, paddingField, Le32(sendTime),
                Le16(100), Bytes{0x81, 1}, Le32(0), Bytes{8}, Le32(uint32_t(dataBytes)), Le32(presentationTime),
                Bytes(dataBytes, 0x5A)});
}
inline Bytes Padded(Bytes packet, size_t size) {
    packet.resize(std::max(packet.size(), size), 0);
    return packet;
}

// The file an on-demand recording must give: the header as sent with its
// File Size set to the file's length, then the packets padded. One that
// ended before the server's end of stream also has the header give the
// packets' count, durations (from their largest send time) and size.
inline Bytes ExpectedFile(const HeaderValues& v, const std::vector<Bytes>& packets, bool cut = false,
                          uint32_t largestSendTime = 0) {
    Bytes file = AsfHeader(v);
    const size_t fp = FilePropsOffset(v), data = file.size() - 50;
    for (const auto& p : packets) Append(file, Padded(p, v.minPacketSize));
    testsupport::PutLE64(file, fp + 40, file.size());
    if (cut) {
        testsupport::PutLE64(file, fp + 56, packets.size());
        testsupport::PutLE64(file, fp + 64, (uint64_t(largestSendTime) + v.preroll) * 10000);
        testsupport::PutLE64(file, fp + 72, uint64_t(largestSendTime) * 10000);
        testsupport::PutLE64(file, data + 16, 50 + uint64_t(packets.size()) * v.minPacketSize);
        testsupport::PutLE64(file, data + 40, packets.size());
    }
    return file;
}

// One client message as sent: its sequence number, MID and bytes.
struct SentCommand {
    uint32_t sequence;
    uint32_t mid;
    Bytes bytes;
};

// Splits what the client sent into messages by their messageLength.
inline std::vector<SentCommand> SplitSent(const Bytes& sent) {
    std::vector<SentCommand> out;
    for (size_t at = 0; at + 40 <= sent.size();) {
        const size_t total = 16 + testsupport::GetLE32(sent, at + 8);
        if (at + total > sent.size()) break;
        const Bytes msg(sent.begin() + at, sent.begin() + at + total);
        out.push_back({testsupport::GetLE32(msg, 20), testsupport::GetLE32(msg, 36), msg});
        at += total;
    }
    return out;
}

inline std::vector<uint32_t> Mids(const std::vector<SentCommand>& cmds) {
    std::vector<uint32_t> out;
    for (const auto& c : cmds) out.push_back(c.mid);
    return out;
}

// Keeps every report of a client (made on the recording's own thread).
class EventLog : public RecordEventSink {
public:
    struct Progress {
        uint32_t bytes;
        int progress;
        uint32_t timeMs;
        bool operator==(const Progress&) const = default;
    };
    void OnConnecting(const std::string& ref, int port) override { connecting.push_back({ref, port}); }
    void OnHeaderReceived(const std::string&, int durationMs) override { headerDurations.push_back(durationMs); }
    void OnProgress(uint32_t bytes, int progress, uint32_t timeMs) override {
        progressEvents.push_back({bytes, progress, timeMs});
    }
    void ReportError(const std::string& text) override { errors.push_back(text); }

    std::vector<std::pair<std::string, int>> connecting;
    std::vector<int> headerDurations;
    std::vector<Progress> progressEvents;
    std::vector<std::string> errors;
};

}  // namespace larkspan::mmstest
