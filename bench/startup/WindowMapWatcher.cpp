#include "bench/startup/WindowMapWatcher.h"

#include <poll.h>
#include <xcb/xcb.h>

#include <chrono>
#include <cstdlib>
#include <cstring>

namespace larkspan::bench {

namespace {

long long SteadyNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

}  // namespace

WindowMapWatcher::~WindowMapWatcher() {
    if (connection_) xcb_disconnect(connection_);
}

bool WindowMapWatcher::Connect(std::string* error) {
    connection_ = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(connection_)) {
        *error = "cannot connect to the X display";
        return false;
    }
    const char name[] = "_NET_WM_PID";
    xcb_intern_atom_reply_t* atom =
        xcb_intern_atom_reply(connection_, xcb_intern_atom(connection_, 0, std::strlen(name), name), nullptr);
    if (!atom) {
        *error = "the X display does not answer";
        return false;
    }
    pidAtom_ = atom->atom;
    std::free(atom);
    const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    for (auto it = xcb_setup_roots_iterator(xcb_get_setup(connection_)); it.rem; xcb_screen_next(&it))
        xcb_change_window_attributes(connection_, it.data->root, XCB_CW_EVENT_MASK, &mask);
    xcb_flush(connection_);
    return true;
}

pid_t WindowMapWatcher::WindowPid(unsigned int window) {
    xcb_get_property_reply_t* reply = xcb_get_property_reply(
        connection_, xcb_get_property(connection_, 0, window, pidAtom_, XCB_ATOM_CARDINAL, 0, 1), nullptr);
    pid_t pid = -1;
    if (reply && xcb_get_property_value_length(reply) == 4)
        pid = static_cast<pid_t>(*static_cast<uint32_t*>(xcb_get_property_value(reply)));
    std::free(reply);
    return pid;
}

long long WindowMapWatcher::WaitForMap(pid_t pid, int timeoutMs) {
    const long long deadline = SteadyNs() + static_cast<long long>(timeoutMs) * 1000000;
    pollfd fd{xcb_get_file_descriptor(connection_), POLLIN, 0};
    for (;;) {
        while (xcb_generic_event_t* event = xcb_poll_for_event(connection_)) {
            const long long seen = SteadyNs();
            const bool map = (event->response_type & 0x7f) == XCB_MAP_NOTIFY;
            const xcb_window_t window = map ? reinterpret_cast<xcb_map_notify_event_t*>(event)->window : 0;
            std::free(event);
            if (map && WindowPid(window) == pid) return seen;
        }
        if (xcb_connection_has_error(connection_)) return -1;
        const long long left = deadline - SteadyNs();
        if (left <= 0) return -1;
        poll(&fd, 1, static_cast<int>(left / 1000000) + 1);
    }
}

}  // namespace larkspan::bench
