#pragma once
#include <cstdint>
#include <string>

namespace larkspan::cli {

bool StderrIsTerminal();
// True when there is a terminal to ask questions on.
bool HaveInteractiveTerminal();

// A flag that a waiting terminal read can see at once: an eventfd that stays
// readable once raised. Raise() is safe in a signal handler.
class WakeEvent {
public:
    WakeEvent();
    ~WakeEvent();
    WakeEvent(const WakeEvent&) = delete;
    WakeEvent& operator=(const WakeEvent&) = delete;

    void Raise();
    bool Raised() const;
    int Fd() const { return fd_; }

private:
    int fd_;
};

// The run was interrupted (Ctrl-C, SIGTERM): every terminal read, waiting or
// still to come, ends without a line. Safe in a signal handler once
// PrepareTerminalInterrupt() has run.
void PrepareTerminalInterrupt();
void RaiseTerminalInterrupt();

// Reads one line from the controlling terminal; echo off when secret (and
// back on however the read ends). False when there is no terminal, input
// ended, the run was interrupted or cancel (when given) was raised.
bool ReadTerminalLine(const std::string& prompt, bool secret, std::string& line, const WakeEvent* cancel = nullptr);

std::string FormatBytes(uint64_t bytes);
// "h:mm:ss" or "m:ss".
std::string FormatStreamTime(uint64_t ms);
std::string FormatRate(double bytesPerSecond);

}  // namespace larkspan::cli
