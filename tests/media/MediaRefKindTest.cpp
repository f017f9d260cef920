#include "media/MediaRefKind.h"
#include "tests/support/FileContents.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace larkspan {
namespace {

namespace fs = std::filesystem;

struct RefCase {
    const char* reference;
    MediaRefKind expected;
};

class RemoteRefs : public ::testing::TestWithParam<RefCase> {};

TEST_P(RemoteRefs, ClassifiesBySubstrings) {
    const RefCase& c = GetParam();
    EXPECT_EQ(ClassifyMediaRef(c.reference), c.expected) << c.reference;
}

INSTANTIATE_TEST_SUITE_P(
    Table, RemoteRefs,
    ::testing::Values(RefCase{"mms://host/a.asf", 0x1022}, RefCase{"HTTP://Host/List.ASX", 0x0112},
                      RefCase{"mmst://host/live", 0x0042}, RefCase{"mmsu://host/live", 0x0082},
                      RefCase{"http://host/play?u=mms://other/x.wmv", 0x4012},
                      RefCase{"http://host/a.asx?f=b.wmv", 0x4112}, RefCase{"http://host/a.asf.asx", 0x1112},
                      RefCase{"", 0x0002},
                      // One bit per group, the first in its order.
                      RefCase{"mms://h/a.wvx.wmx.asx", 0x0122}, RefCase{"mms://h/a.wvx.wmx", 0x0222},
                      RefCase{"mms://h/a.wvx", 0x0422}, RefCase{"mms://h/a.wmv.wma.asf", 0x1022},
                      RefCase{"mms://h/a.wmv.wma", 0x2022}, RefCase{"MMS://H/A.WMV", 0x4022},
                      RefCase{"mmsu://a mmst://b mms://c", 0x0022}, RefCase{"mmsu://a mmst://b", 0x0042},
                      // "mmst:" does not hold "mms:"; "https:" holds no "http:".
                      RefCase{"https://host/x.wma", 0x2002}, RefCase{"rtsp://host/x", 0x0002},
                      RefCase{"mms://h/a.asfx", 0x1022}));

TEST(RemoteRefs, PlaylistKindsAreMetaKinds) {
    EXPECT_TRUE(IsMetaKind(ClassifyMediaRef("http://host/a.asf.asx")));
    EXPECT_TRUE(IsMetaKind(ClassifyMediaRef("http://host/a.wvx")));
    EXPECT_FALSE(IsMetaKind(ClassifyMediaRef("mms://host/a.asf")));
}

TEST(RemoteRefs, ReferenceWithNulIsNeverLocal) {
    // "/" exists, but no file is named "/\0x.asf".
    EXPECT_EQ(ClassifyMediaRef(std::string_view("/\0x.asf", 7)), 0x1002u);
}

class LocalRefs : public ::testing::Test {
protected:
    testsupport::TempFolder folder_{"media"};
    const fs::path dir_ = folder_.Dir();

    std::string Make(const std::string& name, const std::string& content) {
        fs::path p = dir_ / name;
        testsupport::WriteFileText(p, content);
        return p.string();
    }
    static std::string Padded(std::string text, size_t size) {
        text.resize(size, 'x');
        return text;
    }
};

// What a local file is taken for from its name and its first bytes.
TEST_F(LocalRefs, KindFromNameAndContent) {
    std::string utf16("\xFF\xFE", 2);
    for (char c : std::string("<ASX version=\"3.0\">\r\n")) {
        utf16.push_back(c);
        utf16.push_back('\0');
    }
    const struct {
        const char* name;
        std::string content;
        MediaRefKind expected;
    } cases[] = {
        {"playlist.asf", Padded("<ASX version=\"3.0\">\r\n", 200), 0x1005},
        {"under3072.asf", Padded("<ASX version=\"3.0\">\r\n", 3071), 0x1005},
        {"at3072.asf", Padded("<ASX version=\"3.0\">\r\n", 3072), 0x1001},
        {"secondline.asf", "\r\n<asx version=\"3.0\">\r\n", 0x1001},
        {"in1023.asf", std::string(1019, ' ') + "<asx>", 0x1005},
        {"past1023.asf", std::string(1020, ' ') + "<asx>", 0x1001},
        {"x.wma", "<asx version=\"3.0\">\r\n", 0x2001},
        {"x.wmv", "<asx version=\"3.0\">\r\n", 0x4001},
        {"empty.asf", "", 0x1001},
        {"utf16.asf", utf16, 0x1005},
        {"list.ASX", "<asx/>", 0x0101},
    };
    for (const auto& c : cases) EXPECT_EQ(ClassifyMediaRef(Make(c.name, c.content)), c.expected) << c.name;
}

TEST_F(LocalRefs, ExistingFolderIsLocal) {
    EXPECT_EQ(ClassifyMediaRef(dir_.string()), 0x0001u);
    fs::create_directory(dir_ / "rec.asf");
    EXPECT_EQ(ClassifyMediaRef((dir_ / "rec.asf").string()), 0x1001u);
}

TEST_F(LocalRefs, RelativePathIsTakenFromTheCurrentFolder) {
    Make("rel.asf", "<asx>\n");
    fs::path old = fs::current_path();
    fs::current_path(dir_);
    MediaRefKind kind = ClassifyMediaRef("rel.asf");
    MediaRefKind missing = ClassifyMediaRef("other.asf");
    fs::current_path(old);
    EXPECT_EQ(kind, 0x1005u);
    EXPECT_EQ(missing, 0x1002u);
}

TEST_F(LocalRefs, FifoNamedAsfIsNotOpened) {
    // Opening a FIFO for reading would wait for a writer forever.
    fs::path p = dir_ / "pipe.asf";
    ASSERT_EQ(::mkfifo(p.c_str(), 0600), 0);
    EXPECT_EQ(ClassifyMediaRef(p.string()), 0x1001u);
}

TEST_F(LocalRefs, UnreadableAsfLeavesTheBitClear) {
    if (::geteuid() == 0) GTEST_SKIP() << "root reads every file";
    std::string p = Make("locked.asf", "<asx>\n");
    fs::permissions(p, fs::perms::none);
    EXPECT_EQ(ClassifyMediaRef(p), 0x1001u);
}

}  // namespace
}  // namespace larkspan
