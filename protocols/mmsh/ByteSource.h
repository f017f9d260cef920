#pragma once
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

namespace larkspan {

enum class ReadStatus {
    Ok,       // every byte asked for was delivered
    End,      // the body ended first
    Failed,   // the transfer broke off
    Stopped,  // the owner asked the recording to stop while waiting for bytes
    TimedOut,  // the server sent nothing for the idle time-out
};

// A response body seen as a plain byte stream. The chunk parser pulls the
// exact counts it needs; where the bytes come from (a socket pumped by curl,
// memory in a test or fuzz run) stays behind ReadSome.
class ByteSource {
public:
    virtual ~ByteSource() = default;

    // Why the bytes stopped coming after a Failed read ("connection reset"),
    // empty when the source cannot tell.
    virtual std::string FailureCause() const { return {}; }

    // Fills dst with `want` bytes unless the body ends, fails or a stop is
    // requested first. `got` is the number of bytes delivered either way.
    ReadStatus Read(uint8_t* dst, size_t want, size_t& got) {
        got = 0;
        while (got < want) {
            size_t n = 0;
            ReadStatus s = ReadSome(dst + got, want - got, n);
            if (n > want - got) n = want - got;  // never trust a source to stay in bounds
            got += n;
            if (s != ReadStatus::Ok) return s;
            if (n == 0) return ReadStatus::Failed;  // a source that neither delivers nor ends
        }
        return ReadStatus::Ok;
    }

protected:
    // Delivers between 1 and `max` bytes and Ok, or fewer with the reason
    // the bytes stopped coming. May block until at least one byte is there.
    virtual ReadStatus ReadSome(uint8_t* dst, size_t max, size_t& got) = 0;
};

// A body held in memory, handed out at most `step` bytes per pull so that
// callers see the same fragmentation a slow network gives.
class MemoryByteSource final : public ByteSource {
public:
    MemoryByteSource(const uint8_t* data, size_t size, size_t step = 0, ReadStatus atEnd = ReadStatus::End)
        : data_(data), size_(size), step_(step), atEnd_(atEnd) {}

    size_t Consumed() const { return pos_; }

protected:
    ReadStatus ReadSome(uint8_t* dst, size_t max, size_t& got) override {
        got = 0;
        if (pos_ >= size_) return atEnd_;
        size_t n = size_ - pos_;
        if (n > max) n = max;
        if (step_ > 0 && n > step_) n = step_;
        std::memcpy(dst, data_ + pos_, n);
        pos_ += n;
        got = n;
        return ReadStatus::Ok;
    }

private:
    const uint8_t* data_;
    size_t size_;
    size_t step_;
    ReadStatus atEnd_;
    size_t pos_ = 0;
};

}  // namespace larkspan
