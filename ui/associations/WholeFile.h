#pragma once
#include <string>

namespace larkspan {

// Writes the text to a new file beside the path and renames it over the path,
// so a reader sees either the old file or the whole new one. False with a
// message naming the file and the cause.
bool ReplaceFileText(const std::string& path, const std::string& text, std::string* error);

// Creates the folder and its parents when missing. False with a message
// naming the folder and the cause.
bool MakeFolders(const std::string& folder, std::string* error);

}  // namespace larkspan
