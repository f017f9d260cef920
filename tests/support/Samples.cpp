#include "tests/support/Samples.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <mutex>

#ifndef LARKSPAN_SOURCE_DIR
#error "LARKSPAN_SOURCE_DIR must be defined by the build"
#endif
#ifndef LARKSPAN_BINARY_DIR
#error "LARKSPAN_BINARY_DIR must be defined by the build"
#endif

namespace larkspan::testsupport {

namespace {

const char* const kSampleNames[] = {"clip.asf", "audio.asf", "bigpackets.asf"};

struct SamplesState {
    std::once_flag once;
    std::string dir;
    std::string error;
};

SamplesState& State() {
    static SamplesState state;
    return state;
}

bool AllSamplesPresent(const std::string& dir) {
    for (const char* name : kSampleNames) {
        std::error_code ec;
        if (std::filesystem::file_size(dir + "/" + name, ec) == 0 || ec) return false;
    }
    return true;
}

// An exclusive lock on a file in dir, so that test processes run side by
// side by ctest do not make the same files at once.
class DirLock {
public:
    explicit DirLock(const std::string& dir) {
        fd_ = ::open((dir + "/.make-samples.lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
        if (fd_ >= 0) ::flock(fd_, LOCK_EX);
    }
    ~DirLock() {
        if (fd_ >= 0) {
            ::flock(fd_, LOCK_UN);
            ::close(fd_);
        }
    }
    DirLock(const DirLock&) = delete;
    DirLock& operator=(const DirLock&) = delete;

private:
    int fd_ = -1;
};

void MakeSamples(SamplesState& s) {
    const char* env = std::getenv("LARKSPAN_SAMPLES_DIR");
    std::string dir = (env && *env) ? env : std::string(LARKSPAN_BINARY_DIR) + "/samples";

    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    if (ec) {
        s.error = "cannot create the samples folder " + dir + ": " + ec.message();
        return;
    }
    if (AllSamplesPresent(dir)) {
        s.dir = dir;
        return;
    }
    if (!HaveTool("ffmpeg")) {
        s.error = "ffmpeg not found on PATH; it is needed to make the sample media in " + dir;
        return;
    }

    DirLock lock(dir);
    if (!AllSamplesPresent(dir)) {
        std::string out;
        const std::string script = std::string(LARKSPAN_SOURCE_DIR) + "/scripts/make-samples.sh";
        int rc = RunCommand("bash " + ShellQuote(script) + " " + ShellQuote(dir) + " 2>&1", &out);
        if (rc != 0 || !AllSamplesPresent(dir)) {
            s.error = "scripts/make-samples.sh " + dir + " failed (exit " + std::to_string(rc) + "): " + out;
            return;
        }
    }
    s.dir = dir;
}

}  // namespace

std::string SamplesDir() {
    SamplesState& s = State();
    std::call_once(s.once, [&s] { MakeSamples(s); });
    return s.dir;
}

std::string SamplesError() {
    SamplesDir();
    return State().error;
}

std::string SamplePath(const std::string& name) {
    std::string dir = SamplesDir();
    if (dir.empty()) return {};
    std::string path = dir + "/" + name;
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) return {};
    return path;
}

bool HaveTool(const std::string& name) {
    const char* path = std::getenv("PATH");
    if (!path) return false;
    std::string all = path;
    size_t start = 0;
    while (start <= all.size()) {
        size_t end = all.find(':', start);
        if (end == std::string::npos) end = all.size();
        std::string dir = all.substr(start, end - start);
        if (dir.empty()) dir = ".";
        std::string candidate = dir + "/" + name;
        if (::access(candidate.c_str(), X_OK) == 0) {
            struct stat st {};
            if (::stat(candidate.c_str(), &st) == 0 && S_ISREG(st.st_mode)) return true;
        }
        start = end + 1;
    }
    return false;
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
    int status = ::pclose(pipe);
    if (status == -1 || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}

std::string ShellQuote(const std::string& arg) {
    std::string q = "'";
    for (char c : arg) {
        if (c == '\'')
            q += "'\\''";
        else
            q += c;
    }
    q += "'";
    return q;
}

Probe ProbeFile(const std::string& path) {
    Probe p;
    std::string out;
    if (RunCommand("ffprobe -v error -show_entries stream=codec_name:format=duration -of default=nw=1 " +
                       ShellQuote(path),
                   &out) != 0)
        return p;
    size_t at = 0;
    while (at < out.size()) {
        size_t end = out.find('\n', at);
        if (end == std::string::npos) end = out.size();
        const std::string line = out.substr(at, end - at);
        if (line.rfind("codec_name=", 0) == 0) p.codecs.push_back(line.substr(11));
        if (line.rfind("duration=", 0) == 0) p.duration = std::atof(line.c_str() + 9);
        at = end + 1;
    }
    p.ok = !p.codecs.empty();
    return p;
}

}  // namespace larkspan::testsupport
