#pragma once
#include <memory>
#include <mutex>
#include <string>

#include "protocols/RecordEventSink.h"
#include "recorder/QuestionAsker.h"
#include "recorder/RecordJob.h"
#include "ui/recorder/WorkerBridge.h"

namespace larkspan {

// What one recording worker is built with as its status target, question
// asker and credentials prompt: forwards to the shared bridge, whose share
// it holds. The worker keeps the link (CmmsThread::KeepWhileAlive), so the
// bridge lives as long as the worker can call it. CancelPending ends only
// this worker's questions.
class WorkerLink final : public RecordStatusTarget, public QuestionAsker, public CredentialsPrompt {
public:
    explicit WorkerLink(std::shared_ptr<WorkerBridge> bridge) : bridge_(std::move(bridge)) {}

    void PostRecordStatus(RecordStatus status, std::uint16_t jobNumber) override;
    OverwriteAnswer AskOverwrite(const std::string& path) override;
    std::string AskSaveAs(const std::string& suggested) override;
    bool AskCredentials(const std::string& site, std::string& user, std::string& password) override;
    // Called by the worker's Stop on any thread.
    void CancelPending() override;

private:
    // Shows the question and waits for its answer; false when cancelled
    // before it was put.
    bool Put(const std::shared_ptr<WorkerQuestion>& question);

    const std::shared_ptr<WorkerBridge> bridge_;
    std::mutex mutex_;
    bool cancelled_ = false;
    std::shared_ptr<WorkerQuestion> current_;
};

}  // namespace larkspan
