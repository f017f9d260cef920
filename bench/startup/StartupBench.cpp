// Time from a process's start to the first paint of the recorder's main
// window. Each run starts this program again (--window) as a child: the
// parent reads the steady clock just before fork, the child builds the main
// panel and the record list window as the desktop program does, shows them,
// and prints the steady clock when the main panel receives its first paint
// event, then ends. The figure is the difference, so it covers fork, exec,
// loading the libraries, the application object, building the windows and
// the first paint. The child also prints when main() began and when its
// windows were built, which splits the figure.
//
//   bench_startup [--runs 10] [--summary FILE]
//
// Qt's offscreen platform is used unless a display is given (run-all.sh runs
// it under xvfb-run when that is installed). The first run is shown apart:
// it fills the system's file caches for the libraries and fonts.
#include <QApplication>
#include <QEvent>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "bench/common/BenchSupport.h"
#include "bench/common/ChildProcess.h"
#include "bench/common/DesktopWindows.h"

using namespace larkspan;
using namespace larkspan::bench;

namespace {

const char* kUsage =
    "options:\n"
    "  --runs N        starts to time; medians and maxima over them (default 10)\n"
    "  --summary FILE  also append the key figures to FILE (tab-separated, for run-all.sh)\n";

constexpr double kGoalMs = 300.0;

long long SteadyNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// Prints the steady clock at the watched widget's first paint and ends the
// event loop.
class FirstPaintWatcher : public QObject {
public:
    explicit FirstPaintWatcher(long long mainNs, long long builtNs) : mainNs_(mainNs), builtNs_(builtNs) {}

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint && !seen_) {
            seen_ = true;
            const long long paintedNs = SteadyNs();
            std::printf("%lld %lld %lld\n", mainNs_, builtNs_, paintedNs);
            std::fflush(stdout);
            QTimer::singleShot(0, qApp, [] { QCoreApplication::exit(0); });
        }
        return false;
    }

private:
    long long mainNs_;
    long long builtNs_;
    bool seen_ = false;
};

int RunWindow(int argc, char** argv, long long mainNs) {
    QApplication app(argc, argv);
    DesktopWindows windows;
    FirstPaintWatcher watcher(mainNs, SteadyNs());
    windows.Panel().installEventFilter(&watcher);
    windows.Show();
    return app.exec();
}

struct Run {
    double mainMs = 0;     // fork to main()
    double builtMs = 0;    // fork to windows built
    double paintedMs = 0;  // fork to first paint
};

bool TimeOneStart(const std::string& self, Run& run, std::string* error) {
    ChildOptions options;
    options.argv = {self, "--window"};
    options.pipeStdout = true;
    ChildProcess child;
    const long long forkNs = SteadyNs();
    if (!child.Start(options, error)) return false;
    std::string line;
    const bool answered = child.ReadLine(line, 20000);
    const RunUsage usage = child.Wait(20);
    long long mainNs = 0, builtNs = 0, paintedNs = 0;
    std::istringstream in(line);
    if (!answered || !(in >> mainNs >> builtNs >> paintedNs) || !usage.exited || usage.exitCode != 0) {
        *error = "the window did not paint (exit code " + std::to_string(usage.exitCode) + ")";
        return false;
    }
    run.mainMs = static_cast<double>(mainNs - forkNs) / 1e6;
    run.builtMs = static_cast<double>(builtNs - forkNs) / 1e6;
    run.paintedMs = static_cast<double>(paintedNs - forkNs) / 1e6;
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    const long long mainNs = SteadyNs();
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (argc == 2 && std::string(argv[1]) == "--window") return RunWindow(argc, argv, mainNs);

    Args args(argc, argv);
    if (args.Flag("--help") || args.Flag("-h")) {
        std::printf("usage: %s [options]\n%s", argv[0], kUsage);
        return 0;
    }
    const int runs = std::max(1, args.GetInt("--runs", 10));
    const std::string summary = args.Get("--summary");
    const std::string unknown = args.Unknown();
    if (!unknown.empty()) {
        std::fprintf(stderr, "usage: %s [options]; unknown: %s\n%s", argv[0], unknown.c_str(), kUsage);
        return 2;
    }
    const std::string self = std::filesystem::read_symlink("/proc/self/exe").string();

    std::vector<Run> timed;
    Run first;
    for (int i = 0; i <= runs; ++i) {
        Run run;
        std::string error;
        if (!TimeOneStart(self, run, &error)) {
            std::fprintf(stderr, "start %d: %s\n", i, error.c_str());
            return 1;
        }
        if (i == 0) first = run;
        else timed.push_back(run);
    }
    auto column = [&](double Run::*field) {
        std::vector<double> values;
        for (const Run& r : timed) values.push_back(r.*field);
        return values;
    };
    auto maxOf = [](const std::vector<double>& v) { return *std::max_element(v.begin(), v.end()); };
    const std::vector<double> painted = column(&Run::paintedMs);
    const double median = Median(painted);
    const bool met = median < kGoalMs;

    std::printf("start to first paint of the main panel, %d runs after a first one (%s platform)\n", runs,
                qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") ? "xcb" : qgetenv("QT_QPA_PLATFORM").constData());
    Table table({"figure", "first ms", "median ms", "max ms"});
    table.Add({"fork to main()", Fixed(first.mainMs, 1), Fixed(Median(column(&Run::mainMs)), 1),
               Fixed(maxOf(column(&Run::mainMs)), 1)});
    table.Add({"fork to windows built", Fixed(first.builtMs, 1), Fixed(Median(column(&Run::builtMs)), 1),
               Fixed(maxOf(column(&Run::builtMs)), 1)});
    table.Add({"fork to first paint", Fixed(first.paintedMs, 1), Fixed(median, 1), Fixed(maxOf(painted), 1)});
    std::fputs(table.Render().c_str(), stdout);
    std::printf("goal: median under %.0f ms: %s\n", kGoalMs, met ? "met" : "MISSED");
    AppendSummary(summary, {"startup", "start to first paint of the main window, median ms", Fixed(median, 1),
                            "< 300", met ? "met" : "MISSED"});
    return met ? 0 : 1;
}
