// How responsive the recorder's windows stay while they hold a long list and
// recordings run: the main panel, the record list and its window are built
// as the desktop program builds them, 500 rows are added (local files and
// addresses), 10 live streams from the loopback server (a separate process)
// are recorded, and for the measured seconds:
//
//   - the GUI thread's event-loop latency: a thread posts a time-stamped
//     event every 5 ms and the GUI thread notes, on delivery, how long each
//     waited (p50, p99, max; goal p99 under 16 ms, one frame at 60 Hz);
//   - the processor time of the process, without the probe's posting thread,
//     next to the same 10 recordings made by bare workers (bench_worker_rec,
//     no windows) over the same time; the difference is what the windows and
//     the list cost on top of the recordings.
//
//   bench_gui_latency --sample clip.asf [--seconds 20] [--rows 500] [--recordings 10] [--work DIR]
//                     [--worker PATH] [--server PATH] [--summary FILE]
//
// Qt's offscreen platform is used unless a display is given (run-all.sh runs
// it under xvfb-run when that is installed).
#include <signal.h>
#include <sys/resource.h>

#include <QApplication>
#include <QTimer>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "bench/common/BenchPrograms.h"
#include "bench/common/BenchSupport.h"
#include "bench/common/ChildProcess.h"
#include "bench/common/DesktopWindows.h"
#include "bench/common/ServerProcess.h"
#include "bench/gui-latency/LatencyProbe.h"

using namespace larkspan;
using namespace larkspan::bench;

namespace {

const char* kUsage =
    "options:\n"
    "  --sample FILE      ASF file the live streams play over and over, and the local files of the list\n"
    "                     link to (required; clip.asf of scripts/make-samples.sh)\n"
    "  --seconds N        measured time per variant (default 20)\n"
    "  --warmup N         seconds after the recordings start before measuring (default 2)\n"
    "  --rows N           rows in the list, half local files, half addresses (default 500)\n"
    "  --recordings N     live streams recorded at once, MMS and MMSH alternating (default 10)\n"
    "  --work DIR         scratch folder (default bench-work)\n"
    "  --worker PATH  --server PATH\n"
    "  --summary FILE     also append the key figures to FILE (tab-separated, for run-all.sh)\n";

constexpr double kGoalP99Ms = 16.0;
constexpr auto kProbePeriod = std::chrono::milliseconds(5);

double ProcessCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

uint64_t FolderBytes(const std::string& folder) {
    uint64_t total = 0;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(folder, ec))
        if (entry.is_regular_file(ec)) total += entry.file_size(ec);
    return total;
}

// An empty folder at path.
bool FreshFolder(const std::string& path) {
    std::error_code ec;
    std::filesystem::remove_all(path, ec);
    return MakeDirectories(path);
}

struct Stream {
    std::string url;
    std::string out;  // the bare workers' file
};

struct CpuFigure {
    double seconds = 0;  // wall
    double cpu = 0;
    uint64_t bytes = 0;  // recorded during the whole run
    double Share() const { return seconds > 0 ? 100.0 * cpu / seconds : 0; }
};

