#pragma once
#include <string>
#include <string_view>

namespace larkspan {

// How a source reference and a requested name become the path of an output
// file. Every path built here is "<base dir><separator><one file name>": the
// file name is never empty, ".", "..", never holds a separator or a control
// character and is at most kMaxFileNameBytes long, so no reference, however
// hostile, leads a recording out of the base folder.

inline constexpr size_t kMaxFileNameBytes = 255;

// '/' here, '\' on Windows.
char PathSeparator();

// The name under which entry index (from 0) of a playlist of count entries
// is recorded: the requested name itself for a single entry, else the name
// followed by the index ("news0", "news1"); an empty name stays empty, so
// each entry takes its name from its own reference.
std::string EntryName(const std::string& requestedName, int count, int index);

// Replaces each of \ / : * ? " < > | (and NUL) by '_', in place; the length
// does not change.
void SanitizeFileName(std::string& text);

// The text after the last '/' (or '\', which some servers and Windows paths
// use) of the reference; the whole reference when it holds neither.
std::string_view ReferenceTail(std::string_view reference);

// The path a stream is recorded to. Without a requested name the file takes
// the reference's tail; with one, the cleaned name and the tail's extension
// (".asf" when the tail has none). A query ("?...") is cut off, and ".asf"
// is added when the path holds no '.' at all.
std::string StreamOutputPath(std::string_view reference, std::string_view requestedName, std::string_view baseDir);

// The path a remote meta file is downloaded to: the reference's tail in the
// base folder, uncut.
std::string MetaDownloadPath(std::string_view reference, std::string_view baseDir);

// Makes name usable as a single file name inside a folder (see above);
// fallback is taken when nothing usable is left.
std::string SafeFileName(std::string name, std::string_view fallback);

// base + separator + fileName, without doubling a separator that ends base.
// An empty base means the current folder.
std::string JoinPath(std::string_view baseDir, std::string_view fileName);

// The text after the last separator of a path.
std::string FileNameOf(std::string_view path);

}  // namespace larkspan
