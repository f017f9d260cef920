#pragma once
#include <atomic>
#include <functional>
#include <string>

#include "cli/Options.h"
#include "cli/TerminalQuestions.h"

namespace larkspan::cli {

// `larkspan-rec --detect`: prints each stream address other players on the
// machine request (with its title once seen), until interrupted or, for
// --pcap, the end of the file. onDetected, when given, is called on the main
// thread for each new address (--record starts a recording there) and
// poll() is called about ten times a second. Nothing is printed while a
// question holds the terminal. Returns the exit status.
int RunDetectCommand(const Options& options, const std::atomic<int>& interrupts, TerminalLock& terminal,
                     const std::function<void(const std::string&)>& onDetected,
                     const std::function<void()>& poll);

}  // namespace larkspan::cli
