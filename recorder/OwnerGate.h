#pragma once
#include <cstdint>
#include <mutex>
#include <string>

#include "protocols/RecordEventSink.h"
#include "recorder/QuestionAsker.h"
#include "recorder/RecordJob.h"

namespace larkspan {

// Stands between a worker and its owner's status target, question asker and
// credentials prompt, and forwards to them only while the owner is attached.
// Once Detach has returned, no call reaches the owner's objects again, so the
// owner may destroy them while the worker still runs: the worker's statuses
// are dropped, its questions answered Cancel and its credential prompts
// declined.
//
// The worker's thread makes every forwarded call. Detach waits for a call
// already inside the owner's object to return; it first cancels pending
// questions, so that a question on screen returns promptly.
class OwnerGate final : public RecordStatusTarget, public QuestionAsker, public CredentialsPrompt {
public:
    OwnerGate(RecordStatusTarget* target, QuestionAsker* asker, CredentialsPrompt* credentials);
    OwnerGate(const OwnerGate&) = delete;
    OwnerGate& operator=(const OwnerGate&) = delete;

    // Cuts the worker off from the owner. Safe to call more than once.
    void Detach();

    // RecordStatusTarget
    void PostRecordStatus(RecordStatus status, std::uint16_t jobNumber) override;
    // QuestionAsker
    OverwriteAnswer AskOverwrite(const std::string& path) override;
    std::string AskSaveAs(const std::string& suggested) override;
    // Cancels the owner's questions and prompts; called from any thread, it
    // never waits for a forwarded call.
    void CancelPending() override;
    // CredentialsPrompt
    bool AskCredentials(const std::string& site, std::string& user, std::string& password) override;
    void OnCredentialsRefused(const std::string& site) override;

private:
    // Held while a call is inside an owner's object; Detach takes it to wait
    // for that call.
    std::mutex callMutex_;
    // Guards the pointers for CancelPending, which must not wait for a
    // question in progress. The pointers change only with both mutexes held.
    mutable std::mutex pointerMutex_;
    RecordStatusTarget* target_;
    QuestionAsker* asker_;
    CredentialsPrompt* credentials_;
};

}  // namespace larkspan
