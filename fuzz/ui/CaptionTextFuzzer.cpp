// A caption's markup from a captions file, any bytes, into the text the caption
// strip draws. The cleaning only takes away: tags with their brackets, white
// space at the end, "&nbsp;" (or "&nbsp") for one blank; a line-break tag
// becomes one character. So the text never grows, no '<' in it is followed by
// a '>' (that would have been a tag), no "&nbsp;" is left, and it ends in white
// space only when a blank made from "&nbsp" ends it.
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "ui/player/CaptionText.h"

namespace {

[[noreturn]] void Fail(const char* what) {
    std::fprintf(stderr, "invariant broken: %s\n", what);
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    const std::string out = larkspan::CleanCaptionText(input);
    if (out.size() > input.size()) Fail("the text grew");
    const size_t open = out.find('<');
    if (open != std::string::npos && out.find('>', open) != std::string::npos) Fail("a tag is left");
    if (out.find("&nbsp;") != std::string::npos) Fail("an \"&nbsp;\" is left");
    if (!out.empty() && std::isspace(static_cast<unsigned char>(out.back()))) {
        // The same text with no '&' keeps its tags and its end but makes no blank: there the end shows
        // whether "&nbsp" (with or without its semicolon) ended the text.
        std::string withoutEntities = input;
        for (char& c : withoutEntities)
            if (c == '&') c = '#';
        const std::string plain = larkspan::CleanCaptionText(withoutEntities);
        const bool endsInBlank = plain.ends_with("#nbsp") || plain.ends_with("#nbsp;");
        if (out.back() != ' ' || !endsInBlank) Fail("white space at the end");
    }
    return 0;
}
