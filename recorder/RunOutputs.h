#pragma once
#include <mutex>
#include <set>
#include <string>

namespace larkspan {

// The files one run has written: the recordings of one job, or of every job
// of one command-line run when the jobs share the object. A later recording
// of the run never replaces one of them; it is given a free variant of the
// name instead ("clip (2).asf"), as recordings running at once are by
// OutputClaim. Thread-safe: jobs of one run may record at the same time.
class RunOutputs {
public:
    // Notes that a recording of this run wrote path.
    void Add(const std::string& path);
    // True when a recording of this run wrote path (any spelling of it).
    bool Contains(const std::string& path) const;
    // The same, for a path already turned into its key (OutputPathKey).
    bool ContainsKey(const std::string& key) const;

private:
    mutable std::mutex mutex_;
    std::set<std::string> keys_;
};

}  // namespace larkspan
