#pragma once
#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include <curl/curl.h>

#include "protocols/WakeSignal.h"
#include "protocols/mmsh/ByteSource.h"

namespace larkspan {

struct HttpRequest {
    std::string url;                   // absolute URL, port included
    std::vector<std::string> headers;  // sent in this order, after the request line
    std::string user;                  // basic credentials, sent when the user is non-empty
    std::string password;
    bool direct = false;               // never go through a proxy
};

// One HTTP GET whose response body is pulled as a byte stream. libcurl
// pushes data through a callback; this drives a multi handle until the
// bytes asked for are buffered, pauses the transfer while the buffer is
// full, and gives up waiting as soon as the stop flag is set or the server
// has sent nothing for the idle time-out. Between network events it sleeps
// in libcurl's poll, which also watches the wake signal: the owner sets the
// stop flag, then signals it. Without a wake signal the poll is cut into
// short slices and the flag is looked at after each.
class CurlStream final : public ByteSource {
public:
    // idleTimeoutSeconds: once connected, the longest silence from the
    // server (while waiting for the response headers or for body bytes);
    // 0 waits without end. wake, when given, must outlive the stream.
    CurlStream(const std::atomic<bool>& stop, int idleTimeoutSeconds, const WakeSignal* wake = nullptr);
    ~CurlStream() override;
    CurlStream(const CurlStream&) = delete;
    CurlStream& operator=(const CurlStream&) = delete;

    // Creates the handles; false when libcurl cannot give any.
    bool Open();

    enum class SendResult {
        Ok,             // the status line and headers are in
        SetupFailed,    // the request could not be prepared
        ConnectFailed,  // no connection to the server (or proxy)
        SendFailed,     // the request could not be sent
        NoStatus,       // no readable response
        Stopped,        // the stop flag was set while waiting
        TimedOut,       // connected, but the server sent nothing for the idle time-out
    };

    // Starts (or restarts, on the same handles) the request and waits for
    // the response headers. Any earlier response is dropped.
    SendResult Send(const HttpRequest& request);

    long Status() const { return status_; }
    // "HTTP 404 Not Found": the status code and reason phrase of the
    // response's status line.
    std::string StatusText() const;
    // The response's media type without parameters ("text/html"), empty
    // when the server named none.
    std::string ContentType() const;
    // Why the last Send or body read failed, in a few words ("connection
    // refused", "name not found", "TLS handshake failed (...)"); empty when
    // nothing failed or the reason is not known.
    std::string FailureCause() const override { return cause_; }
    // Content-Length of the response, 0 when the server sent none.
    uint64_t ContentLength() const;

    // Ends the transfer and frees the handles, in the reverse order of
    // their creation. Safe to call more than once.
    void Close();

    // How many times the stream has come back from waiting in libcurl's
    // poll: with a wake signal, a silent server costs none between the
    // connection's own events and the idle time-out.
    uint64_t PollReturns() const { return pollReturns_; }

protected:
    ReadStatus ReadSome(uint8_t* dst, size_t max, size_t& got) override;

private:
    static size_t OnWrite(char* data, size_t size, size_t count, void* self);
    static size_t OnHeader(char* data, size_t size, size_t count, void* self);
    static int OnConnected(void* self, char* primaryIp, char* localIp, int primaryPort, int localPort);
    // Works out cause_ from the finished transfer's result.
    void NoteFailure();
    bool IdleTooLong() const;
    // How long the next wait may last: until the idle time-out would run
    // out, or a short slice when there is no wake signal to end it early.
    int WaitLimitMs() const;
    void Detach();
    // One round of transfer work, then a wait for network activity (or the
    // wake signal) unless what the caller waits for (the headers, or body
    // bytes) is in.
    void Pump(bool untilHeaders);
    size_t Buffered() const { return buffer_.size() - head_; }

    const std::atomic<bool>& stop_;
    const std::chrono::seconds idleTimeout_;
    const WakeSignal* const wake_;
    uint64_t pollReturns_ = 0;
    CURLM* multi_ = nullptr;
    CURL* easy_ = nullptr;
    curl_slist* headers_ = nullptr;
    bool attached_ = false;

    // Bytes received and not yet handed out: buffer_[head_, size()).
    std::vector<uint8_t> buffer_;
    size_t head_ = 0;
    bool paused_ = false;

    bool done_ = false;
    int result_ = 0;  // CURLcode of a finished transfer
    bool headersDone_ = false;
    bool sawLocation_ = false;
    long status_ = 0;
    std::string reason_;  // reason phrase of the last status line
    std::string cause_;
    char errorText_[CURL_ERROR_SIZE] = {};

    // The idle clock runs from the moment the connection stands, and starts
    // again with every byte the server sends.
    bool connected_ = false;
    std::chrono::steady_clock::time_point lastActivity_;
};

}  // namespace larkspan
