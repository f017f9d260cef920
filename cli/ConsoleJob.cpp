#include "cli/ConsoleJob.h"

#include <filesystem>

#include "cli/Options.h"
#include "media/MediaRefKind.h"

namespace larkspan::cli {

std::string DisplayPath(const std::string& path) {
    return path == kStandardOutput ? std::string("standard output") : path;
}

ConsoleJob::ConsoleJob(std::uint16_t number, const std::string& source, const std::string& name,
                       const std::string& fixedOutput, const RecorderSettings& settings, TerminalLock* lock,
                       OverwritePolicy policy, const std::string& user, const std::string& password,
                       std::shared_ptr<RunOutputs> runOutputs)
    : questions_(lock, policy, user, password), toStandardOutput_(fixedOutput == kStandardOutput) {
    RecordJob job;
    job.notifyWindow = this;
    job.jobNumber = number;
    job.settings = settings;
    job.sourceRef = source;
    job.requestedName = name;
    job.runOutputs = std::move(runOutputs);
    worker_ = std::make_unique<CmmsThread>(std::move(job), &questions_, &questions_);
    if (!fixedOutput.empty()) worker_->SetFixedOutputPath(fixedOutput);
}

ConsoleJob::~ConsoleJob() {
    questions_.CancelPending();
    worker_->Stop();
    worker_->Join();
}

void ConsoleJob::Stop() {
    stopRequested_.store(true);
    questions_.CancelPending();
    worker_->Stop();
}

void ConsoleJob::PostRecordStatus(RecordStatus status, std::uint16_t) {
    if (status == RecordStatus::Progress) {
        worker_->TakeProgress();  // the display reads the counters itself
        return;
    }
    if (status == RecordStatus::Notice) {
        AddNotices(worker_->TakeNotices());
        return;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    if (status == RecordStatus::Connecting) {
        messages_.push_back("connecting to " + worker_->CurrentReference());
    } else if (status == RecordStatus::HeaderReceived) {
        std::string path = worker_->OutputPath();
        if (path != lastPath_) {
            lastPath_ = path;
            messages_.push_back("recording to " + DisplayPath(path));
        }
    }
}

void ConsoleJob::AddNotices(const std::vector<std::string>& texts) {
    std::lock_guard<std::mutex> lock(mutex_);
    for (const std::string& text : texts) messages_.push_back("note: " + text);
}

std::vector<std::string> ConsoleJob::TakeMessages() {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<std::string> out;
    out.swap(messages_);
    return out;
}

std::uint64_t ConsoleJob::SizeOf(const std::string& path) const {
    if (toStandardOutput_ && path == kStandardOutput) return worker_->BytesWritten();
    std::error_code ec;
    const auto size = std::filesystem::file_size(path, ec);
    return ec ? 0 : size;
}

// True when a file the job wrote, other than a downloaded playlist or a file
// kept as it was, holds any bytes. A client that was hung up on before the
// stream began reports no error, yet nothing was recorded.
bool ConsoleJob::RecordedAnything() const {
    for (const std::string& path : worker_->OutputPaths()) {
        if ((ClassifyMediaRef(path) & refkind::PlaylistExtMask) || questions_.WasSkipped(path)) continue;
        if (SizeOf(path) > 0) return true;
    }
    return false;
}

// A file kept because nobody could allow the overwrite is a recording not
// made; --no-clobber or the user's own Cancel or Skip is not a failure.
bool ConsoleJob::Failed() const {
    if (worker_->ErrorFlag() || questions_.OverwriteUnanswered()) return true;
    if (stopRequested_.load() || worker_->StopFlag() || RecordedAnything()) return false;
    return questions_.Skipped() == 0;
}

std::string ConsoleJob::Outcome() const {
    if (worker_->ErrorFlag()) return worker_->GetErrorText();
    if (stopRequested_.load()) return "Cancelled";
    const bool recorded = RecordedAnything();
    if (!recorded && questions_.Skipped() > 0) return "Skipped, the file exists";
    if (worker_->StopFlag()) return "Cancelled";
    if (!recorded) return "Nothing recorded";
    return "Completed";
}

}  // namespace larkspan::cli
