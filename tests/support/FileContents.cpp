#include "tests/support/FileContents.h"

#include <fstream>
#include <iterator>

namespace larkspan::testsupport {

std::vector<uint8_t> ReadFileBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return {};
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string ReadFileText(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return {};
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool WriteFileBytes(const std::filesystem::path& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) return false;
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out.flush());
}

bool WriteFileText(const std::filesystem::path& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) return false;
    out << text;
    return static_cast<bool>(out.flush());
}

std::string FirstDifference(const std::vector<uint8_t>& got, const std::vector<uint8_t>& expected) {
    for (size_t i = 0; i < got.size() && i < expected.size(); ++i) {
        if (got[i] != expected[i])
            return "byte " + std::to_string(i) + " is " + std::to_string(got[i]) + ", expected " +
                   std::to_string(expected[i]);
    }
    if (got.size() != expected.size())
        return std::to_string(got.size()) + " bytes, expected " + std::to_string(expected.size());
    return "";
}

}  // namespace larkspan::testsupport
