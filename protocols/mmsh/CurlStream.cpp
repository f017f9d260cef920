#include "protocols/mmsh/CurlStream.h"

#include <cerrno>
#include <cstring>
#include <mutex>
#include <new>

#include "protocols/StreamErrors.h"

namespace larkspan {

namespace {

// The transfer is paused while this much is waiting to be read, so memory
// stays small however fast the server sends.
constexpr size_t kBufferBound = 64 * 1024;
// Longest wait for network activity before the stop flag is looked at again,
// when no wake signal can end the wait.
constexpr int kPollMs = 50;
// Longest wait with a wake signal and no idle time-out. libcurl shortens it
// on its own for its timers (the connect time-out, say).
constexpr int kLongWaitMs = 60 * 60 * 1000;

void GlobalInit() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

bool StartsWithNoCase(const char* data, size_t size, const char* prefix) {
    size_t n = std::strlen(prefix);
    if (size < n) return false;
    for (size_t i = 0; i < n; ++i) {
        char a = data[i], b = prefix[i];
        if (a >= 'A' && a <= 'Z') a = char(a - 'A' + 'a');
        if (b >= 'A' && b <= 'Z') b = char(b - 'A' + 'a');
        if (a != b) return false;
    }
    return true;
}

bool IsRedirect(long status) {
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

bool IsTlsFailure(CURLcode code) {
    switch (code) {
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_SSL_ENGINE_NOTFOUND:
    case CURLE_SSL_ENGINE_SETFAILED:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CIPHER:
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_ENGINE_INITFAILED:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_SHUTDOWN_FAILED:
    case CURLE_SSL_CRL_BADFILE:
    case CURLE_SSL_ISSUER_ERROR:
    case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
    case CURLE_SSL_INVALIDCERTSTATUS:
    case CURLE_SSL_CLIENTCERT:
    case CURLE_USE_SSL_FAILED:
        return true;
    default:
        return false;
    }
}

std::string TrimLineEnd(const char* data, size_t size) {
    while (size > 0 && (data[size - 1] == '\r' || data[size - 1] == '\n' || data[size - 1] == ' ')) --size;
    return std::string(data, size);
}

}  // namespace

CurlStream::CurlStream(const std::atomic<bool>& stop, int idleTimeoutSeconds, const WakeSignal* wake)
    : stop_(stop), idleTimeout_(idleTimeoutSeconds > 0 ? idleTimeoutSeconds : 0), wake_(wake) {}

CurlStream::~CurlStream() { Close(); }

bool CurlStream::Open() {
    Close();
    GlobalInit();
    multi_ = curl_multi_init();
    if (!multi_) return false;
    easy_ = curl_easy_init();
    if (!easy_) {
        Close();
        return false;
    }
    buffer_.reserve(kBufferBound + 2 * CURL_MAX_WRITE_SIZE);
    return true;
}

void CurlStream::Detach() {
    if (attached_) {
        curl_multi_remove_handle(multi_, easy_);
        attached_ = false;
    }
}

void CurlStream::Close() {
    Detach();
    if (easy_) {
        curl_easy_cleanup(easy_);
        easy_ = nullptr;
    }
    if (headers_) {
        curl_slist_free_all(headers_);
        headers_ = nullptr;
    }
    if (multi_) {
        curl_multi_cleanup(multi_);
        multi_ = nullptr;
    }
    buffer_.clear();
    buffer_.shrink_to_fit();
    head_ = 0;
}

CurlStream::SendResult CurlStream::Send(const HttpRequest& request) {
    if (!easy_ || !multi_) return SendResult::SetupFailed;
    Detach();
    buffer_.clear();
    head_ = 0;
    paused_ = false;
    done_ = false;
    result_ = CURLE_OK;
    headersDone_ = false;
    sawLocation_ = false;
    status_ = 0;
    reason_.clear();
    cause_.clear();
    errorText_[0] = '\0';
    connected_ = false;
    lastActivity_ = std::chrono::steady_clock::now();

    if (headers_) {
        curl_slist_free_all(headers_);
        headers_ = nullptr;
    }
    // libcurl puts its Host line (ours too, when given plainly) right after
    // the request line. An empty Host entry first switches that off, and our
    // own Host line then goes out in its place in the list.
    headers_ = curl_slist_append(nullptr, "Host:");
    if (!headers_) return SendResult::SetupFailed;
    for (const std::string& line : request.headers) {
        curl_slist* grown = curl_slist_append(headers_, line.c_str());
        if (!grown) return SendResult::SetupFailed;
        headers_ = grown;
    }
    // libcurl adds Accept (and, through a proxy, Proxy-Connection) lines of
    // its own; empty entries remove them so that only our lines are sent.
    for (const char* removed : {"Accept:", "Proxy-Connection:"}) {
        curl_slist* grown = curl_slist_append(headers_, removed);
        if (!grown) return SendResult::SetupFailed;
        headers_ = grown;
    }

    const bool withCredentials = !request.user.empty();
    bool ok = true;
    auto set = [&ok](CURLcode c) { ok = ok && c == CURLE_OK; };
    set(curl_easy_setopt(easy_, CURLOPT_URL, request.url.c_str()));
    set(curl_easy_setopt(easy_, CURLOPT_HTTPGET, 1L));
    set(curl_easy_setopt(easy_, CURLOPT_HTTPHEADER, headers_));
    set(curl_easy_setopt(easy_, CURLOPT_HTTP_VERSION, long(CURL_HTTP_VERSION_1_0)));
    set(curl_easy_setopt(easy_, CURLOPT_CONNECTTIMEOUT_MS, long(kConnectTimeoutMs)));
    set(curl_easy_setopt(easy_, CURLOPT_NOSIGNAL, 1L));
    set(curl_easy_setopt(easy_, CURLOPT_PROTOCOLS_STR, "http,https"));
    set(curl_easy_setopt(easy_, CURLOPT_FOLLOWLOCATION, 1L));
    set(curl_easy_setopt(easy_, CURLOPT_MAXREDIRS, 5L));
    set(curl_easy_setopt(easy_, CURLOPT_REDIR_PROTOCOLS_STR, "http,https"));
    set(curl_easy_setopt(easy_, CURLOPT_WRITEFUNCTION, &CurlStream::OnWrite));
    set(curl_easy_setopt(easy_, CURLOPT_WRITEDATA, this));
    set(curl_easy_setopt(easy_, CURLOPT_HEADERFUNCTION, &CurlStream::OnHeader));
    set(curl_easy_setopt(easy_, CURLOPT_HEADERDATA, this));
    set(curl_easy_setopt(easy_, CURLOPT_PREREQFUNCTION, &CurlStream::OnConnected));
    set(curl_easy_setopt(easy_, CURLOPT_PREREQDATA, this));
    set(curl_easy_setopt(easy_, CURLOPT_ERRORBUFFER, errorText_));
    // An empty proxy name switches off the environment's proxy for this
    // transfer; otherwise libcurl follows the system's proxy variables.
    set(curl_easy_setopt(easy_, CURLOPT_PROXY, request.direct ? "" : nullptr));
    if (withCredentials) {
        set(curl_easy_setopt(easy_, CURLOPT_HTTPAUTH, long(CURLAUTH_BASIC)));
        set(curl_easy_setopt(easy_, CURLOPT_USERNAME, request.user.c_str()));
        set(curl_easy_setopt(easy_, CURLOPT_PASSWORD, request.password.c_str()));
    } else {
        set(curl_easy_setopt(easy_, CURLOPT_USERNAME, nullptr));
        set(curl_easy_setopt(easy_, CURLOPT_PASSWORD, nullptr));
    }
    if (!ok) return SendResult::SetupFailed;
    if (curl_multi_add_handle(multi_, easy_) != CURLM_OK) return SendResult::SetupFailed;
    attached_ = true;

    for (;;) {
        if (headersDone_) return SendResult::Ok;
        if (done_) {
            if (result_ == CURLE_OK) {
                long code = 0;
                curl_easy_getinfo(easy_, CURLINFO_RESPONSE_CODE, &code);
                if (code > 0) {
                    status_ = code;
                    return SendResult::Ok;
                }
                return SendResult::NoStatus;
            }
            NoteFailure();
            const CURLcode code = static_cast<CURLcode>(result_);
            if (IsTlsFailure(code)) return SendResult::ConnectFailed;
            switch (code) {
            case CURLE_COULDNT_RESOLVE_HOST:
            case CURLE_COULDNT_RESOLVE_PROXY:
            case CURLE_COULDNT_CONNECT:
            case CURLE_OPERATION_TIMEDOUT:  // only the connect time-out is set
            case CURLE_URL_MALFORMAT:
                return SendResult::ConnectFailed;
            case CURLE_SEND_ERROR:
                return SendResult::SendFailed;
            default:
                return SendResult::NoStatus;
            }
        }
        if (stop_.load(std::memory_order_relaxed)) return SendResult::Stopped;
        if (IdleTooLong()) {
            Detach();
            return SendResult::TimedOut;
        }
        Pump(true);
    }
}

std::string CurlStream::StatusText() const {
    std::string text = "HTTP " + std::to_string(status_);
    if (!reason_.empty()) text += " " + reason_;
    return text;
}

std::string CurlStream::ContentType() const {
    if (!easy_) return {};
    char* type = nullptr;
    if (curl_easy_getinfo(easy_, CURLINFO_CONTENT_TYPE, &type) != CURLE_OK || !type) return {};
    std::string text(type);
    const size_t end = text.find(';');
    if (end != std::string::npos) text.resize(end);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.pop_back();
    return text;
}

void CurlStream::NoteFailure() {
    const CURLcode code = static_cast<CURLcode>(result_);
    long osError = 0;
    curl_easy_getinfo(easy_, CURLINFO_OS_ERRNO, &osError);
    const std::string detail = errorText_[0] ? std::string(errorText_) : std::string(curl_easy_strerror(code));
    if (IsTlsFailure(code)) {
        cause_ = "TLS handshake failed (" + detail + ")";
        return;
    }
    switch (code) {
    case CURLE_COULDNT_RESOLVE_HOST:
        cause_ = "name not found";
        break;
    case CURLE_COULDNT_RESOLVE_PROXY:
        cause_ = "proxy name not found";
        break;
    case CURLE_COULDNT_CONNECT:
        if (osError == ECONNREFUSED) cause_ = "connection refused";
        else if (osError == ENETUNREACH || osError == EHOSTUNREACH) cause_ = "no route to the server";
        else cause_ = detail;
        break;
    case CURLE_OPERATION_TIMEDOUT:
        cause_ = "timed out";
        break;
    case CURLE_URL_MALFORMAT:
        cause_ = "bad address";
        break;
    case CURLE_WEIRD_SERVER_REPLY:
    case CURLE_UNSUPPORTED_PROTOCOL:  // an HTTP/0.9 answer: no status line at all
        cause_ = "not an HTTP response";
        break;
    case CURLE_GOT_NOTHING:
        cause_ = "the server closed the connection without an answer";
        break;
    case CURLE_PARTIAL_FILE:
        cause_ = "the server closed the connection before the announced length";
        break;
    case CURLE_SEND_ERROR:
    case CURLE_RECV_ERROR:
        if (osError == ECONNRESET || osError == EPIPE || std::strstr(errorText_, "reset by peer") != nullptr)
            cause_ = "connection reset";
        else
            cause_ = detail;
        break;
    default:
        cause_ = detail;
        break;
    }
}

bool CurlStream::IdleTooLong() const {
    if (idleTimeout_.count() == 0 || !connected_) return false;
    return std::chrono::steady_clock::now() - lastActivity_ >= idleTimeout_;
}

int CurlStream::WaitLimitMs() const {
    if (!wake_ || wake_->Handle() < 0) return kPollMs;
    if (idleTimeout_.count() == 0 || !connected_) return kLongWaitMs;
    const auto left = idleTimeout_ - (std::chrono::steady_clock::now() - lastActivity_);
    // Rounded up, so the wait does not end a little before the time-out and
    // come back for the rest.
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(left).count();
    if (ms <= 0) return 0;
    return ms < kLongWaitMs ? static_cast<int>(ms) : kLongWaitMs;
}

int CurlStream::OnConnected(void* self, char*, char*, int, int) {
    auto* s = static_cast<CurlStream*>(self);
    s->connected_ = true;
    s->lastActivity_ = std::chrono::steady_clock::now();
    return CURL_PREREQFUNC_OK;
}

uint64_t CurlStream::ContentLength() const {
    if (!easy_) return 0;
    curl_off_t length = -1;
    if (curl_easy_getinfo(easy_, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length) != CURLE_OK || length < 0) return 0;
    return static_cast<uint64_t>(length);
}

void CurlStream::Pump(bool untilHeaders) {
    int running = 0;
    if (curl_multi_perform(multi_, &running) != CURLM_OK) {
        done_ = true;
        result_ = CURLE_RECV_ERROR;
        return;
    }
    int left = 0;
    while (CURLMsg* msg = curl_multi_info_read(multi_, &left)) {
        if (msg->msg == CURLMSG_DONE && msg->easy_handle == easy_) {
            done_ = true;
            result_ = msg->data.result;
        }
    }
    if (done_ || (untilHeaders ? headersDone_ : Buffered() > 0)) return;
    curl_waitfd wake{};
    wake.fd = wake_ ? wake_->Handle() : -1;
    wake.events = CURL_WAIT_POLLIN;
    const bool withWake = wake.fd >= 0;
    curl_multi_poll(multi_, withWake ? &wake : nullptr, withWake ? 1 : 0, WaitLimitMs(), nullptr);
    ++pollReturns_;
    // The caller looks at the stop flag next; a signal left from before the
    // stream began (a Stop then taken back) is dropped here.
    if (withWake && (wake.revents & CURL_WAIT_POLLIN) != 0) wake_->Drain();
}

ReadStatus CurlStream::ReadSome(uint8_t* dst, size_t max, size_t& got) {
    got = 0;
    if (!easy_ || !attached_) return ReadStatus::Failed;
    for (;;) {
        size_t available = Buffered();
        if (available > 0) {
            size_t n = available < max ? available : max;
            std::memcpy(dst, buffer_.data() + head_, n);
            head_ += n;
            got = n;
            if (head_ == buffer_.size()) {
                buffer_.clear();
                head_ = 0;
            }
            if (paused_ && Buffered() < kBufferBound / 2) {
                // Resuming may deliver the held-back data at once, through
                // OnWrite, which can pause again.
                paused_ = false;
                lastActivity_ = std::chrono::steady_clock::now();  // the silence was ours
                curl_easy_pause(easy_, CURLPAUSE_CONT);
            }
            return ReadStatus::Ok;
        }
        if (done_) {
            if (result_ == CURLE_OK) return ReadStatus::End;
            if (cause_.empty()) NoteFailure();
            return ReadStatus::Failed;
        }
        if (stop_.load(std::memory_order_relaxed)) return ReadStatus::Stopped;
        if (IdleTooLong()) return ReadStatus::TimedOut;
        Pump(false);
    }
}

size_t CurlStream::OnWrite(char* data, size_t size, size_t count, void* self) {
    auto* s = static_cast<CurlStream*>(self);
    size_t n = size * count;
    s->lastActivity_ = std::chrono::steady_clock::now();
    if (s->Buffered() >= kBufferBound) {
        s->paused_ = true;
        return CURL_WRITEFUNC_PAUSE;
    }
    try {
        if (s->head_ > 0 && s->buffer_.size() + n > s->buffer_.capacity()) {
            // Move the unread rest to the front rather than let the buffer
            // grow: it then stays within the bound plus one delivery.
            s->buffer_.erase(s->buffer_.begin(), s->buffer_.begin() + static_cast<std::ptrdiff_t>(s->head_));
            s->head_ = 0;
        }
        s->buffer_.insert(s->buffer_.end(), reinterpret_cast<uint8_t*>(data), reinterpret_cast<uint8_t*>(data) + n);
    } catch (const std::bad_alloc&) {
        return 0;  // makes the transfer fail instead of throwing through C
    }
    return n;
}

size_t CurlStream::OnHeader(char* data, size_t size, size_t count, void* self) {
    auto* s = static_cast<CurlStream*>(self);
    size_t n = size * count;
    s->lastActivity_ = std::chrono::steady_clock::now();
    if (StartsWithNoCase(data, n, "HTTP/")) {
        // A new response (after a redirect, say): read its status code and
        // reason phrase.
        s->sawLocation_ = false;
        size_t i = 5;
        while (i < n && data[i] != ' ') ++i;
        while (i < n && data[i] == ' ') ++i;
        long code = 0;
        int digits = 0;
        while (i < n && digits < 3 && data[i] >= '0' && data[i] <= '9') {
            code = code * 10 + (data[i] - '0');
            ++i;
            ++digits;
        }
        s->status_ = digits == 3 ? code : 0;
        while (i < n && data[i] == ' ') ++i;
        s->reason_ = TrimLineEnd(data + i, n - i);
    } else if (StartsWithNoCase(data, n, "Location:")) {
        s->sawLocation_ = true;
    } else if ((n == 2 && data[0] == '\r' && data[1] == '\n') || (n == 1 && data[0] == '\n')) {
        // End of one response's headers. Interim and followed redirect
        // responses are not the answer we wait for.
        bool interim = s->status_ >= 100 && s->status_ < 200;
        bool followed = IsRedirect(s->status_) && s->sawLocation_;
        if (s->status_ > 0 && !interim && !followed) s->headersDone_ = true;
    }
    return n;
}

}  // namespace larkspan
