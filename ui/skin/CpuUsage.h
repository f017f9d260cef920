#pragma once

// Processor usage from two samples of cumulative processor times. Plain C++
// without Qt or any platform call, so that any source of samples (the Linux
// /proc/stat file, or a Windows counter) can feed it.

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace larkspan {

// Cumulative processor times in clock ticks since boot.
struct CpuTimes {
    std::uint64_t busy = 0;
    std::uint64_t total = 0;
    bool operator==(const CpuTimes&) const = default;
};

// Reads the aggregate "cpu" line of /proc/stat text: user nice system idle
// iowait irq softirq steal [guest guest_nice]. Total is the sum of the first
// eight columns (guest and guest_nice are already counted in user and nice);
// busy is total minus idle and iowait. Needs at least the first four columns;
// columns a kernel does not have count as 0. Empty on a missing or garbled line.
std::optional<CpuTimes> parseProcStatCpuLine(std::string_view procStatText);

// Whole per cent (rounded to nearest, 0 to 100) of the processor time between
// two samples that was busy. Empty when the total did not move (two samples
// within one clock tick) or went backwards.
std::optional<int> cpuPercentBetween(const CpuTimes& earlier, const CpuTimes& later);

// The last 20 samples, oldest first once full: `next` is the slot written
// next, `start` the oldest slot, `count` how many are held.
class CpuSampleRing {
public:
    static constexpr int kCapacity = 20;

    // Stores the sample and returns the usage since the previous one.
    std::optional<int> add(const CpuTimes& sample);

    int next() const { return m_next; }
    int start() const { return m_start; }
    int count() const { return m_count; }

private:
    std::array<CpuTimes, kCapacity> m_samples{};
    int m_next = 0;
    int m_start = 0;
    int m_count = 0;
};

} // namespace larkspan
