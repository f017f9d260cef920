#pragma once
// Whole files read and written in one call, and byte strings compared.
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace larkspan::testsupport {

// Empty when the file cannot be read.
std::vector<uint8_t> ReadFileBytes(const std::filesystem::path& path);
std::string ReadFileText(const std::filesystem::path& path);
// False when the file cannot be written whole.
bool WriteFileBytes(const std::filesystem::path& path, const std::vector<uint8_t>& bytes);
bool WriteFileText(const std::filesystem::path& path, const std::string& text);

// "" when equal, else where and how two byte strings first differ.
std::string FirstDifference(const std::vector<uint8_t>& got, const std::vector<uint8_t>& expected);

}  // namespace larkspan::testsupport
