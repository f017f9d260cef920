#pragma once
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include <curl/curl.h>

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
// pushes data through a callback; this drives a multi handle in short waits
// until the bytes asked for are buffered, pauses the transfer while the
// buffer is full, and gives up waiting as soon as the stop flag is set.
class CurlStream final : public ByteSource {
public:
    explicit CurlStream(const std::atomic<bool>& stop);
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
    };

    // Starts (or restarts, on the same handles) the request and waits for
    // the response headers. Any earlier response is dropped.
    SendResult Send(const HttpRequest& request);

    long Status() const { return status_; }
    // Content-Length of the response, 0 when the server sent none.
    uint64_t ContentLength() const;

    // Ends the transfer and frees the handles, in the reverse order of
    // their creation. Safe to call more than once.
    void Close();

protected:
    ReadStatus ReadSome(uint8_t* dst, size_t max, size_t& got) override;

private:
    static size_t OnWrite(char* data, size_t size, size_t count, void* self);
    static size_t OnHeader(char* data, size_t size, size_t count, void* self);
    void Detach();
    // One round of transfer work, then a short wait for network activity
    // unless what the caller waits for (the headers, or body bytes) is in.
    void Pump(bool untilHeaders);
    size_t Buffered() const { return buffer_.size() - head_; }

    const std::atomic<bool>& stop_;
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
};

}  // namespace larkspan
