#pragma once
// Tests that listen on the well-known ports 80 and 1755 of 127.0.0.1 (the
// fallback between protocols goes there, and so does address detection),
// or that need nothing to listen there, hold this lock, across test
// processes run side by side.
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace larkspan::testsupport {

class WellKnownPortsLock {
public:
    WellKnownPortsLock() {
        fd_ = ::open("/tmp/larkspan-e2e-wellknown-ports.lock", O_RDWR | O_CREAT | O_CLOEXEC, 0666);
        if (fd_ >= 0) ::flock(fd_, LOCK_EX);
    }
    ~WellKnownPortsLock() {
        if (fd_ >= 0) {
            ::flock(fd_, LOCK_UN);
            ::close(fd_);
        }
    }
    WellKnownPortsLock(const WellKnownPortsLock&) = delete;
    WellKnownPortsLock& operator=(const WellKnownPortsLock&) = delete;

private:
    int fd_ = -1;
};

}  // namespace larkspan::testsupport
