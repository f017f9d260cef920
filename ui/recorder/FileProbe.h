#pragma once
#include <cstdint>
#include <optional>
#include <string>

namespace larkspan {

// What the record list shows of a local file: its size, and the play
// duration written in an ASF file's header.
struct LocalFileInfo {
    std::optional<std::uint64_t> sizeBytes;       // a regular file
    std::optional<std::uint32_t> durationSeconds;  // an ASF header with a File Properties Object
};

// Reads the information of a local regular file; never opens an address,
// a device or a pipe. May block on a slow file system: call it off the
// user-interface thread.
LocalFileInfo ProbeLocalFile(const std::string& path);

// "%d:%02d:%02d" (hours, minutes, seconds).
std::string ClockText(std::uint32_t seconds);

}  // namespace larkspan
