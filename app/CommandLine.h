#pragma once
#include <filesystem>
#include <string>
#include <vector>

namespace larkspan {

// What a start asks of the program: how to treat the source, and the source text.
enum class OpenMode : int { Open = 0, Play = 1, Record = 2 };

struct StartRequest {
    OpenMode mode = OpenMode::Play;
    // Up to three fields joined by "&&": source, name, record time. Empty for a bare start.
    std::string text;
    // Whether a switch named the mode (a bare start plays by default).
    bool modeGiven = false;
};

struct CommandLine {
    enum class Outcome { Run, Help, UsageError };
    Outcome outcome = Outcome::Run;
    StartRequest request;
    std::string badArgument;  // the unknown switch, for a usage error
};

// The fields of a source text.
struct SourceFields {
    std::string source;
    std::string name;                // "" when absent
    std::string recordTime = "0";    // "0" (no limit) when absent
};

// Reads the arguments after the program name. Switches are whole arguments only: "/Open", "/Play", "/Rec",
// "/Record" and their synonyms "--open", "--play", "--record" (case-sensitive; the last one given wins), "--help",
// and "--" which ends the switches. Any other argument starting with "--" is a usage error; every other argument,
// including absolute paths such as "/Playlists/x.asx" and "/open", is the text. Arguments after the text are
// ignored. The text is made fit for another process: a local file URI becomes its path, and a relative path naming
// an existing file (the whole text, or its source field) becomes absolute against currentFolder.
CommandLine ParseCommandLine(const std::vector<std::string>& args, const std::filesystem::path& currentFolder);

// Splits a source text at "&&" into source, name and record time. A text that names an existing file is one
// source as a whole, even when its name contains "&&". Fields after the third are ignored; an empty name stays
// empty and an empty record time counts as "0".
SourceFields SplitSourceText(const std::string& text);

// The local path of a "file://" URI with an empty or "localhost" host, percent-decoded; "" for anything else
// (another host, another scheme, a broken escape or an escaped zero byte).
std::string LocalPathOfFileUri(const std::string& text);

}  // namespace larkspan
