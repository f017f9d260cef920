#include "bench/common/ChildProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

extern char** environ;

namespace larkspan::bench {

namespace {

double Seconds(const timeval& tv) { return double(tv.tv_sec) + double(tv.tv_usec) / 1e6; }

int OpenPidFd(pid_t pid) {
#if defined(SYS_pidfd_open)
    return int(syscall(SYS_pidfd_open, pid, 0));
#else
    (void)pid;
    return -1;
#endif
}

// Our environment with the given entries added or replaced.
std::vector<std::string> MergedEnvironment(const std::vector<std::string>& extra) {
    std::vector<std::string> out;
    for (char** e = environ; e && *e; ++e) {
        std::string entry = *e;
        std::string name = entry.substr(0, entry.find('='));
        bool replaced = false;
        for (const auto& x : extra)
            if (x.substr(0, x.find('=')) == name) replaced = true;
        if (!replaced) out.push_back(entry);
    }
    out.insert(out.end(), extra.begin(), extra.end());
    return out;
}

}  // namespace

long SelfRssKb() {
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("VmRSS:", 0) == 0) return std::strtol(line.c_str() + 6, nullptr, 10);
    }
    return 0;
}

long& ForkFloorKb() {
    static long floor = 0;
    return floor;
}

double Now() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

ChildProcess::~ChildProcess() {
    if (Running()) {
        kill(pid_, SIGKILL);
        int status = 0;
        waitpid(pid_, &status, 0);
    }
    if (pidfd_ >= 0) close(pidfd_);
    if (stdoutFd_ >= 0) close(stdoutFd_);
}

bool ChildProcess::Start(const ChildOptions& options, std::string* error) {
    if (options.argv.empty()) {
        if (error) *error = "no program";
        return false;
    }
    int out[2] = {-1, -1};
    if (options.pipeStdout && pipe2(out, O_CLOEXEC) != 0) {
        if (error) *error = std::string("pipe: ") + std::strerror(errno);
        return false;
    }
    // Closes when the child's exec succeeds; carries errno when it fails.
    int execPipe[2] = {-1, -1};
    if (pipe2(execPipe, O_CLOEXEC) != 0) {
        if (error) *error = std::string("pipe: ") + std::strerror(errno);
        if (out[0] >= 0) close(out[0]), close(out[1]);
        return false;
    }
    // Everything the child needs is prepared before fork.
    std::vector<std::string> envStrings = MergedEnvironment(options.env);
    std::vector<char*> argv, envp;
    for (const auto& a : options.argv) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    for (const auto& e : envStrings) envp.push_back(const_cast<char*>(e.c_str()));
    envp.push_back(nullptr);
    const std::string outPath = options.stdoutFile.empty() ? "/dev/null" : options.stdoutFile;
    const std::string errPath = options.stderrFile.empty() ? "/dev/null" : options.stderrFile;

    // The kernel carries the peak resident size of the forked copy of this
    // process over the exec into the child's ru_maxrss: keep note of it, so
    // a bench can tell its own size never reached the figures it reports.
    ForkFloorKb() = std::max(ForkFloorKb(), SelfRssKb());

    usage_ = RunUsage();
    startedAt_ = Now();
    pid_t pid = fork();
    if (pid < 0) {
        if (error) *error = std::string("fork: ") + std::strerror(errno);
        if (out[0] >= 0) close(out[0]), close(out[1]);
        close(execPipe[0]), close(execPipe[1]);
        return false;
    }
    if (pid == 0) {
        int in = open("/dev/null", O_RDONLY);
        if (in >= 0) dup2(in, 0);
        if (options.pipeStdout) {
            dup2(out[1], 1);
        } else {
            int fd = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            if (fd >= 0) dup2(fd, 1);
        }
        int fd = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd >= 0) dup2(fd, 2);
        execvpe(argv[0], argv.data(), envp.data());
        int e = errno;
        ssize_t ignored = write(execPipe[1], &e, sizeof e);
        (void)ignored;
        _exit(127);
    }
    pid_ = pid;
    pidfd_ = OpenPidFd(pid);
    if (options.pipeStdout) {
        close(out[1]);
        stdoutFd_ = out[0];
    }
    // Memory is sampled only once the program runs, never the forked copy.
    close(execPipe[1]);
    int childErrno = 0;
    ssize_t got;
    do {
        got = read(execPipe[0], &childErrno, sizeof childErrno);
    } while (got < 0 && errno == EINTR);
    close(execPipe[0]);
    if (got == sizeof childErrno) {
        if (error) *error = "cannot run " + options.argv[0] + ": " + std::strerror(childErrno);
        Wait();
        return false;
    }
    return true;
}

