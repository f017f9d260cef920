// The one-entry playlist the Save commands write: its text, its line limits,
// and writing it to a file, with the reason for every refusal or failure.
#include "media/AsxWriter.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "tests/support/FileContents.h"
#include "tests/support/TempFolder.h"

namespace larkspan {
namespace {

namespace fs = std::filesystem;

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
        {"long title", std::string(5000, 'u'), "r", true, std::string(239, 'u')},
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
    const std::string longRef = "mms://h/" + std::string(292, 'r');
    const struct {
        const char* name;
        std::string path, reference;
        bool answer;  // what the user says when asked to overwrite
        AsxWriteResult result;
        std::string asked, reason, content;  // content "-": no file there afterwards
    } cases[] = {
        {"new file", (dir / "new.asx").string(), "mms://h/1", true, AsxWriteResult::Written, "", "",
         Playlist("x", "mms://h/1")},
        {"yes replaces the whole file", (dir / "old.asx").string(), "mms://h/1", true, AsxWriteResult::Written,
         (dir / "old.asx").string(), "", Playlist("x", "mms://h/1")},
        {"no keeps the file", (dir / "kept.asx").string(), "mms://h/1", false, AsxWriteResult::Declined,
         (dir / "kept.asx").string(), "", "old"},
        {"missing folder", (dir / "missing" / "x.asx").string(), "mms://h/1", true, AsxWriteResult::CreateFailed, "",
         "No such file or directory", "-"},
        {"a folder at the path", (dir / "d.asx").string(), "mms://h/1", true, AsxWriteResult::CreateFailed,
         (dir / "d.asx").string(), "Is a directory", ""},
        {"a full device", "/dev/full", "mms://h/1", true, AsxWriteResult::CreateFailed, "/dev/full",
         "No space left on device", ""},
        {"NUL in the file name", (dir / "a").string() + std::string("\0b.asx", 6), "mms://h/1", true,
         AsxWriteResult::CreateFailed, "", "the file name holds a NUL", ""},
        {"no file name", "", "mms://h/1", true, AsxWriteResult::CreateFailed, "", "no file name", ""},
        {"reference too long", (dir / "long.asx").string(), longRef, true, AsxWriteResult::Refused, "",
         "the address is 300 bytes long, more than the 240 a playlist line holds", "-"},
        {"line break in the reference", (dir / "br.asx").string(), "mms://h/\n", true, AsxWriteResult::Refused, "",
         "the address holds a line break or a NUL, which a playlist line cannot carry", "-"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::string asked, reason;
        auto confirm = [&](const std::string& path) {
            asked = path;
            return c.answer;
        };
        EXPECT_EQ(WriteAsxFile(c.path, "x", c.reference, confirm, &reason), c.result);
        EXPECT_EQ(asked, c.asked);
        EXPECT_EQ(reason, c.reason);
        if (!c.content.empty()) {
            EXPECT_EQ(fs::exists(c.path) ? testsupport::ReadFileText(c.path) : "-", c.content);
        }
    }
    EXPECT_FALSE(fs::exists(dir / "a"));
    // Without a function to ask, an existing file is kept.
    EXPECT_EQ(WriteAsxFile((dir / "kept.asx").string(), "x", "mms://h/1", nullptr), AsxWriteResult::Declined);
}

}  // namespace
}  // namespace larkspan
