// Playlists: what the parser finds in each document (entries, the more-info
// link, syntax error traces), its encodings and its fixed-size limits; the
// one-entry playlist the Save commands write, and every reason it is not;
// what an address or a local path is taken for (a playlist or a stream).
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "media/AsxParser.h"
#include "media/AsxWriter.h"
#include "media/MediaRefKind.h"
#include "tests/support/FileContents.h"
#include "tests/support/TempFolder.h"

namespace larkspan {
namespace {

namespace fs = std::filesystem;

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
        {"empty href", R"(<Ref href=""/>)", {""}, {}},
        {"closing tags count", R"(</ref href="a"><ref href="b"/><//ref href="c">)", {"a", "b", "c"}, {}},
        {"other tags", R"(<asx><title>t</title><author href="x"/><refs href="y"/><ref href="z"/></asx>)", {"z"}, {}},
        {"href not first", R"(<Entry><Ref title="t" href="mms://a/x.asf"/></Entry>)", kWhole, {}},
        {"spaces around =", R"(<ref href = "a" >)", {"a"}, {}},
        {"only the first href", R"(<ref href="a" href="b">)", {"a"}, {}},
        {"bare value", "<ref href=abc def=1>", {"abc"}, {}},
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
        {"leading word", R"(abc<asx><ref href="mms://a/x"/></asx>)", {"mms://a/x"}, {}},
        {"stray word", "playlist: <ref href=\"mms://a/x\"/>", {"mms://a/x"}, {Error(1)}},
        {"stray bytes", "\x01\x02<ref href=\"mms://a/y\"/>", {"mms://a/y"}, {Error(1)}},
        {"over-long word", std::string(200, 'm') + ":<ref href=\"w\"/>", {"w"}, {Error(1)}},
        {"plain URL", "mms://a/x.asf\r\n", kWhole, {}},
        {"mmst URL", "mmst://a/x.asf", kWhole, {}},
        {"mmsu URL", "mmsu://a/x.asf", kWhole, {}},
        {"ASF marker", "ASF http://a/x", kWhole, {}},
        {"URL holding markup", R"(http://a/?q=<ref href="x"/>)", kWhole, {}},
        {"other scheme", "rtsp://host/a.asf", kWhole, {Error(1)}},
        {"bracket", "[Reference]\r\nRef1=http://a/x.asf\r\n", kWhole, {}},
        {"nine bytes", "mms://a/b", {}, {}},
        {"ten bytes", "mms://a/bc", {}, {}},
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

std::string Playlist(const std::string& title, const std::string& reference) {
    return "<ASX version=\"3.0\">\r\n<Entry>\r\n<TITLE>" + title + "</TITLE>\r\n<ref href=\"" + reference +
           "\"/>\r\n</Entry>\r\n</ASX>\r\n";
}

TEST(AsxText, TitleIsCutAndReferenceRefusedAtTheLineLimits) {
    std::string wide;  // 120 two-byte characters
    for (int i = 0; i < 120; ++i) wide += "\xC3\xA9";
    const std::string ref240 = "mms://h/" + std::string(232, 'r');
    const struct {
        const char* name;
        std::string title, reference;
        bool ok;
        std::string titleWritten;
    } cases[] = {
        {"plain", "news", "mms://host/live", true, "news"},
        {"nothing escaped", "", "http://h/a?x=1&y=<2>", true, ""},
        {"title of 239 bytes", std::string(239, 't'), "r", true, std::string(239, 't')},
        {"title of 240 bytes", std::string(240, 't'), "r", true, std::string(239, 't')},
        {"title cut at a character boundary", wide, "r", true, wide.substr(0, 238)},
        {"line breaks in the title", "a\r\nb", "r", true, "a  b"},
        {"title up to its NUL", std::string("ab\0cd", 5), "r", true, "ab"},
        {"reference of 240 bytes", "t", ref240, true, "t"},
        {"reference of 241 bytes", "t", ref240 + "x", false, ""},
        {"line break in the reference", "t", "mms://h/a\r\n<ref href=\"x\"/>", false, ""},
        {"NUL in the reference", "t", std::string("mms://h/a\0b", 11), false, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::string text = "untouched";
        EXPECT_EQ(BuildAsxText(c.title, c.reference, text), c.ok);
        EXPECT_EQ(text, c.ok ? Playlist(c.titleWritten, c.reference) : "untouched");
    }
}

TEST(AsxFile, WritesAsksRefusesAndFailsWithAReason) {
    testsupport::TempFolder folder("asx");
    const fs::path dir = folder.Dir();
    fs::create_directory(dir / "d.asx");
    std::ofstream(dir / "old.asx", std::ios::binary) << std::string(4000, 'z');
    std::ofstream(dir / "kept.asx", std::ios::binary) << "old";
    auto in = [&](const char* name) { return (dir / name).string(); };
    using R = AsxWriteResult;
    const std::string ok = Playlist("x", "mms://h/1"), nul = in("a") + std::string("\0b.asx", 6), longRef(300, 'r');
    const struct {
        std::string path, reference;
        bool answer;  // what the user says when asked to overwrite
        AsxWriteResult result;
        bool asked;
        std::string reason, content;  // content "-": no file there afterwards; "": not looked at
    } cases[] = {
        {in("new.asx"), "mms://h/1", true, R::Written, false, "", ok},
        {in("old.asx"), "mms://h/1", true, R::Written, true, "", ok},  // replaced whole
        {in("kept.asx"), "mms://h/1", false, R::Declined, true, "", "old"},
        {in("missing/x.asx"), "mms://h/1", true, R::CreateFailed, false, "No such file or directory", "-"},
        {in("d.asx"), "mms://h/1", true, R::CreateFailed, true, "Is a directory", ""},
        {"/dev/full", "mms://h/1", true, R::CreateFailed, true, "No space left on device", ""},
        {nul, "mms://h/1", true, R::CreateFailed, false, "the file name holds a NUL", ""},
        {"", "mms://h/1", true, R::CreateFailed, false, "no file name", ""},
        {in("long.asx"), longRef, true, R::Refused, false,
         "the address is 300 bytes long, more than the 240 a playlist line holds", "-"},
        {in("br.asx"), "mms://h/\n", true, R::Refused, false,
         "the address holds a line break or a NUL, which a playlist line cannot carry", "-"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        std::string asked, reason;
        auto confirm = [&](const std::string& path) {
            asked = path;
            return c.answer;
        };
        EXPECT_EQ(WriteAsxFile(c.path, "x", c.reference, confirm, &reason), c.result);
        EXPECT_EQ(asked, c.asked ? c.path : "");
        EXPECT_EQ(reason, c.reason);
        if (!c.content.empty()) {
            EXPECT_EQ(fs::exists(c.path) ? testsupport::ReadFileText(c.path) : "-", c.content);
        }
    }
    EXPECT_FALSE(fs::exists(dir / "a"));
    // Without a function to ask, an existing file is kept.
    EXPECT_EQ(WriteAsxFile((dir / "kept.asx").string(), "x", "mms://h/1", nullptr), AsxWriteResult::Declined);
}

TEST(ClassifyMediaRef, RemoteAndLocalReferences) {
    const struct {
        std::string reference;
        MediaRefKind expected;
    } cases[] = {
        {"mms://host/a.asf", 0x1022}, {"HTTP://Host/List.ASX", 0x0112}, {"mmst://host/live", 0x0042},
        {"mmsu://host/live", 0x0082}, {"http://host/play?u=mms://other/x.wmv", 0x4012},
        {"http://host/a.asx?f=b.wmv", 0x4112}, {"http://host/a.asf.asx", 0x1112}, {"", 0x0002},
        // One bit per group, the first in its order.
        {"mms://h/a.wvx.wmx.asx", 0x0122}, {"mms://h/a.wvx.wmx", 0x0222}, {"mms://h/a.wvx", 0x0422},
        {"mms://h/a.wmv.wma.asf", 0x1022}, {"mms://h/a.wmv.wma", 0x2022}, {"MMS://H/A.WMV", 0x4022},
        {"mmsu://a mmst://b mms://c", 0x0022}, {"mmsu://a mmst://b", 0x0042},
        // "mmst:" does not hold "mms:"; "https:" holds no "http:".
        {"https://host/x.wma", 0x2002}, {"rtsp://host/x", 0x0002}, {"mms://h/a.asfx", 0x1022},
        // "/" exists, but no file is named "/\0x.asf".
        {std::string("/\0x.asf", 7), 0x1002},
    };
    for (const auto& c : cases) EXPECT_EQ(ClassifyMediaRef(c.reference), c.expected) << c.reference;
    EXPECT_EQ(IsMetaKind(0x0400) + IsMetaKind(0x0004) + IsMetaKind(0x1000), 2);  // .wvx, a playlist in .asf, .asf

    // Local files, by name and first line.
    testsupport::TempFolder folder("media");
    const fs::path dir = folder.Dir();
    const std::string asx = "<ASX version=\"3.0\">\r\n";
    const struct {
        const char* name;
        std::string content;
        MediaRefKind expected;
    } files[] = {
        {"playlist.asf", asx, 0x1005},
        {"under3072.asf", asx + std::string(3071 - asx.size(), 'x'), 0x1005},
        {"at3072.asf", asx + std::string(3072 - asx.size(), 'x'), 0x1001},
        {"secondline.asf", "\r\n<asx version=\"3.0\">\r\n", 0x1001},
        {"in1023.asf", std::string(1019, ' ') + "<asx>", 0x1005},
        {"past1023.asf", std::string(1020, ' ') + "<asx>", 0x1001},
        {"x.wmv", asx, 0x4001},
        {"empty.asf", "", 0x1001},
        {"utf16.asf", Utf16(u"<ASX version=\"3.0\">\r\n", false), 0x1005},
        {"list.ASX", "<asx/>", 0x0101},
    };
    for (const auto& c : files) {
        ASSERT_TRUE(testsupport::WriteFileText(dir / c.name, c.content));
        EXPECT_EQ(ClassifyMediaRef((dir / c.name).string()), c.expected) << c.name;
    }
    // A folder exists; a FIFO named ".asf" is never opened (it would wait for a writer).
    EXPECT_EQ(ClassifyMediaRef(dir.string()), 0x0001u);
    fs::create_directory(dir / "rec.asf");
    EXPECT_EQ(ClassifyMediaRef((dir / "rec.asf").string()), 0x1001u);
    ASSERT_EQ(::mkfifo((dir / "pipe.asf").c_str(), 0600), 0);
    EXPECT_EQ(ClassifyMediaRef((dir / "pipe.asf").string()), 0x1001u);
    // A relative path is taken from the current folder.
    const fs::path old = fs::current_path();
    fs::current_path(dir);
    const MediaRefKind relative = ClassifyMediaRef("playlist.asf"), missing = ClassifyMediaRef("other.asf");
    fs::current_path(old);
    EXPECT_EQ(relative, 0x1005u);
    EXPECT_EQ(missing, 0x1002u);
    if (::geteuid() == 0) return;  // root reads every file
    fs::permissions(dir / "playlist.asf", fs::perms::none);
    EXPECT_EQ(ClassifyMediaRef((dir / "playlist.asf").string()), 0x1001u);
}

}  // namespace
}  // namespace larkspan
