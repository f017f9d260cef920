// UTF-16 names and titles from captured bytes become UTF-8.
#include <gtest/gtest.h>

#include "detect/Utf16Text.h"

namespace larkspan {
namespace {

std::vector<uint8_t> Le(std::initializer_list<uint16_t> units) {
    std::vector<uint8_t> b;
    for (uint16_t u : units) {
        b.push_back(uint8_t(u));
        b.push_back(uint8_t(u >> 8));
    }
    return b;
}

struct Case {
    const char* what;
    std::vector<uint8_t> bytes;
    size_t maxUnits;
    std::string utf8;
    size_t consumed;
};

class Utf16ToUtf8 : public ::testing::TestWithParam<Case> {};

TEST_P(Utf16ToUtf8, Converts) {
    const Case& c = GetParam();
    std::string out = "old";
    EXPECT_EQ(Utf16LeToUtf8(c.bytes.data(), c.bytes.size(), c.maxUnits, out), c.consumed) << c.what;
    EXPECT_EQ(out, c.utf8) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Utf16ToUtf8,
    ::testing::Values(
        Case{"ascii to the terminator", Le({'a', 'b', 0, 'c'}), 100, "ab", 2},
        Case{"no terminator", Le({'a', 'b'}), 100, "ab", 2},
        Case{"odd byte left over", {'a', 0, 'b'}, 100, "a", 1},
        Case{"empty", {}, 100, "", 0},
        Case{"unit limit", Le({'a', 'b', 'c'}), 2, "ab", 2},
        Case{"two-byte", Le({0x00E9}), 10, "\xC3\xA9", 1},
        Case{"three-byte", Le({0xBC29}), 10, "\xEB\xB0\xA9", 1},
        Case{"surrogate pair", Le({0xD834, 0xDD1E}), 10, "\xF0\x9D\x84\x9E", 2},
        Case{"highest code point", Le({0xDBFF, 0xDFFF}), 10, "\xF4\x8F\xBF\xBF", 2},
        Case{"pair cut by the unit limit", Le({'a', 0xD834, 0xDD1E}), 2, "a\xEF\xBF\xBD", 2},
        Case{"pair cut by the end of data", Le({0xD834}), 10, "\xEF\xBF\xBD", 1},
        Case{"lone low surrogate", Le({0xDD1E, 'x'}), 10, "\xEF\xBF\xBDx", 2},
        Case{"reversed pair", Le({0xDD1E, 0xD834, 'x'}), 10, "\xEF\xBF\xBD\xEF\xBF\xBDx", 3},
        Case{"high then terminator", Le({0xD834, 0}), 10, "\xEF\xBF\xBD", 1},
        Case{"BOM kept as a character", Le({0xFEFF, 'a'}), 10, "\xEF\xBB\xBF" "a", 2}));

}  // namespace
}  // namespace larkspan
