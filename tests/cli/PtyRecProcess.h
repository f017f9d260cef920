#pragma once
// Runs the larkspan-rec program on a pseudo-terminal of its own, as a user
// at a terminal would: the terminal is its controlling terminal and its
// standard input, output and error, so it asks its questions there and
// Ctrl-C typed there interrupts it.
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <vector>

#ifndef LARKSPAN_REC_PATH
#error "LARKSPAN_REC_PATH must name the larkspan-rec program"
#endif

extern char** environ;

namespace larkspan::e2e {

class PtyRecProcess {
public:
    // home: a folder for HOME and XDG_CONFIG_HOME; the program runs in it.
    PtyRecProcess(std::vector<std::string> args, std::string home) : args_(std::move(args)), home_(std::move(home)) {}
    ~PtyRecProcess() {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            int status = 0;
            ::waitpid(pid_, &status, 0);
        }
        if (master_ >= 0) ::close(master_);
    }
    PtyRecProcess(const PtyRecProcess&) = delete;
    PtyRecProcess& operator=(const PtyRecProcess&) = delete;

    bool Start() {
        std::vector<std::string> argStore{LARKSPAN_REC_PATH};
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
        pid_ = ::forkpty(&master_, nullptr, nullptr, nullptr);
        if (pid_ == 0) {
            if (::chdir(home_.c_str()) != 0) ::_exit(126);
            ::execve(argv[0], argv.data(), envp.data());
            ::_exit(127);
        }
        return pid_ > 0;
    }

    // Reads what the program shows until text appears after the point the
    // last wait reached. The bound only keeps a broken run from hanging.
    bool WaitFor(const std::string& text, std::chrono::seconds bound) {
        const auto end = std::chrono::steady_clock::now() + bound;
        while (true) {
            const size_t at = screen_.find(text, seen_);
            if (at != std::string::npos) {
                seen_ = at + text.size();
                return true;
            }
            if (std::chrono::steady_clock::now() >= end || !ReadSome(100)) return false;
        }
    }

    // Writes to the terminal as if typed ("\x03" is Ctrl-C).
    void Type(const std::string& keys) { (void)!::write(master_, keys.data(), keys.size()); }

    // Waits for the program to end, reading its terminal meanwhile so that
    // it never blocks on output. Past the bound it is killed, false returned.
    bool Wait(std::chrono::seconds bound) {
        const auto end = std::chrono::steady_clock::now() + bound;
        while (pid_ > 0) {
            int status = 0;
            const pid_t r = ::waitpid(pid_, &status, WNOHANG);
            if (r == pid_) {
                pid_ = -1;
                exitCode_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
                break;
            }
            if (r < 0) return false;
            if (std::chrono::steady_clock::now() >= end) {
                ::kill(pid_, SIGKILL);
                ::waitpid(pid_, &status, 0);
                pid_ = -1;
                return false;
            }
            ReadSome(10);
        }
        return true;
    }

    int ExitCode() const { return exitCode_; }
    const std::string& Screen() const { return screen_; }
    // The terminal's settings now (echo, say).
    bool Attributes(termios& out) const { return ::tcgetattr(master_, &out) == 0; }

private:
    // False once the terminal is closed.
    bool ReadSome(int waitMs) {
        pollfd p{master_, POLLIN, 0};
        if (::poll(&p, 1, waitMs) <= 0) return true;
        char buf[4096];
        const ssize_t n = ::read(master_, buf, sizeof buf);
        if (n <= 0) return false;
        screen_.append(buf, static_cast<size_t>(n));
        return true;
    }

    std::vector<std::string> args_;
    std::string home_;
    int master_ = -1;
    pid_t pid_ = -1;
    int exitCode_ = -1;
    std::string screen_;
    size_t seen_ = 0;
};

}  // namespace larkspan::e2e
