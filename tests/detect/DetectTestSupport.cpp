#include "tests/detect/DetectTestSupport.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>

#include "detect/RunDetection.h"

namespace larkspan::detecttest {

void RecordingSink::AddRow(const std::string& source, const std::string& name, const std::string& recordTime) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!name.empty() || recordTime != "0") badCalls.push_back("AddRow(" + source + ", " + name + ", " + recordTime + ")");
    rows_.push_back(source);
    changed_.notify_all();
}

int RecordingSink::SetRowName(const std::string& url, const std::string& title, const std::string& recordTime) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (recordTime != "0") badCalls.push_back("SetRowName(" + url + ", " + title + ", " + recordTime + ")");
    names_.emplace_back(url, title);
    changed_.notify_all();
    for (size_t i = 0; i < rows_.size(); ++i)
        if (rows_[i] == url) return int(i);
    return 0;
}

void RecordingSink::ShowDetectionMessage(const std::string& text) {
    std::lock_guard<std::mutex> lock(mutex_);
    messages_.push_back(text);
    changed_.notify_all();
}

void RecordingSink::OnDetectionStopped() {
    std::lock_guard<std::mutex> lock(mutex_);
    stopped_ = true;
    changed_.notify_all();
}

std::vector<std::string> RecordingSink::Rows() {
    std::lock_guard<std::mutex> lock(mutex_);
    return rows_;
}
std::vector<std::pair<std::string, std::string>> RecordingSink::Names() {
    std::lock_guard<std::mutex> lock(mutex_);
    return names_;
}
std::vector<std::string> RecordingSink::Messages() {
    std::lock_guard<std::mutex> lock(mutex_);
    return messages_;
}
bool RecordingSink::Stopped() {
    std::lock_guard<std::mutex> lock(mutex_);
    return stopped_;
}

LiveCaptureLock::LiveCaptureLock() {
    const std::string path = (std::filesystem::temp_directory_path() / "larkspan-detect-live.lock").string();
    fd_ = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (fd_ >= 0) flock(fd_, LOCK_EX);
}

LiveCaptureLock::~LiveCaptureLock() {
    if (fd_ >= 0) close(fd_);  // releases the lock
}

Detected DetectFile(const std::string& path) {
    RecordingSink sink;
    Detected d;
    DetectionSource source;
    source.pcapFile = path;
    d.result = RunDetection(source, sink);
    d.rows = sink.Rows();
    d.names = sink.Names();
    d.messages = sink.Messages();
    for (auto& bad : sink.badCalls) d.messages.push_back("unexpected call " + bad);
    return d;
}

Detected DetectFrames(const std::vector<Bytes>& frames, uint32_t linkType) {
    static std::atomic<int> counter{0};
    std::string path = TempPath("frames-" + std::to_string(counter++) + ".pcap");
    {
        CaptureFileWriter writer(path, linkType);
        for (const Bytes& f : frames) writer.Add(f);
    }
    return DetectFile(path);
}

}  // namespace larkspan::detecttest
