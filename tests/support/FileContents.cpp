#include "tests/support/FileContents.h"

#include <algorithm>
#include <fstream>
#include <iterator>

namespace larkspan::testsupport {

namespace {

template <typename Container>
Container ReadWhole(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return in ? Container(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()) : Container();
}

bool WriteWhole(const std::filesystem::path& path, const void* data, size_t size) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
    return static_cast<bool>(out.flush());
}

}  // namespace

std::vector<uint8_t> ReadFileBytes(const std::filesystem::path& path) { return ReadWhole<std::vector<uint8_t>>(path); }
std::string ReadFileText(const std::filesystem::path& path) { return ReadWhole<std::string>(path); }

bool WriteFileBytes(const std::filesystem::path& path, const std::vector<uint8_t>& bytes) {
    return WriteWhole(path, bytes.data(), bytes.size());
}
bool WriteFileText(const std::filesystem::path& path, const std::string& text) {
    return WriteWhole(path, text.data(), text.size());
}

std::string FirstDifference(const std::vector<uint8_t>& got, const std::vector<uint8_t>& expected) {
    const auto [a, b] = std::mismatch(got.begin(), got.end(), expected.begin(), expected.end());
    if (a != got.end() && b != expected.end())
        return "byte " + std::to_string(a - got.begin()) + " is " + std::to_string(*a) + ", expected " +
               std::to_string(*b);
    if (got.size() != expected.size())
        return std::to_string(got.size()) + " bytes, expected " + std::to_string(expected.size());
    return "";
}

}  // namespace larkspan::testsupport
