#pragma once

namespace larkspan {

// A handle that one thread can poll and any other thread can make readable,
// so a wait for network bytes can also end at once on request. Built on an
// eventfd (a pipe where there is none). A signal stays pending until a
// waiting thread drains it; signals that come before anybody waits are
// therefore not lost.
//
// The handle lives as long as the object, so Signal is safe to call at any
// time from any thread while the object exists.
class WakeSignal {
public:
    WakeSignal();
    ~WakeSignal();
    WakeSignal(const WakeSignal&) = delete;
    WakeSignal& operator=(const WakeSignal&) = delete;

    // Makes Handle() readable. Never blocks.
    void Signal() const;
    // Consumes every pending signal; Handle() is then no longer readable.
    void Drain() const;
    // The handle to poll for reading; -1 when none could be made (waits then
    // fall back to short slices).
    int Handle() const { return readFd_; }

private:
    int readFd_ = -1;
    int writeFd_ = -1;  // the same as readFd_ for an eventfd
};

}  // namespace larkspan
