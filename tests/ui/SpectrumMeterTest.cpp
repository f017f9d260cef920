#include "ui/skin/CpuUsage.h"
#include "ui/skin/Skin.h"
#include "ui/skin/SpectrumMeter.h"

#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

#include <fstream>
#include <optional>
#include <tuple>

namespace larkspan {
namespace {

TEST(ProcStatParser, ReadsTheAggregateLine)
{
    const struct { const char* name; const char* text; std::optional<CpuTimes> expected; } cases[] = {
        {"guest columns not added", "cpu  100 20 30 400 50 6 7 8 90 10\ncpu0 1 1 1 1\n", CpuTimes{171, 621}},
        {"four columns", "cpu 10 0 10 80\n", CpuTimes{20, 100}},
        {"after other lines", "intr 5\ncpu 1 2 3 4 5 6 7 8\n", CpuTimes{27, 36}},
        {"three columns", "cpu 1 2 3\n", std::nullopt},
        {"garbled column", "cpu 1 2 x 4 5\n", std::nullopt},
        {"number glued to text", "cpu 1 2 3 4x 5\n", std::nullopt},
        {"per-processor line only", "cpu0 1 2 3 4\n", std::nullopt},
        {"empty", "", std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(parseProcStatCpuLine(c.text), c.expected);
    }
}

TEST(ProcStatParser, UsageBetweenTwoSamples)
{
    const struct { const char* name; const char* first; const char* second; std::optional<int> percent; } cases[] = {
        {"half busy", "cpu 100 0 100 200 0 0 0 0", "cpu 150 0 150 300 0 0 0 0", 50},
        {"guest time is in user already", "cpu 100 0 0 100 0 0 0 0 0 0", "cpu 200 0 0 200 0 0 0 0 100 0", 50},
        {"iowait counts as idle", "cpu 0 0 0 0 0 0 0 0", "cpu 25 0 0 25 50 0 0 0", 25},
        {"rounded to nearest", "cpu 0 0 0 0", "cpu 2 0 0 1", 67},
        {"no time passed", "cpu 5 0 5 90", "cpu 5 0 5 90", std::nullopt},
        {"counters went back", "cpu 5 0 5 90", "cpu 1 0 1 9", std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CpuSampleRing ring;
        EXPECT_EQ(ring.add(*parseProcStatCpuLine(c.first)), std::nullopt); // a first sample has nothing to compare
        EXPECT_EQ(ring.add(*parseProcStatCpuLine(c.second)), c.percent);
    }
}

TEST(SpectrumMeterGraph, RowForUsage)
{
    const int cases[][2] = {{0, 24}, {50, 13}, {100, 1}, {1, 24}, {99, 2}, {-20, 24}, {250, 1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c[0]);
        EXPECT_EQ(SpectrumMeter::graphY(c[0]), c[1]);
    }
}

class SpectrumMeterTest : public ::testing::Test {
protected:
    std::string writeStat(const char* line)
    {
        const std::string path = (dir.path() + QStringLiteral("/stat")).toStdString();
        std::ofstream(path, std::ios::trunc) << line << "\nintr 1 2 3\n";
        return path;
    }
    std::unique_ptr<SpectrumMeter> makeMeter(const std::string& statPath)
    {
        return std::make_unique<SpectrumMeter>(skin, std::make_unique<PerfCounterQuery>(statPath));
    }
    static int timerInterval(SpectrumMeter& meter) { return meter.findChild<QTimer*>()->interval(); }

    QTemporaryDir dir;
    Skin skin;
};

TEST_F(SpectrumMeterTest, SpeedCommands)
{
    enum Command { Fast, Normal, Slow };
    const struct { const char* name; std::vector<Command> commands; int interval, wakePeriod; } cases[] = {
        {"fast three times", {Fast, Fast, Fast}, 350, 350},
        {"normal", {Normal}, 50, 50},
        {"fast from 50", {Normal, Fast}, 10, 40}, // four points per wake-up
        {"fast at the floor", {Normal, Fast, Fast}, 10, 40},
        {"slow", {Slow, Slow}, 600, 600},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto meter = makeMeter(writeStat("cpu 1 0 1 8"));
        for (Command command : c.commands)
            command == Fast ? meter->faster() : command == Normal ? meter->normalSpeed() : meter->slower();
        EXPECT_EQ(std::make_tuple(meter->interval(), timerInterval(*meter), meter->isRunning()),
                  std::make_tuple(c.interval, c.wakePeriod, true));
    }
}

TEST_F(SpectrumMeterTest, PauseThenSlowKeepsTheTimerStoppedUntilPauseAgain)
{
    auto meter = makeMeter(writeStat("cpu 1 0 1 8"));
    meter->togglePause();
    meter->slower();
    EXPECT_EQ(std::make_pair(meter->interval(), meter->isRunning()), std::make_pair(550, false));
    meter->togglePause();
    EXPECT_EQ(std::make_pair(timerInterval(*meter), meter->isRunning()), std::make_pair(550, true));
}

TEST_F(SpectrumMeterTest, SampleMovesTheGraphOnlyWhenTheCountersMoved)
{
    auto meter = makeMeter(writeStat("cpu 100 0 100 200 0 0 0 0"));
    meter->sample(); // no time passed
    EXPECT_EQ(meter->points().back(), -1);
    writeStat("cpu 150 0 150 300 0 0 0 0");
    meter->sample(); // 50 %
    const auto& points = meter->points();
    EXPECT_EQ(std::vector<int>(points.end() - 2, points.end()), (std::vector<int>{-1, 13}));
    meter->normalSpeed();
    meter->faster(); // 10 ms: four points per wake-up, stepping from 50 % to 100 %
    writeStat("cpu 250 0 250 300 0 0 0 0");
    meter->sample();
    EXPECT_EQ(std::vector<int>(points.end() - 5, points.end()), (std::vector<int>{13, 10, 7, 4, 1}));
}

TEST_F(SpectrumMeterTest, StaysStaticWithoutAReadableSource)
{
    for (const std::string& path : {std::string("/nonexistent/stat"), writeStat("cpu garbage")}) {
        auto meter = makeMeter(path);
        meter->togglePause();
        meter->sample();
        EXPECT_EQ(std::make_tuple(meter->hasSource(), meter->isRunning(), meter->points().back()),
                  std::make_tuple(false, false, -1)) << path;
    }
}

} // namespace
} // namespace larkspan
