#include "ui/associations/MimeAppsList.h"

#include "ui/associations/WholeFile.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

namespace larkspan {

namespace {

std::string Trim(const std::string& text) {
    const size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return {};
    const size_t last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

bool IsComment(const std::string& text) {
    const std::string trimmed = Trim(text);
    return trimmed.empty() || trimmed[0] == '#';
}

std::string ErrorText(const std::string& what, const std::string& path) {
    return what + " " + path + ": " + std::strerror(errno);
}

}  // namespace

bool MimeAppsList::Load(const std::string& path, std::string* error) {
    lines_.clear();
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        if (errno == ENOENT) return true;
        if (error) *error = ErrorText("cannot read", path);
        return false;
    }
    std::ostringstream text;
    text << in.rdbuf();
    if (in.bad()) {
        if (error) *error = ErrorText("cannot read", path);
        return false;
    }
    Parse(text.str());
    return true;
}

bool MimeAppsList::Save(const std::string& path, std::string* error) const {
    return ReplaceFileText(path, Text(), error);
}

void MimeAppsList::Parse(const std::string& text) {
    lines_.clear();
    size_t start = 0;
    while (start < text.size()) {
        const size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            lines_.push_back({text.substr(start), ""});
            break;
        }
        const bool crlf = end > start && text[end - 1] == '\r';
        lines_.push_back({text.substr(start, end - start - (crlf ? 1 : 0)), crlf ? "\r\n" : "\n"});
        start = end + 1;
    }
}

std::string MimeAppsList::Text() const {
    std::string text;
    for (const Line& line : lines_) text += line.text + line.ending;
    return text;
}

std::optional<std::string> MimeAppsList::HeaderName(const Line& line) const {
    const std::string trimmed = Trim(line.text);
    if (trimmed.size() < 2 || trimmed.front() != '[' || trimmed.back() != ']') return std::nullopt;
    return trimmed.substr(1, trimmed.size() - 2);
}

std::vector<size_t> MimeAppsList::FindKey(const std::string& section, const std::string& key) const {
    std::vector<size_t> found;
    std::string current;
    for (size_t i = 0; i < lines_.size(); ++i) {
        if (auto header = HeaderName(lines_[i])) {
            current = *header;
            continue;
        }
        if (current != section || IsComment(lines_[i].text)) continue;
        const size_t equals = lines_[i].text.find('=');
        if (equals != std::string::npos && Trim(lines_[i].text.substr(0, equals)) == key) found.push_back(i);
    }
    return found;
}

std::optional<std::string> MimeAppsList::RawValue(const std::string& section, const std::string& key) const {
    const std::vector<size_t> found = FindKey(section, key);
    if (found.empty()) return std::nullopt;
    const std::string& text = lines_[found.back()].text;
    return text.substr(text.find('=') + 1);
}

std::vector<std::string> MimeAppsList::ListValue(const std::string& section, const std::string& key) const {
    const std::optional<std::string> raw = RawValue(section, key);
    return raw ? SplitList(*raw) : std::vector<std::string>{};
}

void MimeAppsList::SetRawValue(const std::string& section, const std::string& key, const std::string& value) {
    std::vector<size_t> found = FindKey(section, key);
    if (!found.empty()) {
        // The last line is the one GLib reads; it keeps its place and the others go.
        Line& kept = lines_[found.back()];
        kept.text = kept.text.substr(0, kept.text.find('=') + 1) + value;
        for (auto it = found.rbegin() + 1; it != found.rend(); ++it) Erase(*it);
        return;
    }
    // After the last key line of the section's first appearance, or right
    // after its header when it has none.
    std::optional<size_t> insertAt;
    bool inSection = false;
    for (size_t i = 0; i < lines_.size(); ++i) {
        if (auto header = HeaderName(lines_[i])) {
            if (inSection) break;
            inSection = *header == section;
            if (inSection) insertAt = i + 1;
            continue;
        }
        if (inSection && !IsComment(lines_[i].text)) insertAt = i + 1;
    }
    if (!insertAt) {
        if (!lines_.empty() && !Trim(lines_.back().text).empty()) Insert(lines_.size(), "");
        Insert(lines_.size(), "[" + section + "]");
        insertAt = lines_.size();
    }
    Insert(*insertAt, key + "=" + value);
}

void MimeAppsList::SetListValue(const std::string& section, const std::string& key,
                                const std::vector<std::string>& entries) {
    SetRawValue(section, key, JoinList(entries));
}

void MimeAppsList::RemoveKey(const std::string& section, const std::string& key) {
    const std::vector<size_t> found = FindKey(section, key);
    for (auto it = found.rbegin(); it != found.rend(); ++it) Erase(*it);
}

std::vector<std::string> MimeAppsList::SplitList(const std::string& value) {
    std::vector<std::string> entries;
    size_t start = 0;
    while (start <= value.size()) {
        size_t end = value.find(';', start);
        if (end == std::string::npos) end = value.size();
        std::string entry = Trim(value.substr(start, end - start));
        if (!entry.empty() && entry.back() == '\r') entry.pop_back();
        if (!entry.empty()) entries.push_back(entry);
        start = end + 1;
    }
    return entries;
}

std::string MimeAppsList::JoinList(const std::vector<std::string>& entries) {
    std::string value;
    for (const std::string& entry : entries) value += entry + ";";
    return value;
}

std::string MimeAppsList::NewLineEnding() const {
    return !lines_.empty() && lines_.front().ending == "\r\n" ? "\r\n" : "\n";
}

void MimeAppsList::Insert(size_t at, const std::string& text) {
    // A line added after a last line without a line end gives that line one
    // and takes over its missing end.
    if (at == lines_.size() && !lines_.empty() && lines_.back().ending.empty()) {
        lines_.back().ending = NewLineEnding();
        lines_.push_back({text, ""});
        return;
    }
    lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(at), Line{text, NewLineEnding()});
}

void MimeAppsList::Erase(size_t at) {
    // A last line without a line end took over the missing end of the line
    // before it; removing it hands that back, so adding a line and removing it
    // again restores the bytes. A last line with its own end leaves the line
    // before as it was.
    if (at + 1 == lines_.size() && at > 0 && lines_[at].ending.empty()) lines_[at - 1].ending.clear();
    lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(at));
}

}  // namespace larkspan
