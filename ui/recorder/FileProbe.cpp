#include "ui/recorder/FileProbe.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <vector>

#include "asf/AsfCodec.h"
#include "recorder/PlaylistReferences.h"

namespace larkspan {

namespace {
// The header is read only this far; a File Properties Object lies near the
// start of any header.
constexpr size_t kHeaderReadLimit = 256 * 1024;
// Offsets inside the File Properties Object.
constexpr size_t kPlayDurationAt = 64;
constexpr size_t kPrerollAt = 80;
}  // namespace

LocalFileInfo ProbeLocalFile(const std::string& path) {
    LocalFileInfo info;
    if (path.empty() || IsNetworkAddress(path) || path.find("://") != std::string::npos) return info;
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return info;
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return info;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return info;
    }
    info.sizeBytes = static_cast<std::uint64_t>(st.st_size);
    std::vector<std::uint8_t> head(std::min<size_t>(kHeaderReadLimit, static_cast<size_t>(st.st_size)));
    size_t got = 0;
    while (got < head.size()) {
        const ssize_t n = ::read(fd, head.data() + got, head.size() - got);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        got += static_cast<size_t>(n);
    }
    ::close(fd);
    const long at = AsfCodec::FindFileProperties(head.data(), got);
    if (at < 0 || static_cast<size_t>(at) + kPrerollAt + 8 > got) return info;
    const std::uint64_t playDuration100ns = AsfCodec::ReadU64(head.data() + at + kPlayDurationAt);
    const std::uint64_t prerollMs = AsfCodec::ReadU64(head.data() + at + kPrerollAt);
    const std::uint64_t playMs = playDuration100ns / 10000;
    const std::uint64_t ms = playMs > prerollMs ? playMs - prerollMs : 0;
    info.durationSeconds = static_cast<std::uint32_t>(std::min<std::uint64_t>(ms / 1000, UINT32_MAX));
    return info;
}

std::string ClockText(std::uint32_t seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%u:%02u:%02u", seconds / 3600, (seconds / 60) % 60, seconds % 60);
    return text;
}

}  // namespace larkspan
