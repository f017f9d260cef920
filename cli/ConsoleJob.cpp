#include "cli/ConsoleJob.h"

#include <filesystem>

#include "media/MediaRefKind.h"

namespace larkspan::cli {

namespace {
// True when a file the job wrote, other than a downloaded playlist, holds
// any bytes. A client that was hung up on before the stream began reports
// no error, yet nothing was recorded.
bool RecordedAnything(const CmmsThread& worker) {
    for (const std::string& path : worker.OutputPaths()) {
        if (ClassifyMediaRef(path) & refkind::PlaylistExtMask) continue;
        std::error_code ec;
        const auto size = std::filesystem::file_size(path, ec);
        if (!ec && size > 0) return true;
    }
    return false;
}
}  // namespace

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

// A file kept because nobody could allow the overwrite is a recording not
// made; --no-clobber or the user's own Cancel is not a failure.
bool ConsoleJob::Failed() const {
    if (worker_->ErrorFlag() || questions_.OverwriteUnanswered()) return true;
    return !worker_->StopFlag() && !RecordedAnything(*worker_);
}

std::string ConsoleJob::Outcome() const {
    if (worker_->ErrorFlag()) return worker_->GetErrorText();
    if (worker_->StopFlag()) return "Cancelled";
    if (!RecordedAnything(*worker_)) return "Nothing recorded";
    return "Completed";
}

}  // namespace larkspan::cli
