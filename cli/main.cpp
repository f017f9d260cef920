// larkspan-rec: records Windows Media streams from the command line.
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "app/QtSettingsProfile.h"
#include "cli/ConsoleJob.h"
#include "media/MediaRefKind.h"
#include "cli/Options.h"
#include "cli/ProgressDisplay.h"
#include "cli/Terminal.h"
#include "recorder/RecorderSettings.h"

using namespace larkspan;
using namespace larkspan::cli;

namespace {

std::atomic<int> g_interrupts{0};

void OnSignal(int) { g_interrupts.fetch_add(1); }

void InstallSignalHandlers() {
    struct sigaction sa {};
    sa.sa_handler = OnSignal;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
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
    if (options.detect) {
        std::fprintf(stderr, "larkspan-rec: address detection is not available in this build\n");
        return 2;
    }

    RecorderSettings settings;
    {
        QtSettingsProfile profile;
        settings.Load(profile);
    }
    if (!options.dir.empty()) {
        settings.baseDir = options.dir;
        if (!CreateDirectoryPath(settings.baseDir + "/")) {
            std::fprintf(stderr, "larkspan-rec: cannot create folder %s\n", settings.baseDir.c_str());
            return 1;
        }
    }
    if (options.maxTime > 0) {
        settings.timePolicy = 1;
        settings.maxTime = options.maxTime;
    }
    if (options.maxSize > 0) {
        settings.sizePolicy = 1;
        settings.maxSize = options.maxSize;
    }

    if (!options.output.empty() && IsMetaKind(ClassifyMediaRef(options.sources[0]))) {
        std::fprintf(stderr, "larkspan-rec: --output takes a stream, not a playlist; use --name and --dir\n");
        return 2;
    }

    InstallSignalHandlers();
    TerminalLock terminal;
    ProgressDisplay display(stderr, StderrIsTerminal(), options.quiet);
    const OverwritePolicy policy =
        options.yes ? OverwritePolicy::Always : options.noClobber ? OverwritePolicy::Never : OverwritePolicy::Ask;

    std::vector<std::unique_ptr<ConsoleJob>> jobs;
    std::vector<ConsoleJob*> running;
    size_t next = 0;
    int failures = 0;
    std::uint16_t number = 0;

    auto drainMessages = [&](ConsoleJob* job) {
        for (auto& m : job->TakeMessages())
            if (!options.quiet) display.Message("[" + std::to_string(job->Number()) + "] " + m);
    };
    auto finishJob = [&](ConsoleJob* job) {
        job->Join();
        drainMessages(job);
        if (job->Failed()) ++failures;
        display.Clear();
        const CmmsThread& w = job->Worker();
        std::vector<std::string> paths = w.OutputPaths();
        if (paths.empty()) paths.push_back(w.SourceRef());
        // A playlist job names the downloaded playlist first, then each entry;
        // the outcome belongs to the job as a whole.
        for (size_t i = 0; i < paths.size(); ++i) {
            std::error_code ec;
            uint64_t size = std::filesystem::file_size(paths[i], ec);
            if (ec) size = 0;
            if (i + 1 < paths.size())
                std::printf("%s (%s)\n", paths[i].c_str(), FormatBytes(size).c_str());
            else
                std::printf("%s: %s (%s)\n", paths[i].c_str(), job->Outcome().c_str(), FormatBytes(size).c_str());
        }
        std::fflush(stdout);
    };

    while (true) {
        const bool interrupted = g_interrupts.load() > 0;
        while (!interrupted && running.size() < static_cast<size_t>(options.jobs) && next < options.sources.size()) {
            const std::string& source = options.sources[next++];
            auto job = std::make_unique<ConsoleJob>(++number, source, options.name, options.output, settings,
                                                    &terminal, policy, options.user, options.password);
            job->Start();
            running.push_back(job.get());
            jobs.push_back(std::move(job));
        }
        if (interrupted)
            for (ConsoleJob* job : running) job->Stop();
        for (auto it = running.begin(); it != running.end();) {
            if ((*it)->Finished()) {
                finishJob(*it);
                it = running.erase(it);
            } else {
                drainMessages(*it);
                ++it;
            }
        }
        if (running.empty() && (interrupted || next >= options.sources.size())) break;
        if (!terminal.asking) display.Update(running);
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    display.Clear();
    if (g_interrupts.load() > 0) return 130;
    return failures > 0 ? 1 : 0;
}
