// The playlist parser: what each document yields (entries, the more-info
// link, syntax error traces), its encodings and its fixed-size limits.
#include "media/AsxParser.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace larkspan {
namespace {

using Texts = std::vector<std::string>;

// Keeps copies of everything the parser reports, and in which order.
struct Collected : AsxSink {
    Texts entries, traces, order;
    std::string moreInfo = "-";  // "-": no link reported
    int cutAt = -1;

    void PlaylistCut(int kept) override {
        cutAt = kept;
        order.push_back("cut");
    }
    void RecordEntries(int count, const std::string_view* references) override {
        order.push_back("entries");
        for (int i = 0; i < count; ++i) entries.emplace_back(references[i]);
    }
    void SetMoreInfoLink(std::string_view link) override {
        moreInfo = link;
        order.push_back("moreinfo");
    }
    void Trace(std::string_view message) override { traces.emplace_back(message); }
};

Collected Parse(std::string_view text) {
    Collected c;
    ParseAsx(text.data(), text.size(), c);
    return c;
}

std::string Utf16(const std::u16string& text, bool bigEndian, bool mark = true) {
    std::string out = !mark ? "" : bigEndian ? "\xFE\xFF" : "\xFF\xFE";
    for (char16_t u : text) {
        const char hi = static_cast<char>(u >> 8), lo = static_cast<char>(u & 0xFF);
        out += bigEndian ? std::string{hi, lo} : std::string{lo, hi};
    }
    return out;
}

const Texts kWhole = {"<whole>"};  // the text is handed on whole, as one reference

std::string Error(int n) { return "ASF syntax error " + std::to_string(n) + "!\n"; }

// Each document with what it yields; a syntax error drops its tag and the
// scan resumes at the next one.
TEST(AsxParser, WhatEachDocumentYields) {
    const std::u16string utf16Doc = u"<ASX>\r\n<Entry><Ref href=\"mms://a/caf\u00e9.asf\"/><Ref href=\"\U0001F600\"/>";
    const Texts utf16Entries = {"mms://a/caf\xC3\xA9.asf", "\xF0\x9F\x98\x80"};
    const struct {
        const char* name;
        std::string doc;
        Texts entries;
        Texts traces;
        std::string moreInfo = "-";
    } cases[] = {
        {"mixed case", R"(<ASX><Entry><Ref href="mms://a/x"/></Entry><ENTRYREF HREF="http://b/y.asx"></Ref></ASX>)",
         {"mms://a/x", "http://b/y.asx"}, {}},
        {"odd case", R"(<eNtRyReF hReF="x"/><rEf HrEf="y"/>)", {"x", "y"}, {}},
        {"empty href", R"(<Ref href=""/>)", {""}, {}},
        {"closing tags count", R"(</ref href="a"><ref href="b"/><//ref href="c">)", {"a", "b", "c"}, {}},
        {"other tags", R"(<asx><title>t</title><author href="x"/><refs href="y"/><ref href="z"/></asx>)", {"z"}, {}},
        {"href not first", R"(<Entry><Ref title="t" href="mms://a/x.asf"/></Entry>)", kWhole, {}},
        {"spaces around =", R"(<ref href = "a" >)", {"a"}, {}},
        {"only the first href", R"(<ref href="a" href="b">)", {"a"}, {}},
        {"bare value", "<ref href=abc def=1>", {"abc"}, {}},
        {"bare empty value", "<ref href=>", {""}, {}},
        {"bare value ends at /", "<Ref href=mms://a/x.asf>", kWhole, {Error(8)}},
        {"no value", "<ref href><x>", kWhole, {}},
        {"other attribute", "<ref src=\"a\">", kWhole, {}},
        {"no attribute", "<ref></ref>", kWhole, {}},
        {"quoted value kept whole", "<ref href=\" a b<>/ \t\r\n\"/>", {" a b<>/ \t\r\n"}, {}},
        {"embedded NUL", std::string("<ref href=\"a\0b\"/>", 17), {std::string("a\0b", 3)}, {}},
        {"CR line ends", "<ASX>\r<Entry>\r<Ref\rhref\r=\r\"mms://a/x\"\r/>\r</Entry>\r</ASX>\r", {"mms://a/x"}, {}},
        {"XML declaration", R"(<?xml version="1.0"?><asx><ref href="mms://a/x"/></asx>)", {"mms://a/x"}, {Error(2)}},
        {"comment holding a tag", R"(<!-- <ref href="a"> -->)", {"a"}, {Error(2)}},
        {"bad tag name", R"(<Ref href="1"><Ref-x href="y"><Ref href="2">)", {"1", "2"}, {Error(3)}},
        {"unfinished tag", R"(<ref href="abc)", kWhole, {}},
        {"unfinished second tag", R"(<ref href="a"/><ref href="b)", {"a"}, {}},
        {"leading blanks", " \t\r\n <asx><ref href=\"mms://a/x\"/></asx>", {"mms://a/x"}, {}},
        {"leading word", R"(abc<asx><ref href="mms://a/x"/></asx>)", {"mms://a/x"}, {}},
        {"stray word", "playlist: <ref href=\"mms://a/x\"/>", {"mms://a/x"}, {Error(1)}},
        {"stray bytes", "\x01\x02<ref href=\"mms://a/y\"/>", {"mms://a/y"}, {Error(1)}},
        {"over-long word", std::string(200, 'm') + ":<ref href=\"w\"/>", {"w"}, {Error(1)}},
        {"plain URL", "mms://a/x.asf\r\n", kWhole, {}},
        {"upper case scheme", "HTTP://a/x.asf", kWhole, {}},
        {"mmst URL", "mmst://a/x.asf", kWhole, {}},
        {"mmsu URL", "mmsu://a/x.asf", kWhole, {}},
        {"ASF marker", "ASF http://a/x", kWhole, {}},
        {"URL holding markup", R"(http://a/?q=<ref href="x"/>)", kWhole, {}},
        {"other scheme", "rtsp://host/a.asf", kWhole, {Error(1)}},
        {"bracket", "[Reference]\r\nRef1=http://a/x.asf\r\n", kWhole, {}},
        {"nine bytes", "mms://a/b", {}, {}},
        {"ten bytes", "mms://a/bc", {}, {}},
        {"eleven bytes", "mms://a/bcd", kWhole, {}},
        {"ten bytes, a tag", "<asx>     ", {}, {}},
        {"more-info only", R"(<MoreInfo href="http://a/i.htm"/>)", kWhole, {}, "http://a/i.htm"},
        {"last more-info", R"(<moreinfo href="a"/><ref href="x"/><MOREINFO HREF="b&amp;c"/>)", {"x"}, {}, "b&c"},
        {"entities", R"(<ref href="?a&amp;b&#38;c&#x33;&#X34;&lt;&gt;&quot;&apos;&#233;&#x1F600;"/>)",
         {"?a&b&c34<>\"'\xC3\xA9\xF0\x9F\x98\x80"}, {}},
        {"bad entities", R"(<ref href="&foo;|&amp|&#0;|&#xD800;|&#x110000;|&#;|&#x;|&#12a;|& amp;|&AMP;"/>)",
         {"&foo;|&amp|&#0;|&#xD800;|&#x110000;|&#;|&#x;|&#12a;|& amp;|&AMP;"}, {}},
        {"long entity, &&", R"(<ref href="&#99999999999999999999;&&amp;"/>)", {"&#99999999999999999999;&&"}, {}},
        {"invalid UTF-8", "<ref href=\"\xC3\x28\x80\xFF\"/>", {"\xC3\x28\x80\xFF"}, {}},
        {"UTF-8 mark", "\xEF\xBB\xBF<ASX><Entry><Ref href=\"mms://a/x.asf\"/></Entry></ASX>", {"mms://a/x.asf"}, {}},
        {"UTF-8 mark, URL", "\xEF\xBB\xBFmms://a/x.asf", {"mms://a/x.asf"}, {}},
        {"UTF-8 mark, ten bytes", "\xEF\xBB\xBFmms://a/bc", {}, {}},
        {"half a UTF-8 mark", "\xEF\xBB<ref href=\"a\"/>", {"a"}, {Error(1)}},
        {"UTF-16 LE", Utf16(utf16Doc, false), utf16Entries, {}},
        {"UTF-16 BE", Utf16(utf16Doc, true), utf16Entries, {}},
        {"UTF-16 LE URL", Utf16(u"mms://a/x.asf", false), {"mms://a/x.asf"}, {}},
        {"UTF-16 BE, ten bytes", Utf16(u"mms://a/bc", true), {}, {}},
        {"UTF-16 lone surrogate, odd byte", Utf16(u"<ref href=\"a\xD800\"/>", false) + "x", {"a\xEF\xBF\xBD"}, {}},
        {"error 1", R"(word;<ref href="ok"/>)", {"ok"}, {Error(1)}},
        {"error 2", R"(<!-- c --><ref href="ok"/>)", {"ok"}, {Error(2)}},
        {"error 2", R"(<?x?><ref href="ok"/>)", {"ok"}, {Error(2)}},
        {"error 2", R"(</!x><ref href="ok"/>)", {"ok"}, {Error(2)}},
        {"error 3", R"(<ref1 href="x"><ref href="ok"/>)", {"ok"}, {Error(3)}},
        {"error 3", R"(<a:ref href="x"><ref href="ok"/>)", {"ok"}, {Error(3)}},
        {"error 4", R"(<ref "x"><ref href="ok"/>)", {"ok"}, {Error(4)}},
        {"error 4", R"(<ref href="x""y"><ref href="ok"/>)", {"ok"}, {Error(4)}},
        {"error 5", R"(<ref href "x"><ref href="ok"/>)", {"ok"}, {Error(5)}},
        {"error 5", R"(<ref a b><ref href="ok"/>)", {"ok"}, {Error(5)}},
        {"error 6", R"(<ref href=/x><ref href="ok"/>)", {"ok"}, {Error(6)}},
        {"error 7", R"(<ref href=a"b"><ref href="ok"/>)", {"ok"}, {Error(7)}},
        {"error 7", R"(<ref href==x><ref href="ok"/>)", {"ok"}, {Error(7)}},
        {"error 8", R"(<ref/ x><ref href="ok"/>)", {"ok"}, {Error(8)}},
        {"error 8", R"(<ref href="x"/x><ref href="ok"/>)", {"ok"}, {Error(8)}},
        {"UTF-16 without mark", Utf16(u"<ref href=\"a\"/>", false, false), kWhole, {Error(2)}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Collected got = Parse(c.doc);
        EXPECT_EQ(got.entries, c.entries == kWhole ? Texts{c.doc} : c.entries);
        EXPECT_EQ(got.traces, c.traces);
        EXPECT_EQ(got.moreInfo, c.moreInfo);
        EXPECT_EQ(got.cutAt, -1);
    }
}

std::string Refs(int count, size_t length) {
    std::string doc;
    for (int i = 0; i < count; ++i) doc += "<ref href=\"" + std::string(length, 'v') + "\"/>";
    return doc;
}

// Entries: at most 1000; entry texts with their terminators: at most 64 KiB
// (129 values of 506 bytes take 65,403, so a last value of 132 bytes fills
// it); one attribute text: 512 bytes ("href", the value, two terminators).
TEST(AsxParser, LimitsAreExact) {
    const struct {
        const char* name;
        std::string doc;
        size_t kept;
        std::string last;
        int cutAt;
    } cases[] = {
        {"999 entries", Refs(999, 1), 999, "v", -1},
        {"1000 entries", Refs(1000, 1), 1000, "v", -1},
        {"1001 entries", Refs(1001, 1), 1000, "v", 1000},
        {"pool one byte short of full", Refs(129, 506) + Refs(1, 131), 130, std::string(131, 'v'), -1},
        {"pool exactly full", Refs(129, 506) + Refs(1, 132), 130, std::string(132, 'v'), -1},
        {"pool one byte over", Refs(129, 506) + Refs(1, 133), 129, std::string(506, 'v'), 129},
        {"a short entry after the cut", Refs(130, 506) + Refs(1, 1), 129, std::string(506, 'v'), 129},
        {"first attribute that fits", Refs(1, 506), 1, std::string(506, 'v'), -1},
        {"first attribute one byte too long", Refs(1, 507) + "<ref href=\"n\"/>", 1, "n", -1},
        {"later attribute too long", "<ref href=\"a\" t=\"" + std::string(600, 't') + "\" x=y/>", 1, "a", -1},
        {"over-long tag name", "<" + std::string(300, 'r') + " href=\"x\"/><ref href=\"y\"/>", 1, "y", -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Collected got = Parse(c.doc);
        ASSERT_EQ(got.entries.size(), c.kept);
        EXPECT_EQ(got.entries.back(), c.last);
        EXPECT_EQ(got.cutAt, c.cutAt);
        EXPECT_EQ(got.order, c.cutAt < 0 ? Texts{"entries"} : (Texts{"cut", "entries"}));
    }
}

// The recording worker parses a nested playlist from inside RecordEntries;
// the outer list must survive that.
struct Nesting : Collected {
    void RecordEntries(int count, const std::string_view* refs) override {
        for (int i = 0; i < count; ++i) {
            if (refs[i] == "inner") ParseAsx(R"(<ref href="i0"/><ref href="i1"/>)", 32, *this);
            if (refs[i] != "inner") entries.emplace_back(refs[i]);
        }
    }
};

TEST(AsxParser, ReentrantReusableAndBoundedByTheLength) {
    Nesting n;
    ParseAsx(R"(<ref href="o0"/><ref href="inner"/><ref href="o2"/>)", 51, n);
    EXPECT_EQ(n.entries, (Texts{"o0", "i0", "i1", "o2"}));

    AsxParser parser;
    Collected a, b, none;
    const std::string one = R"(<ref href="1"/><moreinfo href="m"/>)", two = R"(<ref href="2"/><ref href="3"/>)";
    parser.Parse(reinterpret_cast<const std::uint8_t*>(one.data()), one.size(), a);
    parser.Parse(reinterpret_cast<const std::uint8_t*>(two.data()), 15, b);  // only the first tag
    EXPECT_EQ(a.order, (Texts{"moreinfo", "entries"}));
    EXPECT_EQ(b.entries, Texts{"2"});
    EXPECT_EQ(b.moreInfo, "-");
    ParseAsx(nullptr, 20, none);
    ParseAsx("abcdefghijklmnop", 0, none);
    EXPECT_EQ(none.order, Texts{});
    // An entity that does not fit what is left of the output stays as written.
    char out[5];
    EXPECT_EQ(std::string(out, DecodeXmlEntities("ab&#x10FFFF;", out, 5)), "ab&#x");
}

}  // namespace
}  // namespace larkspan
