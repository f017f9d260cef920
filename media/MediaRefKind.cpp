#include "media/MediaRefKind.h"

#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>

namespace larkspan {

namespace {

// Only files this small are looked into for a disguised playlist.
constexpr std::uintmax_t kSniffLimit = 3072;
// The first line is read up to this many characters.
constexpr size_t kFirstLineMax = 1023;

std::string LowerAscii(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
}

bool Holds(const std::string& text, std::string_view what) { return text.find(what) != std::string::npos; }

bool ExistsAsWritten(std::string_view reference) {
    // No file name holds a NUL, and the C library would cut the name there
    // and test a different file.
    if (reference.empty() || reference.find('\0') != std::string_view::npos) return false;
    std::error_code ec;
    return std::filesystem::exists(std::filesystem::path(std::string(reference)), ec);
}

// True when the file's first line (up to 1023 characters) holds "<asx".
// Only regular files are opened: a FIFO or a device named "x.asf" would
// block or never end.
bool FirstLineNamesAsx(std::string_view reference) {
    std::filesystem::path path{std::string(reference)};
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) return false;
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    in.seekg(0, std::ios::end);
    std::streamoff length = in.tellg();
    if (length < 0 || static_cast<std::uintmax_t>(length) >= kSniffLimit) return false;
    in.seekg(0, std::ios::beg);

    // NUL bytes are left out, so that a UTF-16 text ("<\0a\0s\0x\0") is
    // recognised as well.
    std::string line;
    size_t read = 0;
    char c;
    while (read < kFirstLineMax && in.get(c)) {
        ++read;
        if (c == '\n') break;
        if (c != '\0') line.push_back(c);
    }
    if (read == 0) return false;
    return Holds(LowerAscii(line), "<asx");
}

}  // namespace

MediaRefKind ClassifyMediaRef(std::string_view reference) {
    using namespace refkind;
    MediaRefKind kind = ExistsAsWritten(reference) ? LocalFile : NotLocal;
    const std::string lower = LowerAscii(reference);

    if (Holds(lower, ".asx"))
        kind |= ExtAsx;
    else if (Holds(lower, ".wmx"))
        kind |= ExtWmx;
    else if (Holds(lower, ".wvx"))
        kind |= ExtWvx;

    if (Holds(lower, ".asf"))
        kind |= ExtAsf;
    else if (Holds(lower, ".wma"))
        kind |= ExtWma;
    else if (Holds(lower, ".wmv"))
        kind |= ExtWmv;

    if (Holds(lower, "http:"))
        kind |= SchemeHttp;
    else if (Holds(lower, "mms:"))
        kind |= SchemeMms;
    else if (Holds(lower, "mmst:"))
        kind |= SchemeMmst;
    else if (Holds(lower, "mmsu:"))
        kind |= SchemeMmsu;

    if ((kind & LocalFile) && (kind & ExtAsf) && FirstLineNamesAsx(reference)) kind |= AsxInAsf;
    return kind;
}

}  // namespace larkspan