bool ChildProcess::ReadLine(std::string& line, int timeoutMs) {
    const double deadline = Now() + timeoutMs / 1000.0;
    for (;;) {
        size_t nl = pending_.find('\n');
        if (nl != std::string::npos) {
            line = pending_.substr(0, nl);
            pending_.erase(0, nl + 1);
            return true;
        }
        if (stdoutFd_ < 0) return false;
        int left = int((deadline - Now()) * 1000);
        if (left <= 0) return false;
        pollfd p{stdoutFd_, POLLIN, 0};
        int n = poll(&p, 1, left);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        char buffer[512];
        ssize_t got = read(stdoutFd_, buffer, sizeof buffer);
        if (got <= 0) {
            close(stdoutFd_);
            stdoutFd_ = -1;
            continue;
        }
        pending_.append(buffer, size_t(got));
    }
}

void ChildProcess::Signal(int signal) const {
    if (Running()) kill(pid_, signal);
}

double ChildProcess::CpuSoFar() const {
    if (!Running()) return -1;
    std::ifstream in("/proc/" + std::to_string(pid_) + "/stat");
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    // The command name may hold blanks; fields are counted after its ')'.
    size_t close = text.rfind(')');
    if (close == std::string::npos) return -1;
    std::istringstream fields(text.substr(close + 2));
    std::string f;
    unsigned long long utime = 0, stime = 0;
    for (int i = 3; i <= 15 && (fields >> f); ++i) {
        if (i == 14) utime = std::strtoull(f.c_str(), nullptr, 10);
        if (i == 15) stime = std::strtoull(f.c_str(), nullptr, 10);
    }
    return double(utime + stime) / double(sysconf(_SC_CLK_TCK));
}

bool ChildProcess::ThreadTotals(unsigned long long& cpuNs, unsigned long long& sleeps) const {
    cpuNs = sleeps = 0;
    if (!Running()) return false;
    const std::string base = "/proc/" + std::to_string(pid_) + "/task";
    std::error_code ec;
    bool any = false;
    for (const auto& task : std::filesystem::directory_iterator(base, ec)) {
        std::ifstream sched(task.path() / "schedstat");
        unsigned long long ns = 0;
        if (sched >> ns) {
            cpuNs += ns;
            any = true;
        }
        std::ifstream status(task.path() / "status");
        std::string line;
        while (std::getline(status, line)) {
            if (line.rfind("voluntary_ctxt_switches:", 0) == 0)
                sleeps += std::strtoull(line.c_str() + 24, nullptr, 10);
        }
    }
    return any;
}

long ChildProcess::AnonKb() const {
    if (!Running()) return -1;
    std::ifstream in("/proc/" + std::to_string(pid_) + "/status");
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("RssAnon:", 0) == 0) return std::strtol(line.c_str() + 8, nullptr, 10);
    }
    return -1;
}

void ChildProcess::Reap(int status, const rusage& ru) {
    usage_.exited = true;
    usage_.wallSeconds = Now() - startedAt_;
    usage_.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : WIFSIGNALED(status) ? 128 + WTERMSIG(status) : -1;
    usage_.userSeconds = Seconds(ru.ru_utime);
    usage_.sysSeconds = Seconds(ru.ru_stime);
    usage_.maxRssKb = ru.ru_maxrss;
    usage_.voluntarySwitches = ru.ru_nvcsw;
    usage_.involuntarySwitches = ru.ru_nivcsw;
}

RunUsage ChildProcess::Wait(double timeoutSeconds, int sampleMs) {
    if (!Running()) return usage_;
    const double deadline = timeoutSeconds < 0 ? 0 : Now() + timeoutSeconds;
    for (;;) {
        long anon = AnonKb();
        if (anon > usage_.peakAnonKb) usage_.peakAnonKb = anon;

        int status = 0;
        rusage ru{};
        pid_t r = wait4(pid_, &status, WNOHANG, &ru);
        if (r == pid_) {
            Reap(status, ru);
            return usage_;
        }
        if (r < 0 && errno != EINTR) return usage_;

        int slice = sampleMs;
        if (timeoutSeconds >= 0) {
            int left = int((deadline - Now()) * 1000);
            if (left <= 0) return usage_;
            if (left < slice) slice = left;
        }
        if (pidfd_ >= 0) {
            // Wakes the moment the child ends, so the wall time stays exact.
            pollfd p{pidfd_, POLLIN, 0};
            poll(&p, 1, slice);
        } else {
            timespec ts{slice / 1000, long(slice % 1000) * 1000000L};
            nanosleep(&ts, nullptr);
        }
    }
}

RunUsage RunToEnd(const ChildOptions& options, std::string* error) {
    ChildProcess child;
    if (!child.Start(options, error)) return RunUsage();
    return child.Wait();
}

}  // namespace larkspan::bench
