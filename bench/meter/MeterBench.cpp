// Runs the processor meter at its fastest speed (a sample and a repaint every
// 10 ms) in a shown window and reports the processor time the whole process
// spends on it, as a share of one core: user plus system time from
// getrusage over wall time. The goal is under 0.5 %.
//
//   bench_meter [--seconds 10] [--summary FILE]
//
// Qt's offscreen platform is used unless QT_QPA_PLATFORM says otherwise.

#include "bench/common/BenchSupport.h"
#include "ui/skin/Skin.h"
#include "ui/skin/SpectrumMeter.h"

#include <QApplication>
#include <QEvent>
#include <QTimer>

#include <sys/resource.h>

#include <chrono>
#include <cstdio>

using namespace larkspan;

namespace {

const char kUsage[] =
    "usage: bench_meter [--seconds N] [--summary FILE]\n"
    "  --seconds N     how long the meter runs at 10 ms (default 10)\n"
    "  --summary FILE  also append the key figure to FILE (tab-separated, for run-all.sh)\n";

double processorSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// Counts the meter's repaints: one per sample that moved the graph.
class PaintCounter : public QObject {
public:
    int count = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            ++count;
        return false;
    }
};

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    bench::Args args(argc, argv);
    const int seconds = args.GetInt("--seconds", 10);
    const std::string summary = args.Get("--summary");
    if (!args.Unknown().empty() || seconds <= 0) {
        std::fputs(kUsage, stderr);
        return 2;
    }

    QApplication app(argc, argv);
    Skin skin(Skin::scaleFor(app.devicePixelRatio()));
    QWidget window;
    window.resize(120, 60);
    SpectrumMeter meter(skin, &window);
    meter.move(20, 20);
    if (!meter.hasSource()) {
        std::fprintf(stderr, "bench_meter: /proc/stat cannot be read; the meter stays static\n");
        return 1;
    }
    while (meter.interval() > SpectrumMeter::kFastestInterval)
        meter.faster();
    window.show();

    PaintCounter paints;
    meter.installEventFilter(&paints);
    // Warm up for half a second (first paints, fonts, pixmap cache), then measure.
    QTimer::singleShot(500, &app, [&] {
        const double cpuStart = processorSeconds();
        paints.count = 0;
        const auto wallStart = std::chrono::steady_clock::now();
        QTimer::singleShot(seconds * 1000, &app, [&, cpuStart, wallStart] {
            const double cpu = processorSeconds() - cpuStart;
            const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart).count();
            const double share = 100.0 * cpu / wall;
            const bool ok = share < 0.5;
            bench::Table table(
                {"interval ms", "seconds", "repaints", "cpu ms", "share of one core %", "goal", "verdict"});
            table.Add({std::to_string(meter.interval()), bench::Fixed(wall, 2), std::to_string(paints.count),
                       bench::Fixed(cpu * 1000, 1),
                       bench::Fixed(share, 3), "< 0.5", ok ? "ok" : "over"});
            std::fputs(table.Render().c_str(), stdout);
            bench::AppendSummary(summary, {"meter", "cpu % of one core at 10 ms", bench::Fixed(share, 3), "< 0.5",
                                           ok ? "ok" : "over"});
            app.exit(ok ? 0 : 1);
        });
    });
    return app.exec();
}
