#pragma once
// A real stream server on 127.0.0.1 for the recorder's tests and benchmarks:
// the server side of MMSH (HTTP) and of MMS over TCP, serving ASF files
// mapped to paths, with knobs for the faults a real server shows (dropped
// connections, short packets, authentication, stalls, malformed bodies).
//
//   LoopbackServer server;
//   server.ServeFile("clip.asf", samples + "/clip.asf");          // on demand
//   StreamOptions live; live.live = true;
//   server.ServeFile("live.asf", samples + "/clip.asf", live);
//   ASSERT_TRUE(server.StartMmsh());                              // free port
//   std::string url = server.MmshUrl("clip.asf");                 // http://127.0.0.1:PORT/clip.asf
//   ... run a client ...
//   auto requests = server.HttpRequests();                        // what the client sent, raw
//
// One thread per connection; every public call is thread-safe. Stop() (and
// the destructor) close every connection, wake every waiting thread and join
// them.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tools/server/AsfMedia.h"

namespace larkspan::testserver {

enum class Pacing {
    Fast,      // as fast as the socket takes it
    Realtime,  // each data packet at its send time (relative to the first), scaled by paceSpeed
};

// An exact HTTP answer for one exchange of a path (describe or play).
struct HttpScript {
    int status = 200;
    std::string reason;                      // empty: the usual text for the status
    std::string contentType;                 // empty: the usual type of the exchange
    bool contentLength = true;               // send a Content-Length of body.size()
    std::vector<std::string> extraHeaders;   // whole lines without CR LF
    std::vector<uint8_t> body;               // sent exactly as given, then the connection closes
    bool raw = false;                        // body is the whole response, status line and headers included
    bool holdOpen = false;                   // after the body, keep the connection open until Stop()
};

struct StreamOptions {
    // -- content transforms (both protocols)
    bool live = false;                       // live header and times shifted by liveBaseMs
    uint32_t liveBaseMs = kDefaultLiveBaseMs;
    uint32_t repeat = 1;                     // times through the packets (0: without end), times continue
    bool trimPadding = false;                // send packets without their trailing padding

    // -- delivery
    Pacing pacing = Pacing::Fast;
    double paceSpeed = 1.0;                  // Realtime only: 2.0 = twice real time
    int64_t dropAfterPackets = -1;           // close the connection after this many data packets (-1: never)
    bool dropMidChunk = false;               // with dropAfterPackets: first send half of the next packet
    bool neverSend = false;                  // read the request / commands, then send nothing until Stop()
    int64_t stallAfterPackets = -1;          // after this many data packets send nothing more, connection
                                             // kept open until the client leaves or Stop() (-1: never)

    // -- MMSH
    std::string user, password;              // basic authentication when either is non-empty
    std::string realm = "Larkspan Loopback";
    std::optional<HttpScript> describeScript;  // exact describe answer
    std::optional<HttpScript> playScript;      // exact play answer

    // -- MMS
    uint32_t pingEvery = 0;                  // send a Ping after every N data packets (0: never)
    size_t headerPacketSize = 0;             // split the header into packets of at most this many bytes (0: one)
    bool noHeader = false;                   // answer ReadBlock, then end the stream without a header
    std::optional<std::vector<uint8_t>> mmsHeaderScript;  // raw bytes sent after ReportReadBlock instead of the header packets
    std::optional<std::vector<uint8_t>> mmsDataScript;    // raw bytes sent after ReportStartedPlaying instead of the data

