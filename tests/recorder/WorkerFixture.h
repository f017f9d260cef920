#pragma once
// A recording worker driven the way the recorder window drives it: a status
// target that keeps every status in order (with the fields the window would
// read at that moment), a question asker with fixed answers, and a real
// loopback server with the sample media.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "recorder/CmmsThread.h"
#include "tests/recorder/E2eSupport.h"
#include "tests/support/AsfFileParts.h"
#include "tests/support/Samples.h"
#include "tools/server/LoopbackServer.h"

namespace larkspan::e2e {

struct StatusEvent {
    RecordStatus status;
    std::uint16_t jobNumber = 0;
    std::string reference;   // the worker's current reference when it was posted
    std::string outputPath;  // the worker's output path when it was posted
};

class StatusLog : public RecordStatusTarget {
public:
    void Attach(CmmsThread* worker) { worker_ = worker; }

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

    // Every notice text taken so far, in order.
    std::vector<std::string> Notices() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return notices_;
    }

    std::vector<StatusEvent> Events() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return events_;
    }
    size_t Count(RecordStatus status) const {
        size_t n = 0;
        for (const auto& e : Events()) n += e.status == status;
        return n;
    }
    // Connecting statuses posted while the worker was at reference.
    size_t ConnectingTo(const std::string& reference) const {
        size_t n = 0;
        for (const auto& e : Events()) n += e.status == RecordStatus::Connecting && e.reference == reference;
        return n;
    }

private:
    CmmsThread* worker_ = nullptr;
    mutable std::mutex mutex_;
    std::vector<StatusEvent> events_;
    std::vector<std::string> notices_;
};

class FixedAsker : public QuestionAsker {
public:
    explicit FixedAsker(OverwriteAnswer answer = OverwriteAnswer::Yes) : answer_(answer) {}
    OverwriteAnswer AskOverwrite(const std::string&) override {
        ++overwriteQuestions;
        return answer_;
    }
    std::string AskSaveAs(const std::string&) override {
        ++saveAsQuestions;
        return {};
    }
    std::atomic<int> overwriteQuestions{0};
    std::atomic<int> saveAsQuestions{0};

private:
    OverwriteAnswer answer_;
};

class WorkerTest : public ::testing::Test {
protected:
    static constexpr auto kBound = std::chrono::seconds(60);

    void SetUp() override {
        samples_ = testsupport::SamplesDir();
        if (samples_.empty()) GTEST_SKIP() << testsupport::SamplesError();
        std::string error;
        ASSERT_TRUE(testsupport::SplitAsfFile(samples_ + "/clip.asf", clip_, &error)) << error;
        ASSERT_TRUE(testsupport::SplitAsfFile(samples_ + "/audio.asf", audio_, &error)) << error;
        settings_.baseDir = base_.Path();
        settings_.overWrite = 1;
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

    std::unique_ptr<CmmsThread> MakeWorker(const std::string& source, const std::string& name,
                                           bool withTarget = true) {
        RecordJob job;
        job.notifyWindow = withTarget ? &log_ : nullptr;
        job.jobNumber = 7;
        job.settings = settings_;
        job.sourceRef = source;
        job.requestedName = name;
        auto worker = std::make_unique<CmmsThread>(std::move(job), &asker_, nullptr);
        log_.Attach(worker.get());
        return worker;
    }

    // Waits for the worker's thread to end. A worker that does not end is
    // stopped; one that does not end even then would hang the suite, so the
    // process gives up.
    static void WaitForEnd(CmmsThread& worker, std::chrono::seconds bound = kBound) {
        if (!WaitUntil([&] { return worker.IsFinished(); }, bound)) {
            ADD_FAILURE() << "the worker did not finish within " << bound.count() << " s";
            worker.Stop();
            if (!WaitUntil([&] { return worker.IsFinished(); }, std::chrono::seconds(20))) {
                std::fprintf(stderr, "worker hangs even after Stop\n");
                std::_Exit(3);
            }
        }
        worker.Join();
    }

    void Run(CmmsThread& worker) {
        worker.Start();
        WaitForEnd(worker);
    }

    // Exactly one Finished, after every other status.
    void ExpectFinishedOnceAndLast() const {
        const auto events = log_.Events();
        ASSERT_FALSE(events.empty());
        EXPECT_EQ(log_.Count(RecordStatus::Finished), 1u);
        EXPECT_EQ(events.back().status, RecordStatus::Finished);
        for (const auto& e : events) EXPECT_EQ(e.jobNumber, 7);
    }

    std::string samples_;
    testsupport::AsfFileParts clip_, audio_;
    TempFolder base_{"worker"};
    RecorderSettings settings_;
    testserver::LoopbackServer server_;
    StatusLog log_;
    FixedAsker asker_;
};

}  // namespace larkspan::e2e
