#pragma once
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_set>

#include "detect/DetectionSink.h"
#include "detect/HeaderTitleReader.h"
#include "detect/LinkLayer.h"

namespace larkspan {

// Examines captured frames for requests of Windows Media streams: an HTTP
// "GET " for a .wmv/.asf/.wma path sent to port 80, and an MMS OpenFile
// command sent to port 1755. Each new address goes to the sink's AddRow; the
// stream title, read from the ASF header the server sends back, goes to
// SetRowName. Frames are read in place; every field is checked against the
// captured length, so truncated or hostile frames are skipped, never read
// past their end. Used by one thread at a time.
class FrameScanner {
public:
    explicit FrameScanner(DetectionSink& sink, LinkType link = LinkType::Ethernet);

    void SetLinkType(LinkType link) { link_ = link; }
    LinkType linkType() const { return link_; }

    // One captured frame of the current link type.
    void ScanFrame(const uint8_t* frame, size_t capturedLength);

    // A receive buffer in the packet driver's layout: records of an 18-byte
    // header (time stamp 8, captured length 4, wire length 4, header length 2)
    // and the frame, each record starting on a multiple of 4. Stops early
    // when captureFlag (if given) is cleared.
    void ScanCaptureBuffer(const uint8_t* buffer, size_t bytes, const std::atomic<bool>* captureFlag = nullptr);

    // Set after an MMS command to port 1755; cleared when a header is found.
    bool awaitingHeader() const { return awaitingHeader_; }
    const std::string& lastUrl() const { return lastUrl_; }
    const std::string& lastTitle() const { return lastTitle_; }
    uint64_t framesScanned() const { return framesScanned_; }

private:
    struct Flow {
        uint32_t serverIp = 0, playerIp = 0;
        uint16_t serverPort = 0, playerPort = 0;
        bool operator==(const Flow&) const = default;
    };

    void DetectHttpGet(const uint8_t* f, size_t payload, size_t length, size_t ip, const Flow& flow);
    // The command starts at ip + 40 + extra (fixed: minimal IP and TCP headers).
    void DetectMmsOpenFile(const uint8_t* f, size_t ip, size_t extra, size_t length);
    void LookForTitleInFrame(const uint8_t* f, size_t ip, size_t length);
    void FollowServerSegment(const uint8_t* f, size_t ip, size_t ipHeader, size_t tcp, size_t length);
    void StartFollowing(const Flow& flow, HeaderTitleReader::Framing framing, const std::string& url);
    void Report(std::string url);
    void ReportTitle(const std::string& url, const std::string& title);

    DetectionSink& sink_;
    LinkType link_;
    bool awaitingHeader_ = false;
    std::string lastUrl_;
    std::string lastTitle_;
    std::string lastTitledUrl_;   // the last title handed to SetRowName, and its address
    std::string lastTitledName_;
    std::unordered_set<std::string> reported_;
    uint64_t framesScanned_ = 0;

    // The one server-to-player connection whose header is being followed.
    bool following_ = false;
    Flow flow_;
    std::string flowUrl_;  // MMSH: the address requested on that connection
    bool haveSeq_ = false;
    uint32_t nextSeq_ = 0;
    HeaderTitleReader reader_;
    std::string scratch_;
};

}  // namespace larkspan
