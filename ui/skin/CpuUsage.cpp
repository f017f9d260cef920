#include "ui/skin/CpuUsage.h"

#include <charconv>

namespace larkspan {

std::optional<CpuTimes> parseProcStatCpuLine(std::string_view text)
{
    // The aggregate line comes first and starts with "cpu" and a blank (the
    // per-processor lines are "cpu0", "cpu1", ...).
    std::size_t lineStart = 0;
    std::string_view line;
    while (lineStart < text.size()) {
        const std::size_t end = text.find('\n', lineStart);
        const std::string_view candidate =
            text.substr(lineStart, end == std::string_view::npos ? std::string_view::npos : end - lineStart);
        if (candidate.size() > 3 && candidate.substr(0, 3) == "cpu" && (candidate[3] == ' ' || candidate[3] == '\t')) {
            line = candidate.substr(3);
            break;
        }
        if (end == std::string_view::npos)
            break;
        lineStart = end + 1;
    }
    if (line.empty())
        return std::nullopt;

    constexpr int kCounted = 8; // user .. steal
    std::uint64_t columns[kCounted] = {};
    int read = 0;
    std::size_t at = 0;
    while (read < kCounted) {
        while (at < line.size() && (line[at] == ' ' || line[at] == '\t' || line[at] == '\r'))
            ++at;
        if (at >= line.size())
            break;
        const auto [end, error] = std::from_chars(line.data() + at, line.data() + line.size(), columns[read]);
        if (error != std::errc() || (end != line.data() + line.size() && *end != ' ' && *end != '\t' && *end != '\r'))
            return std::nullopt;
        at = static_cast<std::size_t>(end - line.data());
        ++read;
    }
    if (read < 4)
        return std::nullopt;

    CpuTimes times;
    for (std::uint64_t column : columns)
        times.total += column;
    const std::uint64_t idle = columns[3] + columns[4];
    times.busy = times.total - idle;
    return times;
}

std::optional<int> cpuPercentBetween(const CpuTimes& earlier, const CpuTimes& later)
{
    if (later.total <= earlier.total)
        return std::nullopt;
    const std::uint64_t total = later.total - earlier.total;
    const std::uint64_t busy = later.busy > earlier.busy ? later.busy - earlier.busy : 0;
    const std::uint64_t percent = (busy * 200 + total) / (total * 2);
    return static_cast<int>(percent > 100 ? 100 : percent);
}

std::optional<int> CpuSampleRing::add(const CpuTimes& sample)
{
    std::optional<int> percent;
    if (m_count > 0) {
        const CpuTimes& previous = m_samples[(m_next + kCapacity - 1) % kCapacity];
        percent = cpuPercentBetween(previous, sample);
        // A sample without progress is not kept: the next one is measured
        // against the last sample that moved.
        if (!percent)
            return std::nullopt;
    }
    m_samples[m_next] = sample;
    m_count = m_count + 1 < kCapacity ? m_count + 1 : kCapacity;
    m_next = (m_next + 1) % kCapacity;
    if (m_count == kCapacity)
        m_start = m_next;
    return percent;
}

} // namespace larkspan
