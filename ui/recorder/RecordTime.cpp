#include "ui/recorder/RecordTime.h"

#include <climits>

namespace larkspan {

namespace {

// Only digits, at least one; nothing when the value passes limit.
std::optional<std::int64_t> WholeNumber(std::string_view digits, std::int64_t limit) {
    if (digits.empty()) return std::nullopt;
    std::int64_t value = 0;
    for (char c : digits) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + (c - '0');
        if (value > limit) return std::nullopt;
    }
    return value;
}

}  // namespace

std::optional<int> ParseRecordTime(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    if (text.empty()) return 0;
    const size_t colon = text.find(':');
    std::optional<std::int64_t> hours = 0;
    std::optional<std::int64_t> minutes;
    if (colon == std::string_view::npos) {
        minutes = WholeNumber(text, INT_MAX / 60);
    } else {
        hours = WholeNumber(text.substr(0, colon), INT_MAX / 3600);
        minutes = WholeNumber(text.substr(colon + 1), INT_MAX / 60);
    }
    if (!hours || !minutes) return std::nullopt;
    const std::int64_t seconds = *hours * 3600 + *minutes * 60;
    if (seconds > INT_MAX) return std::nullopt;
    return static_cast<int>(seconds);
}

std::uint16_t NextJobNumber(std::uint16_t last, const std::function<bool(std::uint16_t)>& inUse) {
    std::uint16_t candidate = last;
    for (int tried = 0; tried < 65535; ++tried) {
        candidate = candidate == 65535 ? 1 : static_cast<std::uint16_t>(candidate + 1);
        if (!inUse(candidate)) return candidate;
    }
    return 0;
}

}  // namespace larkspan
