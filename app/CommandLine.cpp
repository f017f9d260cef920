#include "app/CommandLine.h"

#include <string_view>
#include <system_error>

namespace larkspan {

namespace {

constexpr std::string_view kFieldSeparator = "&&";

bool NamesExistingFile(const std::filesystem::path& path) {
    std::error_code ec;
    return !path.empty() && std::filesystem::exists(path, ec);
}

// The switch an argument is, as an open mode; false when it is no mode switch.
bool ModeSwitch(const std::string& arg, OpenMode& mode) {
    if (arg == "/Open" || arg == "--open") {
        mode = OpenMode::Open;
    } else if (arg == "/Play" || arg == "--play") {
        mode = OpenMode::Play;
    } else if (arg == "/Rec" || arg == "/Record" || arg == "--record") {
        mode = OpenMode::Record;
    } else {
        return false;
    }
    return true;
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool StartsWithNoCase(const std::string& text, std::string_view prefix) {
    if (text.size() < prefix.size()) return false;
    for (size_t i = 0; i < prefix.size(); ++i) {
        char c = text[i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != prefix[i]) return false;
    }
    return true;
}

// A relative path naming an existing file, made absolute; anything else unchanged.
std::string Absolute(const std::string& text, const std::filesystem::path& currentFolder) {
    std::filesystem::path path(text);
    if (text.empty() || path.is_absolute()) return text;
    std::filesystem::path full = (currentFolder / path).lexically_normal();
    return NamesExistingFile(full) ? full.string() : text;
}

// The text as the running instance should see it: local paths absolute, file URIs as paths.
std::string PortableText(const std::string& arg, const std::filesystem::path& currentFolder) {
    std::string text = arg;
    std::string local = LocalPathOfFileUri(text);
    if (!local.empty()) text = local;
    if (NamesExistingFile(currentFolder / text)) return Absolute(text, currentFolder);
    size_t end = text.find(kFieldSeparator);
    if (end == std::string::npos) return text;
    return Absolute(text.substr(0, end), currentFolder) + text.substr(end);
}

}  // namespace

std::string LocalPathOfFileUri(const std::string& text) {
    constexpr std::string_view scheme = "file://";
    if (!StartsWithNoCase(text, scheme)) return "";
    size_t pathStart = text.find('/', scheme.size());
    if (pathStart == std::string::npos) return "";
    std::string host = text.substr(scheme.size(), pathStart - scheme.size());
    constexpr std::string_view localHost = "localhost";
    if (!host.empty() && !(host.size() == localHost.size() && StartsWithNoCase(host, localHost))) return "";
    std::string path;
    for (size_t i = pathStart; i < text.size(); ++i) {
        if (text[i] != '%') {
            path += text[i];
            continue;
        }
        int high = i + 2 < text.size() ? HexValue(text[i + 1]) : -1;
        int low = high >= 0 ? HexValue(text[i + 2]) : -1;
        if (low < 0 || (high == 0 && low == 0)) return "";
        path += static_cast<char>(high * 16 + low);
        i += 2;
    }
    return path;
}

CommandLine ParseCommandLine(const std::vector<std::string>& args, const std::filesystem::path& currentFolder) {
    CommandLine result;
    bool switchesEnded = false;
    for (const std::string& arg : args) {
        if (!switchesEnded) {
            if (arg == "--") {
                switchesEnded = true;
                continue;
            }
            if (arg == "--help") {
                result.outcome = CommandLine::Outcome::Help;
                return result;
            }
            if (ModeSwitch(arg, result.request.mode)) {
                result.request.modeGiven = true;
                continue;
            }
            if (arg.rfind("--", 0) == 0) {
                result.outcome = CommandLine::Outcome::UsageError;
                result.badArgument = arg;
                return result;
            }
        }
        result.request.text = PortableText(arg, currentFolder);
        break;
    }
    return result;
}

SourceFields SplitSourceText(const std::string& text) {
    SourceFields fields;
    if (NamesExistingFile(text)) {
        fields.source = text;
        return fields;
    }
    std::string* targets[] = {&fields.source, &fields.name, &fields.recordTime};
    size_t start = 0;
    for (std::string* target : targets) {
        size_t end = text.find(kFieldSeparator, start);
        std::string field = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (target != &fields.recordTime || !field.empty()) *target = field;
        if (end == std::string::npos) break;
        start = end + kFieldSeparator.size();
    }
    return fields;
}

}  // namespace larkspan
