// Any reference and requested name: the output path must be the base folder,
// a separator and one ordinary file name.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "recorder/OutputNaming.h"

namespace {

[[noreturn]] void Fail(const char* what, const std::string& path) {
    std::fprintf(stderr, "invariant broken: %s: %s\n", what, path.c_str());
    std::abort();
}

void Check(const std::string& path, const std::string& base) {
    std::string prefix = base + larkspan::PathSeparator();
    if (path.compare(0, prefix.size(), prefix) != 0) Fail("outside the base folder", path);
    std::string name = path.substr(prefix.size());
    if (name.empty() || name == "." || name == "..") Fail("not a file name", path);
    if (name.size() > larkspan::kMaxFileNameBytes) Fail("name too long", path);
    for (char c : name)
        if (c == '/' || c == '\\' || static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            Fail("bad character", path);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The first line is the requested name, the rest the reference.
    std::string_view text(reinterpret_cast<const char*>(data), size);
    size_t nl = text.find('\n');
    std::string_view name = nl == std::string_view::npos ? std::string_view() : text.substr(0, nl);
    std::string_view ref = nl == std::string_view::npos ? text : text.substr(nl + 1);

    for (const std::string base : {"/srv/rec", "/srv/my.rec"}) {
        Check(larkspan::StreamOutputPath(ref, name, base), base);
        Check(larkspan::StreamOutputPath(ref, "", base), base);
        Check(larkspan::MetaDownloadPath(ref, base), base);
    }
    std::string entry = larkspan::EntryName(std::string(name), 3, 2);
    std::string cleaned(name);
    larkspan::SanitizeFileName(cleaned);
    if (cleaned.size() != name.size()) Fail("sanitizing changed the length", cleaned);
    if (cleaned.find_first_of(std::string_view("\\/:*?\"<>|\0", 10)) != std::string::npos)
        Fail("sanitized name keeps a forbidden character", cleaned);
    // A playlist entry's own name leads into the base folder too.
    Check(larkspan::StreamOutputPath(ref, entry, "/srv/rec"), "/srv/rec");
    return 0;
}
