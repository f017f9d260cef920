#pragma once
#include <atomic>
#include <mutex>
#include <string>

#include "protocols/RecordEventSink.h"
#include "recorder/QuestionAsker.h"

namespace larkspan::cli {

// Serialises questions on the terminal between recordings running at once,
// and tells the progress display to keep quiet while one is asked.
struct TerminalLock {
    std::mutex mutex;
    std::atomic<bool> asking{false};
};

enum class OverwritePolicy { Ask, Always, Never };

// The questions a recording may put to the user, answered on the terminal.
// With no terminal nothing waits for input: the overwrite question is
// answered Cancel (unless --yes), Save As is cancelled, and credentials are
// only those given on the command line.
class TerminalQuestions : public QuestionAsker, public CredentialsPrompt {
public:
    TerminalQuestions(TerminalLock* lock, OverwritePolicy policy, std::string user, std::string password);

    OverwriteAnswer AskOverwrite(const std::string& path) override;
    std::string AskSaveAs(const std::string& suggested) override;
    bool AskCredentials(const std::string& site, std::string& user, std::string& password) override;

    int CredentialRequests() const { return credentialRequests_.load(); }
    // The overwrite question came up with nobody to answer it (no terminal,
    // neither --yes nor --no-clobber): the file was kept, nothing recorded.
    bool OverwriteUnanswered() const { return overwriteUnanswered_.load(); }

private:
    TerminalLock* lock_;
    OverwritePolicy policy_;
    std::string user_;
    std::string password_;
    bool offeredGiven_ = false;
    std::atomic<int> credentialRequests_{0};
    std::atomic<bool> overwriteUnanswered_{false};
};

}  // namespace larkspan::cli
