#include "cli/JobQueue.h"

#include <cstdio>
#include <mutex>

#include "cli/PrintableText.h"
#include "cli/Terminal.h"

namespace larkspan::cli {

JobQueue::JobQueue(const Options& options, const RecorderSettings& settings, ProgressDisplay& display,
                   TerminalLock& terminal)
    : options_(options),
      settings_(settings),
      display_(display),
      terminal_(terminal),
      policy_(options.yes         ? OverwritePolicy::Always
              : options.noClobber ? OverwritePolicy::Never
                                  : OverwritePolicy::Ask),
      // Standard output carries the stream itself: nothing else goes there.
      summary_(options.ToStandardOutput() ? stderr : stdout) {}

JobQueue::~JobQueue() {
    for (auto& job : running_) job->Stop();
}

void JobQueue::Add(const std::string& source) { waiting_.push_back(source); }

void JobQueue::DrainMessages(ConsoleJob& job) {
    for (auto& m : job.TakeMessages())
        if (!options_.quiet) display_.Message("[" + std::to_string(job.Number()) + "] " + Printable(m));
}

void JobQueue::Finish(ConsoleJob& job) {
    job.Join();
    DrainMessages(job);
    if (job.Failed()) ++failures_;
    display_.Clear();
    display_.Forget(job.Number());
    const CmmsThread& w = job.Worker();
    std::vector<std::string> paths = w.OutputPaths();
    if (paths.empty()) paths.push_back(w.SourceRef());
    // A playlist job names the downloaded playlist first, then each entry;
    // the outcome belongs to the job as a whole.
    for (size_t i = 0; i < paths.size(); ++i) {
        const std::string size = FormatBytes(job.SizeOf(paths[i]));
        const std::string path = Printable(DisplayPath(paths[i]));
        if (i + 1 < paths.size())
            std::fprintf(summary_, "%s (%s)\n", path.c_str(), size.c_str());
        else
            std::fprintf(summary_, "%s: %s (%s)\n", path.c_str(), Printable(job.Outcome()).c_str(), size.c_str());
    }
    std::fflush(summary_);
}

bool JobQueue::Poll(bool interrupted) {
    if (interrupted && !stopping_) {
        stopping_ = true;
        waiting_.clear();
        for (auto& job : running_) job->Stop();
    }
    while (!stopping_ && running_.size() < static_cast<size_t>(options_.jobs) && !waiting_.empty()) {
        auto job = std::make_unique<ConsoleJob>(++number_, waiting_.front(), options_.name, options_.output,
                                                settings_, &terminal_, policy_, options_.user, options_.password,
                                                runOutputs_);
        waiting_.pop_front();
        job->Start();
        running_.push_back(std::move(job));
    }
    // A question on the terminal keeps everything else off it until answered.
    std::unique_lock<std::mutex> screen(terminal_.mutex, std::try_to_lock);
    if (screen.owns_lock()) {
        for (auto it = running_.begin(); it != running_.end();) {
            if ((*it)->Finished()) {
                Finish(**it);
                it = running_.erase(it);  // the job and its worker go here
            } else {
                DrainMessages(**it);
                ++it;
            }
        }
        std::vector<ConsoleJob*> shown;
        for (auto& job : running_) shown.push_back(job.get());
        display_.Update(shown);
    }
    return !running_.empty() || !waiting_.empty();
}

}  // namespace larkspan::cli
