#pragma once
#include <string>
#include <vector>

namespace larkspan::cli {

// The --output value that sends the stream to standard output.
inline constexpr const char* kStandardOutput = "-";

struct Options {
    std::vector<std::string> sources;
    std::string output;      // --output: one stream written to exactly this file ("-": standard output)
    std::string name;        // --name: requested name of the recording
    std::string dir;         // --dir: overrides "base dir"
    int maxTime = -1;        // --max-time seconds (-1: from the settings)
    int maxSize = -1;        // --max-size MiB (-1: from the settings)
    int timeout = -1;        // --timeout seconds without data before giving up (0: never, -1: from the settings)
    std::string user;
    std::string password;
    bool yes = false;        // overwrite without asking
    bool noClobber = false;  // never overwrite
    int jobs = 1;            // -j N recordings at once
    bool quiet = false;
    bool help = false;
    bool version = false;
    // Address detection.
    bool detect = false;
    std::string interface;
    std::string pcapFile;
    bool record = false;

    bool ToStandardOutput() const { return output == kStandardOutput; }
};

// Parses argv. On a usage error returns false with a message in error.
bool ParseOptions(int argc, const char* const* argv, Options& options, std::string& error);

const char* UsageText();

}  // namespace larkspan::cli
