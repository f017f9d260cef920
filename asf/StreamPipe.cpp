#include "asf/StreamPipe.h"

#include <algorithm>
#include <cstring>

namespace larkspan {

namespace {
constexpr char kClosedForWriting[] = "the stream was closed for writing";
}

StreamPipe::StreamPipe(size_t capacity) : capacity_(capacity > 0 ? capacity : 1), ring_(capacity_) {}

bool StreamPipe::Write(const void* data, size_t size) {
    const auto* from = static_cast<const uint8_t*>(data);
    std::unique_lock<std::mutex> lock(mutex_);
    while (size > 0) {
        writable_.wait(lock, [&] { return cancelled_ || writingClosed_ || count_ < capacity_; });
        if (cancelled_ || writingClosed_) {
            writeError_ = cancelled_ ? endText_ : kClosedForWriting;
            return false;
        }
        // Into the free part of the ring, at most up to its wrap.
        const size_t tail = (head_ + count_) % capacity_;
        const size_t n = std::min({size, capacity_ - count_, capacity_ - tail});
        std::memcpy(ring_.data() + tail, from, n);
        count_ += n;
        accepted_ += n;
        from += n;
        size -= n;
        readable_.notify_all();
    }
    return true;
}

uint64_t StreamPipe::Position() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return accepted_;
}

void StreamPipe::CloseWriting(const std::string& errorText) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (writingClosed_ || cancelled_) return;
        writingClosed_ = true;
        endText_ = errorText;
    }
    readable_.notify_all();
    writable_.notify_all();
}

void StreamPipe::Cancel(const std::string& reason) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (cancelled_) return;
        cancelled_ = true;
        endText_ = reason;
        count_ = 0;
    }
    readable_.notify_all();
    writable_.notify_all();
}

size_t StreamPipe::Read(void* data, size_t size) {
    if (size == 0) return 0;
    auto* to = static_cast<uint8_t*>(data);
    std::unique_lock<std::mutex> lock(mutex_);
    readable_.wait(lock, [&] { return cancelled_ || writingClosed_ || count_ > 0; });
    size_t got = 0;
    // The bytes before a close are still read; a cancel has dropped them.
    while (got < size && count_ > 0) {
        const size_t n = std::min({size - got, count_, capacity_ - head_});
        std::memcpy(to + got, ring_.data() + head_, n);
        head_ = (head_ + n) % capacity_;
        count_ -= n;
        got += n;
    }
    if (got > 0) writable_.notify_all();
    return got;
}

std::string StreamPipe::EndText() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return endText_;
}

size_t StreamPipe::Buffered() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return count_;
}

}  // namespace larkspan
