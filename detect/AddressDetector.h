#pragma once
#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "detect/DetectionSink.h"

namespace larkspan {

class PacketCapture;

// The address detector: one per process. StartDetection opens a capture and
// runs the capture thread, which scans every delivered batch while the
// capture flag is set and reports through the sink; StopDetection (or the
// start of a recording, through ClearCaptureFlag) clears the flag, and the
// thread releases the capture within about one read time-out.
class AddressDetector {
public:
    explicit AddressDetector(DetectionSink& sink);
    ~AddressDetector();  // stops and waits for the capture thread
    AddressDetector(const AddressDetector&) = delete;
    AddressDetector& operator=(const AddressDetector&) = delete;

    // Lists the interfaces, lets the chooser pick one when there are several
    // ("Select Adapter"), opens it and starts the capture thread. Returns
    // false when the user cancelled or capture could not be started (the
    // reason then went to the sink's ShowDetectionMessage).
    bool StartDetection(AdapterChooser* chooser);
    // The same on a named interface ("eth0", "any", "lo").
    bool StartDetectionOn(const std::string& interfaceName);
    // The same on a capture file (pcap or pcapng); the thread ends at its end.
    bool StartDetectionFromFile(const std::string& path);

    // Clears the capture flag and returns at once.
    void StopDetection();
    // Blocks until the capture thread has released the capture.
    void Wait();
    // True from a successful start until the capture thread has finished.
    bool IsRunning() const { return running_.load(); }

    // The process-wide capture flag: starting a recording clears it.
    static void ClearCaptureFlag();
    static bool CaptureFlag();

private:
    bool Start(std::unique_ptr<PacketCapture> capture);
    void CaptureThread(std::unique_ptr<PacketCapture> capture);

    DetectionSink& sink_;
    std::mutex mutex_;  // start, stop and wait come from the owner's threads
    std::thread thread_;
    std::atomic<bool> running_{false};
};

}  // namespace larkspan
