#include "asf/OutputFile.h"

#include <cstring>

namespace larkspan {

namespace {
constexpr size_t kBufferSize = 64 * 1024;

#if defined(_WIN32)
int SeekTo(std::FILE* f, uint64_t pos) { return _fseeki64(f, static_cast<__int64>(pos), SEEK_SET); }
int SeekEnd(std::FILE* f) { return _fseeki64(f, 0, SEEK_END); }
int64_t Tell(std::FILE* f) { return _ftelli64(f); }
#else
int SeekTo(std::FILE* f, uint64_t pos) { return fseeko(f, static_cast<off_t>(pos), SEEK_SET); }
int SeekEnd(std::FILE* f) { return fseeko(f, 0, SEEK_END); }
int64_t Tell(std::FILE* f) { return ftello(f); }
#endif
}  // namespace

OutputFile::~OutputFile() { Close(); }

bool OutputFile::Create(const std::string& path) {
    Close();
    file_ = std::fopen(path.c_str(), "wb");
    if (!file_) return false;
    std::setvbuf(file_, nullptr, _IOFBF, kBufferSize);
    path_ = path;
    position_ = 0;
    failed_ = false;
    return true;
}

bool OutputFile::OpenExisting(const std::string& path) {
    Close();
    file_ = std::fopen(path.c_str(), "r+b");
    if (!file_) return false;
    std::setvbuf(file_, nullptr, _IOFBF, kBufferSize);
    path_ = path;
    position_ = 0;
    failed_ = false;
    return true;
}

bool OutputFile::Write(const void* data, size_t size) {
    if (!file_ || failed_) return false;
    if (size == 0) return true;
    size_t n = std::fwrite(data, 1, size, file_);
    position_ += n;
    if (n != size || std::ferror(file_)) {
        failed_ = true;
        return false;
    }
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
    if (!file_ || failed_) return false;
    if (SeekTo(file_, position) != 0) {
        failed_ = true;
        return false;
    }
    position_ = position;
    return true;
}

bool OutputFile::SeekToEnd() {
    if (!file_ || failed_) return false;
    if (SeekEnd(file_) != 0) {
        failed_ = true;
        return false;
    }
    int64_t pos = Tell(file_);
    if (pos < 0) {
        failed_ = true;
        return false;
    }
    position_ = static_cast<uint64_t>(pos);
    return true;
}

bool OutputFile::Flush() {
    if (!file_ || failed_) return false;
    if (std::fflush(file_) != 0) {
        failed_ = true;
        return false;
    }
    return true;
}

bool OutputFile::Close() {
    if (!file_) return !failed_;
    bool ok = !failed_;
    if (std::fflush(file_) != 0) ok = false;
    if (std::fclose(file_) != 0) ok = false;
    file_ = nullptr;
    if (!ok) failed_ = true;
    return ok;
}

}  // namespace larkspan
