#pragma once
#include <atomic>
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
               OverwritePolicy policy, const std::string& user, const std::string& password,
               std::shared_ptr<RunOutputs> runOutputs = nullptr);
    ~ConsoleJob() override;

    void Start() { worker_->Start(); }
    // Ends the job: a question on screen is cancelled, the worker stops.
    void Stop();
    void Join() { worker_->Join(); }
    bool Finished() const { return worker_->IsFinished(); }
    const CmmsThread& Worker() const { return *worker_; }
    int Number() const { return worker_->JobNumber(); }
    int CredentialRequests() const { return questions_.CredentialRequests(); }
    bool ToStandardOutput() const { return toStandardOutput_; }

    // Status lines queued since the last call ("connecting ..."), as the
    // worker gave them (not yet made printable).
    std::vector<std::string> TakeMessages();
    // Texts the worker gives as notices, queued with the status lines.
    void AddNotices(const std::vector<std::string>& texts);
    // "Completed", "Cancelled", "Skipped, the file exists", "Nothing
    // recorded" or the error text.
    std::string Outcome() const;
    // An error, a file kept for want of an answer, or nothing recorded.
    bool Failed() const;
    // Bytes of the file at path, or of the stream for standard output.
    std::uint64_t SizeOf(const std::string& path) const;

    void PostRecordStatus(RecordStatus status, std::uint16_t jobNumber) override;

private:
    bool RecordedAnything() const;

    TerminalQuestions questions_;
    std::unique_ptr<CmmsThread> worker_;
    const bool toStandardOutput_;
    std::atomic<bool> stopRequested_{false};
    std::mutex mutex_;
    std::vector<std::string> messages_;
    std::string lastPath_;
};

// How a path of a recording is named to the user ("-" is standard output).
std::string DisplayPath(const std::string& path);

}  // namespace larkspan::cli
