#include "detect/CaptureFileReader.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "detect/FrameScanner.h"

namespace larkspan {
namespace {

constexpr size_t kFileHeader = 24;
constexpr size_t kRecordHeader = 16;
constexpr size_t kBufferBytes = 1 << 20;

constexpr uint32_t kMagicMicro = 0xA1B2C3D4;
constexpr uint32_t kMagicNano = 0xA1B23C4D;

uint32_t Swap32(uint32_t v) { return __builtin_bswap32(v); }

uint32_t Read32(const uint8_t* p, bool swapped) {
    uint32_t v;
    std::memcpy(&v, p, 4);
    return swapped ? Swap32(v) : v;
}

}  // namespace

CaptureFileReader::~CaptureFileReader() {
    if (fd_ >= 0) close(fd_);
}

CaptureFileReader::OpenResult CaptureFileReader::Open(const std::string& path, std::string& message) {
    fd_ = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd_ < 0) {
        message = "Unable to read the capture file " + path + ": " + std::strerror(errno);
        return OpenResult::Failed;
    }
    posix_fadvise(fd_, 0, 0, POSIX_FADV_SEQUENTIAL);
    buffer_.resize(kBufferBytes);
    if (!Fill(kFileHeader)) {
        if (!error_.empty()) {
            message = "Unable to read the capture file " + path + ": " + error_;
            return OpenResult::Failed;
        }
        return OpenResult::NotClassic;  // too short: let the capture library say what it is
    }
    const uint8_t* h = buffer_.data() + begin_;
    uint32_t magic;
    std::memcpy(&magic, h, 4);
    if (magic == kMagicMicro || magic == kMagicNano) {
        swapped_ = false;
    } else if (Swap32(magic) == kMagicMicro || Swap32(magic) == kMagicNano) {
        swapped_ = true;
    } else {
        return OpenResult::NotClassic;
    }
    // The upper bits of the link-type word carry FCS information.
    linkType_ = Read32(h + 20, swapped_) & 0x0FFFFFFF;
    begin_ += kFileHeader;
    return OpenResult::Ok;
}

bool CaptureFileReader::Fill(size_t need) {
    if (end_ - begin_ >= need) return true;
    if (begin_ > 0) {
        std::memmove(buffer_.data(), buffer_.data() + begin_, end_ - begin_);
        end_ -= begin_;
        begin_ = 0;
    }
    while (end_ < need && !eof_) {
        ssize_t n = read(fd_, buffer_.data() + end_, buffer_.size() - end_);
        if (n < 0) {
            if (errno == EINTR) continue;
            error_ = std::strerror(errno);
            return false;
        }
        if (n == 0) eof_ = true;
        end_ += size_t(n);
    }
    return end_ - begin_ >= need;
}

CaptureFileReader::ReadResult CaptureFileReader::ReadBatch(FrameScanner& scanner, size_t maxFrames,
                                                           const std::atomic<bool>& captureFlag,
                                                           std::string& message) {
    auto finish = [&] {
        if (error_.empty()) return ReadResult::EndOfFile;  // a cut last record is dropped
        message = "Error: reading the capture file failed: " + error_;
        return ReadResult::Failed;
    };
    for (size_t frames = 0; frames < maxFrames; ++frames) {
        if (!captureFlag.load(std::memory_order_relaxed)) break;
        if (!Fill(kRecordHeader)) return finish();
        const uint32_t captured = Read32(buffer_.data() + begin_ + 8, swapped_);
        if (captured > kMaxRecordBytes) {
            message = "The capture file is damaged: a frame claims " + std::to_string(captured) + " bytes.";
            return ReadResult::Failed;
        }
        if (!Fill(kRecordHeader + captured)) return finish();
        scanner.ScanFrame(buffer_.data() + begin_ + kRecordHeader, captured);
        begin_ += kRecordHeader + captured;
    }
    return ReadResult::Frames;
}

}  // namespace larkspan
