#include "ui/player/CaptionText.h"

#include <cctype>
#include <utility>

namespace larkspan {
namespace {

bool IsLineBreakTag(const std::string& tag) {
    return tag.size() == 2 && std::tolower(static_cast<unsigned char>(tag[0])) == 'b' &&
           std::tolower(static_cast<unsigned char>(tag[1])) == 'r';
}

// Replaces every occurrence of what by a blank; false when there was none.
bool ReplaceWithBlank(std::string& text, const std::string& what) {
    std::string out;
    std::size_t from = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, from)) {
        out.append(text, from, at - from);
        out += ' ';
        from = at + what.size();
    }
    if (from == 0) return false;
    out.append(text, from, std::string::npos);
    text = std::move(out);
    return true;
}

}  // namespace

std::string CleanCaptionText(std::string text) {
    std::string out;
    for (std::size_t open = text.find('<'); open != std::string::npos; open = text.find('<')) {
        const std::size_t close = text.find('>', open + 1);
        if (close == std::string::npos) break;  // an unclosed '<' stays with all that follows
        const std::string tag = text.substr(open + 1, close - open - 1);
        out.append(text, 0, open);
        text.erase(0, close + 1);
        if (IsLineBreakTag(tag)) out += '\n';
    }
    out += text;

    std::size_t end = out.size();
    while (end > 0 && std::isspace(static_cast<unsigned char>(out[end - 1]))) --end;
    out.resize(end);

    if (!ReplaceWithBlank(out, "&nbsp;")) ReplaceWithBlank(out, "&nbsp");
    return out;
}

}  // namespace larkspan
