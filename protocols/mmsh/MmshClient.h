#pragma once
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "asf/AsfHeaderInfo.h"
#include "asf/WrittenPackets.h"
#include "protocols/RecordEventSink.h"
#include "protocols/WakeSignal.h"
#include "protocols/mmsh/ByteSource.h"
#include "recorder/RecorderSettings.h"

namespace larkspan {

class CurlStream;
struct HttpRequest;
class ByteSink;

enum class ExchangeResult {
    Ok = 0,
    OpenFailed = 1,
    ConnectFailed = 2,
    RequestFailed = 3,
    StatusFailed = 4,
    BodyFailed = 5,
};

// Records a Windows Media stream served over HTTP: a describe request
// fetches the ASF header, a play request the header again and the data
// packets, framed in $H/$D/$E chunks. A server that answers a stream request
// with a plain body has it copied only when it is an ASF file or a playlist;
// Fetch copies any plain body (meta files are fetched this way).
class MmshClient {
public:
    static constexpr const char* kAgent = "NSPlayer/4.1.0.3856";
    static constexpr const char* kClientGuid = "{C7A8076C-B32C-64A9-6B9C-2B4B56B340B5}";
    static constexpr size_t kChunkHeadSize = 12;
    static constexpr size_t kBufferSize = 8192;    // chunk payloads pass through this in parts
    static constexpr size_t kRawBlockSize = 4096;  // unframed bodies are copied in blocks this big
    static constexpr size_t kMaxHeaderSize = 8u << 20;  // a header joined from $H chunks never grows past this
    // A plain body answering a stream request is judged by its first bytes,
    // at most this many.
    static constexpr size_t kSniffSize = 512;
    // Times the user is asked for credentials in one exchange.
    static constexpr int kMaxCredentialPrompts = 3;
    // Bytes of data packets between checks that the writes reached the disk.

    // Framing of the last response body.
    static constexpr int kFramingNone = 0;
    static constexpr int kFramingRaw = 1;
    static constexpr int kFramingFramed = 2;

    MmshClient(uint16_t jobNumber, const RecorderSettings& settings, RecordEventSink* sink,
               CredentialsPrompt* prompt);
    ~MmshClient();
    MmshClient(const MmshClient&) = delete;
    MmshClient& operator=(const MmshClient&) = delete;

    // What the body of a response is wanted for.
    enum class Purpose {
        Stream,    // a recording: a plain body must be an ASF file or a playlist
        MetaFile,  // a meta file: any plain body is copied
    };

    // Records the stream at url into file (which may be null: the exchanges
    // then run and nothing is written). Returns the bytes received, 0 when
    // the describe exchange failed. Nothing is written to the file unless
    // the answer is a stream, an ASF file or a playlist (BodyWasPlaylist).
    uint32_t Record(ByteSink* file, const std::string& url);
    // Fetches a meta file: the same exchanges, but whatever plain body the
    // server answers with is copied.
    uint32_t Fetch(ByteSink* file, const std::string& url);

    // Asks a running Record to end; callable from any thread at any time.
    // The flag first, then the wake signal that ends a wait for network
    // bytes at once.
    void Stop() {
        stop_.store(true);
        wake_.Signal();
    }
    bool StopRequested() const { return stop_.load(); }

    // One HTTP GET with the given extra header lines, its authentication
    // and its body.
    ExchangeResult Exchange(ByteSink* file, const std::string& url, const std::vector<std::string>& headerBlock,
                            bool describeOnly);

    // Body readers. They work on any byte source, so the same code reads a
    // network response and bytes in memory. Record and Fetch set the
    // purpose; a caller driving ReadBody itself sets it here.
    void SetPurpose(Purpose purpose) { purpose_ = purpose; }
    // contentLength 0 means the length is not known.
    uint64_t ReadBody(ByteSource& body, ByteSink* file, uint64_t contentLength, bool describeOnly);
    // Reads the header chunk whose 12-byte head is given (and any $H chunks
    // continuing it); 0 when it was rejected, else the bytes received.
    uint64_t ReadHeaderChunk(ByteSource& body, const uint8_t* head, ByteSink* file, bool describeOnly);
    // Copies $D chunks, padded to the packet size, until $E, a limit or a
    // stop; 0 after a read error, else the bytes received.
    uint64_t ReadDataChunks(ByteSource& body, ByteSink* file);
    // Copies an unframed body; returns the bytes copied by this call.
    uint64_t ReadRawBody(ByteSource& body, ByteSink* file, uint64_t remaining);

