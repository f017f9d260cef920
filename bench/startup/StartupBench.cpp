// Time from a process's start to the first paint of the recorder's main
// window. Each run starts this program again (--window) as a child: the
// parent reads the steady clock just before fork, the child builds the main
// panel and the record list window as the desktop program does, shows them,
// and prints the steady clock when the main panel receives its first paint
// event. The figure is the difference, so it covers fork, exec, loading the
// libraries, the application object, building the windows and the first
// paint. The child also prints when main() began and when its windows were
// built, which splits the figure.
//
// On an X display (xvfb-run) the parent also watches for the child's first
// window to be mapped (WindowMapWatcher), and times the real desktop program
// the same way: from fork to the map of its first window. For this program's
// own windows the map is seen within a millisecond of the first paint, so the
// two figures compare.
//
//   bench_startup [--runs 10] [--larkspan PATH] [--summary FILE]
//
// Qt's offscreen platform is used unless a display is given (run-all.sh runs
// it under xvfb-run when that is installed). The first run is shown apart:
// it fills the system's file caches for the libraries and fonts.
#include <signal.h>
#include <stdlib.h>

#include <QApplication>
#include <QEvent>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <memory>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "bench/common/BenchSupport.h"
#include "bench/common/ChildProcess.h"
#include "bench/common/DesktopWindows.h"
#ifdef LK_BENCH_HAVE_XCB
#include "bench/startup/WindowMapWatcher.h"
#endif

#ifndef LK_BENCH_LARKSPAN
#define LK_BENCH_LARKSPAN ""
#endif

using namespace larkspan;
using namespace larkspan::bench;

namespace {

const char* kUsage =
    "options:\n"
    "  --runs N        starts to time; medians and maxima over them (default 10)\n"
    "  --larkspan PATH the desktop program, timed to its first window's map on an X display\n"
    "                  (default: the one built with this bench; \"\" skips it)\n"
    "  --summary FILE  also append the key figures to FILE (tab-separated, for run-all.sh)\n";

constexpr double kGoalMs = 300.0;

long long SteadyNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// Prints the steady clock at the watched widget's first paint. The program
// runs on until the bench ends it, so that its windows stay mapped while the
// bench looks at them.
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
    double mappedMs = -1;  // fork to the first window mapped; -1 when not watched
};

// Watches for a child's first window where an X display is at hand; one
// connection to the display for all runs (maps of earlier children are told
// apart by their process).
class MapClock {
public:
    bool Watching() const { return watching_; }
    // Before the first child starts.
    void Arm() {
#ifdef LK_BENCH_HAVE_XCB
        if (qEnvironmentVariableIsEmpty("DISPLAY") || qgetenv("QT_QPA_PLATFORM") == "offscreen") return;
        watcher_ = std::make_unique<WindowMapWatcher>();
        std::string error;
        watching_ = watcher_->Connect(&error);
#endif
    }
    // Milliseconds from forkNs to the map of pid's first window; -1 when
    // not watching or nothing was mapped in time.
    double MappedMs(pid_t pid, long long forkNs, int timeoutMs) {
#ifdef LK_BENCH_HAVE_XCB
        if (watching_) {
            const long long mapped = watcher_->WaitForMap(pid, timeoutMs);
            if (mapped >= 0) return static_cast<double>(mapped - forkNs) / 1e6;
        }
#else
        (void)pid, (void)forkNs, (void)timeoutMs;
#endif
        return -1;
    }

private:
    bool watching_ = false;
#ifdef LK_BENCH_HAVE_XCB
    std::unique_ptr<WindowMapWatcher> watcher_;
#endif
};

void EndChild(ChildProcess& child) {
    child.Signal(SIGTERM);
    if (!child.Wait(10).exited) {
        child.Signal(SIGKILL);
        child.Wait();
    }
}

