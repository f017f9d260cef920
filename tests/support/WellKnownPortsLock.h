#pragma once
// Exclusive locks on files, held across the test processes ctest runs side
// by side.
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <string>

namespace larkspan::testsupport {

class FileLock {
public:
    explicit FileLock(const std::string& path) {
        fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
        if (fd_ >= 0) ::flock(fd_, LOCK_EX);
    }
    ~FileLock() {
        if (fd_ >= 0) ::close(fd_);  // closing lets go of the lock
    }
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

private:
    int fd_ = -1;
};

// Held by tests that listen on the well-known ports 80 and 1755 of 127.0.0.1
// (the fallback between protocols goes there, and so does address
// detection), or that need nothing to listen there.
class WellKnownPortsLock : public FileLock {
public:
    WellKnownPortsLock() : FileLock("/tmp/larkspan-e2e-wellknown-ports.lock") {}
};

}  // namespace larkspan::testsupport
