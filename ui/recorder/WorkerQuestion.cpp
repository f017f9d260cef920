#include "ui/recorder/WorkerQuestion.h"

namespace larkspan {

WorkerQuestion::WorkerQuestion(Kind kind, std::string text, std::string user, std::string password)
    : kind_(kind), text_(std::move(text)), initialUser_(std::move(user)), initialPassword_(std::move(password)) {}

bool WorkerQuestion::Settle(const std::function<void()>& set) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (answered_) return false;
        set();
        answered_ = true;
    }
    answeredCondition_.notify_all();
    return true;
}

void WorkerQuestion::AnswerOverwrite(OverwriteAnswer answer) {
    if (Settle([&] { overwrite_ = answer; }) && answeredHandler_) answeredHandler_();
}

void WorkerQuestion::AnswerSaveAs(const std::string& chosenPath) {
    if (Settle([&] { path_ = chosenPath; }) && answeredHandler_) answeredHandler_();
}

void WorkerQuestion::AnswerCredentials(bool accepted, const std::string& user, const std::string& password) {
    const bool stored = Settle([&] {
        accepted_ = accepted;
        user_ = user;
        password_ = password;
    });
    if (stored && answeredHandler_) answeredHandler_();
}

bool WorkerQuestion::Cancel() {
    return Settle([] {});
}

bool WorkerQuestion::IsAnswered() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return answered_;
}

void WorkerQuestion::Wait() {
    std::unique_lock<std::mutex> lock(mutex_);
    answeredCondition_.wait(lock, [this] { return answered_; });
}

OverwriteAnswer WorkerQuestion::OverwriteResult() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return overwrite_;
}

std::string WorkerQuestion::SaveAsResult() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return path_;
}

bool WorkerQuestion::CredentialsResult(std::string& user, std::string& password) const {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!accepted_) return false;
    user = user_;
    password = password_;
    return true;
}

}  // namespace larkspan
