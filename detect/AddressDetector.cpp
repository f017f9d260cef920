#include "detect/AddressDetector.h"

#include "detect/FrameScanner.h"
#include "detect/PacketCapture.h"

namespace larkspan {
namespace {

// Read by the capture thread at every batch and between frames.
std::atomic<bool> g_captureFlag{false};

}  // namespace

AddressDetector::AddressDetector(DetectionSink& sink) : sink_(sink) {}

AddressDetector::~AddressDetector() {
    StopDetection();
    Wait();
}

void AddressDetector::ClearCaptureFlag() { g_captureFlag.store(false); }
bool AddressDetector::CaptureFlag() { return g_captureFlag.load(); }

bool AddressDetector::StartDetection(AdapterChooser* chooser) {
    std::string error;
    std::vector<CaptureAdapter> adapters = ListCaptureAdapters(error);
    if (adapters.empty()) {
        sink_.ShowDetectionMessage(error);
        return false;
    }
    std::optional<size_t> index = ChooseAdapterIndex(adapters, chooser);
    if (!index) return false;  // cancelled: nothing to say
    return StartDetectionOn(adapters[*index].name);
}

bool AddressDetector::StartDetectionOn(const std::string& interfaceName) {
    std::string message;
    std::unique_ptr<PacketCapture> capture = PacketCapture::OpenLive(interfaceName, message);
    if (!capture) {
        sink_.ShowDetectionMessage(message);
        return false;
    }
    return Start(std::move(capture));
}

bool AddressDetector::StartDetectionFromFile(const std::string& path) {
    std::string message;
    std::unique_ptr<PacketCapture> capture = PacketCapture::OpenFile(path, message);
    if (!capture) {
        sink_.ShowDetectionMessage(message);
        return false;
    }
    return Start(std::move(capture));
}

bool AddressDetector::Start(std::unique_ptr<PacketCapture> capture) {
    std::lock_guard<std::mutex> lock(mutex_);
    // A previous capture thread may still be winding down after a stop.
    if (thread_.joinable()) {
        if (running_.load() && g_captureFlag.load()) return true;  // already running
        thread_.join();
    }
    g_captureFlag.store(true);
    running_.store(true);
    thread_ = std::thread(&AddressDetector::CaptureThread, this, std::move(capture));
    return true;
}

void AddressDetector::StopDetection() { g_captureFlag.store(false); }

void AddressDetector::Wait() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (thread_.joinable()) thread_.join();
}

void AddressDetector::CaptureThread(std::unique_ptr<PacketCapture> capture) {
    FrameScanner scanner(sink_, capture->linkType());
    std::string message;
    while (g_captureFlag.load(std::memory_order_relaxed)) {
        PacketCapture::ReadResult r = capture->ReadBatch(scanner, g_captureFlag, message);
        if (r == PacketCapture::ReadResult::EndOfFile) break;
        if (r == PacketCapture::ReadResult::Failed) {
            sink_.ShowDetectionMessage(message);
            break;
        }
    }
    capture.reset();
    g_captureFlag.store(false);
    running_.store(false);
    sink_.OnDetectionStopped();
}

}  // namespace larkspan
