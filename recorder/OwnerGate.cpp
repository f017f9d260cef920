#include "recorder/OwnerGate.h"

namespace larkspan {

OwnerGate::OwnerGate(RecordStatusTarget* target, QuestionAsker* asker, CredentialsPrompt* credentials)
    : target_(target), asker_(asker), credentials_(credentials) {}

void OwnerGate::Detach() {
    // A question on screen ends now, and a later one is not shown.
    CancelPending();
    std::lock_guard<std::mutex> call(callMutex_);
    std::lock_guard<std::mutex> pointers(pointerMutex_);
    target_ = nullptr;
    asker_ = nullptr;
    credentials_ = nullptr;
}

void OwnerGate::PostRecordStatus(RecordStatus status, std::uint16_t jobNumber) {
    std::lock_guard<std::mutex> lock(callMutex_);
    if (target_) target_->PostRecordStatus(status, jobNumber);
}

OverwriteAnswer OwnerGate::AskOverwrite(const std::string& path) {
    std::lock_guard<std::mutex> lock(callMutex_);
    return asker_ ? asker_->AskOverwrite(path) : OverwriteAnswer::Cancel;
}

std::string OwnerGate::AskSaveAs(const std::string& suggested) {
    std::lock_guard<std::mutex> lock(callMutex_);
    return asker_ ? asker_->AskSaveAs(suggested) : std::string();
}

void OwnerGate::CancelPending() {
    std::lock_guard<std::mutex> lock(pointerMutex_);
    if (asker_) asker_->CancelPending();
    if (credentials_) credentials_->CancelPending();
}

bool OwnerGate::AskCredentials(const std::string& site, std::string& user, std::string& password) {
    std::lock_guard<std::mutex> lock(callMutex_);
    return credentials_ && credentials_->AskCredentials(site, user, password);
}

void OwnerGate::OnCredentialsRefused(const std::string& site) {
    std::lock_guard<std::mutex> lock(callMutex_);
    if (credentials_) credentials_->OnCredentialsRefused(site);
}

}  // namespace larkspan
