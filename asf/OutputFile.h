#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "asf/ByteSink.h"

namespace larkspan {

// A binary output file with a write-behind buffer. Every write reports
// failure (a full disk, say) instead of losing bytes silently, and Failed()
// remembers that one did, with the system's reason in ErrorText(). A failed
// append does not stop later seeks and in-place rewrites, so a recording cut
// short by a full disk can still have its header made consistent with what
// did reach the disk.
//
// CreateReplacing writes into a hidden file beside the target and moves it
// over the target with the first byte written: a recording that never gets
// its first byte (its header) leaves the old file untouched and no empty
// file behind.
class OutputFile final : public ByteSink {
public:
    OutputFile();
    ~OutputFile() override;
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Creates (truncating) or opens for update. False when it cannot.
    bool Create(const std::string& path);
    bool OpenExisting(const std::string& path);
    // Creates a hidden file beside path that replaces path with the first
    // byte written. Closed before that, it is removed and path is untouched.
    bool CreateReplacing(const std::string& path);
    // Writes to standard output: no seeks, so no header rewrite.
    bool AttachStandardOutput();
    bool IsOpen() const { return fd_ >= 0; }
    // The path bytes go to (the target, for CreateReplacing).
    const std::string& Path() const { return path_; }
    // False for standard output and pipes: Seek, SeekToEnd and Truncate fail.
    bool Seekable() const override { return fd_ >= 0 && seekable_; }
    // True once a byte has been written: for CreateReplacing, the target
    // has been replaced.
    bool Committed() const { return committed_; }

    bool Write(const void* data, size_t size) override;

    bool Seek(uint64_t position) override;
    bool SeekToEnd() override;
    // Cuts the file to size bytes (a torn last packet, say); the position
    // moves there.
    bool Truncate(uint64_t size) override;
    // Where the next byte goes.
    uint64_t Position() const override { return position_; }

    bool Flush() override;
    // Flushes and closes; false when any write failed.
    bool Close();
    bool Failed() const { return failed_; }
    // The system's reason for the first failure ("No space left on device"),
    // empty while nothing failed.
    const std::string& ErrorText() const override { return errorText_; }

private:
    bool Open(const std::string& path, bool truncate);
    bool WriteDirect(const uint8_t* data, size_t size);
    bool CommitReplacement();
    void Fail(int error);
    void Fail(const std::string& text);

    int fd_ = -1;
    std::string path_;
    std::string tempPath_;         // CreateReplacing: the hidden file until the first byte
    bool seekable_ = true;
    bool ownsFd_ = true;
    bool committed_ = false;
    std::string errorText_;
    uint64_t position_ = 0;       // logical position: file position plus buffered bytes
    std::vector<uint8_t> buffer_;  // bytes not yet written, to go at position_ - buffer_.size()
    bool failed_ = false;
};

}  // namespace larkspan
