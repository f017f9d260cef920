#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace larkspan {

// Result of looking for the title in (part of) an ASF header.
enum class TitleSearch {
    NotFound,    // no Content Description Object in the bytes so far
    Incomplete,  // the object has started but its title is not all there yet
    Found,
};

// Longest title or file name taken over, in UTF-16 units. Matches the
// 1024-byte text buffers of the record list (one byte kept for the end mark).
constexpr size_t kMaxDetectedTextUnits = 1023;

// Looks for the Content Description Object in buf[0, length) and reads its
// Title (UTF-16 at object offset 34, as long as the Title Length field says,
// up to its first zero unit, at most kMaxDetectedTextUnits units). `from` is
// where the search starts; it is moved on so that calling again with more
// bytes appended searches only what is new. With `final` set no more bytes
// will come, so an object cut short yields whatever part of the title is there.
TitleSearch ReadContentTitle(const uint8_t* buf, size_t length, size_t& from, bool final, std::string& title);

// Follows one direction of a TCP connection, server to player, and picks the
// stream title out of the ASF header that travels in it: MMS header packets
// (an 8-byte media packet prefix before each piece of the header, command
// messages in between) or MMSH $H chunks after an HTTP response head. Only
// the header is kept, in a buffer of fixed size allocated once.
class HeaderTitleReader {
public:
    enum class Framing { Mms, Mmsh };
    enum class Status {
        Searching,           // nothing yet; feed more
        TitleFound,          // Title() holds it
        HeaderWithoutTitle,  // a whole header went by (or overflowed the buffer) without a title
    };

    explicit HeaderTitleReader(size_t headerLimit = 64 * 1024);

    // Starts over on a new connection; the first bytes fed must begin a segment.
    void Reset(Framing framing);
    // Bytes were lost: wait for a segment that starts with a message.
    void Resync();
    // The next byte fed is the first of the connection (its SYN was seen).
    void StartOfStream();

    // Feeds the next in-order bytes of the stream. segmentStart says that
    // `data` is the beginning of a TCP segment, which is where a lost reader
    // may pick the framing up again.
    Status Feed(const uint8_t* data, size_t length, bool segmentStart);

    const std::string& Title() const { return title_; }
    Framing framing() const { return framing_; }

private:
    enum class Phase {
        Lost,        // waiting for a segment that starts a message
        Probe,       // a segment started: does a message start there?
        HttpHead,    // MMSH: inside the response head, looking for the blank line
        Prefix,      // MMS: 8 bytes of command header or media packet prefix
        CommandRest, // MMS: the other 8 bytes of a command's TCP header
        ChunkHead,   // MMSH: 4-byte chunk head
        ChunkExt,    // MMSH: 8-byte extension of a $H chunk head
        Peek,        // first bytes of a payload: does a header start here?
        Copy,        // header bytes to keep
        Skip,        // bytes to pass over
    };

    enum class ProbeResult { Match, NoMatch, NeedMore };
    ProbeResult CheckProbe() const;
    void EnterFirstPhase();
    Status FeedInStep(const uint8_t* data, size_t length);
    void Lose();
    // Called when `small_` holds what the current phase asked for.
    Status CompleteSmall();
    Status StartPayload(size_t payloadLength, uint8_t incarnation, bool lastOfHeader);
    Status AfterPayload();
    Status AppendHeader(const uint8_t* data, size_t length);
    Status EndHeader();
    void Expect(Phase phase, size_t count);

    Framing framing_ = Framing::Mms;
    Phase phase_ = Phase::Lost;
    uint8_t probe_[24] = {};
    size_t probeHave_ = 0;
    uint8_t small_[16] = {};
    size_t smallHave_ = 0;
    size_t smallNeed_ = 0;
    uint64_t remaining_ = 0;      // bytes left in Copy / Skip
    size_t headBytes_ = 0;        // MMSH response head seen so far
    int blankLineMatch_ = 0;      // how much of "\r\n\r\n" has been matched
    uint8_t chunkType_ = 0;

    std::vector<uint8_t> header_;
    size_t headerLimit_;
    bool collecting_ = false;
    bool overflowed_ = false;
    bool lastOfHeader_ = false;   // the payload being copied ends the header
    uint8_t collectIncarnation_ = 0;
    size_t searchFrom_ = 0;
    std::string title_;
};

}  // namespace larkspan
