// How long the player takes from Open to its first video frame: for a local
// file (GStreamer reads it) and for the same medium streamed on demand by the
// loopback server (in this process) over MMS and MMSH through the recorder's
// clients. Each run makes a fresh engine, calls Open and then Run at once, and
// stops the clock when the first frame reaches the engine's thread (the Qt
// event loop of this program). Sound goes to a fake sink that keeps the clock.
//
//   bench_playback_start --sample clip.asf [--runs 10] [--summary FILE]
#include <QCoreApplication>
#include <QThread>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "bench/common/BenchSupport.h"
#include "tools/server/LoopbackServer.h"
#include "ui/playback/PlaybackEngine.h"

using namespace larkspan;
using namespace larkspan::bench;
using Clock = std::chrono::steady_clock;

namespace {

const char* kUsage =
    "options:\n"
    "  --sample FILE   ASF file with video (required; clip.asf of scripts/make-samples.sh)\n"
    "  --runs N        runs per source; medians and maxima over them (default 10)\n"
    "  --summary FILE  also append the key figures to FILE (tab-separated, for run-all.sh)\n";

// Milliseconds from Open to the first frame; negative when none came
// within 20 s or the open failed.
double TimeToFirstFrame(const std::string& address) {
    PlaybackEngineOptions options;
    options.fakeAudioOutput = true;
    PlaybackEngine engine(options);
    bool framed = false;
    bool failed = false;
    QObject::connect(&engine, &PlaybackEngine::frameReady, [&](const QImage&) { framed = true; });
    QObject::connect(&engine, &PlaybackEngine::openFailed, [&](const QString&) { failed = true; });
    const Clock::time_point start = Clock::now();
    if (!engine.Open(address) || !engine.Run()) return -1;
    const Clock::time_point deadline = start + std::chrono::seconds(20);
    while (!framed && !failed && Clock::now() < deadline) {
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        QThread::usleep(200);
    }
    if (!framed) return -1;
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    Args args(argc, argv);
    if (args.Flag("--help") || args.Flag("-h")) {
        std::printf("usage: %s [options]\n%s", argv[0], kUsage);
        return 0;
    }
    const std::string sample = args.Get("--sample");
    const int runs = std::max(1, args.GetInt("--runs", 10));
    const std::string summary = args.Get("--summary");
    const std::string unknown = args.Unknown();
    if (sample.empty() || !unknown.empty()) {
        std::fprintf(stderr, "usage: %s --sample FILE [options]%s%s\n%s", argv[0], unknown.empty() ? "" : "; unknown: ",
                     unknown.c_str(), kUsage);
        return 2;
    }
    testserver::LoopbackServer server;
    std::string error;
    if (!server.ServeFile("clip.asf", sample, {}, &error) || !server.StartMmsh(0, &error) ||
        !server.StartMms(0, &error)) {
        std::fprintf(stderr, "loopback server: %s\n", error.c_str());
        return 1;
    }

    struct Source {
        const char* name;
        std::string address;
        double goalMs;  // 0: none
    } sources[] = {{"local file", AbsolutePath(sample), 300},
                   {"MMS stream", server.MmsUrl("clip.asf"), 0},
                   {"MMSH stream", server.MmshUrl("clip.asf"), 0}};

    std::printf("Open to first frame, %d runs per source (fresh engine each run; the first run includes\n"
                "loading GStreamer's plugins)\n\n", runs);
    Table table({"source", "first ms", "median ms", "max ms", "failed", "goal"});
    int status = 0;
    for (const Source& source : sources) {
        std::vector<double> times;
        int failed = 0;
        double first = -1;
        for (int run = 0; run < runs; ++run) {
            const double ms = TimeToFirstFrame(source.address);
            if (run == 0) first = ms;
            if (ms < 0) {
                ++failed;
            } else {
                times.push_back(ms);
            }
            server.WaitForIdle(std::chrono::seconds(10));
        }
        if (failed > 0) status = 1;
        const double median = times.empty() ? -1 : Median(times);
        const double worst = times.empty() ? -1 : *std::max_element(times.begin(), times.end());
        const std::string goal = source.goalMs > 0 ? "< " + Fixed(source.goalMs, 0) : "-";
        table.Add({source.name, Fixed(first, 1), Fixed(median, 1), Fixed(worst, 1), std::to_string(failed), goal});
        const bool met = source.goalMs <= 0 || (failed == 0 && median < source.goalMs);
        AppendSummary(summary, {"playback", std::string(source.name) + " open to first frame ms (median)",
                                Fixed(median, 1), goal, source.goalMs > 0 ? (met ? "met" : "missed") : "-"});
    }
    std::printf("%s", table.Render().c_str());
    if (status != 0) std::fprintf(stderr, "some runs showed no frame: see \"failed\"\n");
    return status;
}
