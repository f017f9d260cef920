// Captured frames into the address scanner. Input: one byte choosing the
// link type (low 3 bits) and whether the rest is also read as a packet
// driver buffer (bit 3), then frames, each preceded by its length (16-bit
// little-endian). All frames go to one scanner, so a session's state (the
// awaiting-header flag, the followed connection) carries from frame to frame.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "detect/FrameScanner.h"

namespace {

class CheckingSink : public larkspan::DetectionSink {
public:
    size_t largestFrame = 0;

    void AddRow(const std::string& source, const std::string& name, const std::string& recordTime) override {
        if (!name.empty() || recordTime != "0") std::abort();
        // "http://", a dotted address of at most 15 characters, then the
        // request target: a run of one frame's bytes without blanks or
        // control characters.
        if (source.rfind("http://", 0) == 0) {
            if (source.size() > 7 + 15 + largestFrame) std::abort();
            for (size_t i = 7; i < source.size(); ++i) {
                const unsigned char c = static_cast<unsigned char>(source[i]);
                if (c <= 0x20 || c == 0x7F) std::abort();
            }
            return;
        }
        // "mms://", the address, '/', then a name of at most 1023 UTF-16
        // units, at most 3 bytes of UTF-8 each.
        if (source.rfind("mms://", 0) != 0) std::abort();
        if (source.size() > 6 + 15 + 1 + 1023 * 3) std::abort();
    }
    int SetRowName(const std::string& url, const std::string& title, const std::string& recordTime) override {
        if (url.empty() || title.empty() || recordTime != "0") std::abort();
        // At most 1023 UTF-16 units, at most 3 bytes of UTF-8 each.
        if (title.size() > 1023 * 3 || title.find('\0') != std::string::npos) std::abort();
        return 0;
    }
};

const larkspan::LinkType kLinks[] = {
    larkspan::LinkType::Ethernet,     larkspan::LinkType::LinuxCooked,  larkspan::LinkType::LinuxCooked2,
    larkspan::LinkType::NullLoopback, larkspan::LinkType::LoopLoopback, larkspan::LinkType::RawIp,
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const uint8_t control = data[0];
    CheckingSink sink;
    larkspan::FrameScanner scanner(sink, kLinks[(control & 7) % 6]);
    size_t at = 1;
    while (at + 2 <= size) {
        size_t length = size_t(data[at] | data[at + 1] << 8);
        at += 2;
        if (length > size - at) length = size - at;
        // Each frame in a buffer of its own exact size, so that a read past
        // its end is caught.
        uint8_t* frame = static_cast<uint8_t*>(std::malloc(length ? length : 1));
        if (length) std::memcpy(frame, data + at, length);
        if (length > sink.largestFrame) sink.largestFrame = length;
        scanner.ScanFrame(frame, length);
        std::free(frame);
        at += length;
    }
    if (control & 8) {
        uint8_t* buffer = static_cast<uint8_t*>(std::malloc(size - 1 ? size - 1 : 1));
        if (size > 1) std::memcpy(buffer, data + 1, size - 1);
        if (size - 1 > sink.largestFrame) sink.largestFrame = size - 1;
        larkspan::FrameScanner other(sink, kLinks[(control & 7) % 6]);
        other.ScanCaptureBuffer(buffer, size - 1);
        std::free(buffer);
    }
    return 0;
}
