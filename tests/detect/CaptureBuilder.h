#pragma once
// Frames built byte by byte from the protocol layouts (not from detect/), capture
// files holding them, and a sink that keeps what the detector reports.
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

inline Bytes Ascii(const std::string& s) { return Bytes(s.begin(), s.end()); }
inline const char kGetUrl[] = "http://10.0.0.5/live/show.asf";
inline const char kMmsUrl[] = "mms://192.168.1.10/media/clip.asf";

struct Ipv4Address { uint8_t a, b, c, d; };
// One IPv4 packet carrying TCP. Options are whole 4-byte words.
struct TcpSegment {
    Ipv4Address source{192, 168, 1, 2}, destination{10, 0, 0, 5};
    uint16_t sourcePort = 50123, destinationPort = 80;
    uint32_t seq = 1000;
    uint8_t flags = 0x18;             // PSH, ACK
    uint16_t fragmentField = 0x4000;  // DF, offset 0
    Bytes ipOptions, tcpOptions, payload;
    uint8_t protocol = 6;
};

Bytes BuildIpv4(const TcpSegment& s);
Bytes Ethernet(const Bytes& ip);  // padded to the 60-byte minimum frame

constexpr uint32_t kLinkEthernet = 1;  // link type numbers as in capture file headers
// A classic capture file in either byte order, with micro- or nanosecond time stamps.
Bytes CaptureFile(uint32_t linkType, const std::vector<Bytes>& frames, bool bigEndian = false,
                  bool nanoseconds = false);

class CaptureFileWriter {  // the same, written as it goes
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

Bytes Utf16(const std::u16string& text);
void Append(Bytes& to, const Bytes& from);
void AddLe16(Bytes& b, uint16_t v);
void AddLe32(Bytes& b, uint32_t v);
std::string TempPath(const std::string& name);  // in the tests' temporary folder

// What detection reported: rows, titles, messages, and whether the end of the capture was reported.
struct Reported {
    Rows rows, messages;
    Names names;
    bool stopped = false;
};

// Keeps what the detector reports, from any thread. A call with other
// arguments than the detector must pass becomes a message.
class RecordingSink : public DetectionSink, public Reported {
public:
    void AddRow(const std::string& source, const std::string& name, const std::string& recordTime) override;
    int SetRowName(const std::string& url, const std::string& title, const std::string& recordTime) override;
    void ShowDetectionMessage(const std::string& text) override;
    void OnDetectionStopped() override;
    // Waits (under the lock) until pred() holds; the limit keeps a broken capture from hanging.
    template <class Pred>
    bool WaitFor(Pred pred) {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, std::chrono::seconds(30), pred);
    }

private:
    void Change(const std::function<void()>& change);
    std::mutex mutex_;
    std::condition_variable changed_;
};

// What detection reported for a capture file, run as the command line runs it.
struct Detected : Reported {
    int result = -1;
};
Detected DetectFile(const std::string& path);
Detected DetectBytes(const Bytes& file);  // the bytes of a capture file
Detected DetectFrames(const std::vector<Bytes>& frames);

}  // namespace larkspan::detecttest
