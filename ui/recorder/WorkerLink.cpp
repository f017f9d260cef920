#include "ui/recorder/WorkerLink.h"

namespace larkspan {

void WorkerLink::PostRecordStatus(RecordStatus status, std::uint16_t jobNumber) {
    bridge_->PostStatus(status, jobNumber);
}

bool WorkerLink::Put(const std::shared_ptr<WorkerQuestion>& question) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (cancelled_) return false;
        current_ = question;
    }
    bridge_->Ask(question);
    question->Wait();
    std::lock_guard<std::mutex> lock(mutex_);
    current_.reset();
    return true;
}

OverwriteAnswer WorkerLink::AskOverwrite(const std::string& path) {
    auto question = std::make_shared<WorkerQuestion>(WorkerQuestion::Kind::Overwrite, path);
    return Put(question) ? question->OverwriteResult() : OverwriteAnswer::Cancel;
}

std::string WorkerLink::AskSaveAs(const std::string& suggested) {
    auto question = std::make_shared<WorkerQuestion>(WorkerQuestion::Kind::SaveAs, suggested);
    return Put(question) ? question->SaveAsResult() : std::string();
}

bool WorkerLink::AskCredentials(const std::string& site, std::string& user, std::string& password) {
    auto question = std::make_shared<WorkerQuestion>(WorkerQuestion::Kind::Credentials, site, user, password);
    return Put(question) && question->CredentialsResult(user, password);
}

void WorkerLink::CancelPending() {
    std::shared_ptr<WorkerQuestion> current;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        cancelled_ = true;
        current = current_;
    }
    if (current) bridge_->Withdraw(current);
}

}  // namespace larkspan
