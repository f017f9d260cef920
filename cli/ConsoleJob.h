#pragma once
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "cli/TerminalQuestions.h"
#include "recorder/CmmsThread.h"
#include "recorder/RecordJob.h"

namespace larkspan::cli {

// One source recorded by a worker thread. The worker only updates its
// counters and queues status; the main loop reads them at its own pace.
class ConsoleJob : public RecordStatusTarget {
public:
    ConsoleJob(std::uint16_t number, const std::string& source, const std::string& name,
               const std::string& fixedOutput, const RecorderSettings& settings, TerminalLock* lock,
               OverwritePolicy policy, const std::string& user, const std::string& password);
    ~ConsoleJob() override;

    void Start() { worker_->Start(); }
    void Stop() { worker_->Stop(); }
    void Join() { worker_->Join(); }
    bool Finished() const { return worker_->IsFinished(); }
    const CmmsThread& Worker() const { return *worker_; }
    int Number() const { return worker_->JobNumber(); }
    int CredentialRequests() const { return questions_.CredentialRequests(); }

    // Status lines queued since the last call ("connecting ...").
    std::vector<std::string> TakeMessages();
    // "Completed", "Cancelled", "Nothing recorded" or the error text.
    std::string Outcome() const;
    // An error, a file kept for want of an answer, or nothing recorded.
    bool Failed() const;

    void PostRecordStatus(RecordStatus status, std::uint16_t jobNumber) override;

private:
    TerminalQuestions questions_;
    std::unique_ptr<CmmsThread> worker_;
    std::mutex mutex_;
    std::vector<std::string> messages_;
    std::string lastPath_;
};

}  // namespace larkspan::cli
