#pragma once
// End-to-end tests of the recording worker (and of larkspan-rec): ports that
// refuse connections, and a worker driven as the recorder window drives it.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "recorder/CmmsThread.h"
#include "tests/support/AsfFileParts.h"
#include "tests/support/FileContents.h"
#include "tests/support/RecordedFiles.h"
#include "tests/support/Samples.h"
#include "tests/support/TempFolder.h"
#include "tests/support/WellKnownPortsLock.h"
#include "tools/server/LoopbackServer.h"

namespace larkspan::e2e {

using Bytes = std::vector<uint8_t>;
using testsupport::FirstDifference;
using testsupport::HeaderAndPackets;
using testsupport::ReadFileBytes;
using testsupport::RecordedFile;
using testsupport::TempFolder;
using testsupport::WellKnownPortsLock;
using testsupport::WriteFileBytes;
using testsupport::WriteFileText;

// Polls pred until it holds or the bound (only against hanging) passes.
inline bool WaitUntil(const std::function<bool()>& pred, std::chrono::milliseconds bound) {
    const auto end = std::chrono::steady_clock::now() + bound;
    while (!pred()) {
        if (std::chrono::steady_clock::now() >= end) return pred();
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

inline uint64_t SizeOf(const std::string& path) {
    std::error_code ec;
    const uint64_t n = std::filesystem::file_size(path, ec);
    return ec ? 0 : n;
}

// A playlist naming each reference in an entry of its own.
inline std::string Asx(const std::vector<std::string>& refs, const std::string& extra = "") {
    std::string text = "<ASX version=\"3.0\">\r\n" + extra;
    for (const auto& r : refs) text += "<Entry><Ref href=\"" + r + "\"/></Entry>\r\n";
    return text + "</ASX>\r\n";
}

// Starts a server side on a fixed port, trying again while another test holds it.
inline bool StartOnPort(testserver::LoopbackServer& server, testserver::Protocol protocol, uint16_t port,
                        std::string& error) {
    return WaitUntil(
        [&] {
            error.clear();
            return protocol == testserver::Protocol::Mmsh ? server.StartMmsh(port, &error)
                                                          : server.StartMms(port, &error);
        },
        std::chrono::seconds(10));
}

// A port on 127.0.0.1 (0: a free one) that refuses every connection while
// this object lives: a socket is bound there and never listens.
class ClosedPort {
public:
    explicit ClosedPort(uint16_t port = 0) {
        fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_port = htons(port);
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof addr;
        bool bound = fd_ >= 0 && ::bind(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
        if (fd_ >= 0 && !bound && errno == EADDRINUSE) {
            // Connections of a server that has gone may linger in TIME_WAIT;
            // address reuse passes them, but not a listener.
            const int one = 1;
            ::setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
            bound = ::bind(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
        }
        if (bound && ::getsockname(fd_, reinterpret_cast<sockaddr*>(&addr), &len) == 0) {
            port_ = ntohs(addr.sin_port);
        } else if (fd_ >= 0) {
            ::close(fd_);
            fd_ = -1;
        }
    }
    ~ClosedPort() { ::close(fd_); }
    ClosedPort(const ClosedPort&) = delete;
    ClosedPort& operator=(const ClosedPort&) = delete;

    bool Held() const { return fd_ >= 0; }
    uint16_t Port() const { return port_; }

private:
    int fd_ = -1;
    uint16_t port_ = 0;
};

// Closes a fixed port, trying again while someone listens there.
inline std::unique_ptr<ClosedPort> CloseFixedPort(uint16_t port) {
    std::unique_ptr<ClosedPort> held;
    WaitUntil(
        [&] {
            held = std::make_unique<ClosedPort>(port);
            if (!held->Held()) held.reset();
            return held != nullptr;
        },
        std::chrono::seconds(10));
    return held;
}

// Both well-known ports closed: a fallback to the other protocol is refused.
struct WellKnownPortsClosed {
    WellKnownPortsLock lock;
    std::unique_ptr<ClosedPort> http = CloseFixedPort(80);
    std::unique_ptr<ClosedPort> mms = CloseFixedPort(1755);
    bool Held() const { return http && mms; }
};

// A status with the worker's current reference and output path when it was
// posted.
struct StatusEvent {
    RecordStatus status;
    std::uint16_t jobNumber = 0;
    std::string reference, outputPath;
};

// Keeps every status and notice in order, as the recorder window reads them.
class StatusLog : public RecordStatusTarget {
public:
    // Follows worker from now on, forgetting what an earlier one posted.
    void Attach(CmmsThread* worker) {
        std::lock_guard<std::mutex> lock(mutex_);
        worker_ = worker;
        events_.clear();
        notices_.clear();
    }

    void PostRecordStatus(RecordStatus status, std::uint16_t jobNumber) override {
        StatusEvent e{status, jobNumber, worker_->CurrentReference(), worker_->OutputPath()};
        // Handled at once, so that every progress report is posted.
        if (status == RecordStatus::Progress) worker_->TakeProgress();
        std::vector<std::string> notices;
        if (status == RecordStatus::Notice) notices = worker_->TakeNotices();
        std::lock_guard<std::mutex> lock(mutex_);
        events_.push_back(std::move(e));
        notices_.insert(notices_.end(), notices.begin(), notices.end());
    }

    std::vector<std::string> Notices() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return notices_;
    }
    std::vector<StatusEvent> Events() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return events_;
    }
    // Statuses posted (while the worker was at reference, when one is given).
    size_t Count(RecordStatus status, const std::string& reference = "") const {
        size_t n = 0;
        for (const auto& e : Events()) n += e.status == status && (reference.empty() || e.reference == reference);
        return n;
    }

private:
    CmmsThread* worker_ = nullptr;
    mutable std::mutex mutex_;
    std::vector<StatusEvent> events_;
    std::vector<std::string> notices_;
};

// A fixed overwrite answer (at once, or once the job cancels the question,
// as a careless window might), every Save As cancelled; counts questions.
class FixedAsker : public QuestionAsker {
public:
    explicit FixedAsker(OverwriteAnswer answer = OverwriteAnswer::Yes, bool waitForCancel = false)
        : answer_(answer), waitForCancel_(waitForCancel) {}
    OverwriteAnswer AskOverwrite(const std::string&) override {
        std::unique_lock<std::mutex> lock(mutex_);
        ++overwriteQuestions;
        if (waitForCancel_) cancelledChanged_.wait(lock, [&] { return cancelled_; });
        return answer_;
    }
    std::string AskSaveAs(const std::string& suggested) override {
        std::lock_guard<std::mutex> lock(mutex_);
        saveAsSuggestions.push_back(suggested);
        return {};
    }
    void CancelPending() override {
        std::lock_guard<std::mutex> lock(mutex_);
        cancelled_ = true;
        cancelledChanged_.notify_all();
    }

    std::atomic<int> overwriteQuestions{0};
    std::vector<std::string> saveAsSuggestions;

private:
    OverwriteAnswer answer_;
    bool waitForCancel_;
    std::mutex mutex_;
    std::condition_variable cancelledChanged_;
    bool cancelled_ = false;
};

// The samples, split into their parts, and a loopback server to serve them.
class SampleServerTest : public ::testing::Test {
protected:
    void SetUp() override {
        samples_ = testsupport::SamplesDir();
        if (samples_.empty()) GTEST_SKIP() << testsupport::SamplesError();
        std::string error;
        ASSERT_TRUE(testsupport::SplitAsfFile(samples_ + "/clip.asf", clip_, &error)) << error;
        ASSERT_TRUE(testsupport::SplitAsfFile(samples_ + "/audio.asf", audio_, &error)) << error;
    }

    void Serve(testserver::LoopbackServer& server, const std::string& key, const std::string& sample,
               testserver::StreamOptions options = {}) {
        std::string error;
        ASSERT_TRUE(server.ServeFile(key, samples_ + "/" + sample, options, &error)) << error;
    }
    static void ServeText(testserver::LoopbackServer& server, const std::string& key, const std::string& text) {
        server.ServeBody(key, Bytes(text.begin(), text.end()), "video/x-ms-asf");
    }
    void StartBoth() {
        std::string error;
        ASSERT_TRUE(server_.StartMmsh(0, &error)) << error;
        ASSERT_TRUE(server_.StartMms(0, &error)) << error;
    }

    std::string samples_;
    testsupport::AsfFileParts clip_, audio_;
    testserver::LoopbackServer server_;
};

class WorkerTest : public SampleServerTest {
protected:
    static constexpr auto kBound = std::chrono::seconds(60);

    void SetUp() override {
        SampleServerTest::SetUp();
        settings_.baseDir = base_.Path();
        settings_.overWrite = 1;
    }

    // HTTP requests and MMS commands the server has had so far.
    size_t Asked() const { return server_.MmsCommands().size() + server_.HttpRequests().size(); }
    size_t RequestsFor(const std::string& path) const {
        size_t n = 0;
        for (const auto& r : server_.HttpRequests()) n += r.path == path;
        return n;
    }

    // A worker of job 7; log_ forgets the statuses of earlier workers.
    std::unique_ptr<CmmsThread> MakeWorker(const std::string& source, const std::string& name,
                                           RecordStatusTarget* target, QuestionAsker* asker) {
        RecordJob job{
            .notifyWindow = target, .jobNumber = 7, .settings = settings_, .sourceRef = source, .requestedName = name};
        auto worker = std::make_unique<CmmsThread>(std::move(job), asker, nullptr);
        if (target == &log_) log_.Attach(worker.get());
        return worker;
    }
    std::unique_ptr<CmmsThread> MakeWorker(const std::string& source, const std::string& name) {
        return MakeWorker(source, name, &log_, &asker_);
    }

    // Waits for the worker's thread to end, stopping a worker that does not.
    static void WaitForEnd(CmmsThread& worker) {
        if (!WaitUntil([&] { return worker.IsFinished(); }, kBound)) {
            ADD_FAILURE() << "the worker did not finish within " << kBound.count() << " s";
            worker.Stop();
        }
        worker.Join();
    }
    void Run(CmmsThread& worker) {
        worker.Start();
        WaitForEnd(worker);
    }

    // Exactly one Finished, after every other status of job 7.
    void ExpectFinishedOnceAndLast() const {
        const auto events = log_.Events();
        ASSERT_FALSE(events.empty());
        EXPECT_EQ(log_.Count(RecordStatus::Finished), 1u);
        EXPECT_EQ(events.back().status, RecordStatus::Finished);
        for (const auto& e : events) EXPECT_EQ(e.jobNumber, 7);
    }
    void ExpectFile(const std::string& name, const Bytes& want) const {
        const Bytes got = ReadFileBytes(base_.File(name));
        EXPECT_TRUE(got == want) << name << ": " << FirstDifference(got, want);
    }

    TempFolder base_{"worker"};
    RecorderSettings settings_;
    StatusLog log_;
    FixedAsker asker_;
};

}  // namespace larkspan::e2e
