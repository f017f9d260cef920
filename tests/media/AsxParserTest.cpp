#include "media/AsxParser.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace larkspan {
namespace {

// Keeps copies of everything the parser reports, and in which order.
struct Collected : AsxSink {
    int calls = 0;
    std::vector<std::string> entries;
    bool haveMoreInfo = false;
    std::string moreInfo;
    std::vector<std::string> traces;
    std::vector<std::string> order;
    int cutAt = -1;

    void PlaylistCut(int kept) override {
        cutAt = kept;
        order.push_back("cut");
    }
    void RecordEntries(int count, const std::string_view* references) override {
        ++calls;
        order.push_back("entries");
        for (int i = 0; i < count; ++i) entries.emplace_back(references[i]);
    }
    void SetMoreInfoLink(std::string_view link) override {
        haveMoreInfo = true;
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

using Entries = std::vector<std::string>;

TEST(AsxParser, TwoEntriesWithMixedCaseAttributes) {
    auto c = Parse(
        R"(<ASX version="3.0"><Entry><Ref href="mms://a/x.asf"/></Entry><Entry><Ref HREF="http://b/y.asf"></Ref></Entry></ASX>)");
    EXPECT_EQ(c.calls, 1);
    EXPECT_EQ(c.entries, (Entries{"mms://a/x.asf", "http://b/y.asf"}));
    EXPECT_TRUE(c.traces.empty());
}

TEST(AsxParser, HrefThatIsNotTheFirstAttributeIsIgnored) {
    std::string doc = R"(<Entry><Ref title="t" href="mms://a/x.asf"/></Entry>)";
    auto c = Parse(doc);
    EXPECT_EQ(c.calls, 1);
    EXPECT_EQ(c.entries, Entries{doc});  // handed on whole
}

TEST(AsxParser, EmptyHrefIsAnEntry) { EXPECT_EQ(Parse(R"(<Ref href=""/>)").entries, Entries{""}); }

TEST(AsxParser, EntryRefIsAnEntry) {
    EXPECT_EQ(Parse(R"(<EntryRef href="http://a/list.asx"/>)").entries, Entries{"http://a/list.asx"});
}

TEST(AsxParser, MoreInfoSetsTheLinkAndNoEntry) {
    std::string doc = R"(<MoreInfo href="http://a/info.htm"/>)";
    auto c = Parse(doc);
    EXPECT_TRUE(c.haveMoreInfo);
    EXPECT_EQ(c.moreInfo, "http://a/info.htm");
    // No entry from the tag: the end rule hands the text on whole.
    EXPECT_EQ(c.entries, Entries{doc});
    EXPECT_EQ(c.order, (Entries{"moreinfo", "entries"}));
}

TEST(AsxParser, LaterMoreInfoReplacesEarlierOne) {
    auto c = Parse(R"(<moreinfo href="a"/><ref href="x"/><MOREINFO HREF="b&amp;c"/>)");
    EXPECT_EQ(c.moreInfo, "b&c");
    EXPECT_EQ(c.entries, Entries{"x"});
    EXPECT_EQ(c.order, (Entries{"moreinfo", "entries"}));
}

TEST(AsxParser, UnquotedValueEndsAtSlash) {
    std::string doc = "<Ref href=mms://a/x.asf>";
    auto c = Parse(doc);
    EXPECT_EQ(c.entries, Entries{doc});
    EXPECT_EQ(c.traces, Entries{"ASF syntax error 8!\n"});
}

TEST(AsxParser, XmlDeclarationIsSkipped) {
    auto c = Parse(R"(<?xml version="1.0"?><asx><entry><ref href="mms://a/x"/></entry></asx>)");
    EXPECT_EQ(c.entries, Entries{"mms://a/x"});
    EXPECT_EQ(c.traces, Entries{"ASF syntax error 2!\n"});
}

TEST(AsxParser, PlainUrlTextIsHandedOnWhole) {
    EXPECT_EQ(Parse("mms://a/x.asf\r\n").entries, Entries{"mms://a/x.asf\r\n"});
    EXPECT_EQ(Parse("mms://a/x.asf\n").entries, Entries{"mms://a/x.asf\n"});
    EXPECT_EQ(Parse("HTTP://a/x.asf").entries, Entries{"HTTP://a/x.asf"});
    EXPECT_EQ(Parse("mmst://a/x.asf").entries, Entries{"mmst://a/x.asf"});
    EXPECT_EQ(Parse("mmsu://a/x.asf").entries, Entries{"mmsu://a/x.asf"});
    EXPECT_EQ(Parse("ASF http://a/x").entries, Entries{"ASF http://a/x"});
}

TEST(AsxParser, ListedWordStopsTheScanEvenBeforeTags) {
    // The text is a URL whose query happens to hold markup: not a playlist.
    std::string doc = R"(http://a/?q=<ref href="x"/>)";
    EXPECT_EQ(Parse(doc).entries, Entries{doc});
}

TEST(AsxParser, TextsOfTenBytesOrLessGiveNothing) {
    auto nine = Parse("mms://a/b");
    EXPECT_EQ(nine.calls, 0);
    EXPECT_EQ(Parse("mms://a/bc").calls, 0);
    EXPECT_EQ(Parse("mms://a/bcd").entries, Entries{"mms://a/bcd"});
    EXPECT_EQ(Parse("<asx></asx>").entries, Entries{"<asx></asx>"});
    EXPECT_EQ(Parse("<asx>     ").calls, 0);
}

TEST(AsxParser, BracketStopsTheScan) {
    std::string doc = "[Reference]\r\nRef1=http://a/x.asf\r\n";
    auto c = Parse(doc);
    EXPECT_EQ(c.entries, Entries{doc});
    EXPECT_TRUE(c.traces.empty());
    std::string after = "  [x]\r\n<ref href=\"a\"/>";
    EXPECT_EQ(Parse(after).entries, Entries{after});
}

TEST(AsxParser, BadTagNameDropsOnlyThatTag) {
    auto c = Parse(R"(<Ref href="mms://a/1.asf"><Ref-x href="y"><Ref href="mms://a/2.asf">)");
    EXPECT_EQ(c.entries, (Entries{"mms://a/1.asf", "mms://a/2.asf"}));
    EXPECT_EQ(c.traces, Entries{"ASF syntax error 3!\n"});
}

TEST(AsxParser, LeadingBlanksAndWordsBeforeTheFirstTag) {
    EXPECT_EQ(Parse(" \t\r\n <asx><ref href=\"mms://a/x\"/></asx>").entries, Entries{"mms://a/x"});
    auto c = Parse(R"(abc<asx><ref href="mms://a/x"/></asx>)");
    EXPECT_EQ(c.entries, Entries{"mms://a/x"});
    EXPECT_TRUE(c.traces.empty());
}

TEST(AsxParser, StrayWordBeforeTheFirstTagIsSkipped) {
    // Not one of the words that start a bare URL: error 1, then the tags.
    auto c = Parse("playlist: <asx><ref href=\"mms://a/x\"/></asx>");
    EXPECT_EQ(c.entries, Entries{"mms://a/x"});
    EXPECT_EQ(c.traces, Entries{"ASF syntax error 1!\n"});
    // An empty word (a byte that is neither letter, '<' nor '[').
    auto d = Parse("\x01\x02<ref href=\"mms://a/y\"/>");
    EXPECT_EQ(d.entries, Entries{"mms://a/y"});
    // Without tags the text still goes on whole.
    std::string path = "/home/u/clip.asf";
    EXPECT_EQ(Parse(path).entries, Entries{path});
    std::string rtsp = "rtsp://host/a.asf";
    EXPECT_EQ(Parse(rtsp).entries, Entries{rtsp});
}

// One document per syntax error, each followed by a good tag that must
// still be found.
struct ErrorCase {
    const char* bad;
    int error;
};

class SyntaxErrors : public ::testing::TestWithParam<ErrorCase> {};

TEST_P(SyntaxErrors, DropTheTagAndResume) {
    const ErrorCase& e = GetParam();
    auto c = Parse(std::string(e.bad) + R"(<ref href="ok"/>)");
    EXPECT_EQ(c.entries, Entries{"ok"}) << e.bad;
    EXPECT_EQ(c.traces, Entries{"ASF syntax error " + std::to_string(e.error) + "!\n"}) << e.bad;
}

INSTANTIATE_TEST_SUITE_P(Table, SyntaxErrors,
                         ::testing::Values(ErrorCase{"word;", 1}, ErrorCase{"<!-- c -->", 2},
                                           ErrorCase{"<?x?>", 2}, ErrorCase{"</!x>", 2},
                                           ErrorCase{"<ref1 href=\"x\">", 3}, ErrorCase{"<a:ref href=\"x\">", 3},
                                           ErrorCase{"<ref \"x\">", 4}, ErrorCase{"<ref href=\"x\"\"y\">", 4},
                                           ErrorCase{"<ref href \"x\">", 5}, ErrorCase{"<ref a b>", 5},
                                           ErrorCase{"<ref href=/x>", 6}, ErrorCase{"<ref href=a\"b\">", 7},
                                           ErrorCase{"<ref href==x>", 7}, ErrorCase{"<ref/ x>", 8},
                                           ErrorCase{"<ref href=\"x\"/x>", 8}));

TEST(AsxParser, CommentHoldingATagRestartsThere) {
    auto c = Parse(R"(<!-- <ref href="a"> -->)");
    EXPECT_EQ(c.entries, Entries{"a"});
}

TEST(AsxParser, UpperCaseTags) {
    auto c = Parse(R"(<ASX VERSION="3.0"><ENTRY><REF HREF="mms://a/1"/></ENTRY><ENTRYREF HREF="http://a/2.asx"/></ASX>)");
    EXPECT_EQ(c.entries, (Entries{"mms://a/1", "http://a/2.asx"}));
    EXPECT_EQ(Parse(R"(<eNtRyReF hReF="x"/><rEf HrEf="y"/>)").entries, (Entries{"x", "y"}));
}

TEST(AsxParser, CarriageReturnOnlyLineEnds) {
    auto c = Parse("<ASX version=\"3.0\">\r<Entry>\r<Ref\rhref\r=\r\"mms://a/x.asf\"\r/>\r</Entry>\r</ASX>\r");
    EXPECT_EQ(c.entries, Entries{"mms://a/x.asf"});
    EXPECT_TRUE(c.traces.empty());
}

TEST(AsxParser, Utf8ByteOrderMarkIsSkipped) {
    auto c = Parse("\xEF\xBB\xBF<ASX version=\"3.0\"><Entry><Ref href=\"mms://a/x.asf\"/></Entry></ASX>");
    EXPECT_EQ(c.entries, Entries{"mms://a/x.asf"});
    EXPECT_TRUE(c.traces.empty());
    // A plain URL goes on without the mark.
    EXPECT_EQ(Parse("\xEF\xBB\xBFmms://a/x.asf").entries, Entries{"mms://a/x.asf"});
    EXPECT_EQ(Parse("\xEF\xBB\xBFmms://a/bc").calls, 0);
}

std::string Utf16(const std::u16string& text, bool bigEndian) {
    std::string out = bigEndian ? std::string("\xFE\xFF", 2) : std::string("\xFF\xFE", 2);
    for (char16_t u : text) {
        char hi = static_cast<char>(u >> 8), lo = static_cast<char>(u & 0xFF);
        out.push_back(bigEndian ? hi : lo);
        out.push_back(bigEndian ? lo : hi);
    }
    return out;
}

TEST(AsxParser, Utf16PlaylistsAreReadAsUtf8) {
    std::u16string doc = u"<ASX version=\"3.0\">\r\n<Entry><Ref href=\"mms://a/caf\u00e9.asf\"/></Entry>"
                         u"<Ref href=\"mms://a/\U0001F600\"/></ASX>";
    for (bool be : {false, true}) {
        auto c = Parse(Utf16(doc, be));
        EXPECT_EQ(c.entries, (Entries{"mms://a/caf\xC3\xA9.asf", "mms://a/\xF0\x9F\x98\x80"})) << be;
    }
    EXPECT_EQ(Parse(Utf16(u"mms://a/x.asf", false)).entries, Entries{"mms://a/x.asf"});
    // A lone surrogate becomes U+FFFD; an odd last byte is dropped.
    std::string lone = Utf16(u"<ref href=\"a", false) + std::string("\x00\xD8", 2) + Utf16(u"\"/>", false).substr(2) + "x";
    EXPECT_EQ(Parse(lone).entries, Entries{"a\xEF\xBF\xBD"});
}

TEST(AsxParser, EntitiesInHrefAreDecoded) {
    auto c = Parse(
        R"(<ref href="http://a/x?a=1&amp;b=2&#38;c=&#x33;&#X34;&lt;&gt;&quot;&apos;&#233;&#x1F600;"/>)");
    EXPECT_EQ(c.entries, Entries{"http://a/x?a=1&b=2&c=34<>\"'\xC3\xA9\xF0\x9F\x98\x80"});
}

TEST(AsxParser, MalformedEntitiesStayAsWritten) {
    const char* kept[] = {"&foo;", "&amp", "&#0;", "&#xD800;", "&#x110000;", "&#;", "&#x;", "&#12a;", "& amp;",
                          "&AMP;", "&#99999999999999999999;", "&&amp;"};
    const char* want[] = {"&foo;", "&amp", "&#0;", "&#xD800;", "&#x110000;", "&#;", "&#x;", "&#12a;", "& amp;",
                          "&AMP;", "&#99999999999999999999;", "&&"};
    for (size_t i = 0; i < std::size(kept); ++i)
        EXPECT_EQ(Parse(std::string("<ref href=\"") + kept[i] + "\"/>").entries, Entries{want[i]}) << kept[i];
}

TEST(AsxParser, QuotedValueKeepsEverything) {
    EXPECT_EQ(Parse("<ref href=\" a b<>/ \t\r\n\"/>").entries, Entries{" a b<>/ \t\r\n"});
}

TEST(AsxParser, AttributeForms) {
    EXPECT_EQ(Parse(R"(<ref href = "a" >)").entries, Entries{"a"});
    EXPECT_EQ(Parse(R"(<ref href="a" href="b">)").entries, Entries{"a"});
    EXPECT_EQ(Parse("<ref href=abc def=1>").entries, Entries{"abc"});
    EXPECT_EQ(Parse("<ref href=abc>").entries, Entries{"abc"});
    EXPECT_EQ(Parse("<ref href=>").entries, Entries{""});
    std::string noValue = "<ref href><x>";
    EXPECT_EQ(Parse(noValue).entries, Entries{noValue});
    std::string otherName = "<ref src=\"a\">";
    EXPECT_EQ(Parse(otherName).entries, Entries{otherName});
    std::string noAttr = "<ref></ref>";
    EXPECT_EQ(Parse(noAttr).entries, Entries{noAttr});
}

TEST(AsxParser, ClosingTagsCountLikeOpeningOnes) {
    EXPECT_EQ(Parse(R"(</ref href="a"><ref href="b"/><//ref href="c">)").entries, (Entries{"a", "b", "c"}));
}

TEST(AsxParser, OtherTagsHaveNoEffect) {
    auto c = Parse(R"(<asx><title>t</title><author href="x"/><refs href="y"/><ref href="z"/></asx>)");
    EXPECT_EQ(c.entries, Entries{"z"});
}

TEST(AsxParser, UnfinishedTagAtTheEnd) {
    std::string doc = R"(<ref href="abc)";
    EXPECT_EQ(Parse(doc).entries, Entries{doc});
    auto c = Parse(R"(<ref href="a"/><ref href="b)");
    EXPECT_EQ(c.entries, Entries{"a"});
}

TEST(AsxParser, NothingForAnEmptyOrAbsentBuffer) {
    Collected c;
    ParseAsx(nullptr, 20, c);
    ParseAsx("abc", 0, c);
    EXPECT_EQ(c.calls, 0);
}

TEST(AsxParser, LengthIsRespectedWithoutTerminator) {
    std::string doc = R"(<ref href="a"/><ref href="b"/>)";
    Collected c;
    ParseAsx(doc.data(), 15, c);  // only the first tag
    EXPECT_EQ(c.entries, Entries{"a"});
}

std::string Refs(int count, const std::string& value) {
    std::string doc = "<asx>";
    for (int i = 0; i < count; ++i) doc += "<entry><ref href=\"" + value + std::to_string(i) + "\"/></entry>";
    return doc + "</asx>";
}

// The entry list holds kMaxEntries entries; past that the list is cut and
// the sink is told how many it kept.
struct EntryBound {
    int count;
    size_t kept;
    int cutAt;  // -1: not cut
};

class AsxEntryBound : public ::testing::TestWithParam<EntryBound> {};

TEST_P(AsxEntryBound, ListIsCutOnlyPastTheBound) {
    const EntryBound b = GetParam();
    auto c = Parse(Refs(b.count, "e"));
    ASSERT_EQ(c.entries.size(), b.kept);
    EXPECT_EQ(c.entries.front(), "e0");
    EXPECT_EQ(c.entries.back(), "e" + std::to_string(b.kept - 1));
    EXPECT_EQ(c.cutAt, b.cutAt);
}

INSTANTIATE_TEST_SUITE_P(Entries, AsxEntryBound,
                         ::testing::Values(EntryBound{999, 999, -1}, EntryBound{1000, 1000, -1},
                                           EntryBound{1001, 1000, 1000}),
                         [](const auto& info) { return std::to_string(info.param.count); });

// The entry texts with their terminators share a pool of 64 KiB: 129 values
// of 506 bytes and one last value whose length sets the total.
struct PoolBound {
    size_t total;  // bytes the entries need, terminators included
    size_t kept;
    int cutAt;
};

class AsxPoolBound : public ::testing::TestWithParam<PoolBound> {};

TEST_P(AsxPoolBound, PoolIsCutOnlyPastItsCapacity) {
    const PoolBound b = GetParam();
    std::string doc;
    for (int i = 0; i < 129; ++i) doc += "<ref href=\"" + std::string(506, 'd') + "\"/>";
    const size_t last = b.total - 129 * 507 - 1;
    doc += "<ref href=\"" + std::string(last, 'e') + "\"/>";
    auto c = Parse(doc);
    ASSERT_EQ(c.entries.size(), b.kept);
    EXPECT_EQ(c.entries.back(), b.kept == 130 ? std::string(last, 'e') : std::string(506, 'd'));
    EXPECT_EQ(c.cutAt, b.cutAt);
}

INSTANTIATE_TEST_SUITE_P(Bytes, AsxPoolBound,
                         ::testing::Values(PoolBound{64 * 1024 - 1, 130, -1}, PoolBound{64 * 1024, 130, -1},
                                           PoolBound{64 * 1024 + 1, 129, 129}),
                         [](const auto& info) { return std::to_string(info.param.total); });

TEST(AsxParser, CutListStaysClosedForShorterEntries) {
    // Once an entry did not fit, a short one after it is dropped too, so
    // that the list keeps the first entries in document order.
    std::string doc;
    for (int i = 0; i < 130; ++i) doc += "<ref href=\"" + std::string(506, 'a') + "\"/>";
    doc += "<ref href=\"short\"/>";
    auto c = Parse(doc);
    EXPECT_EQ(c.entries.size(), 129u);
    EXPECT_EQ(c.cutAt, 129);
    EXPECT_EQ(c.order, (std::vector<std::string>{"cut", "entries"}));
}

TEST(AsxParser, FirstAttributeMustFitTheAttributeText) {
    // "href", its terminator, the value and its terminator: 506 value bytes fit.
    std::string fits(506, 'v'), tooLong(507, 'w');
    EXPECT_EQ(Parse("<ref href=\"" + fits + "\"/>").entries, Entries{fits});
    std::string doc = "<ref href=\"" + tooLong + "\"/><ref href=\"next\"/>";
    EXPECT_EQ(Parse(doc).entries, Entries{"next"});
}

TEST(AsxParser, OverflowInALaterAttributeDoesNotMatter) {
    auto c = Parse("<ref href=\"a\" title=\"" + std::string(600, 't') + "\" x=y/>");
    EXPECT_EQ(c.entries, Entries{"a"});
}

TEST(AsxParser, OverlongTagNameIsIgnored) {
    std::string longName(300, 'r');
    auto c = Parse("<" + longName + " href=\"x\"/><ref href=\"y\"/>");
    EXPECT_EQ(c.entries, Entries{"y"});
    // A 127-letter name fits, and is simply not a known tag.
    EXPECT_EQ(Parse("<" + std::string(127, 'r') + " href=\"x\"/><ref href=\"z\"/>").entries, Entries{"z"});
    // A leading word that long is not one of the URL words.
    EXPECT_EQ(Parse(std::string(200, 'm') + ":<ref href=\"w\"/>").entries, Entries{"w"});
}

TEST(AsxParser, EmbeddedNulBytesAreOrdinary) {
    std::string doc("<ref href=\"a\0b\"/>", 17);
    EXPECT_EQ(Parse(doc).entries, Entries{std::string("a\0b", 3)});
}

// The recording worker parses a nested playlist from inside RecordEntries;
// the outer list must survive that.
struct Nesting : AsxSink {
    int depth = 0;
    std::vector<std::string> seen;
    void RecordEntries(int count, const std::string_view* refs) override {
        for (int i = 0; i < count; ++i) {
            if (depth == 0 && refs[i] == "inner") {
                ++depth;
                std::string inner = R"(<ref href="i0"/><ref href="i1"/>)";
                ParseAsx(inner.data(), inner.size(), *this);
                --depth;
            } else {
                seen.emplace_back(refs[i]);
            }
        }
    }
};

TEST(AsxParser, ReentrantFromTheSink) {
    std::string outer = R"(<ref href="o0"/><ref href="inner"/><ref href="o2"/>)";
    Nesting n;
    ParseAsx(outer.data(), outer.size(), n);
    EXPECT_EQ(n.seen, (Entries{"o0", "i0", "i1", "o2"}));
}

TEST(AsxParser, ParserObjectCanBeReused) {
    AsxParser parser;
    Collected a, b;
    std::string one = R"(<ref href="1"/><moreinfo href="m"/>)", two = R"(<ref href="2"/>)";
    parser.Parse(reinterpret_cast<const std::uint8_t*>(one.data()), one.size(), a);
    parser.Parse(reinterpret_cast<const std::uint8_t*>(two.data()), two.size(), b);
    EXPECT_EQ(a.entries, Entries{"1"});
    EXPECT_EQ(b.entries, Entries{"2"});
    EXPECT_FALSE(b.haveMoreInfo);
}

TEST(XmlEntities, DecodedTextIsNeverLonger) {
    std::string text = "&#x10FFFF;&#1;&amp;";
    std::string out(text.size(), '\0');
    size_t n = DecodeXmlEntities(text, out.data(), out.size());
    EXPECT_EQ(out.substr(0, n), "\xF4\x8F\xBF\xBF\x01&");
}

}  // namespace
}  // namespace larkspan
