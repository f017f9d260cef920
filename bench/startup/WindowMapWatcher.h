#pragma once
// Watches an X display for the first top-level window a given process maps:
// listens for MapNotify on every root window (substructure events) and reads
// the window's _NET_WM_PID, which Qt sets before it maps a window. Meant for
// a virtual display without a window manager (xvfb-run), where top-level
// windows are children of the root.
#include <sys/types.h>

#include <string>

struct xcb_connection_t;

namespace larkspan::bench {

class WindowMapWatcher {
public:
    WindowMapWatcher() = default;
    ~WindowMapWatcher();
    WindowMapWatcher(const WindowMapWatcher&) = delete;
    WindowMapWatcher& operator=(const WindowMapWatcher&) = delete;

    // Connects to $DISPLAY and starts listening; call before the process starts.
    bool Connect(std::string* error);
    // Steady-clock nanoseconds at which the map of pid's first window was
    // seen, or -1 when none came within timeoutMs. Maps of other processes
    // are passed over.
    long long WaitForMap(pid_t pid, int timeoutMs);

private:
    pid_t WindowPid(unsigned int window);

    xcb_connection_t* connection_ = nullptr;
    unsigned int pidAtom_ = 0;
};

}  // namespace larkspan::bench
