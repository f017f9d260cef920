#include "tests/support/Samples.h"

#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "tests/support/WellKnownPortsLock.h"

namespace larkspan::testsupport {

namespace {

bool AllSamplesPresent(const std::string& dir) {
    for (const char* name : {"clip.asf", "audio.asf", "bigpackets.asf"}) {
        std::error_code ec;
        if (std::filesystem::file_size(dir + "/" + name, ec) == 0 || ec) return false;
    }
    return true;
}

struct Samples {
    std::string dir, error;
};

Samples MakeSamples() {
    const char* env = std::getenv("LARKSPAN_SAMPLES_DIR");
    const std::string dir = (env && *env) ? env : std::string(LARKSPAN_BINARY_DIR) + "/samples";
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    if (ec) return {"", "cannot create the samples folder " + dir + ": " + ec.message()};
    if (AllSamplesPresent(dir)) return {dir, ""};
    if (!HaveTool("ffmpeg")) return {"", "ffmpeg not found on PATH; it is needed to make the sample media in " + dir};
    // Test processes run side by side do not make the same files at once.
    FileLock lock(dir + "/.make-samples.lock");
    std::string out;
    const std::string script = std::string(LARKSPAN_SOURCE_DIR) + "/scripts/make-samples.sh";
    int rc = 0;
    if (!AllSamplesPresent(dir)) rc = RunCommand("bash " + ShellQuote(script) + " " + ShellQuote(dir) + " 2>&1", &out);
    if (rc != 0 || !AllSamplesPresent(dir))
        return {"", "scripts/make-samples.sh " + dir + " failed (exit " + std::to_string(rc) + "): " + out};
    return {dir, ""};
}

// Made once per process, on first use.
const Samples& State() {
    static const Samples samples = MakeSamples();
    return samples;
}

}  // namespace

std::string SamplesDir() { return State().dir; }
std::string SamplesError() { return State().error; }

std::string SamplePath(const std::string& name) {
    const std::string dir = SamplesDir();
    std::error_code ec;
    if (dir.empty() || !std::filesystem::is_regular_file(dir + "/" + name, ec)) return {};
    return dir + "/" + name;
}

bool HaveTool(const std::string& name) {
    return RunCommand("command -v " + ShellQuote(name) + " >/dev/null 2>&1") == 0;
}

int RunCommand(const std::string& command, std::string* output) {
    std::fflush(nullptr);
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) return -1;
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, pipe)) > 0) {
        if (output) output->append(buf, n);
    }
    const int status = ::pclose(pipe);
    return status != -1 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string ShellQuote(const std::string& arg) {
    std::string q = "'";
    for (char c : arg) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

}  // namespace larkspan::testsupport
