#include "asf/OutputFile.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>

#if defined(_WIN32)
#include <io.h>
#define LK_OPEN ::_open
#define LK_WRITE(fd, p, n) ::_write(fd, p, static_cast<unsigned>(n))
#define LK_SEEK ::_lseeki64
#define LK_CLOSE ::_close
#define LK_FLAGS (_O_BINARY)
#else
#include <unistd.h>
#define LK_OPEN ::open
#define LK_WRITE ::write
#define LK_SEEK ::lseek
#define LK_CLOSE ::close
#define LK_FLAGS (O_CLOEXEC)
#endif

namespace larkspan {

namespace {
constexpr size_t kBufferSize = 64 * 1024;
}

OutputFile::OutputFile() { buffer_.reserve(kBufferSize); }

OutputFile::~OutputFile() { Close(); }

bool OutputFile::Open(const std::string& path, bool truncate) {
    Close();
    int flags = O_WRONLY | LK_FLAGS | (truncate ? (O_CREAT | O_TRUNC) : 0);
    fd_ = LK_OPEN(path.c_str(), flags, 0666);
    if (fd_ < 0) return false;
    path_ = path;
    position_ = 0;
    buffer_.clear();
    failed_ = false;
    return true;
}

bool OutputFile::Create(const std::string& path) { return Open(path, true); }

bool OutputFile::OpenExisting(const std::string& path) { return Open(path, false); }

bool OutputFile::WriteDirect(const uint8_t* data, size_t size) {
    while (size > 0) {
        auto n = LK_WRITE(fd_, data, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

bool OutputFile::Flush() {
    if (fd_ < 0) return false;
    if (buffer_.empty()) return !failed_;
    bool ok = WriteDirect(buffer_.data(), buffer_.size());
    if (!ok) {
        // What did not reach the disk is lost; the logical position goes
        // back to where the file really ends.
        failed_ = true;
        auto end = LK_SEEK(fd_, 0, SEEK_CUR);
        if (end >= 0) position_ = static_cast<uint64_t>(end);
    }
    buffer_.clear();
    return ok && !failed_;
}

bool OutputFile::Write(const void* data, size_t size) {
    if (fd_ < 0) return false;
    if (size == 0) return true;
    const uint8_t* p = static_cast<const uint8_t*>(data);
    if (buffer_.size() + size > kBufferSize) {
        if (!buffer_.empty() && !Flush()) return false;
        if (size >= kBufferSize) {
            if (!WriteDirect(p, size)) {
                failed_ = true;
                auto end = LK_SEEK(fd_, 0, SEEK_CUR);
                if (end >= 0) position_ = static_cast<uint64_t>(end);
                return false;
            }
            position_ += size;
            return true;
        }
    }
    buffer_.insert(buffer_.end(), p, p + size);
    position_ += size;
    return true;
}

bool OutputFile::WriteZeros(size_t count) {
    static const uint8_t zeros[4096] = {};
    while (count > 0) {
        size_t n = count < sizeof(zeros) ? count : sizeof(zeros);
        if (!Write(zeros, n)) return false;
        count -= n;
    }
    return true;
}

bool OutputFile::WriteU16(uint16_t v) {
    uint8_t b[2] = {uint8_t(v), uint8_t(v >> 8)};
    return Write(b, 2);
}

bool OutputFile::WriteU32(uint32_t v) {
    uint8_t b[4];
    for (int i = 0; i < 4; ++i) b[i] = uint8_t(v >> (8 * i));
    return Write(b, 4);
}

bool OutputFile::WriteU64(uint64_t v) {
    uint8_t b[8];
    for (int i = 0; i < 8; ++i) b[i] = uint8_t(v >> (8 * i));
    return Write(b, 8);
}

bool OutputFile::Seek(uint64_t position) {
    if (fd_ < 0) return false;
    Flush();
    if (LK_SEEK(fd_, static_cast<int64_t>(position), SEEK_SET) < 0) return false;
    position_ = position;
    return true;
}

bool OutputFile::SeekToEnd() {
    if (fd_ < 0) return false;
    Flush();
    auto end = LK_SEEK(fd_, 0, SEEK_END);
    if (end < 0) return false;
    position_ = static_cast<uint64_t>(end);
    return true;
}

bool OutputFile::Close() {
    if (fd_ < 0) return !failed_;
    Flush();
    if (LK_CLOSE(fd_) != 0) failed_ = true;
    fd_ = -1;
    return !failed_;
}

}  // namespace larkspan
