// A seekable file in memory for the fuzz targets that record: it keeps the
// bytes and tells apart bytes copied in (Write) from padding (WriteZeros),
// so a target can check what a client put in its file and why.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "asf/ByteSink.h"

namespace larkspan {

class MemorySink final : public ByteSink {
public:
    std::vector<uint8_t> bytes;
    uint64_t copied = 0;         // bytes given to Write
    uint64_t padded = 0;         // bytes given to WriteZeros
    size_t largestPadding = 0;   // the longest single WriteZeros
    uint64_t writesInPlace = 0;  // Write calls that started before the end (a header rewrite)
    bool grewInPlace = false;    // such a write ran past the end

    bool Write(const void* data, size_t size) override {
        if (position_ < bytes.size()) {
            ++writesInPlace;
            if (position_ + size > bytes.size()) grewInPlace = true;
        }
        Put(data, size);
        copied += size;
        return true;
    }
    bool WriteZeros(size_t count) override {
        largestPadding = std::max(largestPadding, count);
        padded += count;
        Put(nullptr, count);
        return true;
    }
    uint64_t Position() const override { return position_; }
    bool Seekable() const override { return true; }
    bool Seek(uint64_t position) override {
        if (position > bytes.size()) return false;
        position_ = position;
        return true;
    }
    bool SeekToEnd() override {
        position_ = bytes.size();
        return true;
    }
    bool Truncate(uint64_t size) override {
        if (size > bytes.size()) return false;
        bytes.resize(size);
        position_ = size;
        return true;
    }
    const std::string& ErrorText() const override { return errorText_; }

private:
    void Put(const void* data, size_t size) {
        if (position_ + size > bytes.size()) bytes.resize(position_ + size);
        if (data) {
            std::memcpy(bytes.data() + position_, data, size);
        } else {
            std::memset(bytes.data() + position_, 0, size);
        }
        position_ += size;
    }

    uint64_t position_ = 0;
    std::string errorText_;
};

}  // namespace larkspan
