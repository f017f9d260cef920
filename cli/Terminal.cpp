#include "cli/Terminal.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <fcntl.h>

namespace larkspan::cli {

bool StderrIsTerminal() { return ::isatty(STDERR_FILENO) == 1; }

bool HaveInteractiveTerminal() {
    if (::isatty(STDIN_FILENO) != 1) return false;
    int fd = ::open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return false;
    ::close(fd);
    return true;
}

namespace {
// Read by the signal handler: set once, before any handler is installed.
WakeEvent* g_interrupt = nullptr;

bool IsRaised(int fd) {
    if (fd < 0) return false;
    pollfd p{fd, POLLIN, 0};
    return ::poll(&p, 1, 0) > 0 && (p.revents & POLLIN) != 0;
}
}  // namespace

WakeEvent::WakeEvent() : fd_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

WakeEvent::~WakeEvent() {
    if (fd_ >= 0) ::close(fd_);
}

void WakeEvent::Raise() {
    const uint64_t one = 1;
    if (fd_ >= 0) (void)!::write(fd_, &one, sizeof one);
}

bool WakeEvent::Raised() const { return IsRaised(fd_); }

void PrepareTerminalInterrupt() {
    if (!g_interrupt) g_interrupt = new WakeEvent();
}

void RaiseTerminalInterrupt() {
    if (g_interrupt) g_interrupt->Raise();
}

bool ReadTerminalLine(const std::string& prompt, bool secret, std::string& line, const WakeEvent* cancel) {
    line.clear();
    const int interruptFd = g_interrupt ? g_interrupt->Fd() : -1;
    const int cancelFd = cancel ? cancel->Fd() : -1;
    if (IsRaised(interruptFd) || IsRaised(cancelFd)) return false;
    if (!HaveInteractiveTerminal()) return false;
    int fd = ::open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return false;
    // Echo goes off before the prompt shows, so that nothing typed after
    // the prompt is echoed, or dropped by the switch.
    termios saved{};
    bool restore = false;
    if (secret && ::tcgetattr(fd, &saved) == 0) {
        termios quiet = saved;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        restore = ::tcsetattr(fd, TCSAFLUSH, &quiet) == 0;
    }
    (void)!::write(fd, prompt.data(), prompt.size());
    bool ok = false;
    bool woken = false;
    while (true) {
        // Negative descriptors are left out by poll.
        pollfd wait[3] = {{fd, POLLIN, 0}, {interruptFd, POLLIN, 0}, {cancelFd, POLLIN, 0}};
        if (::poll(wait, 3, -1) < 0) {
            if (errno == EINTR) continue;
            break;
        }
        if ((wait[1].revents | wait[2].revents) & POLLIN) {
            woken = true;
            break;
        }
        if (wait[0].revents == 0) continue;
        char c;
        const ssize_t n = ::read(fd, &c, 1);
        if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
        if (n <= 0) break;
        if (c == '\n' || c == '\r') {
            ok = true;
            break;
        }
        if (line.size() < 4096) line.push_back(c);
    }
    if (restore) ::tcsetattr(fd, TCSANOW, &saved);
    // The answer's own line break was not echoed, or never came.
    if (restore || woken) (void)!::write(fd, "\n", 1);
    ::close(fd);
    if (!ok) line.clear();
    return ok;
}

std::string FormatBytes(uint64_t bytes) {
    char buf[32];
    if (bytes < 1024) {
        std::snprintf(buf, sizeof buf, "%llu B", static_cast<unsigned long long>(bytes));
    } else if (bytes < 1024ull * 1024) {
        std::snprintf(buf, sizeof buf, "%.1f KiB", bytes / 1024.0);
    } else if (bytes < 1024ull * 1024 * 1024) {
        std::snprintf(buf, sizeof buf, "%.1f MiB", bytes / (1024.0 * 1024));
    } else {
        std::snprintf(buf, sizeof buf, "%.2f GiB", bytes / (1024.0 * 1024 * 1024));
    }
    return buf;
}

std::string FormatStreamTime(uint64_t ms) {
    uint64_t s = ms / 1000;
    char buf[32];
    if (s >= 3600)
        std::snprintf(buf, sizeof buf, "%llu:%02llu:%02llu", static_cast<unsigned long long>(s / 3600),
                      static_cast<unsigned long long>(s / 60 % 60), static_cast<unsigned long long>(s % 60));
    else
        std::snprintf(buf, sizeof buf, "%llu:%02llu", static_cast<unsigned long long>(s / 60),
                      static_cast<unsigned long long>(s % 60));
    return buf;
}

std::string FormatRate(double bytesPerSecond) {
    char buf[32];
    if (bytesPerSecond < 1024 * 1024)
        std::snprintf(buf, sizeof buf, "%.1f KiB/s", bytesPerSecond / 1024.0);
    else
        std::snprintf(buf, sizeof buf, "%.1f MiB/s", bytesPerSecond / (1024.0 * 1024));
    return buf;
}

}  // namespace larkspan::cli
