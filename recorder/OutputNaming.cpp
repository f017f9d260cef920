#include "recorder/OutputNaming.h"

namespace larkspan {

namespace {

bool IsPathSeparator(char c) {
#if defined(_WIN32)
    return c == '\\' || c == '/';
#else
    return c == '/';
#endif
}

bool IsUtf8Continuation(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

// Where to cut text to at most max bytes without splitting a UTF-8
// character. Steps back at most three bytes, so invalid UTF-8 (a run of
// continuation bytes) cannot make it cut everything away.
size_t Utf8CutPoint(std::string_view text, size_t max) {
    if (text.size() <= max) return text.size();
    size_t n = max;
    for (int i = 0; i < 3 && n > 0 && IsUtf8Continuation(text[n]); ++i) --n;
    return IsUtf8Continuation(text[n]) ? max : n;
}

// Extensions longer than this are not worth keeping when a name is cut.
constexpr size_t kMaxKeptExtension = 32;

}  // namespace

char PathSeparator() {
#if defined(_WIN32)
    return '\\';
#else
    return '/';
#endif
}

std::string EntryName(const std::string& requestedName, int count, int index) {
    if (count < 2 || requestedName.empty()) return requestedName;
    return requestedName + std::to_string(index);
}

void SanitizeFileName(std::string& text) {
    static constexpr std::string_view kForbidden("\\/:*?\"<>|\0", 10);
    for (char& c : text)
        if (kForbidden.find(c) != std::string_view::npos) c = '_';
}

std::string_view ReferenceTail(std::string_view reference) {
    size_t slash = reference.find_last_of("/\\");
    return slash == std::string_view::npos ? reference : reference.substr(slash + 1);
}

std::string SafeFileName(std::string name, std::string_view fallback) {
    for (char& c : name) {
        unsigned char u = static_cast<unsigned char>(c);
        if (c == '/' || c == '\\' || u < 0x20 || u == 0x7F) c = '_';
#if defined(_WIN32)
        if (std::string_view(":*?\"<>|").find(c) != std::string_view::npos) c = '_';
#endif
    }
#if defined(_WIN32)
    // Windows drops trailing dots and blanks, which could leave a folder name.
    while (!name.empty() && (name.back() == '.' || name.back() == ' ')) name.back() = '_';
#endif
    if (name.size() > kMaxFileNameBytes) {
        std::string ext;
        size_t dot = name.rfind('.');
        if (dot != std::string::npos && dot > 0 && name.size() - dot <= kMaxKeptExtension) ext = name.substr(dot);
        name.resize(Utf8CutPoint(name, kMaxFileNameBytes - ext.size()));
        name += ext;
    }
    if (name.empty()) return std::string(fallback);
    // ".", ".." (and any name made of dots only) would name a folder.
    if (name.find_first_not_of('.') == std::string::npos) name.assign(name.size(), '_');
    return name;
}

std::string JoinPath(std::string_view baseDir, std::string_view fileName) {
    std::string path;
    if (baseDir.empty()) {
        path = ".";
    } else {
        path = std::string(baseDir);
        // Keep a root folder ("/") as it is: "/" + name.
        while (!path.empty() && IsPathSeparator(path.back())) path.pop_back();
    }
    path += PathSeparator();
    path += fileName;
    return path;
}

std::string StreamOutputPath(std::string_view reference, std::string_view requestedName, std::string_view baseDir) {
    std::string_view tail = ReferenceTail(reference);
    std::string name;
    if (requestedName.empty()) {
        name = std::string(tail);
    } else {
        name = std::string(requestedName);
        SanitizeFileName(name);
        size_t dot = tail.rfind('.');
        name += dot == std::string_view::npos ? std::string_view(".asf") : tail.substr(dot);
    }
    // A query names no file: "get?f=1" is "get". The folder is not searched,
    // so that a '?' in the user's base folder cannot move the file out of it.
    size_t query = name.rfind('?');
    if (query != std::string::npos) name.resize(query);
    if (baseDir.find('.') == std::string_view::npos && name.find('.') == std::string::npos) name += ".asf";
    return JoinPath(baseDir, SafeFileName(std::move(name), "noname.asf"));
}

std::string MetaDownloadPath(std::string_view reference, std::string_view baseDir) {
    return JoinPath(baseDir, SafeFileName(std::string(ReferenceTail(reference)), "noname.asx"));
}

std::string FileNameOf(std::string_view path) {
    for (size_t i = path.size(); i > 0; --i)
        if (IsPathSeparator(path[i - 1])) return std::string(path.substr(i));
    return std::string(path);
}

}  // namespace larkspan