    // -- MMS faults
    int mmsFirstHeaderFlags = -1;            // flags byte of the first of several header packets (-1: 0x04)
    // -- MMSH faults
    bool resetOnDrop = false;                // with dropAfterPackets: reset the connection instead of closing it
};

enum class Protocol { Mmsh, Mms };

// One HTTP request as received.
struct HttpRequestRecord {
    uint64_t connection = 0;                 // ConnectionRecord::id
    std::string requestLine;                 // "GET /clip.asf HTTP/1.0"
    std::vector<std::string> headerLines;    // in order, raw, without their line breaks
    std::string rawHead;                     // the bytes up to and including the empty line
    std::string method, target, version;
    std::string path;                        // mount key the target mapped to ("clip.asf")
    bool play = false;                       // a Pragma line holds xPlayStrm=1
    int status = 0;                          // status answered (0: none, e.g. neverSend)
};

// One MMS command as received.
struct MmsCommandRecord {
    uint64_t connection = 0;
    uint32_t sequence = 0;                   // the client's sequence number (offset 20)
    uint32_t mid = 0;                        // offset 36
    std::string name;                        // mms::MidName(mid)
    uint32_t messageLength = 0;              // offset 8
    std::vector<uint8_t> bytes;              // the whole message as received
    std::string text;                        // player string (Connect), transport (ConnectFunnel),
                                             // file name (OpenFile), decoded; zero units kept as '\0'
    uint32_t playIncarnation = 0;            // ReadBlock (offset 80) and StartPlaying (offset 68)
};

struct ConnectionRecord {
    uint64_t id = 0;                         // counts from 1 in accept order, both protocols
    Protocol protocol = Protocol::Mmsh;
    std::string path;                        // mount key asked for (empty until known)
    bool open = true;                        // false once the server closed it
    bool completed = false;                  // the whole stream was sent ($E / ReportEndOfStream)
    bool dropped = false;                    // closed on purpose (dropAfterPackets)
    bool peerClosed = false;                 // the client closed or reset first
    uint64_t dataPacketsSent = 0;            // $D chunks or MMS data packets (a dropped half not counted)
    uint64_t bytesSent = 0;
    uint32_t pingsSent = 0;
    uint32_t pongsReceived = 0;
};

class LoopbackServer {
public:
    LoopbackServer();
    ~LoopbackServer();
    LoopbackServer(const LoopbackServer&) = delete;
    LoopbackServer& operator=(const LoopbackServer&) = delete;

    // ---- content. A path is a mount key: with or without its leading '/'
    // ("clip.asf" and "/clip.asf" are the same); a request with a query is
    // matched whole first, then without its query. May be called while running.
    void Serve(const std::string& path, std::shared_ptr<const AsfMedia> media, StreamOptions options = {});
    bool ServeFile(const std::string& path, const std::string& asfFile, StreamOptions options = {},
                   std::string* error = nullptr);
    // A plain, unframed body (a playlist, a web page): both exchanges answer
    // with it.
    void ServeBody(const std::string& path, std::vector<uint8_t> body, std::string contentType,
                   bool withContentLength = true);
    // Only scripted answers (MMSH); an exchange without a script gets 404.
    void ServeScript(const std::string& path, std::optional<HttpScript> describe, std::optional<HttpScript> play,
                     StreamOptions options = {});
    void Remove(const std::string& path);

    // ---- listening, on 127.0.0.1 only. port 0 picks a free port.
    bool StartMmsh(uint16_t port = 0, std::string* error = nullptr);
    bool StartMms(uint16_t port = 0, std::string* error = nullptr);
    // MMS on ::1 instead of 127.0.0.1 (then give clients mms://[::1]:PORT/...).
    bool StartMmsIpv6(uint16_t port = 0, std::string* error = nullptr);
    uint16_t MmshPort() const { return mmshPort_; }
    uint16_t MmsPort() const { return mmsPort_; }
    std::string MmshUrl(const std::string& path) const;  // http://127.0.0.1:PORT/path
    std::string MmsUrl(const std::string& path) const;   // mms://127.0.0.1:PORT/path
    void Stop();

    // ---- what happened (copies, safe from any thread)
    std::vector<HttpRequestRecord> HttpRequests() const;
    std::vector<MmsCommandRecord> MmsCommands() const;
    std::vector<ConnectionRecord> Connections() const;
    size_t ActiveConnections() const;
    size_t PeakConnections() const;
    // HTTP requests read and MMS sessions that asked for a file, counted
    // when their connection has closed.
    size_t CompletedRequests() const;
    // Pings sent minus Pongs received, over every MMS connection so far.
    uint32_t MissingPongs() const;
    void ClearRecords();

    // Waits until pred() over the records holds, or the timeout passes.
    bool WaitFor(const std::function<bool()>& pred, std::chrono::milliseconds timeout) const;
    bool WaitForHttpRequests(size_t count, std::chrono::milliseconds timeout) const;
    bool WaitForIdle(std::chrono::milliseconds timeout) const;  // no connection open

    // Every record and notable event as a text line ("[12] GET /clip.asf
    // HTTP/1.0", header lines, "[12] -> 200 play, 239 packets"). Called on
    // connection threads, one line at a time, serialised.
    void SetLogger(std::function<void(const std::string&)> logger);

    struct Impl;  // shared with the per-protocol session code

private:
    std::unique_ptr<Impl> impl_;
    std::atomic<uint16_t> mmshPort_{0};
    std::atomic<uint16_t> mmsPort_{0};
};

}  // namespace larkspan::testserver
