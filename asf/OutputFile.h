#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace larkspan {

// A binary output file with a write-behind buffer. Every write reports
// failure (a full disk, say) instead of losing bytes silently, and Failed()
// remembers that one did. A failed append does not stop later seeks and
// in-place rewrites, so a recording cut short by a full disk can still have
// its header made consistent with what did reach the disk.
class OutputFile {
public:
    OutputFile();
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Creates (truncating) or opens for update. False when it cannot.
    bool Create(const std::string& path);
    bool OpenExisting(const std::string& path);
    bool IsOpen() const { return fd_ >= 0; }
    const std::string& Path() const { return path_; }

    bool Write(const void* data, size_t size);
    bool WriteZeros(size_t count);
    bool WriteU16(uint16_t v);
    bool WriteU32(uint32_t v);
    bool WriteU64(uint64_t v);

    bool Seek(uint64_t position);
    bool SeekToEnd();
    // Where the next byte goes.
    uint64_t Position() const { return position_; }

    bool Flush();
    // Flushes and closes; false when any write failed.
    bool Close();
    bool Failed() const { return failed_; }

private:
    bool Open(const std::string& path, bool truncate);
    bool WriteDirect(const uint8_t* data, size_t size);

    int fd_ = -1;
    std::string path_;
    uint64_t position_ = 0;       // logical position: file position plus buffered bytes
    std::vector<uint8_t> buffer_;  // bytes not yet written, to go at position_ - buffer_.size()
    bool failed_ = false;
};

}  // namespace larkspan
