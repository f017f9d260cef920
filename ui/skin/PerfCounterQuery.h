#pragma once

// Processor usage of the whole machine, sampled from /proc/stat. Plain C++:
// the meter asks it for a value once per tick.

#include "ui/skin/CpuUsage.h"

#include <optional>
#include <string>

namespace larkspan {

class PerfCounterQuery {
public:
    explicit PerfCounterQuery(std::string statPath = "/proc/stat");
    ~PerfCounterQuery();
    PerfCounterQuery(const PerfCounterQuery&) = delete;
    PerfCounterQuery& operator=(const PerfCounterQuery&) = delete;

    // Opens the file and takes the first sample; false when it cannot be read.
    bool open();
    bool isOpen() const { return m_fd >= 0; }

    // Takes a sample and returns the usage in whole per cent since the last
    // sample that moved; empty when unreadable or when no time has passed.
    std::optional<int> collect();

    const CpuSampleRing& ring() const { return m_ring; }

private:
    std::optional<CpuTimes> readSample();

    std::string m_statPath;
    int m_fd = -1;
    CpuSampleRing m_ring;
};

} // namespace larkspan