    // The request header lines, in the order they are sent.
    static std::vector<std::string> DescribeHeaders(const std::string& host);
    static std::vector<std::string> PlayHeaders(const std::string& host, uint32_t durationMs);

    uint16_t JobNumber() const { return jobNumber_; }
    uint64_t BytesReceived() const { return bytesReceived_; }
    int Framing() const { return framing_; }
    const AsfHeaderInfo& HeaderInfo() const { return info_; }
    // The recording ended early: a header that could not be used, or a
    // failed write to the output file.
    bool HeaderRejected() const { return headerRejected_; }
    bool WriteFailed() const { return writeFailed_; }
    // The last Record got a plain body that looks like a playlist (an ASX
    // file, a [Reference] list or a bare stream address) and copied it.
    bool BodyWasPlaylist() const { return bodyWasPlaylist_; }
    // Of the last play exchange: data packets in the file, and the largest
    // send time among them (counted from the first one for a broadcast).
    uint32_t PacketsWritten() const { return written_.packets; }
    uint32_t LargestSendTime() const { return written_.largestSendTime; }

private:
    struct PendingHead {
        bool valid = false;
        uint8_t bytes[kChunkHeadSize] = {};
        size_t got = 0;
        ReadStatus status = ReadStatus::Ok;
    };

    uint32_t Run(ByteSink* file, const std::string& url, Purpose purpose);
    // Sends the request and reports a failure; false (with result set) when
    // there is no response to read.
    bool SendRequest(CurlStream& stream, const HttpRequest& request, ExchangeResult& result);
    // Answers a 401; returns the status that follows, or 0 when a re-send
    // failed (already reported).
    long Authenticate(CurlStream& stream, HttpRequest& request, const std::string& site, long status);
    // Copies a plain body; first judges it when it answers a stream request.
    uint64_t ReadPlainBody(ByteSource& body, ByteSink* file, const uint8_t* head, size_t got);
    ReadStatus NextChunkHead(ByteSource& body, uint8_t* head, size_t& got);
    bool HeaderIncomplete(uint8_t lastFlags) const;
    // Reads and drops `length` payload bytes; false (with the reason in
    // status) when they could not all be read.
    bool SkipPayload(ByteSource& body, size_t length, ReadStatus& status);
    bool WriteOut(ByteSink* file, const void* data, size_t size);
    bool PadOut(ByteSink* file, size_t count);
    // Remembers what the file holds after a data packet; now and then makes
    // sure it reached the disk.
    void MarkWritten(ByteSink* file);
    // Reports a failed write with the system's reason, cuts a torn last
    // packet off the file and counts only the packets left.
    void OnWriteFailed(ByteSink* file);
    // Rewrites the header of the recording just made so that it describes
    // the file: its size always; counts and durations for a broadcast (with
    // the setting on) and for an on-demand stream that ended early.
    void FinishRecording(ByteSink* file);
    bool Ended() const { return headerRejected_ || writeFailed_; }
    void Report(const std::string& text);
    // Reports why a read returned `status` (nothing for a stop).
    void ReportReadFailure(const ByteSource& body, ReadStatus status);

    uint16_t jobNumber_;
    RecorderSettings settings_;
    RecordEventSink* sink_;
    CredentialsPrompt* prompt_;
    std::atomic<bool> stop_{false};
    WakeSignal wake_;  // lives as long as the client, so Stop can always signal it

    std::string url_;
    uint64_t bytesReceived_ = 0;
    int framing_ = kFramingNone;
    AsfHeaderInfo info_;
    std::string user_;
    std::string password_;

    // State of the current Record call.
    Purpose purpose_ = Purpose::Stream;
    std::string contentType_;  // of the response being read
    bool bodyWasPlaylist_ = false;
    bool headerRejected_ = false;
    bool writeFailed_ = false;
    bool wroteAny_ = false;
    uint64_t dataStart_ = 0;         // where the first data packet goes in the file
    bool haveDataStart_ = false;     // the play exchange's header was written whole
    bool endOfStream_ = false;       // the play exchange ended with $E
    PacketMark written_;             // the file so far
    WrittenPackets marks_;           // what reached the disk, packet by packet
    PendingHead pending_;
    uint64_t bodyLimit_ = 0;     // bytes the body may hold (content length), or the maximum
    uint64_t bodyConsumed_ = 0;  // bytes of the body read so far by the header reader

    std::vector<uint8_t> buffer_;  // kBufferSize bytes: payloads and raw blocks
    std::vector<uint8_t> header_;  // the header as received, joined over its chunks
};

}  // namespace larkspan
