#include "ui/associations/DesktopEntry.h"

namespace larkspan::desktop_entry {

const std::vector<std::string>& MimeTypes() {
    static const std::vector<std::string> types = {
        "application/vnd.ms-asf", "video/x-ms-wmv",        "audio/x-ms-wma",         "audio/x-ms-asx",
        "x-scheme-handler/mms",   "x-scheme-handler/mmst", "x-scheme-handler/mmsu",
    };
    return types;
}

std::string ExecArgument(const std::string& argument) {
    // Characters that make an argument need quotes (the Desktop Entry
    // format's reserved set, plus control characters).
    static const std::string kReserved = " \t\n\"'\\><~|&;$*?#()`";
    bool quote = argument.empty();
    for (char c : argument) {
        if (kReserved.find(c) != std::string::npos || static_cast<unsigned char>(c) < 0x20) quote = true;
    }
    std::string exec;
    if (quote) exec += '"';
    for (char c : argument) {
        if (quote && (c == '"' || c == '`' || c == '$' || c == '\\')) exec += '\\';
        exec += c;
        if (c == '%') exec += '%';
    }
    if (quote) exec += '"';

    // The key file's escaping of the whole value.
    std::string value;
    for (char c : exec) {
        switch (c) {
            case '\\': value += "\\\\"; break;
            case '\n': value += "\\n"; break;
            case '\t': value += "\\t"; break;
            case '\r': value += "\\r"; break;
            default: value += c;
        }
    }
    return value;
}

std::string ExecProgram(const std::string& programPath) {
    // GLib checks that the first word of Exec names an existing program
    // before it turns %% back into %, so it refuses an entry whose program
    // path holds a %. Such a path goes to a shell as an argument instead.
    if (programPath.find('%') == std::string::npos) return ExecArgument(programPath);
    return "/bin/sh -c " + ExecArgument("exec \"$0\" \"$@\"") + " " + ExecArgument(programPath);
}

std::string Text(const std::string& programPath) {
    const std::string program = ExecProgram(programPath);
    std::string mimeTypes;
    for (const std::string& type : MimeTypes()) mimeTypes += type + ";";

    // Double-clicking a file runs the open verb, as the shell does on
    // Windows. %u rather than %U: the program reads one source from its
    // command line, so the desktop starts it once per file, and each start
    // hands its file to the running instance.
    std::string text =
        "[Desktop Entry]\n"
        "Type=Application\n"
        "Version=1.5\n"
        "Name=Larkspan Recorder\n"
        "Comment=Record and play Windows Media streams\n"
        "Exec=" + program + " /Open %u\n"
        "Terminal=false\n"
        "Categories=AudioVideo;Audio;Video;Recorder;Player;\n"
        "MimeType=" + mimeTypes + "\n"
        "Actions=open;play;record;\n";
    struct Verb {
        const char* id;
        const char* name;
        const char* koreanName;
        const char* argument;
    };
    static const Verb kVerbs[] = {
        {"open", "Open", "\xEC\x97\xB4\xEA\xB8\xB0", "/Open"},
        {"play", "Play", "\xEC\x9E\xAC\xEC\x83\x9D", "/Play"},
        {"record", "Record", "\xEB\x85\xB9\xED\x99\x94", "/Record"},
    };
    for (const Verb& verb : kVerbs) {
        text += std::string("\n[Desktop Action ") + verb.id + "]\n" + "Name=" + verb.name + "\n" + "Name[ko]=" +
                verb.koreanName + "\n" + "Exec=" + program + " " + verb.argument + " %u\n";
    }
    return text;
}

}  // namespace larkspan::desktop_entry
