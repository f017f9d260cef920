#pragma once
#include <cstdint>
#include <string>

namespace larkspan {

// How a stream client reports to its owner. Called on the recording thread;
// an owner with a window turns each call into a queued event. Every
// operation does nothing by default.
class RecordEventSink {
public:
    virtual ~RecordEventSink() = default;

    // A connection attempt starts (port actually used).
    virtual void OnConnecting(const std::string& sourceRef, int port) {}
    // The stream header has arrived (play duration in ms, 0 for live).
    virtual void OnHeaderReceived(const std::string& sourceRef, int durationMs) {}
    // After each block of stream data written: bytes written so far,
    // progress in hundredths of a per cent, stream time in ms.
    virtual void OnProgress(uint32_t bytesWritten, int progress, uint32_t streamTimeMs) {}
    // The owner's own end-of-job notification.
    virtual void OnFinished(int count) {}
    // A failure text ("connect error", "read error", ...).
    virtual void ReportError(const std::string& text) {}
};

// Asks the user for credentials when a server answers 401. Returns false
// when the user declines. user and password come pre-filled.
class CredentialsPrompt {
public:
    virtual ~CredentialsPrompt() = default;
    virtual bool AskCredentials(const std::string& site, std::string& user, std::string& password) = 0;
    // The server turned down the credentials just given; AskCredentials
    // follows if the client asks again.
    virtual void OnCredentialsRefused(const std::string& site) {}
    // The recording was stopped: a prompt on screen ends as declined, and
    // any later one is declined without being shown. Called from another
    // thread; returns at once.
    virtual void CancelPending() {}
};

}  // namespace larkspan
