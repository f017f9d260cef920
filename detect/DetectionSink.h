#pragma once
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace larkspan {

// What the address detector reports to its owner (the record list of the
// main window, or the command line). AddRow and SetRowName are called on the
// capture thread; an owner with a window turns them into queued events.
class DetectionSink {
public:
    virtual ~DetectionSink() = default;

    // A newly detected stream address: source = URL, name = "", recordTime = "0".
    virtual void AddRow(const std::string& source, const std::string& name, const std::string& recordTime) = 0;
    // The title found for an address detected earlier. Returns the index of
    // the first row whose source equals url, 0 when none does.
    virtual int SetRowName(const std::string& url, const std::string& title, const std::string& recordTime) {
        return 0;
    }
    // A failure the user must be told about (a message box in the window).
    // May be called on the capture thread as well as the caller's.
    virtual void ShowDetectionMessage(const std::string& text) {}
    // The capture thread has released the interface (after a stop, a receive
    // failure, or the end of a capture file).
    virtual void OnDetectionStopped() {}
};

// One capture interface as offered to the user.
struct CaptureAdapter {
    std::string name;         // what the capture library opens ("eth0", "any", "lo")
    std::string description;  // may be empty
};

// Picks the interface to capture on when there are two or more ("Select
// Adapter"). Returns the chosen index, or nothing when the user cancels.
class AdapterChooser {
public:
    virtual ~AdapterChooser() = default;
    virtual std::optional<size_t> ChooseAdapter(const std::vector<CaptureAdapter>& adapters) = 0;
};

}  // namespace larkspan
