#pragma once
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>

#include "recorder/QuestionAsker.h"

namespace larkspan {

// One question a recording worker puts to the user: the overwrite question,
// the Save As dialog, or the credentials prompt. The worker's thread creates
// it and waits in Wait(); the user-interface thread answers it after its
// dialog. The first answer counts; Cancel answers "Cancel", no path, or
// declined credentials, from any thread.
class WorkerQuestion {
public:
    enum class Kind { Overwrite, SaveAs, Credentials };

    // text: the output path (Overwrite), the suggested path or name (SaveAs),
    // or the site (Credentials); user and password come pre-filled.
    WorkerQuestion(Kind kind, std::string text, std::string user = {}, std::string password = {});
    WorkerQuestion(const WorkerQuestion&) = delete;
    WorkerQuestion& operator=(const WorkerQuestion&) = delete;

    Kind GetKind() const { return kind_; }
    const std::string& Text() const { return text_; }
    const std::string& InitialUser() const { return initialUser_; }
    const std::string& InitialPassword() const { return initialPassword_; }

    // User-interface thread: the user's answer. Each runs the answered
    // handler after the worker has been woken; a question already answered
    // keeps its first answer.
    void AnswerOverwrite(OverwriteAnswer answer);
    void AnswerSaveAs(const std::string& chosenPath);
    void AnswerCredentials(bool accepted, const std::string& user, const std::string& password);
    // Any thread: ends the question as cancelled (the answered handler is
    // not run). False when it had been answered already.
    bool Cancel();
    bool IsAnswered() const;

    // Called on the user-interface thread after a user's answer.
    void SetAnsweredHandler(std::function<void()> handler) { answeredHandler_ = std::move(handler); }

    // Worker thread: waits for the answer.
    void Wait();
    OverwriteAnswer OverwriteResult() const;
    std::string SaveAsResult() const;
    // True when accepted; user and password then hold what was entered.
    bool CredentialsResult(std::string& user, std::string& password) const;

private:
    // Stores the answer through set unless one is there; true when stored.
    bool Settle(const std::function<void()>& set);

    const Kind kind_;
    const std::string text_;
    const std::string initialUser_;
    const std::string initialPassword_;
    std::function<void()> answeredHandler_;

    mutable std::mutex mutex_;
    std::condition_variable answeredCondition_;
    bool answered_ = false;
    OverwriteAnswer overwrite_ = OverwriteAnswer::Cancel;
    std::string path_;
    bool accepted_ = false;
    std::string user_;
    std::string password_;
};

}  // namespace larkspan
