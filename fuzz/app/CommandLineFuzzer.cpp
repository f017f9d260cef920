// Arguments as the desktop program receives them, any bytes: the input split
// at zero bytes into arguments. Byte 0 picks what the current folder is (a
// folder that does not exist, or one holding a file whose name has "&&" in it).
// The whole input, as one text, also goes through the source-text splitting.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>
#include <vector>

#include "app/CommandLine.h"

namespace {

using namespace larkspan;

[[noreturn]] void Fail(const char* what) {
    std::fprintf(stderr, "invariant broken: %s\n", what);
    std::abort();
}

constexpr std::string_view kSeparator = "&&";

std::filesystem::path FolderWithFiles() {
    static const std::filesystem::path folder = [] {
        std::filesystem::path path =
            std::filesystem::temp_directory_path() / ("larkspan-fuzz-command-line-" + std::to_string(getpid()));
        std::filesystem::create_directories(path);
        std::ofstream(path / "clip.asf") << "x";
        std::ofstream(path / "a&&b.wmv") << "x";
        std::atexit([] {
            std::error_code ec;
            std::filesystem::remove_all(
                std::filesystem::temp_directory_path() / ("larkspan-fuzz-command-line-" + std::to_string(getpid())), ec);
        });
        return path;
    }();
    return folder;
}

bool IsSwitch(const std::string& arg) {
    return arg == "/Open" || arg == "/Play" || arg == "/Rec" || arg == "/Record" || arg == "--open" ||
           arg == "--play" || arg == "--record" || arg == "--help" || arg == "--";
}

void CheckSplit(const std::string& text) {
    const SourceFields fields = SplitSourceText(text);
    if (fields.recordTime.empty()) Fail("empty record time");
    std::error_code ec;
    if (!text.empty() && std::filesystem::exists(text, ec)) {
        if (fields.source != text || !fields.name.empty() || fields.recordTime != "0") Fail("a file's name was split");
        return;
    }
    for (const std::string* field : {&fields.source, &fields.name, &fields.recordTime})
        if (field->find(kSeparator) != std::string::npos) Fail("a field holds the separator");
    // The fields are the text's pieces between separators, in order; an empty third one reads as "0".
    std::string joined = fields.source;
    const size_t first = text.find(kSeparator);
    if (first != std::string::npos) joined += std::string(kSeparator) + fields.name;
    const size_t second = first == std::string::npos ? first : text.find(kSeparator, first + kSeparator.size());
    if (second != std::string::npos) {
        joined += kSeparator;
        const size_t third = text.find(kSeparator, second + kSeparator.size());
        const size_t timeLength = (third == std::string::npos ? text.size() : third) - second - kSeparator.size();
        if (timeLength == 0 && fields.recordTime != "0") Fail("an empty record time is not \"0\"");
        if (timeLength != 0) joined += fields.recordTime;
    } else if (fields.recordTime != "0") {
        Fail("a record time without its field");
    }
    if (text.compare(0, joined.size(), joined) != 0) Fail("the fields are not the text's pieces");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const std::filesystem::path folder =
        data[0] & 1 ? FolderWithFiles() : std::filesystem::path("/nonexistent-larkspan-fuzz-folder");
    std::vector<std::string> args;
    const std::string input(reinterpret_cast<const char*>(data + 1), size - 1);
    size_t start = 0;
    while (start <= input.size() && !input.empty()) {
        size_t end = input.find('\0', start);
        if (end == std::string::npos) end = input.size();
        args.push_back(input.substr(start, end - start));
        start = end + 1;
    }

    const CommandLine line = ParseCommandLine(args, folder);
    const int mode = static_cast<int>(line.request.mode);
    if (mode < 0 || mode > 2) Fail("mode out of range");
    if (!line.request.modeGiven && line.request.mode != OpenMode::Play) Fail("a mode no switch named");
    if (line.request.text.find('\0') != std::string::npos) Fail("a zero byte in the text");
    switch (line.outcome) {
    case CommandLine::Outcome::UsageError:
        if (line.badArgument.rfind("--", 0) != 0 || IsSwitch(line.badArgument)) Fail("usage error on a switch");
        if (!line.request.text.empty()) Fail("usage error with a text");
        break;
    case CommandLine::Outcome::Help:
        if (!line.request.text.empty() || !line.badArgument.empty()) Fail("help with a text");
        break;
    case CommandLine::Outcome::Run: {
        if (!line.badArgument.empty()) Fail("a bad argument without a usage error");
        // The text is already fit for another process: read again, it stays as it is.
        const CommandLine again = ParseCommandLine({"--", line.request.text}, folder);
        if (again.request.text != line.request.text) Fail("the text changes when read again");
        break;
    }
    }
    CheckSplit(line.request.text);
    CheckSplit(input);
    return 0;
}
