#include "ui/prefs/MaxTimeFields.h"

#include <algorithm>
#include <climits>
#include <cstdint>

namespace larkspan {

MaxTimeFields SplitMaxTime(int maxTime) {
    return MaxTimeFields{maxTime / 60, maxTime % 60};
}

int MaxTimeFromFields(int minutes, int seconds) {
    const int64_t total = static_cast<int64_t>(minutes) * 60 + seconds;
    return static_cast<int>(std::clamp<int64_t>(total, INT_MIN, INT_MAX));
}

}  // namespace larkspan
