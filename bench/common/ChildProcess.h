#pragma once
// A program run by a benchmark, measured the way the kernel sees it: wall
// time from start to exit, user and system CPU and peak resident memory from
// wait4(), plus a sampled peak of anonymous memory (heap and stacks, without
// the shared library pages that the kernel's peak counts too).
#include <sys/resource.h>
#include <sys/types.h>

#include <string>
#include <vector>

namespace larkspan::bench {

struct RunUsage {
    bool exited = false;       // false: still running or never started
    int exitCode = -1;         // exit status, or 128 + signal number
    double wallSeconds = 0;    // from fork to reaping
    double userSeconds = 0;
    double sysSeconds = 0;
    long maxRssKb = 0;         // ru_maxrss
    long peakAnonKb = 0;       // largest RssAnon seen while sampling (0 when never sampled)
    long voluntarySwitches = 0;    // ru_nvcsw: how often it went to sleep waiting
    long involuntarySwitches = 0;  // ru_nivcsw

    double CpuSeconds() const { return userSeconds + sysSeconds; }
};

struct ChildOptions {
    std::vector<std::string> argv;    // argv[0] is the program (a path, or a name looked up in PATH)
    std::vector<std::string> env;     // "NAME=value" entries added to (or replacing in) our environment
    bool pipeStdout = false;          // read it with ReadLine
    std::string stdoutFile;           // otherwise stdout goes here ("" = /dev/null)
    std::string stderrFile;           // "" = /dev/null
};

class ChildProcess {
public:
    ChildProcess() = default;
    ~ChildProcess();  // kills and reaps a child still running
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool Start(const ChildOptions& options, std::string* error = nullptr);
    pid_t Pid() const { return pid_; }
    bool Running() const { return pid_ > 0 && !usage_.exited; }

    // One line of the child's stdout (without its line break); false on end
    // of output or when nothing complete came within timeoutMs.
    bool ReadLine(std::string& line, int timeoutMs);

    void Signal(int signal) const;
    // CPU time the child (all its threads, living and gone) has used so far,
    // from /proc; clock-tick resolution. -1 when it cannot be read.
    double CpuSoFar() const;
    // CPU time (ns, exact) and voluntary context switches of the child's
    // living threads, summed from /proc; for a window in which no thread
    // ends. false when they cannot be read.
    bool ThreadTotals(unsigned long long& cpuNs, unsigned long long& sleeps) const;
    // Current RssAnon in KB, or -1.
    long AnonKb() const;

    // Waits for the child to end, sampling its anonymous memory every
    // sampleMs meanwhile. timeoutSeconds < 0 waits without limit; on a
    // time-out the returned usage has exited == false.
    RunUsage Wait(double timeoutSeconds = -1, int sampleMs = 10);
    const RunUsage& Usage() const { return usage_; }

private:
    void Reap(int status, const ::rusage& ru);

    pid_t pid_ = -1;
    int pidfd_ = -1;
    int stdoutFd_ = -1;
    std::string pending_;
    double startedAt_ = 0;
    RunUsage usage_;
};

// Monotonic seconds.
double Now();

// This process's resident size now, in KB.
long SelfRssKb();
// The largest resident size this process had when it started a child. A
// child's max RSS is never reported below it (the kernel counts the forked
// copy), so figures are only meaningful well above it.
long& ForkFloorKb();

// Runs a command to its end with stdout and stderr to files (or nowhere);
// a small convenience for set-up steps.
RunUsage RunToEnd(const ChildOptions& options, std::string* error = nullptr);

}  // namespace larkspan::bench
