#pragma once
#include <atomic>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "detect/DetectionSink.h"
#include "detect/LinkLayer.h"

struct pcap;

namespace larkspan {

class CaptureFileReader;
class FrameScanner;

// The interfaces the capture library offers, in its order (interfaces that
// are up come first), without pseudo devices that carry no IP traffic, at
// most ten. On failure the list is empty and `error` says why.
std::vector<CaptureAdapter> ListCaptureAdapters(std::string& error);

// Which adapter to use: with one (or none) the first, without asking; with
// several the chooser decides (the first when there is no chooser). Nothing
// when the user cancels.
std::optional<size_t> ChooseAdapterIndex(const std::vector<CaptureAdapter>& adapters, AdapterChooser* chooser);

// The text shown when capture is refused for lack of privileges.
std::string CapturePermissionHint();

// One open capture: a live interface (promiscuous, 1000 ms read time-out) or
// a capture file. Not thread-safe except for Interrupt.
class PacketCapture {
public:
    static constexpr int kReadTimeoutMs = 1000;

    // Nothing, with `message` set to what the user should be told, on failure.
    static std::unique_ptr<PacketCapture> OpenLive(const std::string& interfaceName, std::string& message);
    static std::unique_ptr<PacketCapture> OpenFile(const std::string& path, std::string& message);
    ~PacketCapture();
    PacketCapture(const PacketCapture&) = delete;
    PacketCapture& operator=(const PacketCapture&) = delete;

    LinkType linkType() const { return link_; }
    bool isFile() const { return file_; }

    enum class ReadResult { Frames, EndOfFile, Failed };
    // Waits up to the read time-out for a batch and hands each frame to the
    // scanner, stopping between frames once captureFlag is cleared. On
    // Failed, `message` says why.
    ReadResult ReadBatch(FrameScanner& scanner, const std::atomic<bool>& captureFlag, std::string& message);

    // Makes a ReadBatch in progress return soon; callable from any thread.
    // (A capture file read is also stopped by the capture flag.)
    void Interrupt();

private:
    PacketCapture(pcap* handle, LinkType link, bool file);
    PacketCapture(std::unique_ptr<CaptureFileReader> reader, LinkType link);

    pcap* handle_ = nullptr;                     // live captures and pcapng files
    std::unique_ptr<CaptureFileReader> reader_;  // classic capture files
    LinkType link_;
    bool file_;
    int selectable_ = -1;
};

}  // namespace larkspan
