// larkspan-testserver: the loopback stream server as a program, for scripts,
// benchmarks and trying a client by hand.
#include <signal.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <vector>

#include "tools/server/LoopbackServer.h"

using namespace larkspan::testserver;

namespace {

const char* kUsage =
    "usage: larkspan-testserver [options] PATH=FILE ...\n"
    "\n"
    "Serves ASF files on 127.0.0.1 over MMSH (HTTP) and, with --mms-port, MMS over\n"
    "TCP. PATH is the URL path (clip.asf serves http://127.0.0.1:PORT/clip.asf and\n"
    "mms://127.0.0.1:PORT/clip.asf). The first line on stdout gives the ports.\n"
    "Options apply to every path.\n"
    "\n"
    "  --port N, --mmsh-port N  MMSH port (default 0: a free port)\n"
    "  --no-mmsh                do not serve MMSH\n"
    "  --mms-port N             also serve MMS over TCP (0: a free port)\n"
    "  --live                   serve as a live broadcast (live header, times + base)\n"
    "  --live-base MS           base added to every time when live (default 5000000)\n"
    "  --live-path PATH=FILE    serve this path live, whatever --live says\n"
    "  --repeat N               times through the packets, times continuing (0: no end)\n"
    "  --trim-padding           send data packets without their trailing padding\n"
    "  --pace realtime|fast     send packets at their send times or at once (default fast)\n"
    "  --speed X                realtime pacing X times faster (default 1)\n"
    "  --user U --password P    basic authentication (MMSH)\n"
    "  --drop-after N           close the connection after N data packets\n"
    "  --drop-mid-chunk         with --drop-after: send half of the next packet first\n"
    "  --stall-after N          after N data packets send nothing more, connection kept open\n"
    "  --never-send             read requests/commands, then send nothing\n"
    "  --ping-every N           MMS: a Ping after every N data packets\n"
    "  --header-packet-size N   MMS: split the header into packets of N bytes\n"
    "  --no-header              MMS: end the stream instead of sending the header\n"
    "  --body PATH=FILE         serve FILE as a plain, unframed body\n"
    "  --content-type T         content type of --body (default video/x-ms-asf)\n"
    "  --no-content-length      send --body without Content-Length\n"
    "  --print-port             print only the port number(s) on the first line\n"
    "  --exit-after-requests N  exit once N requests/sessions have been served\n"
    "  --time-limit S           exit after S seconds\n"
    "  -v, --verbose            log every request, header line and command to stderr\n"
    "  -h, --help               this text\n";

[[noreturn]] void Usage(const std::string& error) {
    std::fprintf(stderr, "larkspan-testserver: %s\n\n%s", error.c_str(), kUsage);
    std::exit(2);
}

bool SplitMapping(const std::string& arg, std::string& path, std::string& file) {
    size_t eq = arg.find('=');
    if (eq == std::string::npos || eq == 0 || eq + 1 == arg.size()) return false;
    path = arg.substr(0, eq);
    file = arg.substr(eq + 1);
    return true;
}

long Number(const std::string& option, const char* text) {
    char* end = nullptr;
    long v = std::strtol(text, &end, 10);
    if (!end || *end || v < 0) Usage("bad number for " + option + ": " + text);
    return v;
}

}  // namespace

