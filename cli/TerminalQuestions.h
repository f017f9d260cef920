#pragma once
#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#include "cli/Terminal.h"
#include "protocols/RecordEventSink.h"
#include "recorder/QuestionAsker.h"

namespace larkspan::cli {

class ProgressDisplay;

// Serialises the terminal between the progress display (main thread) and
// the questions of recordings running at once (their worker threads): the
// display draws only while it holds the mutex, and a question holds it for
// as long as it is on screen, after taking the progress lines away.
struct TerminalLock {
    std::mutex mutex;
    ProgressDisplay* display = nullptr;  // cleared before each question
};

enum class OverwritePolicy { Ask, Always, Never };

// The questions a recording may put to the user, answered on the terminal.
// With no terminal nothing waits for input: the overwrite question is
// answered Skip (unless --yes), Save As is cancelled, and credentials are
// only those given on the command line. --no-clobber answers Skip too.
class TerminalQuestions : public QuestionAsker, public CredentialsPrompt {
public:
    TerminalQuestions(TerminalLock* lock, OverwritePolicy policy, std::string user, std::string password);

    OverwriteAnswer AskOverwrite(const std::string& path) override;
    std::string AskSaveAs(const std::string& suggested) override;
    bool AskCredentials(const std::string& site, std::string& user, std::string& password) override;
    void OnCredentialsRefused(const std::string& site) override;
    // Ends a question on screen as cancelled; later ones are not shown.
    void CancelPending() override;

    int CredentialRequests() const { return credentialRequests_.load(); }
    // The overwrite question came up with nobody to answer it (no terminal,
    // neither --yes nor --no-clobber): the file was kept, nothing recorded.
    bool OverwriteUnanswered() const { return overwriteUnanswered_.load(); }
    // Entries whose existing file was kept and which were not recorded.
    int Skipped() const;
    // The file at path was kept: it holds nothing this run recorded.
    bool WasSkipped(const std::string& path) const;

private:
    OverwriteAnswer Skip(const std::string& path);

    TerminalLock* lock_;
    OverwritePolicy policy_;
    std::string user_;
    std::string password_;
    bool offeredGiven_ = false;
    WakeEvent cancel_;
    std::atomic<bool> cancelled_{false};
    std::atomic<int> credentialRequests_{0};
    std::atomic<bool> overwriteUnanswered_{false};
    mutable std::mutex skippedMutex_;
    std::vector<std::string> skipped_;
};

}  // namespace larkspan::cli
