#include "ui/skin/PerfCounterQuery.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace larkspan {

PerfCounterQuery::PerfCounterQuery(std::string statPath) : m_statPath(std::move(statPath)) {}

PerfCounterQuery::~PerfCounterQuery()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

bool PerfCounterQuery::open()
{
    if (m_fd >= 0)
        return true;
    m_fd = ::open(m_statPath.c_str(), O_RDONLY | O_CLOEXEC);
    if (m_fd < 0)
        return false;
    const std::optional<CpuTimes> first = readSample();
    if (!first) {
        ::close(m_fd);
        m_fd = -1;
        return false;
    }
    m_ring.add(*first);
    return true;
}

std::optional<int> PerfCounterQuery::collect()
{
    const std::optional<CpuTimes> sample = readSample();
    if (!sample)
        return std::nullopt;
    return m_ring.add(*sample);
}

std::optional<CpuTimes> PerfCounterQuery::readSample()
{
    if (m_fd < 0)
        return std::nullopt;
    // The aggregate line is the first one; one read from the start of the
    // kept-open file is enough and costs one system call per tick.
    char buffer[512];
    ssize_t got;
    do {
        got = ::pread(m_fd, buffer, sizeof buffer, 0);
    } while (got < 0 && errno == EINTR);
    if (got <= 0)
        return std::nullopt;
    std::string_view text(buffer, static_cast<std::size_t>(got));
    const std::size_t lineEnd = text.find('\n');
    if (lineEnd == std::string_view::npos && static_cast<std::size_t>(got) == sizeof buffer)
        return std::nullopt;
    return parseProcStatCpuLine(text.substr(0, lineEnd));
}

} // namespace larkspan
