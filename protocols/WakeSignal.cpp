#include "protocols/WakeSignal.h"

#include <cerrno>
#include <cstdint>
#include <fcntl.h>
#include <unistd.h>

#if defined(__linux__)
#include <sys/eventfd.h>
#endif

namespace larkspan {

namespace {

bool SetFlags(int fd) {
    const int status = fcntl(fd, F_GETFL, 0);
    const int descriptor = fcntl(fd, F_GETFD, 0);
    return status >= 0 && descriptor >= 0 && fcntl(fd, F_SETFL, status | O_NONBLOCK) == 0 &&
           fcntl(fd, F_SETFD, descriptor | FD_CLOEXEC) == 0;
}

}  // namespace

WakeSignal::WakeSignal() {
#if defined(__linux__)
    readFd_ = writeFd_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (readFd_ >= 0) return;
#endif
    int ends[2];
    if (pipe(ends) != 0) return;
    if (!SetFlags(ends[0]) || !SetFlags(ends[1])) {
        ::close(ends[0]);
        ::close(ends[1]);
        return;
    }
    readFd_ = ends[0];
    writeFd_ = ends[1];
}

WakeSignal::~WakeSignal() {
    if (writeFd_ >= 0 && writeFd_ != readFd_) ::close(writeFd_);
    if (readFd_ >= 0) ::close(readFd_);
}

void WakeSignal::Signal() const {
    if (writeFd_ < 0) return;
    // Eight bytes suit both: an eventfd adds them up as one counter, a pipe
    // just holds them. A full pipe or counter is already readable.
    const uint64_t one = 1;
    ssize_t rc;
    do {
        rc = ::write(writeFd_, &one, sizeof(one));
    } while (rc < 0 && errno == EINTR);
}

void WakeSignal::Drain() const {
    if (readFd_ < 0) return;
    uint64_t sink[8];
    for (;;) {
        const ssize_t rc = ::read(readFd_, sink, readFd_ == writeFd_ ? sizeof(uint64_t) : sizeof(sink));
        if (rc < 0 && errno == EINTR) continue;
        if (rc <= 0 || readFd_ == writeFd_) return;  // an eventfd empties in one read
    }
}

}  // namespace larkspan
