// larkspan-rec: records Windows Media streams from the command line.
#include <atomic>
#include <functional>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <unistd.h>

#if defined(_WIN32)
#include "app/QtSettingsProfile.h"
#endif
#include "cli/DetectCommand.h"
#include "cli/JobQueue.h"
#include "media/MediaRefKind.h"
#include "cli/Options.h"
#include "cli/PrintableText.h"
#include "cli/ProgressDisplay.h"
#include "cli/Terminal.h"
#include "recorder/IniSettingsProfile.h"
#include "recorder/RecorderSettings.h"

using namespace larkspan;
using namespace larkspan::cli;

namespace {

std::atomic<int> g_interrupts{0};
std::atomic<int> g_firstSignal{0};  // the signal that ends the run decides the exit status

void OnSignal(int signal) {
    int none = 0;
    g_firstSignal.compare_exchange_strong(none, signal);
    g_interrupts.fetch_add(1);
    // A question waiting on the terminal ends at once.
    RaiseTerminalInterrupt();
}

void InstallSignalHandlers() {
    PrepareTerminalInterrupt();
    struct sigaction sa {};
    sa.sa_handler = OnSignal;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    // A closed pipe or a file-size limit makes a write fail, which the
    // recording reports, instead of killing the program.
    std::signal(SIGPIPE, SIG_IGN);
    std::signal(SIGXFSZ, SIG_IGN);
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    std::string error;
    if (!ParseOptions(argc, argv, options, error)) {
        std::fprintf(stderr, "larkspan-rec: %s\n%s", error.c_str(), "Try 'larkspan-rec --help'.\n");
        return 2;
    }
    if (options.help) {
        std::fputs(UsageText(), stdout);
        return 0;
    }
    if (options.version) {
        std::puts("larkspan-rec " LARKSPAN_VERSION);
        return 0;
    }

    RecorderSettings settings;
    {
        // The profile the desktop program keeps: the registry on Windows, an
        // INI file read without Qt elsewhere.
#if defined(_WIN32)
        QtSettingsProfile profile;
#else
        IniSettingsProfile profile(IniSettingsProfile::DefaultPath());
#endif
        settings.Load(profile);
    }
    if (!options.dir.empty()) {
        settings.baseDir = options.dir;
        if (!CreateDirectoryPath(settings.baseDir + "/")) {
            std::fprintf(stderr, "larkspan-rec: cannot create folder %s\n", Printable(settings.baseDir).c_str());
            return 1;
        }
    }
    // --no-clobber holds even when the profile says to overwrite unasked.
    if (options.noClobber) settings.overWrite = 1;
    if (options.maxTime > 0) {
        settings.timePolicy = 1;
        settings.maxTime = options.maxTime;
    }
    if (options.maxSize > 0) {
        settings.sizePolicy = 1;
        settings.maxSize = options.maxSize;
    }
    if (options.timeout >= 0) settings.idleTimeout = options.timeout;

    if (!options.output.empty() && IsMetaKind(ClassifyMediaRef(options.sources[0]))) {
        std::fprintf(stderr, "larkspan-rec: --output takes a stream, not a playlist; use --name and --dir\n");
        return 2;
    }
    if (options.ToStandardOutput() && ::isatty(STDOUT_FILENO) == 1) {
        std::fprintf(stderr, "larkspan-rec: --output - writes the stream to standard output, which is a terminal;\n"
                             "pipe it into a player or a file\n");
        return 2;
    }

    InstallSignalHandlers();
    TerminalLock terminal;
    ProgressDisplay display(stderr, StderrIsTerminal(), options.quiet);
    terminal.display = &display;
    JobQueue queue(options, settings, display, terminal);
    auto interrupted = [] { return g_interrupts.load() > 0; };

    int status = 0;
    if (options.detect) {
        std::function<void(const std::string&)> record;
        if (options.record) record = [&](const std::string& url) { queue.Add(url); };
        status = RunDetectCommand(options, g_interrupts, terminal, record, [&] { queue.Poll(interrupted()); });
    } else {
        for (const std::string& source : options.sources) queue.Add(source);
    }
    // Recordings go on to their end (or until Ctrl-C) after detection ends.
    while (queue.Poll(interrupted())) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    display.Clear();
    if (interrupted()) return 128 + g_firstSignal.load();
    if (status != 0) return status;
    return queue.Failures() > 0 ? 1 : 0;
}
