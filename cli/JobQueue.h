#pragma once
#include <cstdint>
#include <cstdio>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "cli/ConsoleJob.h"
#include "cli/Options.h"
#include "cli/ProgressDisplay.h"
#include "cli/TerminalQuestions.h"
#include "recorder/RecorderSettings.h"

namespace larkspan::cli {

// The recordings of one command-line run: sources wait their turn, at most
// --jobs run at once, each finished one is reported with its outcome and
// then let go (with its worker and the clients' buffers), so that a long
// --detect --record run does not grow with every stream.
class JobQueue {
public:
    JobQueue(const Options& options, const RecorderSettings& settings, ProgressDisplay& display,
             TerminalLock& terminal);
    ~JobQueue();

    void Add(const std::string& source);
    // Starts waiting jobs (none once interrupted; running ones are stopped),
    // reports finished ones and redraws progress; while a question is on
    // the terminal nothing is printed. True while anything is running or
    // waiting.
    bool Poll(bool interrupted);
    int Failures() const { return failures_; }
    // Jobs started and not yet reported.
    size_t JobsHeld() const { return running_.size(); }

private:
    void Finish(ConsoleJob& job);
    void DrainMessages(ConsoleJob& job);

    const Options& options_;
    const RecorderSettings& settings_;
    ProgressDisplay& display_;
    TerminalLock& terminal_;
    const OverwritePolicy policy_;
    std::FILE* const summary_;  // where the line per finished job goes
    std::deque<std::string> waiting_;
    std::vector<std::unique_ptr<ConsoleJob>> running_;
    std::uint16_t number_ = 0;
    // Every file this run writes: a later job never replaces an earlier one's.
    std::shared_ptr<RunOutputs> runOutputs_ = std::make_shared<RunOutputs>();
    int failures_ = 0;
    bool stopping_ = false;
};

}  // namespace larkspan::cli
