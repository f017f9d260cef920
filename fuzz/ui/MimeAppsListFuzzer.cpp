// A user's mimeapps.list, any bytes, through the line editor. Input: a
// section, a key and a value, each ended by a zero byte, then the file text;
// without three zero bytes the whole input is the text and the program's own
// section and key are used. The editor keeps every byte it is not asked to
// change, so: reading and writing back gives the text unchanged; a value set
// is read back, also from the written text; removing the key leaves none; and
// adding a key missing from an existing section, then removing it, gives the
// text back byte for byte.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "ui/associations/MimeAppsList.h"

namespace {

using larkspan::MimeAppsList;

[[noreturn]] void Fail(const char* what) {
    std::fprintf(stderr, "invariant broken: %s\n", what);
    std::abort();
}

bool HasLineBreak(const std::string& text) { return text.find_first_of("\r\n") != std::string::npos; }

// A key the file format can hold: one name, not a comment or a header, nothing to trim.
bool UsableKey(const std::string& key) {
    return !key.empty() && key.find('=') == std::string::npos && !HasLineBreak(key) && key[0] != '#' &&
           key[0] != '[' && key.front() != ' ' && key.front() != '\t' && key.back() != ' ' && key.back() != '\t';
}

// Whether a line of the text, blanks and tabs around it trimmed, is the section's header.
bool HasHeader(const std::string& text, const std::string& section) {
    const std::string header = "[" + section + "]";
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find('\n', start);
        std::string line = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (end != std::string::npos && !line.empty() && line.back() == '\r') line.pop_back();
        const size_t first = line.find_first_not_of(" \t");
        if (first != std::string::npos && line.substr(first, line.find_last_not_of(" \t") - first + 1) == header)
            return true;
        if (end == std::string::npos) break;
        start = end + 1;
    }
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    std::string section = "Default Applications";
    std::string key = "x-scheme-handler/mms";
    std::string value = "larkspan-recorder.desktop;";
    std::string text = input;
    const size_t first = input.find('\0');
    const size_t second = first == std::string::npos ? first : input.find('\0', first + 1);
    const size_t third = second == std::string::npos ? second : input.find('\0', second + 1);
    if (third != std::string::npos) {
        const std::string givenSection = input.substr(0, first);
        const std::string givenKey = input.substr(first + 1, second - first - 1);
        const std::string givenValue = input.substr(second + 1, third - second - 1);
        if (!HasLineBreak(givenSection)) section = givenSection;
        if (UsableKey(givenKey)) key = givenKey;
        if (!HasLineBreak(givenValue)) value = givenValue;
        text = input.substr(third + 1);
    }

    MimeAppsList list;
    list.Parse(text);
    if (list.Text() != text) Fail("parsed and written back, the text changed");
    const std::optional<std::string> before = list.RawValue(section, key);

    MimeAppsList set;
    set.Parse(text);
    set.SetRawValue(section, key, value);
    if (set.RawValue(section, key) != value) Fail("the value set is not read back");
    MimeAppsList reread;
    reread.Parse(set.Text());
    if (reread.RawValue(section, key) != value) Fail("the value set is not read back from the written text");

    set.RemoveKey(section, key);
    if (set.RawValue(section, key)) Fail("a removed key is still read");
    if (!before && HasHeader(text, section) && set.Text() != text) Fail("adding and removing a key changed the text");

    const std::vector<std::string> entries = MimeAppsList::SplitList(value);
    MimeAppsList listValue;
    listValue.Parse(text);
    listValue.SetListValue(section, key, entries);
    if (listValue.ListValue(section, key) != entries) Fail("the list set is not read back");
    return 0;
}
