#pragma once
// Frames built byte by byte and written to capture files, for feeding the
// address detector. Kept apart from detect/ so the tests do not share its
// parsing: every field here is placed from the protocol layouts.
#include <cstdint>
#include <string>
#include <vector>

namespace larkspan::detecttest {

using Bytes = std::vector<uint8_t>;

struct Ipv4Address {
    uint8_t a, b, c, d;
};

// One IPv4 packet carrying TCP.
struct TcpSegment {
    Ipv4Address source{192, 168, 1, 2};
    Ipv4Address destination{10, 0, 0, 5};
    uint16_t sourcePort = 50123;
    uint16_t destinationPort = 80;
    uint32_t seq = 1000;
    uint32_t ack = 1;
    uint8_t flags = 0x18;          // PSH, ACK
    uint16_t fragmentField = 0x4000;  // DF, offset 0
    Bytes ipOptions;               // length a multiple of 4
    Bytes tcpOptions;              // length a multiple of 4
    Bytes payload;
    uint8_t protocol = 6;
};

Bytes BuildIpv4(const TcpSegment& s);

// Link-layer wrappers around an IP packet.
Bytes Ethernet(const Bytes& ip, uint16_t etherType = 0x0800, bool zeroMacs = false);
Bytes EthernetVlan(const Bytes& ip, uint16_t vlanId);
Bytes LinuxCooked(const Bytes& ip);   // SLL, 16-byte header
Bytes LinuxCooked2(const Bytes& ip);  // SLL2, 20-byte header
Bytes NullLoopback(const Bytes& ip, bool littleEndian);
Bytes LoopLoopback(const Bytes& ip);

// Link-layer type numbers as written in capture file headers.
constexpr uint32_t kLinkEthernet = 1;
constexpr uint32_t kLinkNull = 0;
constexpr uint32_t kLinkRaw = 101;
constexpr uint32_t kLinkLoop = 108;
constexpr uint32_t kLinkCooked = 113;
constexpr uint32_t kLinkCooked2 = 276;

// A classic capture file (microsecond time stamps, this host's byte order).
class CaptureFileWriter {
public:
    CaptureFileWriter(const std::string& path, uint32_t linkType, uint32_t snapLength = 262144);
    ~CaptureFileWriter();
    // capturedLength below frame.size() writes a frame cut short by the snap
    // length, as a capture does: the record says how long it was on the wire.
    void Add(const Bytes& frame, size_t capturedLength = SIZE_MAX);
    void Close();
    size_t frames() const { return frames_; }

private:
    std::FILE* file_;
    size_t frames_ = 0;
    uint32_t seconds_ = 1700000000;
};

// An MMS command message: 16-byte TCP message header, 24-byte command
// prefix, body. messageLength counts from offset 16 to the end.
Bytes MmsCommand(uint32_t mid, const Bytes& body, uint32_t sequence = 3);
// LinkViewerToMacOpenFile for a URL path without its leading "/": the name
// as the player sends it ("<path>", a zero unit, "18.").
Bytes MmsOpenFile(const std::u16string& path);
// The same with the chunkLen field set to a given value.
Bytes MmsOpenFileWithChunkLen(const std::u16string& path, uint32_t chunkLen);
// A server's media packet: 8-byte prefix (location id, incarnation, flags,
// length including the prefix) and the payload.
Bytes MmsMediaPacket(uint32_t location, uint8_t incarnation, uint8_t flags, const Bytes& payload);
// An MMSH chunk: '$', type, length (8 + payload), location, incarnation,
// flags, length again, payload.
Bytes MmshChunk(char type, uint8_t flags, const Bytes& payload);

// A small ASF header: Header Object with File Properties and, when title is
// not empty, a Content Description Object whose title is `title` (UTF-16,
// with its terminator), followed by the first 50 bytes of the Data Object.
// `padding` adds a Padding Object of that many bytes before the description.
Bytes AsfHeader(const std::u16string& title, size_t padding = 0);

// UTF-16LE bytes of a string, without terminator.
Bytes Utf16(const std::u16string& text);

void Append(Bytes& to, const Bytes& from);
void PutLe16(Bytes& b, size_t at, uint16_t v);
void PutLe32(Bytes& b, size_t at, uint32_t v);
void AddLe16(Bytes& b, uint16_t v);
void AddLe32(Bytes& b, uint32_t v);
void AddLe64(Bytes& b, uint64_t v);

// A fresh file name in the test's temporary folder.
std::string TempPath(const std::string& name);

}  // namespace larkspan::detecttest
