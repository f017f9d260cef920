// What an address or a local path is taken for: scheme and extension bits
// by substring, existence, and a playlist disguised as ".asf".
#include "media/MediaRefKind.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "tests/support/FileContents.h"
#include "tests/support/TempFolder.h"

namespace larkspan {
namespace {

namespace fs = std::filesystem;

TEST(ClassifyMediaRef, RemoteReferencesBySubstrings) {
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
    EXPECT_TRUE(IsMetaKind(ClassifyMediaRef("http://host/a.asf.asx")));
    EXPECT_TRUE(IsMetaKind(ClassifyMediaRef("http://host/a.wvx")));
    EXPECT_FALSE(IsMetaKind(ClassifyMediaRef("mms://host/a.asf")));
}

TEST(ClassifyMediaRef, LocalFilesByNameAndFirstLine) {
    testsupport::TempFolder folder("media");
    const fs::path dir = folder.Dir();
    const std::string asx = "<ASX version=\"3.0\">\r\n";
    std::string utf16("\xFF\xFE", 2);
    for (char c : asx) utf16 += std::string{c, '\0'};
    const struct {
        const char* name;
        std::string content;
        MediaRefKind expected;
    } cases[] = {
        {"playlist.asf", asx, 0x1005},
        {"under3072.asf", asx + std::string(3071 - asx.size(), 'x'), 0x1005},
        {"at3072.asf", asx + std::string(3072 - asx.size(), 'x'), 0x1001},
        {"secondline.asf", "\r\n<asx version=\"3.0\">\r\n", 0x1001},
        {"in1023.asf", std::string(1019, ' ') + "<asx>", 0x1005},
        {"past1023.asf", std::string(1020, ' ') + "<asx>", 0x1001},
        {"x.wmv", asx, 0x4001},
        {"empty.asf", "", 0x1001},
        {"utf16.asf", utf16, 0x1005},
        {"list.ASX", "<asx/>", 0x0101},
    };
    for (const auto& c : cases) {
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
