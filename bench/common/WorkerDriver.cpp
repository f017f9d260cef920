// bench_worker_rec: records streams with bare CmmsThread workers, one per
// stream, all at once, without the command line's settings profile, display
// or polling loop: what the recording engine itself costs.
//
//   bench_worker_rec [-t SECONDS] OUTFILE URL [OUTFILE URL ...]
//
// SIGINT or SIGTERM calls Stop() on every worker; the time from the signal to
// the last worker's end is printed ("stopped N workers in X ms"). The main
// thread sleeps in poll() until a worker ends or a signal comes, so it adds
// no wake-ups of its own. Exit status: 0 all recorded, 1 a worker reported
// an error, 2 bad usage, 130 stopped by a signal.
#include <poll.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "recorder/CmmsThread.h"
#include "recorder/QuestionAsker.h"
#include "recorder/RecordJob.h"

using namespace larkspan;

namespace {

// Wakes the main thread when a worker has finished.
class FinishNotifier : public RecordStatusTarget {
public:
    explicit FinishNotifier(int eventFd) : fd_(eventFd) {}
    void PostRecordStatus(RecordStatus status, std::uint16_t) override {
        if (status != RecordStatus::Finished) return;
        uint64_t one = 1;
        ssize_t ignored = write(fd_, &one, sizeof one);
        (void)ignored;
    }

private:
    int fd_;
};

[[noreturn]] void Usage() {
    std::fprintf(stderr, "usage: bench_worker_rec [-t SECONDS] OUTFILE URL [OUTFILE URL ...]\n");
    std::exit(2);
}

}  // namespace

int main(int argc, char** argv) {
    int maxTime = 0;
    std::vector<std::pair<std::string, std::string>> jobs;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "-t" && i + 1 < argc) {
            maxTime = std::atoi(argv[++i]);
        } else if (!a.empty() && a[0] == '-') {
            Usage();
        } else if (i + 1 < argc) {
            jobs.emplace_back(a, argv[i + 1]);
            ++i;
        } else {
            Usage();
        }
    }
    if (jobs.empty()) Usage();

    // Signals are read from a descriptor by the main thread only; blocked
    // before any worker starts, so no worker ever takes one.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    signal(SIGPIPE, SIG_IGN);
    const int sigFd = signalfd(-1, &signals, SFD_CLOEXEC);
    const int finishFd = eventfd(0, EFD_CLOEXEC);
    if (sigFd < 0 || finishFd < 0) {
        std::perror("bench_worker_rec");
        return 1;
    }

    RecorderSettings settings;
    if (maxTime > 0) {
        settings.timePolicy = 1;
        settings.maxTime = maxTime;
    }
    FinishNotifier notifier(finishFd);
    FixedQuestionAsker asker(OverwriteAnswer::Yes);
    std::vector<std::unique_ptr<CmmsThread>> workers;
    std::uint16_t number = 0;
    for (const auto& [out, url] : jobs) {
        RecordJob job;
        job.notifyWindow = &notifier;
        job.jobNumber = ++number;
        job.settings = settings;
        job.sourceRef = url;
        auto worker = std::make_unique<CmmsThread>(std::move(job), &asker, nullptr);
        worker->SetFixedOutputPath(out);
        workers.push_back(std::move(worker));
    }
    for (auto& w : workers) w->Start();

    size_t finished = 0;
    bool interrupted = false;
    std::chrono::steady_clock::time_point signalled;
    while (finished < workers.size()) {
        pollfd p[2] = {{sigFd, POLLIN, 0}, {finishFd, POLLIN, 0}};
        if (poll(p, 2, -1) < 0) continue;
        if (p[0].revents & POLLIN) {
            signalfd_siginfo info{};
            ssize_t ignored = read(sigFd, &info, sizeof info);
            (void)ignored;
            if (!interrupted) {
                interrupted = true;
                signalled = std::chrono::steady_clock::now();
                for (auto& w : workers) w->Stop();
            }
        }
        if (p[1].revents & POLLIN) {
            uint64_t count = 0;
            if (read(finishFd, &count, sizeof count) == sizeof count) finished += size_t(count);
        }
    }
    for (auto& w : workers) w->Join();

    int status = interrupted ? 130 : 0;
    if (interrupted) {
        const double ms =
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - signalled).count();
        std::printf("stopped %zu workers in %.1f ms\n", workers.size(), ms);
    }
    for (auto& w : workers) {
        if (w->ErrorFlag()) {
            std::fprintf(stderr, "%s: %s\n", w->SourceRef().c_str(), w->GetErrorText().c_str());
            if (!interrupted) status = 1;
        }
    }
    std::fflush(stdout);
    return status;
}
