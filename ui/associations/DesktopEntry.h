#pragma once
#include <string>
#include <vector>

namespace larkspan {

// The desktop entry that tells an XDG desktop how to start this program for
// a file or URL: the main command, the actions open, play and record, and the
// types the program takes.
namespace desktop_entry {

inline constexpr const char* kFileName = "larkspan-recorder.desktop";

// The MIME types and URL schemes the entry declares.
const std::vector<std::string>& MimeTypes();

// One program argument as it has to stand in an Exec key's value: quoted when
// it holds a character the Desktop Entry format reserves, with `"`, `` ` ``,
// `$` and `\` backslash-escaped inside the quotes, `%` doubled, and then the
// key file's own escaping (`\` written `\\`, control characters as `\n`,
// `\t`, `\r`). A plain path stays unquoted, because xdg-mime takes the first
// word of Exec literally when it checks that the program exists.
std::string ExecArgument(const std::string& argument);

// The start of every Exec key: the program itself, or for a path holding a
// "%" (which GLib cannot start directly) "/bin/sh -c 'exec "$0" "$@"'" and
// the path.
std::string ExecProgram(const std::string& programPath);

// The whole file, in UTF-8.
std::string Text(const std::string& programPath);

}  // namespace desktop_entry

}  // namespace larkspan
