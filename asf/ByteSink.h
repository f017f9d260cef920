#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

namespace larkspan {

// Where a stream client writes what it records: the ASF header, then the
// data packets padded to the packet size. A file on disk is one sink
// (OutputFile); an in-memory pipe that feeds a player is another. A sink
// that cannot seek gets no header rewrite at the end of a recording.
class ByteSink {
public:
    virtual ~ByteSink() = default;

    // Appends size bytes; false (with ErrorText) when they could not all go.
    virtual bool Write(const void* data, size_t size) = 0;
    virtual bool WriteZeros(size_t count);
    bool WriteU16(uint16_t v);
    bool WriteU32(uint32_t v);
    bool WriteU64(uint64_t v);

    // Where the next byte goes: the bytes accepted so far, or, after a seek,
    // the position sought.
    virtual uint64_t Position() const = 0;
    virtual bool Seekable() const { return false; }
    virtual bool Seek(uint64_t /*position*/) { return false; }
    virtual bool SeekToEnd() { return false; }
    // Cuts the sink to size bytes (a torn last packet, say).
    virtual bool Truncate(uint64_t /*size*/) { return false; }
    // Hands on whatever is buffered; false when that failed.
    virtual bool Flush() { return true; }
    // The reason of the first failure, empty while nothing failed.
    virtual const std::string& ErrorText() const = 0;

    // For a sink whose writes may wait (a pipe waits for its reader). Called
    // from another thread: a write waiting in the sink returns now, failing
    // with reason, and every later write fails too. A file never waits and
    // ignores it.
    virtual void Cancel(const std::string& /*reason*/) {}
    // The writer is done: whatever reads the sink sees the end of the stream
    // after the bytes written, with errorText when the stream ended on a
    // failure. A file is closed by its opener instead and ignores it.
    virtual void CloseWriting(const std::string& /*errorText*/) {}
};

}  // namespace larkspan
