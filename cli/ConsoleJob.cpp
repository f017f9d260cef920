#include "cli/ConsoleJob.h"

namespace larkspan::cli {

ConsoleJob::ConsoleJob(std::uint16_t number, const std::string& source, const std::string& name,
                       const std::string& fixedOutput, const RecorderSettings& settings, TerminalLock* lock,
                       OverwritePolicy policy, const std::string& user, const std::string& password)
    : questions_(lock, policy, user, password) {
    RecordJob job;
    job.notifyWindow = this;
    job.jobNumber = number;
    job.settings = settings;
    job.sourceRef = source;
    job.requestedName = name;
    worker_ = std::make_unique<CmmsThread>(std::move(job), &questions_, &questions_);
    if (!fixedOutput.empty()) worker_->SetFixedOutputPath(fixedOutput);
}

ConsoleJob::~ConsoleJob() {
    worker_->Stop();
    worker_->Join();
}

void ConsoleJob::PostRecordStatus(RecordStatus status, std::uint16_t) {
    if (status == RecordStatus::Progress) {
        worker_->ProgressHandled();
        return;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    if (status == RecordStatus::Connecting) {
        messages_.push_back("connecting to " + worker_->CurrentReference());
    } else if (status == RecordStatus::HeaderReceived) {
        std::string path = worker_->OutputPath();
        if (path != lastPath_) {
            lastPath_ = path;
            messages_.push_back("recording to " + path);
        }
    }
}

std::vector<std::string> ConsoleJob::TakeMessages() {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<std::string> out;
    out.swap(messages_);
    return out;
}

bool ConsoleJob::Failed() const { return worker_->ErrorFlag(); }

std::string ConsoleJob::Outcome() const {
    if (worker_->ErrorFlag()) return worker_->GetErrorText();
    if (worker_->StopFlag()) return "Cancelled";
    return "Completed";
}

}  // namespace larkspan::cli
