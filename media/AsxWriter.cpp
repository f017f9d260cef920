#include "media/AsxWriter.h"

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>
#include <utility>

namespace larkspan {

namespace {

// Cuts text to at most max bytes without splitting a UTF-8 sequence.
std::string_view CutUtf8(std::string_view text, size_t max) {
    if (text.size() <= max) return text;
    size_t n = max;
    for (int i = 0; i < 3 && n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80; ++i) --n;
    if ((static_cast<unsigned char>(text[n]) & 0xC0) == 0x80) n = max;  // not UTF-8 anyway
    return text.substr(0, n);
}

std::string SystemReason(int error) { return std::error_code(error, std::generic_category()).message(); }

void SetReason(std::string* failureReason, std::string text) {
    if (failureReason) *failureReason = std::move(text);
}

}  // namespace

bool BuildAsxText(std::string_view title, std::string_view reference, std::string& text) {
    if (reference.size() > kAsxReferenceMax) return false;
    if (reference.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos) return false;

    // A title is text up to its first NUL, as any C string would be.
    title = title.substr(0, title.find('\0'));
    std::string cleanTitle(CutUtf8(title, kAsxTitleMax));
    for (char& c : cleanTitle)
        if (c == '\r' || c == '\n') c = ' ';

    text.clear();
    text.reserve(64 + cleanTitle.size() + reference.size());
    text += "<ASX version=\"3.0\">\r\n";
    text += "<Entry>\r\n";
    text += "<TITLE>";
    text += cleanTitle;
    text += "</TITLE>\r\n";
    text += "<ref href=\"";
    text += reference;
    text += "\"/>\r\n";
    text += "</Entry>\r\n";
    text += "</ASX>\r\n";
    return true;
}

AsxWriteResult WriteAsxFile(const std::string& path, std::string_view title, std::string_view reference,
                            const std::function<bool(const std::string& path)>& confirmOverwrite,
                            std::string* failureReason) {
    std::string text;
    if (!BuildAsxText(title, reference, text)) {
        if (reference.size() > kAsxReferenceMax) {
            SetReason(failureReason, "the address is " + std::to_string(reference.size()) +
                                         " bytes long, more than the " + std::to_string(kAsxReferenceMax) +
                                         " a playlist line holds");
        } else {
            SetReason(failureReason, "the address holds a line break or a NUL, which a playlist line cannot carry");
        }
        return AsxWriteResult::Refused;
    }

    // The C library would cut a path at a NUL and write another file.
    if (path.empty() || path.find('\0') != std::string::npos) {
        SetReason(failureReason, path.empty() ? "no file name" : "the file name holds a NUL");
        return AsxWriteResult::CreateFailed;
    }
    std::error_code ec;
    if (std::filesystem::exists(std::filesystem::path(path), ec)) {
        if (!confirmOverwrite || !confirmOverwrite(path)) return AsxWriteResult::Declined;
    }
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) {
        SetReason(failureReason, SystemReason(errno));
        return AsxWriteResult::CreateFailed;
    }
    // A failed write without an errno (none is promised) still fails.
    int error = 0;
    if (std::fwrite(text.data(), 1, text.size(), f) != text.size() || std::fflush(f) != 0) error = errno ? errno : EIO;
    if (std::fclose(f) != 0 && error == 0) error = errno ? errno : EIO;
    if (error != 0) {
        SetReason(failureReason, SystemReason(error));
        return AsxWriteResult::CreateFailed;
    }
    return AsxWriteResult::Written;
}

}  // namespace larkspan
