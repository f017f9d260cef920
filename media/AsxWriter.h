#pragma once
#include <functional>
#include <string>
#include <string_view>

namespace larkspan {

// Each line is formatted in a 256-byte buffer: the title may hold at most
// 239 bytes and the reference at most 240.
inline constexpr size_t kAsxTitleMax = 239;
inline constexpr size_t kAsxReferenceMax = 240;

// The one-entry playlist that the Save commands write, six lines ending in
// CR LF. Nothing is escaped: the title is a cleaned file name and the
// reference goes in unchanged. A title that is too long is cut (at a UTF-8
// character boundary) and its line breaks become blanks; a reference that is
// too long, or that holds a line break or a NUL, is refused (false), since a
// cut or split URL would name another stream.
bool BuildAsxText(std::string_view title, std::string_view reference, std::string& text);

enum class AsxWriteResult {
    Written,
    Declined,      // the file existed and the user said No
    CreateFailed,  // the file could not be created or written
    Refused,       // the reference does not fit the playlist line
};

// Writes the playlist to path. When a file exists there, confirmOverwrite
// (path) is asked first; false, or no function at all, leaves the file as it
// was. Nothing is shown to the user; the result says what happened, and on
// CreateFailed or Refused `failureReason` (when given) says why: the system's
// reason ("No such file or directory") or what is wrong with the reference.
AsxWriteResult WriteAsxFile(const std::string& path, std::string_view title, std::string_view reference,
                            const std::function<bool(const std::string& path)>& confirmOverwrite,
                            std::string* failureReason = nullptr);

}  // namespace larkspan
