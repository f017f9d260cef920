#pragma once
// Sinks and runners shared by the detector tests.
#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "detect/DetectionSink.h"
#include "tests/detect/CaptureBuilder.h"

namespace larkspan::detecttest {

// Keeps everything the detector reports.
class RecordingSink : public DetectionSink {
public:
    void AddRow(const std::string& source, const std::string& name, const std::string& recordTime) override;
    int SetRowName(const std::string& url, const std::string& title, const std::string& recordTime) override;
    void ShowDetectionMessage(const std::string& text) override;
    void OnDetectionStopped() override;

    std::vector<std::string> Rows();
    std::vector<std::pair<std::string, std::string>> Names();
    std::vector<std::string> Messages();
    bool Stopped();
    // Waits until pred() holds (checked at every report) or the wait limit passes.
    template <class Pred>
    bool WaitFor(Pred pred, int seconds = 30) {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, std::chrono::seconds(seconds), [&] { return pred(*this); });
    }

    // Waits until every wanted address is a row and has its wanted title.
    bool WaitForAddresses(const std::vector<std::pair<std::string, std::string>>& wanted, int seconds = 30) {
        return WaitFor(
            [&](RecordingSink& s) {
                for (auto& w : wanted) {
                    if (std::find(s.rows().begin(), s.rows().end(), w.first) == s.rows().end()) return false;
                    if (std::find(s.names().begin(), s.names().end(), w) == s.names().end()) return false;
                }
                return true;
            },
            seconds);
    }

    // Unlocked views for WaitFor predicates.
    const std::vector<std::string>& rows() const { return rows_; }
    const std::vector<std::pair<std::string, std::string>>& names() const { return names_; }
    bool stopped() const { return stopped_; }

    // Extra checks on what AddRow/SetRowName receive.
    std::vector<std::string> badCalls;

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::string> rows_;
    std::vector<std::pair<std::string, std::string>> names_;
    std::vector<std::string> messages_;
    bool stopped_ = false;
};

// Held by tests that capture live on the loopback interface or listen on
// ports 80 and 1755, so that such tests in parallel processes take turns.
class LiveCaptureLock {
public:
    LiveCaptureLock();
    ~LiveCaptureLock();
    LiveCaptureLock(const LiveCaptureLock&) = delete;
    LiveCaptureLock& operator=(const LiveCaptureLock&) = delete;

private:
    int fd_;
};

// What detection reported for one capture file.
struct Detected {
    std::vector<std::string> rows;
    std::vector<std::pair<std::string, std::string>> names;
    std::vector<std::string> messages;
    int result = -1;
};

// Writes the frames to a fresh capture file and runs detection on it, the
// way the command line does.
Detected DetectFrames(const std::vector<Bytes>& frames, uint32_t linkType = kLinkEthernet);
Detected DetectFile(const std::string& path);

}  // namespace larkspan::detecttest
