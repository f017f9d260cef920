#include "cli/Terminal.h"

#include <cstdio>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

namespace larkspan::cli {

bool StderrIsTerminal() { return ::isatty(STDERR_FILENO) == 1; }

bool HaveInteractiveTerminal() {
    if (::isatty(STDIN_FILENO) != 1) return false;
    int fd = ::open("/dev/tty", O_RDWR | O_NOCTTY);
    if (fd < 0) return false;
    ::close(fd);
    return true;
}

bool ReadTerminalLine(const std::string& prompt, bool secret, std::string& line) {
    if (!HaveInteractiveTerminal()) return false;
    int fd = ::open("/dev/tty", O_RDWR | O_NOCTTY);
    if (fd < 0) return false;
    (void)!::write(fd, prompt.data(), prompt.size());
    termios saved{};
    bool restore = false;
    if (secret && ::tcgetattr(fd, &saved) == 0) {
        termios quiet = saved;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        restore = ::tcsetattr(fd, TCSAFLUSH, &quiet) == 0;
    }
    line.clear();
    bool ok = false;
    char c;
    while (true) {
        ssize_t n = ::read(fd, &c, 1);
        if (n <= 0) break;
        if (c == '\n' || c == '\r') {
            ok = true;
            break;
        }
        if (line.size() < 4096) line.push_back(c);
    }
    if (restore) {
        ::tcsetattr(fd, TCSAFLUSH, &saved);
        (void)!::write(fd, "\n", 1);
    }
    ::close(fd);
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
