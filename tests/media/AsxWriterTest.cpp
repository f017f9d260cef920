#include "media/AsxWriter.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "media/AsxParser.h"
#include "tests/support/FileContents.h"
#include "tests/support/TempFolder.h"

namespace larkspan {
namespace {

namespace fs = std::filesystem;
using testsupport::ReadFileText;

TEST(AsxText, SixLinesWithCrLf) {
    std::string text;
    ASSERT_TRUE(BuildAsxText("news", "mms://host/live", text));
    EXPECT_EQ(text,
              "<ASX version=\"3.0\">\r\n"
              "<Entry>\r\n"
              "<TITLE>news</TITLE>\r\n"
              "<ref href=\"mms://host/live\"/>\r\n"
              "</Entry>\r\n"
              "</ASX>\r\n");
}

TEST(AsxText, SourceIsWrittenUnescaped) {
    std::string text;
    ASSERT_TRUE(BuildAsxText("", "http://h/a?x=1&y=<2>", text));
    EXPECT_NE(text.find("<ref href=\"http://h/a?x=1&y=<2>\"/>\r\n"), std::string::npos);
    EXPECT_NE(text.find("<TITLE></TITLE>\r\n"), std::string::npos);
}

TEST(AsxText, LineBufferLimits) {
    std::string text;
    // Title: 239 bytes fit, longer ones are cut.
    ASSERT_TRUE(BuildAsxText(std::string(239, 't'), "r", text));
    EXPECT_NE(text.find("<TITLE>" + std::string(239, 't') + "</TITLE>"), std::string::npos);
    ASSERT_TRUE(BuildAsxText(std::string(5000, 'u'), "r", text));
    EXPECT_NE(text.find("<TITLE>" + std::string(239, 'u') + "</TITLE>"), std::string::npos);
    // Cut at a character boundary: 119 two-byte characters and one more.
    std::string wide;
    for (int i = 0; i < 120; ++i) wide += "\xC3\xA9";
    ASSERT_TRUE(BuildAsxText(wide, "r", text));
    EXPECT_NE(text.find("<TITLE>" + wide.substr(0, 238) + "</TITLE>"), std::string::npos);

    // Reference: 240 bytes fit, longer ones are refused.
    std::string ref240 = "mms://h/" + std::string(232, 'r');
    ASSERT_TRUE(BuildAsxText("t", ref240, text));
    EXPECT_NE(text.find("<ref href=\"" + ref240 + "\"/>\r\n"), std::string::npos);
    EXPECT_FALSE(BuildAsxText("t", ref240 + "x", text));
}

TEST(AsxText, LineBreaksCannotAddLines) {
    std::string text;
    EXPECT_FALSE(BuildAsxText("t", "mms://h/a\r\n<ref href=\"x\"/>", text));
    EXPECT_FALSE(BuildAsxText("t", std::string("mms://h/a\0b", 11), text));
    ASSERT_TRUE(BuildAsxText("a\r\nb", "mms://h/a", text));
    EXPECT_NE(text.find("<TITLE>a  b</TITLE>\r\n"), std::string::npos);
}

struct Collected : AsxSink {
    std::vector<std::string> entries;
    void RecordEntries(int count, const std::string_view* refs) override {
        for (int i = 0; i < count; ++i) entries.emplace_back(refs[i]);
    }
};

class AsxFile : public ::testing::Test {
protected:
    testsupport::TempFolder folder_{"asx"};
    const fs::path dir_ = folder_.Dir();
};

TEST_F(AsxFile, WrittenFileReadsBackAsOneEntry) {
    fs::path p = dir_ / "news.asx";
    int asked = 0;
    auto confirm = [&](const std::string&) { ++asked; return true; };
    ASSERT_EQ(WriteAsxFile(p.string(), "news", "mms://host/live", confirm), AsxWriteResult::Written);
    EXPECT_EQ(asked, 0);
    std::string text = ReadFileText(p);
    std::string expected;
    ASSERT_TRUE(BuildAsxText("news", "mms://host/live", expected));
    EXPECT_EQ(text, expected);
    Collected c;
    ParseAsx(text.data(), text.size(), c);
    EXPECT_EQ(c.entries, std::vector<std::string>{"mms://host/live"});
}

TEST_F(AsxFile, SecondSaveAsksAndYesReplacesTheWholeFile) {
    fs::path p = dir_ / "x.asx";
    std::ofstream(p, std::ios::binary) << std::string(4000, 'z');
    std::string askedFor;
    auto yes = [&](const std::string& path) { askedFor = path; return true; };
    ASSERT_EQ(WriteAsxFile(p.string(), "x", "mms://h/1", yes), AsxWriteResult::Written);
    EXPECT_EQ(askedFor, p.string());
    std::string expected;
    ASSERT_TRUE(BuildAsxText("x", "mms://h/1", expected));
    EXPECT_EQ(ReadFileText(p), expected);
}

TEST_F(AsxFile, NoLeavesTheFileUntouched) {
    fs::path p = dir_ / "x.asx";
    std::ofstream(p, std::ios::binary) << "old";
    EXPECT_EQ(WriteAsxFile(p.string(), "x", "mms://h/1", [](const std::string&) { return false; }),
              AsxWriteResult::Declined);
    EXPECT_EQ(WriteAsxFile(p.string(), "x", "mms://h/1", nullptr), AsxWriteResult::Declined);
    EXPECT_EQ(ReadFileText(p), "old");
}

TEST_F(AsxFile, FailuresAreReportedNotThrown) {
    auto yes = [](const std::string&) { return true; };
    EXPECT_EQ(WriteAsxFile((dir_ / "missing" / "x.asx").string(), "x", "mms://h/1", yes),
              AsxWriteResult::CreateFailed);
    // A folder at the path: asked, then cannot be created.
    fs::create_directory(dir_ / "d.asx");
    EXPECT_EQ(WriteAsxFile((dir_ / "d.asx").string(), "x", "mms://h/1", yes), AsxWriteResult::CreateFailed);
    std::string withNul = (dir_ / "a").string() + std::string("\0b.asx", 6);
    EXPECT_EQ(WriteAsxFile(withNul, "x", "mms://h/1", yes), AsxWriteResult::CreateFailed);
    EXPECT_FALSE(fs::exists(dir_ / "a"));
    EXPECT_EQ(WriteAsxFile((dir_ / "long.asx").string(), "x", "mms://h/" + std::string(300, 'r'), yes),
              AsxWriteResult::Refused);
    EXPECT_FALSE(fs::exists(dir_ / "long.asx"));
}

}  // namespace
}  // namespace larkspan
