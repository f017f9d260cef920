#include "cli/Options.h"

#include <cerrno>
#include <climits>
#include <cstdlib>

namespace larkspan::cli {

namespace {

bool ParseInt(const std::string& text, int minValue, int& out) {
    if (text.empty()) return false;
    errno = 0;
    char* end = nullptr;
    long v = std::strtol(text.c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || v < minValue || v > INT_MAX) return false;
    out = static_cast<int>(v);
    return true;
}

}  // namespace

const char* UsageText() {
    return "Usage: larkspan-rec [options] SOURCE...\n"
           "Records Windows Media streams (mms:, mmst:, mmsu:, http:) and ASX playlists\n"
           "to local .asf files.\n"
           "\n"
           "Options:\n"
           "  -o, --output FILE      write the stream to exactly FILE (one source only);\n"
           "                         - writes it to standard output (messages go to standard error)\n"
           "  -n, --name NAME        name of the recording (playlist entries: NAME0, NAME1, ...)\n"
           "  -d, --dir DIR          folder for recordings (overrides the settings)\n"
           "  -t, --max-time SECS    stop at SECS seconds of stream time\n"
           "  -s, --max-size MB      stop at MB megabytes (1048576 bytes) written\n"
           "      --timeout SECS     give up after SECS seconds without data from the server\n"
           "                         (0: wait for ever; default from the settings, 30)\n"
           "  -u, --user USER        user name for servers that ask for one\n"
           "  -p, --password PASS    password for servers that ask for one\n"
           "  -y, --yes              overwrite existing files without asking\n"
           "      --no-clobber       never overwrite: skip the sources and playlist entries\n"
           "                         whose file exists\n"
           "  -j, --jobs N           record up to N sources at once (default 1)\n"
           "  -q, --quiet            no progress line\n"
           "      --detect           watch network traffic for stream addresses\n"
           "  -i, --interface IF     capture on IF (with --detect)\n"
           "      --pcap FILE        read captured traffic from FILE (with --detect)\n"
           "      --record           record each detected stream (with --detect)\n"
           "  -h, --help             show this help\n"
           "      --version          show the version\n"
           "\n"
           "Exit status: 0 success, 1 a recording failed (or an existing file was kept\n"
           "because nobody could confirm overwriting it), 2 bad usage, 130 interrupted\n"
           "(Ctrl-C), 143 terminated (SIGTERM).\n";
}

bool ParseOptions(int argc, const char* const* argv, Options& o, std::string& error) {
    bool endOfOptions = false;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (endOfOptions || arg.empty() || arg[0] != '-' || arg == "-") {
            o.sources.push_back(arg);
            continue;
        }
        if (arg == "--") {
            endOfOptions = true;
            continue;
        }
        std::string value;
        bool hasInlineValue = false;
        if (arg.rfind("--", 0) == 0) {
            size_t eq = arg.find('=');
            if (eq != std::string::npos) {
                value = arg.substr(eq + 1);
                arg = arg.substr(0, eq);
                hasInlineValue = true;
            }
        }
        auto needValue = [&](std::string& out) -> bool {
            if (hasInlineValue) {
                out = value;
                return true;
            }
            if (i + 1 >= argc) {
                error = "option " + arg + " needs a value";
                return false;
            }
            out = argv[++i];
            return true;
        };
        auto needInt = [&](int minValue, int& out) -> bool {
            std::string text;
            if (!needValue(text)) return false;
            if (!ParseInt(text, minValue, out)) {
                error = "option " + arg + " needs a whole number" + (minValue > 0 ? " of at least 1" : "") +
                        ", not '" + text + "'";
                return false;
            }
            return true;
        };

        if (arg == "-o" || arg == "--output") {
            if (!needValue(o.output)) return false;
        } else if (arg == "-n" || arg == "--name") {
            if (!needValue(o.name)) return false;
        } else if (arg == "-d" || arg == "--dir") {
            if (!needValue(o.dir)) return false;
        } else if (arg == "-t" || arg == "--max-time") {
            if (!needInt(1, o.maxTime)) return false;
        } else if (arg == "-s" || arg == "--max-size") {
            if (!needInt(1, o.maxSize)) return false;
        } else if (arg == "--timeout") {
            if (!needInt(0, o.timeout)) return false;
        } else if (arg == "-u" || arg == "--user") {
            if (!needValue(o.user)) return false;
        } else if (arg == "-p" || arg == "--password") {
            if (!needValue(o.password)) return false;
        } else if (arg == "-y" || arg == "--yes") {
            o.yes = true;
        } else if (arg == "--no-clobber") {
            o.noClobber = true;
        } else if (arg == "-j" || arg == "--jobs") {
            if (!needInt(1, o.jobs)) return false;
        } else if (arg == "-q" || arg == "--quiet") {
            o.quiet = true;
        } else if (arg == "--detect") {
            o.detect = true;
        } else if (arg == "-i" || arg == "--interface") {
            if (!needValue(o.interface)) return false;
        } else if (arg == "--pcap") {
            if (!needValue(o.pcapFile)) return false;
        } else if (arg == "--record") {
            o.record = true;
        } else if (arg == "-h" || arg == "--help") {
            o.help = true;
        } else if (arg == "--version") {
            o.version = true;
        } else {
            error = "unknown option " + arg;
            return false;
        }
    }
    if (o.help || o.version) return true;
    if (o.yes && o.noClobber) {
        error = "--yes and --no-clobber exclude each other";
        return false;
    }
    if (o.detect) {
        if (!o.sources.empty()) {
            error = "--detect takes no sources";
            return false;
        }
        if (!o.output.empty()) {
            error = "--output does not go with --detect";
            return false;
        }
        if (!o.interface.empty() && !o.pcapFile.empty()) {
            error = "--interface and --pcap exclude each other";
            return false;
        }
        return true;
    }
    if (!o.interface.empty() || !o.pcapFile.empty() || o.record) {
        error = "--interface, --pcap and --record go with --detect";
        return false;
    }
    if (o.sources.empty()) {
        error = "no source given";
        return false;
    }
    if (!o.output.empty() && o.sources.size() != 1) {
        error = "--output takes exactly one source";
        return false;
    }
    if (o.ToStandardOutput() && o.jobs > 1) {
        error = "--output - records one stream; it does not go with --jobs";
        return false;
    }
    return true;
}

}  // namespace larkspan::cli
