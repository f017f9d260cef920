#pragma once
#include <cstdint>
#include <string>
#include <string_view>

namespace larkspan {

// Failure texts shared by both stream clients. A client reports its fixed
// short text ("connect error", "connect failed !!", "Not Found", ...) and,
// where it knows one, the cause after it: "Not Found: HTTP 404 Not Found",
// "connect failed !!: connection refused".
inline std::string WithCause(std::string_view text, std::string_view cause) {
    std::string out(text);
    if (!cause.empty()) {
        out += ": ";
        out += cause;
    }
    return out;
}

// No byte arrived from the server for the idle time-out.
inline std::string IdleTimeoutText(int seconds) {
    return "timed out: the server sent nothing for " + std::to_string(seconds) + " s";
}

// The server closed the connection before its end-of-stream signal.
inline std::string ClosedEarlyText(uint64_t packets) {
    return "connection closed by the server after " + std::to_string(packets) +
           (packets == 1 ? " packet" : " packets");
}

// Both clients share one connect time-out.
inline constexpr int kConnectTimeoutMs = 5000;

}  // namespace larkspan