int main(int argc, char** argv) {
    StreamOptions options;
    long mmshPort = 0, mmsPort = -1;
    bool mmsh = true, printPort = false, verbose = false;
    long exitAfter = 0, timeLimit = 0;
    std::string contentType = "video/x-ms-asf";
    bool bodyLength = true;
    struct Mapping {
        std::string path, file;
        bool live, body;
    };
    std::vector<Mapping> mappings;

    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        auto value = [&]() -> const char* {
            if (i + 1 >= argc) Usage("missing value for " + a);
            return argv[++i];
        };
        if (a == "-h" || a == "--help") {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (a == "--port" || a == "--mmsh-port") {
            mmshPort = Number(a, value());
        } else if (a == "--no-mmsh") {
            mmsh = false;
        } else if (a == "--mms-port") {
            mmsPort = Number(a, value());
        } else if (a == "--live") {
            options.live = true;
        } else if (a == "--live-base") {
            options.liveBaseMs = uint32_t(Number(a, value()));
        } else if (a == "--repeat") {
            options.repeat = uint32_t(Number(a, value()));
        } else if (a == "--trim-padding") {
            options.trimPadding = true;
        } else if (a == "--pace") {
            std::string p = value();
            if (p == "realtime") options.pacing = Pacing::Realtime;
            else if (p == "fast") options.pacing = Pacing::Fast;
            else Usage("--pace takes realtime or fast");
        } else if (a == "--speed") {
            options.paceSpeed = std::atof(value());
            if (options.paceSpeed <= 0) Usage("--speed must be positive");
        } else if (a == "--user") {
            options.user = value();
        } else if (a == "--password") {
            options.password = value();
        } else if (a == "--drop-after") {
            options.dropAfterPackets = Number(a, value());
        } else if (a == "--drop-mid-chunk") {
            options.dropMidChunk = true;
        } else if (a == "--stall-after") {
            options.stallAfterPackets = Number(a, value());
        } else if (a == "--never-send") {
            options.neverSend = true;
        } else if (a == "--ping-every") {
            options.pingEvery = uint32_t(Number(a, value()));
        } else if (a == "--header-packet-size") {
            options.headerPacketSize = size_t(Number(a, value()));
        } else if (a == "--no-header") {
            options.noHeader = true;
        } else if (a == "--body" || a == "--live-path") {
            Mapping m{};
            if (!SplitMapping(value(), m.path, m.file)) Usage(a + " takes PATH=FILE");
            m.body = a == "--body";
            m.live = a == "--live-path";
            mappings.push_back(m);
        } else if (a == "--content-type") {
            contentType = value();
        } else if (a == "--no-content-length") {
            bodyLength = false;
        } else if (a == "--print-port") {
            printPort = true;
        } else if (a == "--exit-after-requests") {
            exitAfter = Number(a, value());
        } else if (a == "--time-limit") {
            timeLimit = Number(a, value());
        } else if (a == "-v" || a == "--verbose") {
            verbose = true;
        } else if (!a.empty() && a[0] == '-') {
            Usage("unknown option " + a);
        } else {
            Mapping m{};
            if (!SplitMapping(a, m.path, m.file)) Usage("expected PATH=FILE, got " + a);
            mappings.push_back(m);
        }
    }
    if (mappings.empty()) Usage("nothing to serve");
    if (!mmsh && mmsPort < 0) Usage("--no-mmsh without --mms-port serves nothing");

    // Signals are taken synchronously by the main thread; block them before
    // any server thread starts so those never see them.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    LoopbackServer server;
    if (verbose) {
        auto t0 = std::chrono::steady_clock::now();
        server.SetLogger([t0](const std::string& line) {
            double t = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
            std::fprintf(stderr, "%9.3f %s\n", t, line.c_str());
        });
    }
    for (const auto& m : mappings) {
        if (m.body) {
            std::ifstream in(m.file, std::ios::binary);
            if (!in) Usage("cannot read " + m.file);
            std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
            server.ServeBody(m.path, std::move(bytes), contentType, bodyLength);
            continue;
        }
        StreamOptions o = options;
        if (m.live) o.live = true;
        std::string error;
        if (!server.ServeFile(m.path, m.file, o, &error)) Usage(m.file + ": " + error);
    }

    std::string error;
    if (mmsh && !server.StartMmsh(uint16_t(mmshPort), &error)) {
        std::fprintf(stderr, "larkspan-testserver: MMSH port %ld: %s\n", mmshPort, error.c_str());
        return 1;
    }
    if (mmsPort >= 0 && !server.StartMms(uint16_t(mmsPort), &error)) {
        std::fprintf(stderr, "larkspan-testserver: MMS port %ld: %s\n", mmsPort, error.c_str());
        return 1;
    }
    if (printPort) {
        std::string line;
        if (mmsh) line += std::to_string(server.MmshPort());
        if (mmsPort >= 0) line += (line.empty() ? "" : " ") + std::to_string(server.MmsPort());
        std::printf("%s\n", line.c_str());
    } else {
        std::printf("larkspan-testserver listening:");
        if (mmsh) std::printf(" mmsh=%u", unsigned(server.MmshPort()));
        if (mmsPort >= 0) std::printf(" mms=%u", unsigned(server.MmsPort()));
        std::printf("\n");
    }
    std::fflush(stdout);

    auto started = std::chrono::steady_clock::now();
    int status = 0;
    for (;;) {
        timespec tick{0, 100 * 1000 * 1000};
        int sig = sigtimedwait(&signals, nullptr, &tick);
        if (sig == SIGINT || sig == SIGTERM) break;
        if (exitAfter > 0 && server.CompletedRequests() >= size_t(exitAfter)) break;
        if (timeLimit > 0 && std::chrono::steady_clock::now() - started >= std::chrono::seconds(timeLimit)) {
            break;
        }
    }
    server.Stop();
    if (verbose) {
        std::fprintf(stderr, "served %zu requests, peak %zu connections, %u missing pongs\n",
                     server.CompletedRequests(), server.PeakConnections(), server.MissingPongs());
    }
    return status;
}
