#pragma once
// What a server puts on the wire in an MMS session, built by hand for the
// byte-level tests: replies, media packets, a small ASF header and data
// packets. Independent of the code under test.
#include <algorithm>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "protocols/RecordEventSink.h"
#include "tests/mms/WireBytes.h"
#include "tests/support/AsfBuilders.h"
#include "tests/support/FileContents.h"
#include "tests/support/TempFolder.h"

namespace larkspan::mmstest {

// Server-to-client MIDs.
constexpr uint32_t kReportConnectedEx = 0x00040001;
constexpr uint32_t kReportConnectedFunnel = 0x00040002;
constexpr uint32_t kReportStartedPlaying = 0x00040005;
constexpr uint32_t kReportOpenFile = 0x00040006;
constexpr uint32_t kReportReadBlock = 0x00040011;
constexpr uint32_t kReportFunnelInfo = 0x00040015;
constexpr uint32_t kPing = 0x0004001B;
constexpr uint32_t kReportEndOfStream = 0x0004001E;
constexpr uint32_t kReportStreamSwitch = 0x00040021;

// Client-to-server MIDs.
constexpr uint32_t kConnect = 0x00030001;
constexpr uint32_t kConnectFunnel = 0x00030002;
constexpr uint32_t kOpenFile = 0x00030005;
constexpr uint32_t kStartPlaying = 0x00030007;
constexpr uint32_t kReadBlock = 0x00030015;
constexpr uint32_t kFunnelInfo = 0x00030018;
constexpr uint32_t kPong = 0x0003001B;
constexpr uint32_t kStreamSwitch = 0x00030033;

// A server command: TCP header, prefix, body (result 0 first, unless the
// body is given whole), padded to a multiple of 8 like a server pads it.
inline Bytes ServerCommand(uint32_t mid, Bytes body = Zeros(8), uint32_t seq = 1) {
    while (body.size() % 8) body.push_back(0);
    const uint32_t messageLength = uint32_t(24 + body.size());
    return Cat({Hex("01 00 00 00 CE FA 0B B0"), Le32(messageLength), Hex("4D 4D 53 20"), Le32(messageLength / 8),
                Le32(seq), Hex("00 00 00 00 00 00 00 00"), Le32(messageLength / 8 - 2), Le32(mid), body});
}

// ReportOpenFile: result, playIncarnation, openFileId (negative: not found).
inline Bytes ReportOpenFile(int32_t openFileId) {
    return ServerCommand(kReportOpenFile,
                         Cat({Le32(openFileId < 0 ? 0x80070002u : 0u), Le32(1), Le32(uint32_t(openFileId)), Zeros(28)}));
}

// A command with an arbitrary messageLength and filler bytes.
inline Bytes RawCommand(uint32_t messageLength, const Bytes& rest) {
    return Cat({Hex("01 00 00 00 CE FA 0B B0"), Le32(messageLength), Hex("4D 4D 53 20"), rest});
}

// A media packet: location id, playIncarnation, flags, length incl. prefix.
inline Bytes MediaPacket(uint32_t location, uint8_t incarnation, uint8_t flags, const Bytes& payload) {
    return Cat({Le32(location), Bytes{incarnation, flags}, Le16(uint16_t(payload.size() + 8)), payload});
}

struct HeaderShape {
    uint32_t packetSize = 1000;
    uint32_t maxPacketSize = 0;       // 0: same as packetSize
    uint64_t playDuration = 0;        // 100-ns units; 0 for live
    uint32_t preroll = 3100;
    uint32_t flags = 2;
    uint64_t fileSize = 0;
    uint64_t packetsCount = 0;
    size_t fillerBytes = 0;           // an object of this size before File Properties (0: none)
};

// Header Object (optionally another object, then File Properties) plus
// the first 50 bytes of the Data Object.
inline Bytes AsfHeader(const HeaderShape& s) {
    testsupport::HeaderValues v;
    v.minPacketSize = s.packetSize;
    v.maxPacketSize = s.maxPacketSize ? s.maxPacketSize : s.packetSize;
    v.playDuration = v.sendDuration = s.playDuration;
    v.preroll = s.preroll;
    v.flags = s.flags;
    v.fileSize = s.fileSize;
    v.packetsCount = s.packetsCount;
    v.paddingObjectBefore = s.fillerBytes;
    v.dataObjectSize = s.packetsCount ? 50 + s.packetsCount * s.packetSize : 0;
    v.dataPacketsCount = s.packetsCount;
    return testsupport::MakeHeader(v);
}

// Offsets inside the AsfHeader above.
inline size_t FilePropsOffset(const HeaderShape& s) { return 30 + s.fillerBytes; }

// A data packet with one payload, sent without its trailing padding:
// 82 00 00, length types 0x08 (padding length a byte) or 0x10 (a word),
// property flags 0x5D, padding length, send time, duration, stream 0x81,
// object number, offset (dword), replicated length 8, object size,
// presentation time, data.
inline Bytes DataPacket(uint32_t packetSize, uint32_t sendTime, uint32_t presentationTime, size_t dataBytes,
                        uint8_t objectNumber = 1) {
    const bool wordPadding = packetSize - 27 - dataBytes > 255;
    const uint32_t padding = uint32_t(packetSize - (wordPadding ? 28 : 27) - dataBytes);
    const Bytes paddingField = wordPadding ? Le16(uint16_t(padding)) : Bytes{uint8_t(padding)};
    return Cat({Hex("82 00 00"), Bytes{uint8_t(wordPadding ? 0x10 : 0x08), 0x5D}, paddingField, Le32(sendTime),
                Le16(100), Bytes{0x81, objectNumber}, Le32(0), Bytes{8}, Le32(uint32_t(dataBytes)),
                Le32(presentationTime), Bytes(dataBytes, 0x5A)});
}
inline size_t SendTimeAt(const Bytes& packet) { return packet.at(3) == 0x10 ? 7 : 6; }
inline size_t PresentationTimeAt(const Bytes& packet) { return SendTimeAt(packet) + 17; }

inline Bytes Padded(Bytes packet, size_t size) {
    if (packet.size() < size) packet.resize(size, 0);
    return packet;
}

// The file an on-demand recording must give: the header as sent with its
// File Size set to the file's length, then the packets padded.
inline Bytes ExpectedFile(const HeaderShape& shape, const std::vector<Bytes>& packets) {
    Bytes file = AsfHeader(shape);
    for (const auto& p : packets) {
        const Bytes padded = Padded(p, shape.packetSize);
        file.insert(file.end(), padded.begin(), padded.end());
    }
    const Bytes size = Le64(file.size());
    std::copy(size.begin(), size.end(), file.begin() + FilePropsOffset(shape) + 40);
    return file;
}

// The file an on-demand recording that ended before the server's end of
// stream must give: as above, and the header also gives the packets' count,
// their durations (from the largest send time among them) and their size.
inline Bytes ExpectedCutFile(const HeaderShape& shape, const std::vector<Bytes>& packets, uint32_t largestSendTime) {
    Bytes file = ExpectedFile(shape, packets);
    const size_t fp = FilePropsOffset(shape);
    const size_t data = AsfHeader(shape).size() - 50;
    auto put = [&file](size_t at, const Bytes& value) { std::copy(value.begin(), value.end(), file.begin() + at); };
    put(fp + 56, Le64(packets.size()));
    put(fp + 64, Le64((uint64_t(largestSendTime) + shape.preroll) * 10000));
    put(fp + 72, Le64(uint64_t(largestSendTime) * 10000));
    put(data + 16, Le64(50 + uint64_t(packets.size()) * shape.packetSize));
    put(data + 40, Le32(uint32_t(packets.size())));
    return file;
}

// The usual server side of a session up to the header: replies to Connect,
// FunnelInfo, ConnectFunnel, OpenFile and ReadBlock.
inline Bytes Opening() {
    return Cat({ServerCommand(kReportConnectedEx), ServerCommand(kReportFunnelInfo, Zeros(64)),
                ServerCommand(kReportConnectedFunnel), ReportOpenFile(1), ServerCommand(kReportReadBlock)});
}
inline Bytes StartOfData() { return Cat({ServerCommand(kReportStreamSwitch), ServerCommand(kReportStartedPlaying)}); }
inline Bytes EndOfStream() { return ServerCommand(kReportEndOfStream); }

// One client message as sent.
struct SentCommand {
    uint32_t sequence;
    uint32_t mid;
    Bytes bytes;
};

// Splits what the client sent into messages by their messageLength.
inline std::vector<SentCommand> SplitSent(const Bytes& sent) {
    std::vector<SentCommand> out;
    size_t at = 0;
    while (at + 40 <= sent.size()) {
        const size_t total = 16 + Get32(sent, at + 8);
        if (at + total > sent.size()) break;
        Bytes msg(sent.begin() + at, sent.begin() + at + total);
        out.push_back({Get32(msg, 20), Get32(msg, 36), msg});
        at += total;
    }
    return out;
}

inline std::vector<uint32_t> Mids(const std::vector<SentCommand>& cmds) {
    std::vector<uint32_t> out;
    for (const auto& c : cmds) out.push_back(c.mid);
    return out;
}

// Keeps every report of a client.
class EventLog : public RecordEventSink {
public:
    void OnConnecting(const std::string& ref, int port) override {
        std::lock_guard<std::mutex> l(m);
        connecting.push_back({ref, port});
    }
    void OnHeaderReceived(const std::string& ref, int durationMs) override {
        std::lock_guard<std::mutex> l(m);
        headerDurations.push_back(durationMs);
    }
    void OnProgress(uint32_t bytes, int progress, uint32_t timeMs) override {
        std::lock_guard<std::mutex> l(m);
        progressEvents.push_back({bytes, progress, timeMs});
        ++progressCount;
    }
    void ReportError(const std::string& text) override {
        std::lock_guard<std::mutex> l(m);
        errors.push_back(text);
    }
    struct Progress {
        uint32_t bytes;
        int progress;
        uint32_t timeMs;
    };
    std::mutex m;
    std::vector<std::pair<std::string, int>> connecting;
    std::vector<int> headerDurations;
    std::vector<Progress> progressEvents;
    std::atomic<int> progressCount{0};
    std::vector<std::string> errors;
};

using testsupport::ReadFileBytes;
using testsupport::TempFolder;

}  // namespace larkspan::mmstest
