#pragma once
#include <chrono>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace larkspan::cli {

class ConsoleJob;

// Shows one progress line per running job. On a terminal the lines are
// redrawn in place; otherwise a plain line per job is printed now and then.
// The caller holds the TerminalLock's mutex around every call, so that no
// question is on screen meanwhile.
class ProgressDisplay {
public:
    ProgressDisplay(std::FILE* out, bool terminal, bool quiet);

    // Prints a message above the progress lines.
    void Message(const std::string& text);
    // Redraws (terminal) or prints when due (plain).
    void Update(const std::vector<ConsoleJob*>& running, bool force = false);
    // Removes the progress lines from the terminal.
    void Clear();
    // Drops what was kept to measure a finished job's rate.
    void Forget(int jobNumber);

    static std::string Line(const ConsoleJob& job, double bytesPerSecond);

private:
    struct RateState {
        std::chrono::steady_clock::time_point start;
        uint64_t startBytes = 0;
        std::chrono::steady_clock::time_point last;
        uint64_t lastBytes = 0;
        double rate = 0;
    };
    double RateOf(const ConsoleJob& job);

    std::FILE* out_;
    bool terminal_;
    bool quiet_;
    int linesShown_ = 0;
    std::chrono::steady_clock::time_point lastPlain_{};
    std::map<int, RateState> rates_;
};

}  // namespace larkspan::cli
