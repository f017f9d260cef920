#pragma once
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "asf/AsfHeaderInfo.h"
#include "asf/WrittenPackets.h"
#include "protocols/RecordEventSink.h"
#include "protocols/mms/MmsCommands.h"
#include "protocols/mms/MmsSocket.h"
#include "recorder/RecorderSettings.h"

namespace larkspan {

class MmsTransport;
class ByteSink;

// Records an ASF stream from a server speaking MMS over TCP: walks the
// server through the command exchange, writes the header and the data
// packets (padded to the packet size) to the output file, and rewrites the
// header fields at the end so the file is consistent. One client serves one
// recording at a time; Stop may be called from any thread.
//
// Every end other than the server's end of stream, a limit or Stop is
// reported with its cause: the connection closed or reset early, nothing
// from the server for the idle time-out, bytes that are no MMS, a failed
// write (after which the file keeps only its whole packets).
class MmsClient {
public:
    static constexpr size_t kCommandBufferSize = 1060;
    static constexpr size_t kPacketBufferSize = 65527;           // largest payload a 16-bit length allows
    static constexpr size_t kMaxHeaderBytes = 16 * 1024 * 1024;  // a header split over packets, joined
    static constexpr uint32_t kMaxCommandLength = 64 * 1024;     // longer is not a server's command
    // Packets of an incarnation we did not ask for are skipped; this many in
    // a row, with nothing of ours between them, is junk rather than a stream.
    static constexpr uint32_t kMaxForeignPackets = 32;

    MmsClient(uint16_t jobNumber, RecorderSettings settings, RecordEventSink* sink);
    ~MmsClient();
    MmsClient(const MmsClient&) = delete;
    MmsClient& operator=(const MmsClient&) = delete;

    // Records url (mms:, mmst:, mmsu:; also tried for http:) into file, which
    // the caller opened and will close. Returns the bytes written, 0 when
    // nothing was (the caller may then try the other protocol).
    uint32_t Record(ByteSink* file, const std::string& url);

    // Ends the recording at once, also while a host name is being looked up
    // or the server is silent: the flag first, then the wake signal that
    // every wait of the recording watches. The file is still finished.
    void Stop() {
        stop_.store(true);
        wake_.Signal();
    }

    // The session over a transport that is already connected: the same steps
    // as Record after the connection is made. Also how fixed or fuzzed bytes
    // are fed through the reading code.
    uint32_t RecordOver(MmsTransport& transport, ByteSink* file, const std::string& url);

    uint16_t JobNumber() const { return jobNumber_; }
    const AsfHeaderInfo& HeaderInfo() const { return info_; }
    uint32_t PacketCount() const { return packetCount_; }
    uint32_t LargestSendTime() const { return largestSendTime_; }
    uint64_t DataBytes() const { return dataBytes_; }

private:
    void BeginRecording(ByteSink* file, const std::string& url);
    bool OpenConnection(const std::string& host, uint16_t port, MmsSocket& socket);
    void RunSession(MmsTransport& transport, const std::string& fileNamePathAndQuery);
    void ReportConnectionEnd();
    void FinishSession();

    void Fail(const std::string& text);
    bool BadData(const std::string& what);

    bool RecvExact(uint8_t* dst, size_t n);
    bool Send(const std::vector<uint8_t>& message);
    bool SendReply(MmsReply reply);

    // Reads one command message or media packet and acts on it. False ends
    // the session.
    bool ProcessMessage();
    bool ProcessCommand(const uint8_t* head);
    bool ProcessMediaPacket(const uint8_t* prefix);
    bool OnHeaderPacket(const uint8_t* prefix, const uint8_t* payload, size_t length);
    bool HeaderComplete(uint8_t lastFlags) const;
    bool CompleteHeader();
    bool OnDataPacket(const uint8_t* prefix, uint8_t* payload, size_t length);

    bool WriteToFile(const uint8_t* data, size_t length);
    // Remembers what the file holds now; now and then makes sure it reached
    // the disk.
    void MarkWritten();
    // A write failed: cuts the file back to its last whole packet, counts
    // only what is left and reports the system's reason.
    void OnWriteFailed();
    uint32_t BytesWritten32() const;

    // Construction.
    const uint16_t jobNumber_;
    const RecorderSettings settings_;
    RecordEventSink* const sink_;

    std::atomic<bool> stop_{false};
    WakeSignal wake_;  // lives as long as the client, so Stop can always signal it

    // One recording.
    std::string url_;
    ByteSink* file_ = nullptr;
    MmsTransport* io_ = nullptr;
    MmsCommandBuilder commands_;
    std::vector<uint8_t> fileName_;   // OpenFile's string, built once per recording
    bool endOfStream_ = false;
    AsfHeaderInfo info_;
    bool headerParsed_ = false;       // File Properties found and accepted
    bool headerWritten_ = false;
    std::vector<uint8_t> header_;     // header packets so far, joined; empty when none is pending
    uint32_t headerPackets_ = 0;
    uint32_t foreignPackets_ = 0;     // packets of another incarnation in a row
    bool errorReported_ = false;
    bool limitReached_ = false;
    bool writeFailed_ = false;
    uint64_t startOffset_ = 0;        // file position where this recording began
    WrittenPackets written_;          // what reached the disk, packet by packet
    uint64_t bytesWritten_ = 0;
    bool haveBaseSendTime_ = false;
    uint32_t baseSendTime_ = 0;
    uint32_t largestSendTime_ = 0;
    uint32_t packetCount_ = 0;
    uint64_t dataBytes_ = 0;

    std::unique_ptr<uint8_t[]> commandBuffer_;  // a command after its first 16 bytes
    std::unique_ptr<uint8_t[]> packetBuffer_;   // one media packet payload
};

}  // namespace larkspan
