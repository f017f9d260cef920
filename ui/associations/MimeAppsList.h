#pragma once
#include <optional>
#include <string>
#include <vector>

namespace larkspan {

// A line editor for key files of the mimeapps.list kind: "[Section]" headers
// and "key=value" lines. It changes only the lines it is asked to change and
// keeps every other byte as it was: comments, blank lines, unknown sections
// and keys, the spacing around "=", CRLF line ends and a missing final line
// end.
//
// Readers disagree on repeated keys (GLib takes the last, xdg-mime the
// first); lookups here take the last, as GLib-based desktops do, and setting
// a key leaves a single line for it so that every reader agrees afterwards.
// A section that appears twice counts as one.
class MimeAppsList {
public:
    // Reads the file; a missing file is an empty list. False with a message
    // naming the file and the cause when it exists but cannot be read.
    bool Load(const std::string& path, std::string* error);
    // Writes the whole text to a new file beside it and renames that over the
    // file, so a reader never sees half a file.
    bool Save(const std::string& path, std::string* error) const;

    void Parse(const std::string& text);
    std::string Text() const;

    // The text after "=" of the key's effective line, exactly as written.
    std::optional<std::string> RawValue(const std::string& section, const std::string& key) const;
    // The entries of a ";"-separated list value, blanks trimmed, empty ones dropped.
    std::vector<std::string> ListValue(const std::string& section, const std::string& key) const;

    // Replaces the text after "=" on the key's line (the text before it stays),
    // drops other lines of the same key, or adds "key=value" at the end of the
    // section, adding the section at the end of the file when it is missing.
    void SetRawValue(const std::string& section, const std::string& key, const std::string& value);
    void SetListValue(const std::string& section, const std::string& key, const std::vector<std::string>& entries);
    // Drops every line of the key in the section.
    void RemoveKey(const std::string& section, const std::string& key);

    static std::vector<std::string> SplitList(const std::string& value);
    static std::string JoinList(const std::vector<std::string>& entries);

private:
    struct Line {
        std::string text;    // without the line end
        std::string ending;  // "\n", "\r\n", or "" for a last line without one
    };

    // Indexes of the key's lines in the section, in file order.
    std::vector<size_t> FindKey(const std::string& section, const std::string& key) const;
    // The section a line belongs to ("" before the first header); nullopt for a header.
    std::optional<std::string> HeaderName(const Line& line) const;
    std::string NewLineEnding() const;
    void Insert(size_t at, const std::string& text);
    void Erase(size_t at);

    std::vector<Line> lines_;
};

}  // namespace larkspan
