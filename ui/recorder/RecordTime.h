#pragma once
#include <cstdint>
#include <functional>
#include <optional>
#include <string_view>

namespace larkspan {

// A row's own record time: a whole number of minutes ("90"), or hours and
// minutes joined by a colon ("1:30"), blanks around the text allowed. The
// result is the limit in seconds, 0 for no limit of the row's own ("0",
// "0:0", empty). Nothing for anything else: a sign, a missing or extra
// field, a letter, or a total beyond what the settings hold.
std::optional<int> ParseRecordTime(std::string_view text);

// The job number after `last`: counts up from 1 and wraps after 65535,
// skipping 0 and every number inUse says is taken. 0 when all are taken.
std::uint16_t NextJobNumber(std::uint16_t last, const std::function<bool(std::uint16_t)>& inUse);

}  // namespace larkspan
