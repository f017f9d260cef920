#include "tests/naming/StreamQuestionAsker.h"

#include <filesystem>
#include <istream>
#include <ostream>
#include <system_error>

namespace larkspan {

namespace {

constexpr int kSaveAsTries = 3;

std::string Trimmed(const std::string& s) {
    size_t b = s.find_first_not_of(" \t\r\n");
    if (b == std::string::npos) return {};
    size_t e = s.find_last_not_of(" \t\r\n");
    return s.substr(b, e - b + 1);
}

std::string Lower(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return s;
}

bool FolderOfExists(const std::string& path) {
    std::filesystem::path p(path);
    std::filesystem::path parent = p.parent_path();
    if (parent.empty()) return true;  // the current folder
    std::error_code ec;
    return std::filesystem::is_directory(parent, ec);
}

}  // namespace

bool StreamQuestionAsker::ReadLine(std::string& line) {
    line.clear();
    return static_cast<bool>(std::getline(in_, line));
}

OverwriteAnswer StreamQuestionAsker::AskOverwrite(const std::string& path) {
    std::lock_guard<std::mutex> lock(mutex_);
    out_ << OverwriteQuestionText(path) << " [y]es / [n]o / [c]ancel: " << std::flush;
    std::string line;
    if (!ReadLine(line)) return OverwriteAnswer::Cancel;
    std::string answer = Lower(Trimmed(line));
    if (answer == "y" || answer == "yes") return OverwriteAnswer::Yes;
    if (answer == "n" || answer == "no") return OverwriteAnswer::No;
    return OverwriteAnswer::Cancel;
}

std::string StreamQuestionAsker::AskSaveAs(const std::string& suggested) {
    std::lock_guard<std::mutex> lock(mutex_);
    for (int i = 0; i < kSaveAsTries; ++i) {
        out_ << "Save as (asf Files, *.asf) [" << suggested << "], empty to cancel: " << std::flush;
        std::string line;
        if (!ReadLine(line)) return {};
        std::string path = Trimmed(line);
        if (path.empty()) return {};
        if (std::filesystem::path(path).extension().empty()) path += ".asf";
        if (FolderOfExists(path)) return path;
        out_ << "The folder does not exist.\n";
    }
    return {};
}

}  // namespace larkspan
