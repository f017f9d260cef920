#include "media/AsxParser.h"

#include <cstring>
#include <memory>
#include <string>

#include "media/TextEncoding.h"

namespace larkspan {

namespace {

constexpr int kEndMark = -1;

bool IsBlank(int c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == kEndMark; }
bool IsLetter(int c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
    return true;
}

const char* const kErrorText[] = {
    "",
    "ASF syntax error 1!\n", "ASF syntax error 2!\n", "ASF syntax error 3!\n",
    "ASF syntax error 4!\n", "ASF syntax error 5!\n", "ASF syntax error 6!\n",
    "ASF syntax error 7!\n", "ASF syntax error 8!\n",
};

// Reads one entity at text[0] == '&'. On success stores the character(s) in
// out, sets used to the entity's length and returns the decoded length;
// returns 0 when the text is not a known, well-formed entity.
size_t DecodeOneEntity(std::string_view text, char* out, size_t& used) {
    size_t semi = text.substr(0, 17).find(';');
    // The longest accepted entity is "&#x0010FFFF;"-like; allow some zeros.
    if (semi == std::string_view::npos || semi < 3 || semi > 16) return 0;
    std::string_view body = text.substr(1, semi - 1);
    used = semi + 1;
    struct Named {
        std::string_view name;
        char value;
    };
    static constexpr Named kNamed[] = {{"amp", '&'}, {"lt", '<'}, {"gt", '>'}, {"quot", '"'}, {"apos", '\''}};
    for (const Named& n : kNamed)
        if (body == n.name) {
            out[0] = n.value;
            return 1;
        }
    if (body[0] != '#') return 0;
    std::string_view digits = body.substr(1);
    int base = 10;
    if (!digits.empty() && (digits[0] == 'x' || digits[0] == 'X')) {
        base = 16;
        digits.remove_prefix(1);
    }
    if (digits.empty()) return 0;
    char32_t cp = 0;
    for (char d : digits) {
        int v;
        if (d >= '0' && d <= '9')
            v = d - '0';
        else if (base == 16 && d >= 'a' && d <= 'f')
            v = d - 'a' + 10;
        else if (base == 16 && d >= 'A' && d <= 'F')
            v = d - 'A' + 10;
        else
            return 0;
        cp = cp * base + v;
        if (cp > 0x10FFFF) return 0;
    }
    if (cp == 0 || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
    return PutUtf8(cp, out);
}

// Converts UTF-16 (after its byte-order mark) to UTF-8. Unpaired surrogates
// become U+FFFD; an odd last byte is dropped.
std::string Utf16ToUtf8(const std::uint8_t* data, size_t length, bool bigEndian) {
    std::string out;
    out.reserve(length + length / 2);
    AppendUtf16AsUtf8(data, length / 2, bigEndian, out);
    return out;
}

}  // namespace

size_t DecodeXmlEntities(std::string_view text, char* out, size_t capacity) {
    size_t n = 0;
    size_t i = 0;
    while (i < text.size() && n < capacity) {
        if (text[i] == '&') {
            char buf[4];
            size_t used = 0;
            size_t len = DecodeOneEntity(text.substr(i), buf, used);
            if (len > 0 && n + len <= capacity) {
                std::memcpy(out + n, buf, len);
                n += len;
                i += used;
                continue;
            }
        }
        out[n++] = text[i++];
    }
    return n;
}

void AsxParser::Reset() {
    state_ = State::Start;
    skipBlanks_ = true;
    tagNameLen_ = 0;
    tagNameOverflow_ = false;
    closing_ = false;
    attrLen_ = 0;
    attrCount_ = 0;
    firstAttrOverflow_ = false;
    firstHasValue_ = false;
    poolLen_ = 0;
    entryCount_ = 0;
    listClosed_ = false;
    moreInfoLen_ = 0;
    moreInfoSeen_ = false;
}

void AsxParser::Parse(const std::uint8_t* data, size_t length, AsxSink& sink) {
    if (!data || length == 0) return;
    Reset();
    sink_ = &sink;
    if (length >= 3 && data[0] == 0xEF && data[1] == 0xBB && data[2] == 0xBF) {
        data += 3;
        length -= 3;
    } else if (length >= 2 && ((data[0] == 0xFF && data[1] == 0xFE) || (data[0] == 0xFE && data[1] == 0xFF))) {
        // Read as UTF-8; the one allocation happens before the scan.
        std::string text = Utf16ToUtf8(data + 2, length - 2, data[0] == 0xFE);
        const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.data());
        Scan(bytes, text.size());
        Finish(bytes, text.size());
        sink_ = nullptr;
        return;
    }
    Scan(data, length);
    Finish(data, length);
    sink_ = nullptr;
}

void AsxParser::Scan(const std::uint8_t* data, size_t length) {
    size_t i = 0;
    while (i <= length) {
        if (i < length && state_ == State::Content) {
            // Everything up to the next '<' is ignored here.
            const void* lt = std::memchr(data + i, '<', length - i);
            i = lt ? static_cast<size_t>(static_cast<const std::uint8_t*>(lt) - data) : length;
        } else if (i < length && state_ == State::QuotedValue) {
            // Everything up to the closing quote is taken as it stands.
            const void* q = std::memchr(data + i, '"', length - i);
            size_t end = q ? static_cast<size_t>(static_cast<const std::uint8_t*>(q) - data) : length;
            AppendAttrRun(reinterpret_cast<const char*>(data + i), end - i);
            i = end;
        }
        int c = i < length ? data[i] : kEndMark;
        ++i;
        if (skipBlanks_ && IsBlank(c)) continue;
        if (!Step(c)) return;
    }
}

void AsxParser::BeginTag() {
    closing_ = false;
    tagNameLen_ = 0;
    tagNameOverflow_ = false;
    attrLen_ = 0;
    attrCount_ = 0;
    firstAttrOverflow_ = false;
    firstHasValue_ = false;
    state_ = State::TagOpen;
    skipBlanks_ = true;
}

void AsxParser::Error(int number) {
    sink_->Trace(kErrorText[number]);
    state_ = State::Content;
    skipBlanks_ = true;
}

void AsxParser::AppendTagName(int c) {
    if (tagNameLen_ + 1 < kTagNameCapacity)
        tagName_[tagNameLen_++] = static_cast<char>(c);
    else
        tagNameOverflow_ = true;
}

bool AsxParser::AppendAttr(char c) {
    if (attrLen_ < kAttrTextCapacity) {
        attrText_[attrLen_++] = c;
        return true;
    }
    if (attrCount_ <= 1) firstAttrOverflow_ = true;
    return false;
}

void AsxParser::AppendAttrRun(const char* text, size_t n) {
    size_t room = kAttrTextCapacity - attrLen_;
    size_t take = n < room ? n : room;
    std::memcpy(attrText_ + attrLen_, text, take);
    attrLen_ += take;
    if (take < n && attrCount_ <= 1) firstAttrOverflow_ = true;
}

bool AsxParser::Step(int c) {
    const char ch = static_cast<char>(c);
    for (;;) {
        switch (state_) {
        case State::Start:
            if (c == '<') {
                BeginTag();
            } else if (c == '[') {
                return false;
            } else if (IsLetter(c)) {
                AppendTagName(c);
                skipBlanks_ = false;
            } else {
                // A leading word ends. A bare URL ("mms://...") or the
                // "ASF" marker stops the scan, and the text is handed on
                // whole; any other word is taken for stray text before the
                // first tag (a byte-order mark in some encoding, a comment
                // line) and scanning resumes at the next '<'.
                std::string_view word(tagName_, tagNameLen_);
                if (!tagNameOverflow_) {
                    for (std::string_view known : {"ASF", "http", "mms", "mmst", "mmsu"})
                        if (EqualsNoCase(word, known)) return false;
                }
                Error(1);
            }
            return true;
        case State::Content:
            if (c == '<') BeginTag();
            return true;
        case State::TagOpen:
            if (c == '/') {
                closing_ = true;
            } else if (IsLetter(c)) {
                state_ = State::TagName;
                skipBlanks_ = false;
                continue;
            } else {
                Error(2);
            }
            return true;
        case State::TagName:
            if (IsBlank(c)) {
                state_ = State::AttrGap;
                skipBlanks_ = true;
            } else if (IsLetter(c)) {
                AppendTagName(c);
            } else if (c == '/') {
                closing_ = true;
                state_ = State::TagEnd;
                skipBlanks_ = true;
            } else if (c == '>') {
                TagComplete();
            } else {
                Error(3);
            }
            return true;
        case State::AttrGap:
            if (IsLetter(c)) {
                ++attrCount_;
                if (attrCount_ == 1) firstNameStart_ = attrLen_;
                state_ = State::AttrName;
                skipBlanks_ = false;
                continue;
            } else if (c == '/') {
                closing_ = true;
                state_ = State::TagEnd;
                skipBlanks_ = true;
            } else if (c == '>') {
                TagComplete();
            } else {
                Error(4);
            }
            return true;
        case State::AttrName:
            if (IsLetter(c)) {
                AppendAttr(ch);
                return true;
            }
            if (attrCount_ == 1) firstNameEnd_ = attrLen_;
            AppendAttr('\0');
            state_ = State::AfterAttrName;
            skipBlanks_ = true;
            if (IsBlank(c)) return true;
            continue;
        case State::AfterAttrName:
            if (c == '/') {
                closing_ = true;
                state_ = State::TagEnd;
                skipBlanks_ = true;
            } else if (c == '>') {
                TagComplete();
            } else if (c == '=') {
                if (attrCount_ == 1) {
                    firstHasValue_ = true;
                    firstValueStart_ = firstValueEnd_ = attrLen_;
                }
                state_ = State::AfterEquals;
                skipBlanks_ = true;
            } else {
                Error(5);
            }
            return true;
        case State::AfterEquals:
            if (c == '"') {
                state_ = State::QuotedValue;
                skipBlanks_ = false;
            } else if (c == '/') {
                Error(6);
            } else {
                state_ = State::BareValue;
                continue;
            }
            return true;
        case State::BareValue:
            if (c == '"' || c == '=') {
                Error(7);
                return true;
            }
            if (IsBlank(c) || c == '/' || c == '>') {
                if (attrCount_ == 1) firstValueEnd_ = attrLen_;
                AppendAttr('\0');
                if (c == '>') {
                    TagComplete();
                } else {
                    if (c == '/') closing_ = true;
                    state_ = c == '/' ? State::TagEnd : State::AttrGap;
                    skipBlanks_ = true;
                }
                return true;
            }
            AppendAttr(ch);
            skipBlanks_ = false;
            return true;
        case State::QuotedValue:
            if (c == '"') {
                if (attrCount_ == 1) firstValueEnd_ = attrLen_;
                AppendAttr('\0');
                state_ = State::AttrGap;
                skipBlanks_ = true;
            } else {
                AppendAttr(ch);
            }
            return true;
        case State::TagEnd:
            if (c == '>')
                TagComplete();
            else
                Error(8);
            return true;
        }
        return true;
    }
}

void AsxParser::TagComplete() {
    state_ = State::Content;
    skipBlanks_ = true;
    if (tagNameOverflow_ || attrCount_ < 1 || firstAttrOverflow_ || !firstHasValue_) return;
    std::string_view attrName(attrText_ + firstNameStart_, firstNameEnd_ - firstNameStart_);
    if (!EqualsNoCase(attrName, "href")) return;
    std::string_view value(attrText_ + firstValueStart_, firstValueEnd_ - firstValueStart_);
    std::string_view name(tagName_, tagNameLen_);
    if (EqualsNoCase(name, "moreinfo")) {
        moreInfoLen_ = DecodeXmlEntities(value, moreInfo_, sizeof moreInfo_);
        moreInfoSeen_ = true;
    } else if (EqualsNoCase(name, "ref") || EqualsNoCase(name, "entryref")) {
        AddEntry(value);
    }
}

void AsxParser::AddEntry(std::string_view raw) {
    if (listClosed_) return;
    char decoded[kAttrTextCapacity];
    size_t len = DecodeXmlEntities(raw, decoded, sizeof decoded);
    if (entryCount_ >= kMaxEntries || poolLen_ + len + 1 > kPoolCapacity) {
        // Full: keep the first entries in document order rather than a
        // list with holes.
        listClosed_ = true;
        return;
    }
    char* dst = pool_ + poolLen_;
    std::memcpy(dst, decoded, len);
    dst[len] = '\0';
    poolLen_ += len + 1;
    entries_[entryCount_++] = std::string_view(dst, len);
}

void AsxParser::Finish(const std::uint8_t* data, size_t length) {
    if (moreInfoSeen_) sink_->SetMoreInfoLink(std::string_view(moreInfo_, moreInfoLen_));
    if (listClosed_) sink_->PlaylistCut(static_cast<int>(entryCount_));
    if (entryCount_ > 0) {
        sink_->RecordEntries(static_cast<int>(entryCount_), entries_.data());
    } else if (length > 10) {
        std::string_view whole(reinterpret_cast<const char*>(data), length);
        sink_->RecordEntries(1, &whole);
    }
}

void ParseAsx(const void* data, size_t length, AsxSink& sink) {
    if (!data || length == 0) return;
    // Default-initialised: the buffers are written before they are read.
    std::unique_ptr<AsxParser> parser(new AsxParser);
    parser->Parse(static_cast<const std::uint8_t*>(data), length, sink);
}

}  // namespace larkspan
