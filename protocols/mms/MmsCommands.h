#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace larkspan {

// Wire constants of MMS over TCP (MS-MMSP names).
namespace mms {

constexpr uint32_t kSessionId = 0xB00BFACE;
constexpr size_t kTcpHeaderSize = 16;     // rep/version, session id, messageLength, seal
constexpr size_t kCommandPrefixSize = 24; // chunkCount .. MID
constexpr size_t kMediaPrefixSize = 8;    // location id, playIncarnation, flags, length

// Client to server.
constexpr uint32_t kMidConnect = 0x00030001;
constexpr uint32_t kMidConnectFunnel = 0x00030002;
constexpr uint32_t kMidOpenFile = 0x00030005;
constexpr uint32_t kMidStartPlaying = 0x00030007;
constexpr uint32_t kMidReadBlock = 0x00030015;
constexpr uint32_t kMidFunnelInfo = 0x00030018;
constexpr uint32_t kMidPong = 0x0003001B;
constexpr uint32_t kMidStreamSwitch = 0x00030033;

// Server to client.
constexpr uint32_t kMidReportConnectedEx = 0x00040001;
constexpr uint32_t kMidReportConnectedFunnel = 0x00040002;
constexpr uint32_t kMidReportOpenFile = 0x00040006;
constexpr uint32_t kMidReportFunnelInfo = 0x00040015;
constexpr uint32_t kMidPing = 0x0004001B;
constexpr uint32_t kMidReportEndOfStream = 0x0004001E;
constexpr uint32_t kMidReportStreamSwitch = 0x00040021;

// playIncarnation values we ask for; they come back in byte 4 of every
// media packet and tell header packets from data packets.
constexpr uint8_t kIncarnationHeader = 2;
constexpr uint8_t kIncarnationData = 4;

// Flags byte of header packets.
constexpr uint8_t kHeaderFirstOfSeveral = 0x04;
constexpr uint8_t kHeaderLast = 0x08;

// Longest strings the client puts on the wire, in UTF-16 units.
constexpr size_t kMaxTransportUnits = 100;
constexpr size_t kMaxFileNameUnits = 1024;

constexpr const char* kPlayerString = "NSPlayer/4.1.0.3925; {3300AD50-2C39-46C0-AE0A-2D27C2D35A1D}";

}  // namespace mms

// The command to send in answer to a received command, if any.
enum class MmsReply { None, FunnelInfo, ConnectFunnel, OpenFile, ReadBlock, StartPlaying, Pong };

// Looks a received MID up in the reply table. ReportOpenFile answers
// ReadBlock only when the server found the file; the caller checks that.
MmsReply ReplyFor(uint32_t receivedMid);

// UTF-16LE bytes of a UTF-8 text, at most maxUnits units. Bytes that are not
// valid UTF-8 become U+FFFD; a surrogate pair is never split by the limit.
std::vector<uint8_t> ToUtf16Le(const std::string& text, size_t maxUnits);

// Turns the last 0x20 byte (searching from the end) into 0. That is how the
// blank before the trailing digits of a wire string becomes its terminator.
void TerminateAtLastBlank(std::vector<uint8_t>& utf16);

// "\\a.b.c.d\TCP\port 00f" for the socket's own address (host byte order)
// and port, converted and terminated the way ConnectFunnel carries it.
std::vector<uint8_t> MakeTransportString(uint32_t localAddress, uint16_t localPort);
// The same for an address given as text: dotted IPv4 or IPv6 without
// brackets ("\\::1\TCP\port 00f").
std::vector<uint8_t> MakeTransportString(const std::string& localAddress, uint16_t localPort);

// "<path and query without the leading '/'> 18." converted and terminated
// the way OpenFile carries it. A name too long for the wire keeps its suffix
// and loses the end of the path.
std::vector<uint8_t> MakeOpenFileName(const std::string& pathAndQuery);

// Builds every command the client sends. Each build takes the next value of
// the command counter as the sequence number (StartPlaying carries 6 in any
// case but still advances the counter).
class MmsCommandBuilder {
public:
    void Reset() { counter_ = 0; }
    uint32_t Counter() const { return counter_; }

    std::vector<uint8_t> Connect();
    std::vector<uint8_t> FunnelInfo();
    std::vector<uint8_t> ConnectFunnel(const std::vector<uint8_t>& transportUtf16);
    std::vector<uint8_t> OpenFile(const std::vector<uint8_t>& fileNameUtf16);
    std::vector<uint8_t> ReadBlock();
    std::vector<uint8_t> StreamSwitch();
    std::vector<uint8_t> StartPlaying();
    std::vector<uint8_t> Pong();

private:
    // A zeroed message of 16 + messageLength bytes with its header filled.
    std::vector<uint8_t> Begin(uint32_t messageLength, uint32_t mid, uint64_t timeSentBits);

    uint32_t counter_ = 0;
};

}  // namespace larkspan
