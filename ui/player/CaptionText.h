#pragma once
// Turns the text of one caption (SAMI markup) into the plain lines the
// caption strip draws.
#include <string>

namespace larkspan {

// Drops every tag with its brackets, turns a tag that is exactly "br" (any
// case) into a line break, keeps a '<' without a closing '>' and everything
// after it, removes trailing white space, and then turns "&nbsp;" into a
// blank; only when the text holds no "&nbsp;" is the form without the
// semicolon turned into a blank instead.
std::string CleanCaptionText(std::string text);

}  // namespace larkspan
