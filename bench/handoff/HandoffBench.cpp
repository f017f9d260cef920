// How long a second start of the desktop program takes to hand its request to
// the running instance and end, measured two ways:
//
//   - end to end: a first `larkspan` runs (fresh home and runtime folder);
//     each timed run starts `larkspan /Open URL` and takes the time from fork
//     to its exit as the kernel reports it. Goal: median under 100 ms.
//   - the receiver alone, in this process: a serving InstanceChannel, and a
//     thread that sends one request per run; the time from the sender's
//     connect to openRequested on this thread.
//
//   bench_handoff [--runs 20] [--larkspan PATH] [--work DIR] [--summary FILE]
//
// The program runs on Qt's offscreen platform unless a display is given
// (run-all.sh runs it under xvfb-run when that is installed).
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "app/InstanceChannel.h"
#include "bench/common/BenchSupport.h"
#include "bench/common/ChildProcess.h"

#ifndef LK_BENCH_LARKSPAN
#define LK_BENCH_LARKSPAN "larkspan"
#endif

using namespace larkspan;
using namespace larkspan::bench;

namespace {

const char* kUsage =
    "options:\n"
    "  --runs N         timed second starts, and requests to the in-process receiver (default 20)\n"
    "  --larkspan PATH  the desktop program (default: the one built with this bench)\n"
    "  --work DIR       scratch folder (default bench-work)\n"
    "  --summary FILE   also append the key figures to FILE (tab-separated, for run-all.sh)\n";

constexpr double kGoalMs = 100.0;

double MaxOf(const std::vector<double>& values) { return *std::max_element(values.begin(), values.end()); }

// Milliseconds from fork to exit of each `larkspan /Open URL` while a first
// instance runs; empty on failure.
std::vector<double> TimeSecondStarts(const std::string& program, const std::string& work, int runs,
                                     std::string* error) {
    const std::string home = work + "/home";
    const std::string runtime = work + "/runtime";
    std::error_code ec;
    std::filesystem::remove_all(work, ec);
    if (!MakeDirectories(home) || !MakeDirectories(runtime) || chmod(runtime.c_str(), 0700) != 0) {
        *error = "cannot make the folders under " + work;
        return {};
    }
    std::vector<std::string> env = {"HOME=" + home, "XDG_CONFIG_HOME=" + home + "/.config",
                                    "XDG_RUNTIME_DIR=" + runtime};
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        env.push_back("QT_QPA_PLATFORM=offscreen");

    ChildProcess first;
    ChildOptions firstOptions{{program}, env, false, work + "/first.out", work + "/first.err"};
    if (!first.Start(firstOptions, error)) return {};
    // The first instance serves once its socket exists.
    const std::string socket = runtime + "/larkspan-recorder-" + std::to_string(getuid()) + ".socket";
    const double deadline = Now() + 20;
    while (!std::filesystem::exists(socket) && first.Running() && Now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    if (!std::filesystem::exists(socket)) {
        *error = "the first instance did not start serving (see " + work + "/first.err)";
        return {};
    }

    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        ChildOptions options{{program, "/Open", "http://127.0.0.1:9/handoff" + std::to_string(i) + ".asf"},
                             env, false, "", work + "/second.err"};
        ChildProcess second;
        if (!second.Start(options, error)) return {};
        const RunUsage usage = second.Wait(20);
        if (!usage.exited || usage.exitCode != 0) {
            *error = "a second start did not hand off (exit code " + std::to_string(usage.exitCode) + ", see " +
                     work + "/second.err)";
            return {};
        }
        times.push_back(usage.wallSeconds * 1000);
    }
    first.Signal(SIGTERM);
    if (!first.Wait(10).exited) {
        first.Signal(SIGKILL);
        first.Wait();
    }
    return times;
}

// Milliseconds from a sender's connect to openRequested on this thread, per
// request; empty on failure.
std::vector<double> TimeReceiver(int runs, std::string* error) {
    QTemporaryDir folder;
    InstanceChannel receiver(folder.path());
    if (receiver.Start(0, QString(), true) != InstanceChannel::StartResult::Serving) {
        *error = "the in-process channel does not serve";
        return {};
    }
    using Clock = std::chrono::steady_clock;
    Clock::time_point sent;
    Clock::time_point received;
    bool got = false;
    QEventLoop loop;
    QObject::connect(&receiver, &InstanceChannel::openRequested, &loop, [&] {
        received = Clock::now();
        got = true;
    });
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        got = false;
        InstanceChannel::SendResult result = InstanceChannel::SendResult::NotRunning;
        std::thread sender([&] {
            sent = Clock::now();
            result = InstanceChannel::Send(receiver.SocketPath(), 0, QStringLiteral("http://127.0.0.1:9/x.asf"),
                                           InstanceChannel::kDefaultTimeoutMs);
            QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
        });
        loop.exec();  // ends once the sender has its answer; openRequested came before the acknowledgement
        sender.join();
        if (result != InstanceChannel::SendResult::Delivered || !got) {
            *error = "a request was not delivered in process";
            return {};
        }
        times.push_back(std::chrono::duration<double, std::milli>(received - sent).count());
    }
    return times;
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QCoreApplication app(argc, argv);
    Args args(argc, argv);
    if (args.Flag("--help") || args.Flag("-h")) {
        std::printf("usage: %s [options]\n%s", argv[0], kUsage);
        return 0;
    }
    const int runs = std::max(1, args.GetInt("--runs", 20));
    const std::string program = args.Get("--larkspan", LK_BENCH_LARKSPAN);
    const std::string work = AbsolutePath(args.Get("--work", "bench-work")) + "/handoff";
    const std::string summary = args.Get("--summary");
    const std::string unknown = args.Unknown();
    if (!unknown.empty()) {
        std::fprintf(stderr, "usage: %s [options]; unknown: %s\n%s", argv[0], unknown.c_str(), kUsage);
        return 2;
    }

    std::string error;
    const std::vector<double> ends = TimeSecondStarts(program, work, runs, &error);
    if (ends.empty()) {
        std::fprintf(stderr, "second starts: %s\n", error.c_str());
        return 1;
    }
    const std::vector<double> receives = TimeReceiver(runs, &error);
    if (receives.empty()) {
        std::fprintf(stderr, "receiver: %s\n", error.c_str());
        return 1;
    }
    const double median = Median(ends);
    const bool met = median < kGoalMs;
    std::printf("hand-off of a second start to a running instance, %d runs\n", runs);
    Table table({"figure", "median ms", "max ms", "goal", "verdict"});
    table.Add({"larkspan /Open URL, fork to exit", Fixed(median, 1), Fixed(MaxOf(ends), 1), "median < 100",
               met ? "met" : "MISSED"});
    table.Add({"receiver, connect to openRequested", Fixed(Median(receives), 2), Fixed(MaxOf(receives), 2), "-",
               "-"});
    std::fputs(table.Render().c_str(), stdout);
    AppendSummary(summary, {"handoff", "larkspan /Open URL to a running instance, fork to exit, median / max ms",
                            Fixed(median, 1) + " / " + Fixed(MaxOf(ends), 1), "< 100", met ? "met" : "MISSED"});
    AppendSummary(summary, {"handoff", "receiver, connect to openRequested, median / max ms",
                            Fixed(Median(receives), 2) + " / " + Fixed(MaxOf(receives), 2), "-", "-"});
    return met ? 0 : 1;
}
