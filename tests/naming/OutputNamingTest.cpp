#include "recorder/OutputNaming.h"

#include <gtest/gtest.h>

#include <string>

namespace larkspan {
namespace {

const std::string kSep(1, PathSeparator());

TEST(EntryNaming, NumbersEntriesOnlyForLongerLists) {
    EXPECT_EQ(EntryName("n", 1, 0), "n");
    EXPECT_EQ(EntryName("", 1, 0), "");
    EXPECT_EQ(EntryName("news", 3, 0), "news0");
    EXPECT_EQ(EntryName("news", 3, 1), "news1");
    EXPECT_EQ(EntryName("news", 3, 2), "news2");
    EXPECT_EQ(EntryName("n", 12, 11), "n11");
    EXPECT_EQ(EntryName("", 3, 2), "");
}

TEST(EntryNaming, ThreeEntriesUnderOneNameGetTheirOwnExtensions) {
    const char* refs[] = {"mms://h/a.wma", "mms://h/live", "http://h/b.wmv?x=1"};
    const char* want[] = {"n0.wma", "n1.asf", "n2.wmv"};
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(StreamOutputPath(refs[i], EntryName("n", 3, i), "/rec"), "/rec/" + std::string(want[i]));
}

TEST(SanitizeFileName, ReplacesEachForbiddenCharacter) {
    std::string s = "a\\b/c:d*e?f\"g<h>i|j";
    SanitizeFileName(s);
    EXPECT_EQ(s, "a_b_c_d_e_f_g_h_i_j");
    std::string keep = "Ünïcode name (1) [x] & y.~";
    std::string copy = keep;
    SanitizeFileName(copy);
    EXPECT_EQ(copy, keep);
    std::string nul("a\0b", 3);
    SanitizeFileName(nul);
    EXPECT_EQ(nul, "a_b");
}

struct PathCase {
    const char* base;
    const char* name;
    const char* reference;
    const char* expected;  // '/' stands for the platform separator
};

std::string WithSeparator(std::string s) {
    for (char& c : s)
        if (c == '/') c = PathSeparator();
    return s;
}

class StreamPaths : public ::testing::TestWithParam<PathCase> {};

TEST_P(StreamPaths, FromReferenceAndName) {
    const PathCase& c = GetParam();
    EXPECT_EQ(StreamOutputPath(c.reference, c.name, c.base), WithSeparator(c.expected))
        << c.reference << " / " << c.name;
}

INSTANTIATE_TEST_SUITE_P(
    Table, StreamPaths,
    ::testing::Values(
        PathCase{"/tmp/rec", "", "mms://host/a/b.wma", "/tmp/rec/b.wma"},
        PathCase{"/tmp/rec", "clip", "mms://host/a/b.wma", "/tmp/rec/clip.wma"},
        PathCase{"/tmp/rec", "clip", "mms://host/live", "/tmp/rec/clip.asf"},
        PathCase{"/tmp/rec", "a:b*c", "mms://host/x.asf", "/tmp/rec/a_b_c.asf"},
        PathCase{"/tmp/rec", "", "http://host/get?f=1", "/tmp/rec/get.asf"},
        PathCase{"/tmp/rec", "", "mms://host/dir/", "/tmp/rec/.asf"},
        PathCase{"/x/my.rec", "", "mms://host/live", "/x/my.rec/live"},
        PathCase{"/x/my.rec", "n", "mms://host/live", "/x/my.rec/n.asf"},
        // The extension is the tail's, query and all, then the query goes.
        PathCase{"/tmp/rec", "clip", "mms://host/x.asf?a=1", "/tmp/rec/clip.asf"},
        PathCase{"/tmp/rec", "clip", "http://host/get.php?f=a.wmv", "/tmp/rec/clip.wmv"},
        PathCase{"/tmp/rec", "", "http://host/v.wmv?a=1?b=2", "/tmp/rec/v.wmv?a=1"},
        PathCase{"/tmp/rec", "", "http://host/?id=3", "/tmp/rec/.asf"},
        // Dots in the host do not count: only the tail's.
        PathCase{"/tmp/rec", "clip", "mms://media.example/live", "/tmp/rec/clip.asf"},
        PathCase{"/tmp/rec", "", "mms://media.example/live", "/tmp/rec/live.asf"},
        // A trailing separator of the base folder is not doubled.
        PathCase{"/tmp/rec/", "", "mms://h/a.asf", "/tmp/rec/a.asf"},
        PathCase{"/", "", "mms://h/a.asf", "/a.asf"},
        // No '/' at all: the whole reference is the tail.
        PathCase{"/tmp/rec", "", "clip.wma", "/tmp/rec/clip.wma"},
        PathCase{"/tmp/rec", "", "live", "/tmp/rec/live.asf"}));

TEST(StreamPaths, QuestionMarkInTheBaseFolderStays) {
    EXPECT_EQ(StreamOutputPath("mms://h/live", "", "/tmp/why?rec"), WithSeparator("/tmp/why?rec/live.asf"));
}

TEST(StreamPaths, EmptyBaseMeansTheCurrentFolder) {
    EXPECT_EQ(StreamOutputPath("mms://h/a.asf", "", ""), WithSeparator("./a.asf"));
}

TEST(MetaPaths, TailInTheBaseFolderUncut) {
    EXPECT_EQ(MetaDownloadPath("http://a/list.asx", "/tmp/rec"), WithSeparator("/tmp/rec/list.asx"));
    EXPECT_EQ(MetaDownloadPath("http://a/list.asx?x=1", "/tmp/rec"), WithSeparator("/tmp/rec/list.asx?x=1"));
    EXPECT_EQ(MetaDownloadPath("http://a/b/play", "/tmp/rec"), WithSeparator("/tmp/rec/play"));
    EXPECT_EQ(MetaDownloadPath("http://a/list.asx/", "/tmp/rec"), WithSeparator("/tmp/rec/noname.asx"));
}

TEST(SafeFileName, MakesOneOrdinaryName) {
    EXPECT_EQ(SafeFileName("a.asf", "f"), "a.asf");
    EXPECT_EQ(SafeFileName("", "f"), "f");
    EXPECT_EQ(SafeFileName(".", "f"), "_");
    EXPECT_EQ(SafeFileName("..", "f"), "__");
    EXPECT_EQ(SafeFileName("a/b\\c", "f"), "a_b_c");
    EXPECT_EQ(SafeFileName(std::string("a\0b\r\n\x7F", 6), "f"), "a_b___");
    EXPECT_EQ(SafeFileName(".hidden", "f"), ".hidden");
}

TEST(SafeFileName, LongNamesAreCutKeepingTheExtension) {
    std::string cut = SafeFileName(std::string(400, 'a') + ".wma", "f");
    EXPECT_EQ(cut.size(), kMaxFileNameBytes);
    EXPECT_EQ(cut.substr(cut.size() - 4), ".wma");
    // Not inside a UTF-8 character.
    std::string wide;
    for (int i = 0; i < 200; ++i) wide += "\xE4\xB8\xAD";
    std::string w = SafeFileName(wide + ".asf", "f");
    EXPECT_LE(w.size(), kMaxFileNameBytes);
    EXPECT_EQ((w.size() - 4) % 3, 0u);
    EXPECT_EQ(w.substr(w.size() - 4), ".asf");
    // Invalid UTF-8 (only continuation bytes) is cut at the limit, not
    // stepped back to nothing, which left the bare extension "." once.
    std::string junk = SafeFileName(std::string(300, '\xB8') + ".", "f");
    EXPECT_EQ(junk.size(), kMaxFileNameBytes);
    EXPECT_NE(junk.find_first_not_of('.'), std::string::npos);
    EXPECT_EQ(SafeFileName(std::string(300, '\xB8') + ".x", "f").size(), kMaxFileNameBytes);
    // An overlong "extension" is not kept.
    std::string noExt = SafeFileName("a." + std::string(300, 'x'), "f");
    EXPECT_EQ(noExt.size(), kMaxFileNameBytes);
}

TEST(FileNames, FileNameOfAPath) {
    EXPECT_EQ(FileNameOf(WithSeparator("/tmp/rec/a.asf")), "a.asf");
    EXPECT_EQ(FileNameOf("a.asf"), "a.asf");
    EXPECT_EQ(FileNameOf(WithSeparator("/tmp/")), "");
}

TEST(FileNames, ReferenceTail) {
    EXPECT_EQ(ReferenceTail("mms://h/a/b.wma"), "b.wma");
    EXPECT_EQ(ReferenceTail("mms://h/a\\b.wma"), "b.wma");
    EXPECT_EQ(ReferenceTail("abc"), "abc");
    EXPECT_EQ(ReferenceTail("mms://h/"), "");
}

}  // namespace
}  // namespace larkspan
