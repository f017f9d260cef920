#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "media/AsxSink.h"

namespace larkspan {

// Reads an ASX meta file (also named ".wmx", ".wvx", or disguised as
// ".asf") in one pass with a small state machine and collects the href of
// every Ref and EntryRef tag. Forgiving: no DTD, only tag names and the first
// attribute count, and a syntax error just skips to the next '<'. A text
// that holds no usable entry and is longer than 10 bytes is handed on whole,
// as if it were itself a reference (a file holding only a URL).
//
// All working storage has fixed size and lives in the parser object;
// nothing is allocated during the scan. A tag whose name or first attribute
// does not fit is ignored. Once the entry list is full (kMaxEntries entries
// or kPoolCapacity bytes of entry text) further entries are dropped, and the
// sink hears of it through PlaylistCut before it gets the entries kept.
//
// Beyond the plain format: a UTF-8 byte-order mark is skipped, a UTF-16 text
// (with its byte-order mark) is read as UTF-8, and the character entities
// (&amp; &lt; &gt; &quot; &apos; &#NN; &#xHH;) are decoded in the href values
// that become entries or the more-info link, since playlists in the wild
// write "&" in URLs as "&amp;".
class AsxParser {
public:
    static constexpr size_t kTagNameCapacity = 128;   // 127 letters and a terminator
    static constexpr size_t kAttrTextCapacity = 512;  // names and values of one tag
    static constexpr size_t kPoolCapacity = 64 * 1024;  // all entry texts, with terminators
    static constexpr size_t kMaxEntries = 1000;

    AsxParser() = default;
    AsxParser(const AsxParser&) = delete;
    AsxParser& operator=(const AsxParser&) = delete;

    // Scans the bytes (no terminator needed) and reports to the sink. The
    // parser may be reused; each call starts afresh.
    void Parse(const std::uint8_t* data, size_t length, AsxSink& sink);

private:
    enum class State : std::uint8_t {
        Start, Content, TagOpen, TagName, AttrGap, AttrName, AfterAttrName,
        AfterEquals, BareValue, QuotedValue, TagEnd,
    };

    void Reset();
    void Scan(const std::uint8_t* data, size_t length);
    // Handles one character; kEndMark is the mark after the last byte.
    // Returns false when scanning stops.
    bool Step(int c);
    void BeginTag();
    void Error(int number);
    void AppendTagName(int c);
    bool AppendAttr(char c);
    void AppendAttrRun(const char* text, size_t n);
    void TagComplete();
    void AddEntry(std::string_view raw);
    void Finish(const std::uint8_t* data, size_t length);

    AsxSink* sink_ = nullptr;
    State state_ = State::Start;
    bool skipBlanks_ = true;

    // The tag being read.
    char tagName_[kTagNameCapacity];
    size_t tagNameLen_ = 0;
    bool tagNameOverflow_ = false;
    bool closing_ = false;
    char attrText_[kAttrTextCapacity];
    size_t attrLen_ = 0;
    int attrCount_ = 0;
    // Overflow of the attribute text that hit the first attribute: the tag
    // is refused. Overflow in a later attribute does not matter, since only
    // the first is examined.
    bool firstAttrOverflow_ = false;
    size_t firstNameStart_ = 0;
    size_t firstNameEnd_ = 0;
    bool firstHasValue_ = false;
    size_t firstValueStart_ = 0;
    size_t firstValueEnd_ = 0;

    // The whole document.
    char pool_[kPoolCapacity];
    size_t poolLen_ = 0;
    std::array<std::string_view, kMaxEntries> entries_{};
    size_t entryCount_ = 0;
    bool listClosed_ = false;
    char moreInfo_[kAttrTextCapacity];
    size_t moreInfoLen_ = 0;
    bool moreInfoSeen_ = false;
};

// Parses with a parser of its own, allocated once before the scan (it is
// too large for a thread's stack when playlists nest). An absent buffer or
// a length of 0 does nothing.
void ParseAsx(const void* data, size_t length, AsxSink& sink);

// Decodes the XML character entities of text into out (capacity bytes).
// Unknown or malformed entities, and those naming NUL, a surrogate or no
// character at all, stay as written. Returns the decoded length; the result
// is never longer than the input, so a buffer of text.size() always fits.
size_t DecodeXmlEntities(std::string_view text, char* out, size_t capacity);

}  // namespace larkspan
