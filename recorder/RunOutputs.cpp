#include "recorder/RunOutputs.h"

#include "recorder/OutputClaim.h"

namespace larkspan {

void RunOutputs::Add(const std::string& path) {
    const std::string key = OutputPathKey(path);
    std::lock_guard<std::mutex> lock(mutex_);
    keys_.insert(key);
}

bool RunOutputs::Contains(const std::string& path) const { return ContainsKey(OutputPathKey(path)); }

bool RunOutputs::ContainsKey(const std::string& key) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return keys_.count(key) != 0;
}

}  // namespace larkspan
