#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

namespace larkspan {

// A binary output file with a write-behind buffer. Every write reports
// failure (a full disk, say) instead of losing bytes silently; once a write
// has failed the file stays failed.
class OutputFile {
public:
    OutputFile() = default;
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Creates (truncating) or opens for update. False when it cannot.
    bool Create(const std::string& path);
    bool OpenExisting(const std::string& path);
    bool IsOpen() const { return file_ != nullptr; }
    const std::string& Path() const { return path_; }

    bool Write(const void* data, size_t size);
    bool WriteZeros(size_t count);
    bool WriteU16(uint16_t v);
    bool WriteU32(uint32_t v);
    bool WriteU64(uint64_t v);

    bool Seek(uint64_t position);
    bool SeekToEnd();
    uint64_t Position() const { return position_; }

    bool Flush();
    // Flushes and closes; false when the last bytes could not be written.
    bool Close();
    bool Failed() const { return failed_; }

private:
    std::FILE* file_ = nullptr;
    std::string path_;
    uint64_t position_ = 0;
    bool failed_ = false;
};

}  // namespace larkspan
