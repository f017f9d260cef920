#pragma once
// Runs the larkspan-rec program as a user would: its own session (no
// controlling terminal), standard input from /dev/null, HOME and
// XDG_CONFIG_HOME in a folder of the test so that no real profile is read,
// standard output and error captured in files.
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#ifndef LARKSPAN_REC_PATH
#error "LARKSPAN_REC_PATH must name the larkspan-rec program"
#endif

extern char** environ;

namespace larkspan::e2e {

class RecProcess {
public:
    // home: a folder for HOME and XDG_CONFIG_HOME; the program runs in it.
    RecProcess(std::vector<std::string> args, std::string home) : args_(std::move(args)), home_(std::move(home)) {}
    ~RecProcess() {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            int status = 0;
            ::waitpid(pid_, &status, 0);
        }
    }
    RecProcess(const RecProcess&) = delete;
    RecProcess& operator=(const RecProcess&) = delete;

    // Files the program writes may grow to at most this many bytes (its
    // standard output and error included). Set before Start.
    void LimitFileSize(rlim_t bytes) { fileSizeLimit_ = bytes; }

    bool Start() {
        outPath_ = home_ + "/stdout.txt";
        errPath_ = home_ + "/stderr.txt";
        // Everything the child needs is built before fork: after it, only
        // async-signal-safe calls.
        std::vector<std::string> argStore;
        argStore.push_back(LARKSPAN_REC_PATH);
        argStore.insert(argStore.end(), args_.begin(), args_.end());
        std::vector<std::string> envStore;
        for (char** e = environ; *e; ++e) {
            const std::string entry = *e;
            if (entry.rfind("HOME=", 0) == 0 || entry.rfind("XDG_CONFIG_HOME=", 0) == 0) continue;
            envStore.push_back(entry);
        }
        envStore.push_back("HOME=" + home_);
        envStore.push_back("XDG_CONFIG_HOME=" + home_ + "/config");
        std::vector<char*> argv, envp;
        for (auto& a : argStore) argv.push_back(a.data());
        argv.push_back(nullptr);
        for (auto& e : envStore) envp.push_back(e.data());
        envp.push_back(nullptr);

        const int in = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
        const int out = ::open(outPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        const int err = ::open(errPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (in < 0 || out < 0 || err < 0) return false;
        pid_ = ::fork();
        if (pid_ == 0) {
            ::setsid();
            if (fileSizeLimit_ != RLIM_INFINITY) {
                const rlimit limit{fileSizeLimit_, fileSizeLimit_};
                if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) ::_exit(125);
            }
            ::dup2(in, 0);
            ::dup2(out, 1);
            ::dup2(err, 2);
            if (::chdir(home_.c_str()) != 0) ::_exit(126);
            ::execve(argv[0], argv.data(), envp.data());
            ::_exit(127);
        }
        ::close(in);
        ::close(out);
        ::close(err);
        return pid_ > 0;
    }

    void Signal(int sig) {
        if (pid_ > 0) ::kill(pid_, sig);
    }

    // Waits for the program to end. The bound only keeps a hung program from
    // hanging the suite: past it the program is killed and false returned.
    bool Wait(std::chrono::seconds bound) {
        const auto end = std::chrono::steady_clock::now() + bound;
        while (pid_ > 0) {
            int status = 0;
            const pid_t r = ::waitpid(pid_, &status, WNOHANG);
            if (r == pid_) {
                pid_ = -1;
                exitCode_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
                termSignal_ = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
                break;
            }
            if (r < 0) return false;
            if (std::chrono::steady_clock::now() >= end) {
                ::kill(pid_, SIGKILL);
                ::waitpid(pid_, &status, 0);
                pid_ = -1;
                return false;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return true;
    }

    bool Running() const { return pid_ > 0; }
    int ExitCode() const { return exitCode_; }
    int TermSignal() const { return termSignal_; }
    std::string Out() const { return Slurp(outPath_); }
    std::string Err() const { return Slurp(errPath_); }

private:
    static std::string Slurp(const std::string& path) {
        std::ifstream f(path, std::ios::binary);
        std::stringstream s;
        s << f.rdbuf();
        return s.str();
    }

    std::vector<std::string> args_;
    std::string home_;
    std::string outPath_, errPath_;
    rlim_t fileSizeLimit_ = RLIM_INFINITY;
    pid_t pid_ = -1;
    int exitCode_ = -1;
    int termSignal_ = 0;
};

}  // namespace larkspan::e2e