// The recordings alone: bare workers in a child process, measured over the
// same window as the windows' run.
bool MeasureBareWorkers(const std::string& worker, const std::vector<Stream>& streams, const std::string& folder,
                        double warmup, double seconds, CpuFigure& figure, std::string* error) {
    if (!FreshFolder(folder)) {
        *error = "cannot make " + folder;
        return false;
    }
    ChildOptions options;
    options.argv = {worker};
    for (const Stream& s : streams) options.argv.insert(options.argv.end(), {s.out, s.url});
    ChildProcess child;
    if (!child.Start(options, error)) return false;
    std::this_thread::sleep_for(std::chrono::duration<double>(warmup));
    const double cpuStart = child.CpuSoFar();
    const double wallStart = Now();
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    const double cpuEnd = child.CpuSoFar();
    figure.seconds = Now() - wallStart;
    const bool ran = child.Running();
    child.Signal(SIGINT);
    child.Wait(20);
    if (!ran || cpuStart < 0 || cpuEnd < 0) {
        *error = "the bare workers ended early or could not be measured";
        return false;
    }
    figure.cpu = cpuEnd - cpuStart;
    figure.bytes = FolderBytes(folder);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    Args args(argc, argv);
    if (args.Flag("--help") || args.Flag("-h")) {
        std::printf("usage: %s --sample FILE [options]\n%s", argv[0], kUsage);
        return 0;
    }
    const std::string sample = args.Get("--sample");
    const int seconds = args.GetInt("--seconds", 20);
    const double warmup = args.GetDouble("--warmup", 2);
    const int rows = args.GetInt("--rows", 500);
    const int recordings = args.GetInt("--recordings", 10);
    const std::string work = AbsolutePath(args.Get("--work", "bench-work")) + "/gui-latency";
    const std::string worker = args.Get("--worker", LK_BENCH_WORKER);
    const std::string serverProgram = args.Get("--server", LK_BENCH_SERVER);
    const std::string summary = args.Get("--summary");
    const std::string unknown = args.Unknown();
    if (sample.empty() || !unknown.empty() || seconds <= 0 || warmup < 0 || recordings <= 0 ||
        rows < recordings) {
        std::fprintf(stderr, "usage: %s --sample FILE [options]%s%s\n%s", argv[0],
                     unknown.empty() ? "" : "; unknown: ", unknown.c_str(), kUsage);
        return 2;
    }
    if (!MakeDirectories(work)) {
        std::fprintf(stderr, "cannot make %s\n", work.c_str());
        return 1;
    }

    // Live broadcasts without end, paced in real time, one path per recording.
    std::vector<std::string> serverArgs = {"--mms-port", "0", "--live", "--repeat", "0", "--pace", "realtime"};
    for (int i = 0; i < recordings; ++i) serverArgs.push_back("live" + std::to_string(i) + ".asf=" + sample);
    ServerProcess server;
    std::string error;
    if (!server.Start(serverProgram, serverArgs, work + "/server.log", &error)) {
        std::fprintf(stderr, "loopback server: %s\n", error.c_str());
        return 1;
    }
    std::vector<Stream> streams;
    for (int i = 0; i < recordings; ++i) {
        const std::string path = "live" + std::to_string(i) + ".asf";
        streams.push_back({server.Url(i % 2 == 0 ? "mms" : "http", path), work + "/bare/" + path});
    }

    std::printf("bare workers: %d live recordings, %d s after %.1f s of warm-up\n", recordings, seconds, warmup);
    std::fflush(stdout);
    CpuFigure bare;
    if (!MeasureBareWorkers(worker, streams, work + "/bare", warmup, seconds, bare, &error)) {
        std::fprintf(stderr, "bare workers: %s\n", error.c_str());
        return 1;
    }

    // Local rows: links to the sample under distinct names (a source is listed once).
    const std::string localFolder = work + "/local";
    if (!FreshFolder(localFolder)) return 1;
    const int localRows = rows / 2;
    for (int i = 0; i < localRows; ++i) {
        std::error_code ec;
        std::filesystem::create_symlink(AbsolutePath(sample), localFolder + "/local" + std::to_string(i) + ".asf",
                                        ec);
    }

    QApplication app(argc, argv);
    const std::string guiFolder = work + "/gui";
    if (!FreshFolder(guiFolder)) return 1;
    DesktopWindows windows(QString::fromStdString(guiFolder));
    RecordList& list = windows.List();
    for (int i = 0; i < localRows; ++i)
        list.AddEntry(QString::fromStdString(localFolder + "/local" + std::to_string(i) + ".asf"), QString(), "0");
    // Addresses: the live ones spread through the second half, the others never recorded.
    std::vector<int> liveRows;
    const int addressRows = rows - localRows;
    for (int i = 0, next = 0; i < addressRows; ++i) {
        const bool live = next < recordings && i == next * addressRows / recordings;
        const std::string url =
            live ? streams[next].url : server.Url("http", "idle" + std::to_string(i) + ".asf");
        const int row = list.AddEntry(QString::fromStdString(url), QString(), "0");
        if (live) {
            liveRows.push_back(row);
            ++next;
        }
    }
    windows.Show();

    LatencyProbe probe(kProbePeriod);
    CpuFigure gui;
    double cpuStart = 0;
    double wallStart = 0;
    int started = 0;
    QTimer::singleShot(0, &app, [&] {
        for (int row : liveRows) started += list.StartRecording(row) ? 1 : 0;
        QTimer::singleShot(static_cast<int>(warmup * 1000), Qt::PreciseTimer, &app, [&] {
            cpuStart = ProcessCpuSeconds();
            wallStart = Now();
            probe.Start();
            QTimer::singleShot(seconds * 1000, Qt::PreciseTimer, &app, [&] {
                probe.Stop();
                gui.cpu = ProcessCpuSeconds() - cpuStart - probe.PosterCpuSeconds();
                gui.seconds = Now() - wallStart;
                app.exit(0);  // quit() would ask the windows, and the list window refuses to close
            });
        });
    });
    app.exec();
    const int stillRecording = list.WorkerCount();
    list.Shutdown();
    gui.bytes = FolderBytes(guiFolder);
    server.Stop();

    const std::vector<double>& delays = probe.DelaysMs();
    const double p50 = Percentile(delays, 0.50);
    const double p99 = Percentile(delays, 0.99);
    const double max = Percentile(delays, 1.0);
    const bool met = p99 < kGoalP99Ms && started == recordings && stillRecording == recordings;

    std::printf("\nprocessor time, %d live recordings (%s platform)\n",
                recordings, QApplication::platformName().toUtf8().constData());
    Table cpu({"variant", "seconds", "cpu s", "% of one core", "MiB recorded"});
    auto mib = [](uint64_t bytes) { return Fixed(static_cast<double>(bytes) / (1024.0 * 1024.0), 1); };
    cpu.Add({"bare workers", Fixed(bare.seconds, 2), Fixed(bare.cpu, 3), Fixed(bare.Share(), 2), mib(bare.bytes)});
    cpu.Add({"windows, " + std::to_string(list.Model()->Count()) + " rows", Fixed(gui.seconds, 2), Fixed(gui.cpu, 3),
             Fixed(gui.Share(), 2), mib(gui.bytes)});
    const double extraShare = gui.Share() - bare.Share();
    cpu.Add({"windows beyond recordings", "", Fixed(gui.cpu - bare.cpu * gui.seconds / bare.seconds, 3),
             Fixed(extraShare, 2), ""});
    std::fputs(cpu.Render().c_str(), stdout);

    std::printf("\nGUI thread event-loop latency (an event posted every %d ms)\n",
                static_cast<int>(kProbePeriod.count()));
    Table latency({"events", "p50 ms", "p99 ms", "max ms", "recordings", "goal", "verdict"});
    latency.Add({std::to_string(delays.size()), Fixed(p50, 2), Fixed(p99, 2), Fixed(max, 2),
                 std::to_string(stillRecording) + "/" + std::to_string(recordings), "p99 < 16 ms",
                 met ? "met" : "MISSED"});
    std::fputs(latency.Render().c_str(), stdout);

    const std::string setting = std::to_string(rows) + " rows, " + std::to_string(recordings) + " recordings";
    AppendSummary(summary, {"gui-latency", "event-loop latency p50/p99/max ms, " + setting,
                            Fixed(p50, 2) + " / " + Fixed(p99, 2) + " / " + Fixed(max, 2), "p99 < 16",
                            met ? "met" : "MISSED"});
    AppendSummary(summary, {"gui-latency", "CPU % of a core, windows+list / bare workers",
                            Fixed(gui.Share(), 2) + " / " + Fixed(bare.Share(), 2) + " (windows " +
                                Fixed(extraShare, 2) + ")",
                            "-", "-"});
    return met ? 0 : 1;
}
