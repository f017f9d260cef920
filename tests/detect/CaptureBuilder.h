#pragma once
// Frames built byte by byte from the protocol layouts (not from detect/, so
// the tests do not share its parsing), capture files holding them, and a
// sink that keeps what the detector reports.
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "detect/DetectionSink.h"

namespace larkspan::detecttest {

using Bytes = std::vector<uint8_t>;
using Rows = std::vector<std::string>;
using Names = std::vector<std::pair<std::string, std::string>>;

struct Ipv4Address {
    uint8_t a, b, c, d;
};

// One IPv4 packet carrying TCP. Options are whole 4-byte words.
struct TcpSegment {
    Ipv4Address source{192, 168, 1, 2};
    Ipv4Address destination{10, 0, 0, 5};
    uint16_t sourcePort = 50123;
    uint16_t destinationPort = 80;
    uint32_t seq = 1000;
    uint8_t flags = 0x18;             // PSH, ACK
    uint16_t fragmentField = 0x4000;  // DF, offset 0
    Bytes ipOptions, tcpOptions, payload;
    uint8_t protocol = 6;
};

Bytes BuildIpv4(const TcpSegment& s);
// Ethernet II around an IP packet, padded to the 60-byte minimum frame.
Bytes Ethernet(const Bytes& ip);

constexpr uint32_t kLinkEthernet = 1;  // the link type number in capture file headers

// A classic capture file in either byte order, with microsecond or
// nanosecond time stamps.
Bytes CaptureFile(uint32_t linkType, const std::vector<Bytes>& frames, bool bigEndian = false, bool nanoseconds = false);

// The same written as it goes.
class CaptureFileWriter {
public:
    CaptureFileWriter(const std::string& path, uint32_t linkType);
    ~CaptureFileWriter() { Close(); }
    void Add(const Bytes& frame);
    void Close();

private:
    std::FILE* file_;
};

// An MMS command message: 16-byte TCP message header, 24-byte command prefix, body.
Bytes MmsCommand(uint32_t mid, const Bytes& body, uint32_t sequence = 3);
// LinkViewerToMacOpenFile as a player sends it: "<path>", a zero unit, "18.";
// chunkLen, when not negative, replaces the length in 8-byte chunks.
Bytes MmsOpenFile(const std::u16string& path, int64_t chunkLen = -1);
// A server's media packet: location id, incarnation, flags, length, payload.
Bytes MmsMediaPacket(uint32_t location, uint8_t incarnation, uint8_t flags, const Bytes& payload);
// An MMSH chunk: '$', type, length, location, incarnation, flags, length, payload.
Bytes MmshChunk(char type, uint8_t flags, const Bytes& payload);
// A small ASF header: File Properties, a Padding Object of `padding` bytes
// when not 0, a Content Description whose title is `title` (none when
// empty), then the first 50 bytes of the Data Object.
Bytes AsfHeader(const std::u16string& title, size_t padding = 0);

Bytes Utf16(const std::u16string& text);
void Append(Bytes& to, const Bytes& from);
void PutLe32(Bytes& b, size_t at, uint32_t v);
void AddLe16(Bytes& b, uint16_t v);
void AddLe32(Bytes& b, uint32_t v);
// A fresh file name in the tests' temporary folder.
std::string TempPath(const std::string& name);

// Keeps everything the detector reports; usable from the capture thread. A
// call with other arguments than the detector must pass becomes a message.
class RecordingSink : public DetectionSink {
public:
    void AddRow(const std::string& source, const std::string& name, const std::string& recordTime) override;
    int SetRowName(const std::string& url, const std::string& title, const std::string& recordTime) override;
    void ShowDetectionMessage(const std::string& text) override;
    void OnDetectionStopped() override;
    // Waits until pred() holds, checked under the lock at every report; the
    // limit only keeps a broken capture from hanging the suite.
    template <class Pred>
    bool WaitFor(Pred pred) {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, std::chrono::seconds(30), pred);
    }

    Rows rows, messages;
    Names names;
    bool stopped = false;

private:
    void Changed(const std::function<void()>& change);
    std::mutex mutex_;
    std::condition_variable changed_;
};

// What detection reported for a capture file, run the way the command line runs it.
struct Detected {
    Rows rows;
    Names names;
    Rows messages;
    int result = -1;
    bool stopped = false;  // the end of the capture was reported
};
Detected DetectFile(const std::string& path);
Detected DetectFrames(const std::vector<Bytes>& frames);

}  // namespace larkspan::detecttest
