#pragma once
// larkspan-rec run as a program against the loopback server, in a folder of
// its own that is also its HOME, so that no real profile is read.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cstring>

#include "tests/recorder/E2eSupport.h"

extern char** environ;

namespace larkspan::e2e {

// One run of the program: in a session of its own with standard input from
// /dev/null and its output captured in files, or on a pseudo-terminal of its
// own, where it asks its questions and Ctrl-C typed there interrupts it.
class RecProcess {
public:
    RecProcess(std::vector<std::string> args, std::string home, bool onTerminal = false)
        : args_(std::move(args)), home_(home), out_(home + "/stdout.txt"), err_(home + "/stderr.txt"),
          onTerminal_(onTerminal) {}
    ~RecProcess() {
        Signal(SIGKILL);
        Wait();
        if (master_ >= 0) ::close(master_);
    }
    RecProcess(const RecProcess&) = delete;
    RecProcess& operator=(const RecProcess&) = delete;

    // Files the program writes may grow to at most this many bytes. Set before Start.
    void LimitFileSize(rlim_t bytes) { fileSizeLimit_ = bytes; }

    bool Start() {
        // Everything the child needs is made before fork: after it, only
        // async-signal-safe calls.
        std::vector<std::string> store{LARKSPAN_REC_PATH};
        store.insert(store.end(), args_.begin(), args_.end());
        const size_t argc = store.size();
        for (char** e = environ; *e; ++e)
            if (std::strncmp(*e, "HOME=", 5) != 0 && std::strncmp(*e, "XDG_CONFIG_HOME=", 16) != 0) store.push_back(*e);
        store.push_back("HOME=" + home_);
        store.push_back("XDG_CONFIG_HOME=" + home_ + "/config");
        std::vector<char*> argv, envp;
        for (size_t i = 0; i < store.size(); ++i) (i < argc ? argv : envp).push_back(store[i].data());
        argv.push_back(nullptr);
        envp.push_back(nullptr);
        const rlimit limit{fileSizeLimit_, fileSizeLimit_};

        pid_ = onTerminal_ ? ::forkpty(&master_, nullptr, nullptr, nullptr) : ::fork();
        if (pid_ == 0) {
            if (!onTerminal_) {
                ::setsid();
                ::dup2(::open("/dev/null", O_RDONLY), 0);
                ::dup2(::open(out_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), 1);
                ::dup2(::open(err_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), 2);
            }
            const bool limited = fileSizeLimit_ != RLIM_INFINITY;
            if ((limited && ::setrlimit(RLIMIT_FSIZE, &limit) != 0) || ::chdir(home_.c_str()) != 0) ::_exit(126);
            ::execve(argv[0], argv.data(), envp.data());
            ::_exit(127);
        }
        return pid_ > 0;
    }

    void Signal(int sig) {
        if (pid_ > 0) ::kill(pid_, sig);
    }

    // Waits for the program to end, reading its terminal meanwhile. The bound
    // only keeps a hung program from hanging the suite: past it the program
    // is killed and false returned.
    bool Wait(std::chrono::seconds bound = std::chrono::seconds(90)) {
        const auto end = std::chrono::steady_clock::now() + bound;
        int status = 0;
        while (pid_ > 0 && ::waitpid(pid_, &status, WNOHANG) == 0) {
            if (std::chrono::steady_clock::now() >= end) ::kill(pid_, SIGKILL);
            if (!onTerminal_ || !ReadTerminal(10)) ::usleep(10000);
        }
        if (pid_ > 0) exitCode_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;  // -1: ended by a signal
        pid_ = -1;
        return std::chrono::steady_clock::now() < end;
    }

    // On a terminal: reads what the program shows until text appears after
    // the point the last wait reached.
    bool WaitFor(const std::string& text, std::chrono::seconds bound = std::chrono::seconds(20)) {
        const auto end = std::chrono::steady_clock::now() + bound;
        size_t at;
        while ((at = screen_.find(text, seen_)) == std::string::npos) {
            if (std::chrono::steady_clock::now() >= end || !ReadTerminal(100)) return false;
        }
        seen_ = at + text.size();
        return true;
    }
    // Writes to the terminal as if typed ("\x03" is Ctrl-C).
    void Type(const std::string& keys) { (void)!::write(master_, keys.data(), keys.size()); }
    bool TerminalEchoes() const {
        termios t{};
        return ::tcgetattr(master_, &t) == 0 && (t.c_lflag & ECHO) != 0;
    }

    bool Running() const { return pid_ > 0; }
    int ExitCode() const { return exitCode_; }
    std::string Out() const { return testsupport::ReadFileText(out_); }
    std::string Err() const { return testsupport::ReadFileText(err_); }
    std::string Report() const {
        return "exit " + std::to_string(exitCode_) + "\n--- stdout\n" + Out() + "--- stderr\n" + Err() + screen_;
    }

private:
    // False once the terminal is closed.
    bool ReadTerminal(int waitMs) {
        pollfd p{master_, POLLIN, 0};
        if (::poll(&p, 1, waitMs) <= 0) return true;
        char buf[4096];
        const ssize_t n = ::read(master_, buf, sizeof buf);
        if (n > 0) screen_.append(buf, static_cast<size_t>(n));
        return n > 0;
    }

    std::vector<std::string> args_;
    std::string home_, out_, err_;  // the folder it runs in, its standard output and error
    bool onTerminal_;
    rlim_t fileSizeLimit_ = RLIM_INFINITY;
    int master_ = -1;
    pid_t pid_ = -1;
    int exitCode_ = -1;
    std::string screen_;
    size_t seen_ = 0;
};

class CliTest : public SampleServerTest {
protected:
    std::unique_ptr<RecProcess> Launch(const std::vector<std::string>& args, bool onTerminal = false) {
        auto p = std::make_unique<RecProcess>(args, home_.Path(), onTerminal);
        EXPECT_TRUE(p->Start());
        return p;
    }
    std::unique_ptr<RecProcess> Rec(const std::vector<std::string>& args) {
        auto p = Launch(args);
        EXPECT_TRUE(p->Wait()) << "larkspan-rec did not end";
        return p;
    }
    std::string Out(const std::string& name) const { return home_.File(name); }

    TempFolder home_{"cli"};
};

}  // namespace larkspan::e2e
