#include "asf/OutputFile.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>

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

std::string SystemText(int error) {
    if (error == 0) error = EIO;
    return std::strerror(error);
}

// "<folder>/.<name>.<unique>.part", beside the target so that the final
// rename stays on one file system.
std::string TempNameBeside(const std::string& target, unsigned attempt) {
    const size_t slash = target.find_last_of("/\\");
    const std::string folder = slash == std::string::npos ? std::string() : target.substr(0, slash + 1);
    std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
    if (name.size() > 180) name.resize(180);  // room for the suffix within a file name's limit
    static std::atomic<unsigned> counter{0};
    const auto now = static_cast<unsigned long long>(std::chrono::steady_clock::now().time_since_epoch().count());
    char suffix[64];
    std::snprintf(suffix, sizeof(suffix), ".%lx%llx%x%x.part", static_cast<unsigned long>(::getpid()),
                  now & 0xFFFFFFull, counter.fetch_add(1), attempt);
    return folder + "." + name + suffix;
}
}  // namespace

OutputFile::OutputFile() { buffer_.reserve(kBufferSize); }

OutputFile::~OutputFile() { Close(); }

bool OutputFile::Open(const std::string& path, bool truncate) {
    Close();
    int flags = O_WRONLY | LK_FLAGS | (truncate ? (O_CREAT | O_TRUNC) : 0);
    fd_ = LK_OPEN(path.c_str(), flags, 0666);
    path_ = path;
    position_ = 0;
    buffer_.clear();
    failed_ = false;
    errorText_.clear();
    tempPath_.clear();
    seekable_ = true;
    ownsFd_ = true;
    committed_ = false;
    if (fd_ < 0) {
        errorText_ = SystemText(errno);
        return false;
    }
    return true;
}

bool OutputFile::Create(const std::string& path) {
    if (!Open(path, true)) return false;
    committed_ = true;
    return true;
}

bool OutputFile::OpenExisting(const std::string& path) {
    if (!Open(path, false)) return false;
    committed_ = true;
    return true;
}

bool OutputFile::CreateReplacing(const std::string& path) {
    Close();
    for (unsigned attempt = 0; attempt < 16; ++attempt) {
        const std::string temp = TempNameBeside(path, attempt);
        const int fd = LK_OPEN(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | LK_FLAGS, 0666);
        if (fd < 0) {
            if (errno == EEXIST) continue;
            path_ = path;
            errorText_ = SystemText(errno);
            return false;
        }
        fd_ = fd;
        path_ = path;
        tempPath_ = temp;
        position_ = 0;
        buffer_.clear();
        failed_ = false;
        errorText_.clear();
        seekable_ = true;
        ownsFd_ = true;
        committed_ = false;
        return true;
    }
    path_ = path;
    errorText_ = SystemText(EEXIST);
    return false;
}

bool OutputFile::AttachStandardOutput() {
    Close();
    fd_ = 1;
    path_ = "-";
    position_ = 0;
    buffer_.clear();
    failed_ = false;
    errorText_.clear();
    tempPath_.clear();
    ownsFd_ = false;
    committed_ = true;
    seekable_ = false;
    return true;
}

void OutputFile::Fail(int error) { Fail(SystemText(error)); }

void OutputFile::Fail(const std::string& text) {
    if (!failed_) errorText_ = text;
    failed_ = true;
}

bool OutputFile::CommitReplacement() {
    if (committed_) return true;
    if (std::rename(tempPath_.c_str(), path_.c_str()) != 0) {
        Fail(errno);
        return false;
    }
    tempPath_.clear();
    committed_ = true;
    return true;
}

bool OutputFile::WriteDirect(const uint8_t* data, size_t size) {
    while (size > 0) {
        auto n = LK_WRITE(fd_, data, size);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            Fail(errno);
            return false;
        }
        if (n == 0) {
            Fail(ENOSPC);
            return false;
        }
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
        if (seekable_) {
            auto end = LK_SEEK(fd_, 0, SEEK_CUR);
            if (end >= 0) position_ = static_cast<uint64_t>(end);
        }
    }
    buffer_.clear();
    return ok && !failed_;
}

bool OutputFile::Write(const void* data, size_t size) {
    if (fd_ < 0) return false;
    if (size == 0) return true;
    if (!committed_ && !CommitReplacement()) return false;
    const uint8_t* p = static_cast<const uint8_t*>(data);
    if (buffer_.size() + size > kBufferSize) {
        if (!buffer_.empty() && !Flush()) return false;
        if (size >= kBufferSize) {
            if (!WriteDirect(p, size)) {
                if (seekable_) {
                    auto end = LK_SEEK(fd_, 0, SEEK_CUR);
                    if (end >= 0) position_ = static_cast<uint64_t>(end);
                }
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

bool OutputFile::Seek(uint64_t position) {
    if (fd_ < 0 || !seekable_) return false;
    Flush();
    if (LK_SEEK(fd_, static_cast<int64_t>(position), SEEK_SET) < 0) return false;
    position_ = position;
    return true;
}

bool OutputFile::SeekToEnd() {
    if (fd_ < 0 || !seekable_) return false;
    Flush();
    auto end = LK_SEEK(fd_, 0, SEEK_END);
    if (end < 0) return false;
    position_ = static_cast<uint64_t>(end);
    return true;
}

bool OutputFile::Truncate(uint64_t size) {
    if (fd_ < 0 || !seekable_) return false;
    Flush();
#if defined(_WIN32)
    const bool cut = ::_chsize_s(fd_, static_cast<long long>(size)) == 0;
#else
    const bool cut = ::ftruncate(fd_, static_cast<off_t>(size)) == 0;
#endif
    if (!cut) return false;
    if (LK_SEEK(fd_, static_cast<int64_t>(size), SEEK_SET) < 0) return false;
    position_ = size;
    return true;
}

bool OutputFile::Close() {
    if (fd_ < 0) return !failed_;
    Flush();
    if (ownsFd_ && LK_CLOSE(fd_) != 0) Fail(errno);
    fd_ = -1;
    if (!tempPath_.empty()) {
        // Nothing was ever written: the target stays as it was.
        std::remove(tempPath_.c_str());
        tempPath_.clear();
    }
    return !failed_;
}

}  // namespace larkspan
