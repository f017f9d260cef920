#pragma once
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "asf/ByteSink.h"

namespace larkspan {

// A bounded in-memory pipe from a stream client (the writer, one thread) to
// a player (the reader, another thread). The writing side is a ByteSink that
// cannot seek, so a recording into it keeps the header as it came. Write
// waits while the pipe is full, so a slow reader slows the client down
// rather than letting memory grow.
//
// The writer ends the stream with CloseWriting: the reader gets the bytes
// still buffered, then the end, with the writer's error text if it failed.
// Either side may Cancel: buffered bytes are dropped, a waiting Write or Read
// returns at once, and writes fail from then on with the reason as their
// error text, so the client stops.
class StreamPipe final : public ByteSink {
public:
    static constexpr size_t kDefaultCapacity = 256 * 1024;

    explicit StreamPipe(size_t capacity = kDefaultCapacity);
    StreamPipe(const StreamPipe&) = delete;
    StreamPipe& operator=(const StreamPipe&) = delete;

    // The writing side. Write returns true once every byte is in the pipe;
    // false when the pipe was cancelled or closed first (ErrorText says why).
    bool Write(const void* data, size_t size) override;
    // Bytes accepted so far.
    uint64_t Position() const override;
    // The reason the last write failed; read on the writer's thread.
    const std::string& ErrorText() const override { return writeError_; }
    void CloseWriting(const std::string& errorText) override;
    void Cancel(const std::string& reason) override;

    // The reading side: copies up to size bytes into data, waiting until
    // there are some. Returns 0 once no byte will come any more (the end of
    // the stream, a failure or a cancel): EndText then says which.
    size_t Read(void* data, size_t size);
    // Empty after a clean end of the stream; the writer's error text, or the
    // reason of a cancel, otherwise. Meaningful once Read has returned 0.
    std::string EndText() const;
    // Bytes in the pipe now, not yet read.
    size_t Buffered() const;

private:
    const size_t capacity_;
    mutable std::mutex mutex_;
    std::condition_variable readable_;  // bytes came, or the pipe ended
    std::condition_variable writable_;  // room came, or the pipe ended
    std::vector<uint8_t> ring_;  // capacity_ bytes; count_ of them from head_ on, wrapping
    size_t head_ = 0;
    size_t count_ = 0;
    uint64_t accepted_ = 0;
    bool writingClosed_ = false;
    bool cancelled_ = false;
    std::string endText_;
    // The writer thread's own copy of the reason its write failed.
    std::string writeError_;
};

}  // namespace larkspan
