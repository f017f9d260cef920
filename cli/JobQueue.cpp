#include "cli/JobQueue.h"

#include <cstdio>
#include <filesystem>

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
                                  : OverwritePolicy::Ask) {}

JobQueue::~JobQueue() {
    for (ConsoleJob* job : running_) job->Stop();
}

void JobQueue::Add(const std::string& source) { waiting_.push_back(source); }

void JobQueue::DrainMessages(ConsoleJob* job) {
    for (auto& m : job->TakeMessages())
        if (!options_.quiet) display_.Message("[" + std::to_string(job->Number()) + "] " + m);
}

void JobQueue::Finish(ConsoleJob* job) {
    job->Join();
    DrainMessages(job);
    if (job->Failed()) ++failures_;
    display_.Clear();
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
}

bool JobQueue::Poll(bool interrupted) {
    if (interrupted && !stopping_) {
        stopping_ = true;
        waiting_.clear();
        for (ConsoleJob* job : running_) job->Stop();
    }
    while (!stopping_ && running_.size() < static_cast<size_t>(options_.jobs) && !waiting_.empty()) {
        auto job = std::make_unique<ConsoleJob>(++number_, waiting_.front(), options_.name, options_.output,
                                                settings_, &terminal_, policy_, options_.user, options_.password);
        waiting_.pop_front();
        job->Start();
        running_.push_back(job.get());
        jobs_.push_back(std::move(job));
    }
    for (auto it = running_.begin(); it != running_.end();) {
        if ((*it)->Finished()) {
            Finish(*it);
            it = running_.erase(it);
        } else {
            DrainMessages(*it);
            ++it;
        }
    }
    if (!terminal_.asking) display_.Update(running_);
    return !running_.empty() || !waiting_.empty();
}

}  // namespace larkspan::cli
