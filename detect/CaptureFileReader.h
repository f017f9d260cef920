#pragma once
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace larkspan {

class FrameScanner;

// Reads a classic capture file (the libpcap format, either byte order,
// microsecond or nanosecond time stamps) in large blocks and hands each
// frame to the scanner in place, without copying it. The pcapng format is
// left to the capture library. Every record length is checked against the
// file: a damaged or cut file ends the reading, never a read past the data.
class CaptureFileReader {
public:
    CaptureFileReader() = default;
    ~CaptureFileReader();
    CaptureFileReader(const CaptureFileReader&) = delete;
    CaptureFileReader& operator=(const CaptureFileReader&) = delete;

    enum class OpenResult { Ok, NotClassic, Failed };
    // NotClassic when the file is readable but not in this format (pcapng,
    // say); Failed, with `message`, when it cannot be read at all.
    OpenResult Open(const std::string& path, std::string& message);

    // The link-type number from the file header.
    uint32_t linkType() const { return linkType_; }

    enum class ReadResult { Frames, EndOfFile, Failed };
    // Scans up to maxFrames frames, stopping early when captureFlag is
    // cleared. EndOfFile once the last whole record has been scanned; a
    // record cut short by the end of the file is dropped. Failed, with
    // `message`, for a record longer than any capture can hold or a read error.
    ReadResult ReadBatch(FrameScanner& scanner, size_t maxFrames, const std::atomic<bool>& captureFlag,
                         std::string& message);

    static constexpr size_t kMaxRecordBytes = 262144;  // the largest snap length captures use

private:
    // Makes at least `need` bytes available at the read position, reading
    // more of the file; false at end of file (or error, see failed_).
    bool Fill(size_t need);

    int fd_ = -1;
    bool swapped_ = false;
    uint32_t linkType_ = 0;
    std::vector<uint8_t> buffer_;
    size_t begin_ = 0;  // read position in buffer_
    size_t end_ = 0;    // end of valid bytes in buffer_
    bool eof_ = false;
    std::string error_;
};

}  // namespace larkspan