bool TimeOneStart(const std::string& self, MapClock& mapClock, Run& run, std::string* error) {
    ChildOptions options;
    options.argv = {self, "--window"};
    options.pipeStdout = true;
    ChildProcess child;
    const long long forkNs = SteadyNs();
    if (!child.Start(options, error)) return false;
    std::string line;
    const bool answered = child.ReadLine(line, 20000);
    run.mappedMs = mapClock.MappedMs(child.Pid(), forkNs, 1000);
    EndChild(child);
    long long mainNs = 0, builtNs = 0, paintedNs = 0;
    std::istringstream in(line);
    if (!answered || !(in >> mainNs >> builtNs >> paintedNs)) {
        *error = "the window did not paint";
        return false;
    }
    run.mainMs = static_cast<double>(mainNs - forkNs) / 1e6;
    run.builtMs = static_cast<double>(builtNs - forkNs) / 1e6;
    run.paintedMs = static_cast<double>(paintedNs - forkNs) / 1e6;
    return true;
}

// Milliseconds from fork to the map of the desktop program's first window,
// started in a fresh home; -1 when no window came within 10 s.
double TimeProgramStart(const std::string& program, MapClock& mapClock, std::string* error) {
    char folder[] = "/tmp/bench-startup-XXXXXX";
    if (!mkdtemp(folder)) {
        *error = "cannot make a temporary folder";
        return -1;
    }
    const std::string home = folder;
    ChildOptions options;
    options.argv = {program};
    options.env = {"HOME=" + home, "XDG_CONFIG_HOME=" + home + "/.config", "XDG_RUNTIME_DIR=" + home};
    ChildProcess child;
    if (!mapClock.Watching()) {
        *error = "no X display to watch";
        return -1;
    }
    const long long forkNs = SteadyNs();
    if (!child.Start(options, error)) return -1;
    const double mapped = mapClock.MappedMs(child.Pid(), forkNs, 10000);
    EndChild(child);
    std::error_code ec;
    std::filesystem::remove_all(home, ec);
    if (mapped < 0) *error = "no window mapped within 10 s";
    return mapped;
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
    const std::string program = args.Get("--larkspan", LK_BENCH_LARKSPAN);
    const std::string unknown = args.Unknown();
    if (!unknown.empty()) {
        std::fprintf(stderr, "usage: %s [options]; unknown: %s\n%s", argv[0], unknown.c_str(), kUsage);
        return 2;
    }
    const std::string self = std::filesystem::read_symlink("/proc/self/exe").string();

    MapClock mapClock;
    mapClock.Arm();
    std::vector<Run> timed;
    Run first;
    for (int i = 0; i <= runs; ++i) {
        Run run;
        std::string error;
        if (!TimeOneStart(self, mapClock, run, &error)) {
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
    const std::vector<double> mapped = column(&Run::mappedMs);
    if (first.mappedMs >= 0 && *std::min_element(mapped.begin(), mapped.end()) >= 0)
        table.Add({"fork to window mapped (X)", Fixed(first.mappedMs, 1), Fixed(Median(mapped), 1),
                   Fixed(maxOf(mapped), 1)});
    table.Add({"fork to first paint", Fixed(first.paintedMs, 1), Fixed(median, 1), Fixed(maxOf(painted), 1)});
    std::fputs(table.Render().c_str(), stdout);
    std::printf("goal: median under %.0f ms: %s\n", kGoalMs, met ? "met" : "MISSED");
    AppendSummary(summary, {"startup", "start to first paint of the main window, median ms", Fixed(median, 1),
                            "< 300", met ? "met" : "MISSED"});

    // The desktop program itself, to the map of its first window.
    if (!program.empty()) {
        std::vector<double> programRuns;
        std::string error;
        for (int i = 0; i <= runs && error.empty(); ++i) {
            const double ms = TimeProgramStart(program, mapClock, &error);
            if (ms >= 0) programRuns.push_back(ms);
        }
        if (!error.empty()) {
            std::printf("%s: %s; not timed\n", program.c_str(), error.c_str());
            AppendSummary(summary, {"startup", "larkspan, start to first window mapped", "not timed: " + error,
                                    "-", "-"});
        } else {
            const double programFirst = programRuns.front();
            programRuns.erase(programRuns.begin());
            Table real({"figure", "first ms", "median ms", "max ms"});
            real.Add({"larkspan, fork to window mapped", Fixed(programFirst, 1), Fixed(Median(programRuns), 1),
                      Fixed(maxOf(programRuns), 1)});
            std::fputs(real.Render().c_str(), stdout);
            AppendSummary(summary, {"startup", "larkspan, start to first window mapped, median ms",
                                    Fixed(Median(programRuns), 1), "-", "-"});
        }
    }
    return met ? 0 : 1;
}
