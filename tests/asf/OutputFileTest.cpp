// The output file: replacing a target only with the first byte, the
// system's reason for a failed write, cutting a file short.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "asf/OutputFile.h"
#include "tests/support/TempFolder.h"
#include "tests/support/FileContents.h"

namespace larkspan {
namespace {

namespace fs = std::filesystem;

using testsupport::ReadFileText;

class OutputFileTest : public ::testing::Test {
protected:
    testsupport::TempFolder folder_{"asf"};
    const fs::path dir_ = folder_.Dir();
};

struct ReplaceCase {
    const char* name;
    bool targetExists;
    std::string written;   // bytes written before Close ("" = none)
    std::string expected;  // the target's content afterwards ("-" = no target)
};

TEST_F(OutputFileTest, ReplacesTheTargetOnlyWithTheFirstByte) {
    const ReplaceCase cases[] = {
        {"old file, nothing written", true, "", "old recording"},
        {"old file, new bytes", true, "new", "new"},
        {"no file, nothing written", false, "", "-"},
        {"no file, new bytes", false, "new", "new"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        const std::string target = folder_.File("show.asf");
        if (c.targetExists) std::ofstream(target, std::ios::binary) << "old recording";

        OutputFile file;
        ASSERT_TRUE(file.CreateReplacing(target));
        EXPECT_EQ(file.Path(), target);
        EXPECT_FALSE(file.Committed());
        // Until the first byte the target is as it was.
        EXPECT_EQ(fs::exists(target) ? ReadFileText(target) : "-", c.targetExists ? "old recording" : "-");
        if (!c.written.empty()) {
            ASSERT_TRUE(file.Write(c.written.data(), c.written.size()));
            EXPECT_TRUE(file.Committed());
        }
        EXPECT_TRUE(file.Close());

        EXPECT_EQ(fs::exists(target) ? ReadFileText(target) : "-", c.expected);
        // No hidden file stays behind.
        const std::vector<std::string> expectedEntries =
            c.expected == "-" ? std::vector<std::string>{} : std::vector<std::string>{"show.asf"};
        EXPECT_EQ(folder_.Names(), expectedEntries);
    }
}

TEST_F(OutputFileTest, OpenFailuresCarryTheSystemsReason) {
    OutputFile replacing;
    EXPECT_FALSE(replacing.CreateReplacing(folder_.File("missing/show.asf")));
    EXPECT_EQ(replacing.ErrorText(), "No such file or directory");
    OutputFile plain;
    EXPECT_FALSE(plain.Create(folder_.File("missing/show.asf")));
    EXPECT_EQ(plain.ErrorText(), "No such file or directory");
}

TEST_F(OutputFileTest, AFullDiskIsReportedWithItsReason) {
    if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
    // A small write waits in the buffer and fails when flushed; a large one
    // fails at once.
    for (size_t size : {size_t(100), size_t(200000)}) {
        SCOPED_TRACE(size);
        OutputFile file;
        ASSERT_TRUE(file.Create("/dev/full"));
        const std::vector<uint8_t> bytes(size, 0x55);
        const bool wrote = file.Write(bytes.data(), bytes.size());
        EXPECT_EQ(wrote, size < 65536);
        EXPECT_FALSE(file.Close());
        EXPECT_TRUE(file.Failed());
        EXPECT_EQ(file.ErrorText(), "No space left on device");
    }
}

TEST_F(OutputFileTest, TruncateCutsTheFileAndMovesThePosition) {
    const std::string path = folder_.File("cut.asf");
    OutputFile file;
    ASSERT_TRUE(file.Create(path));
    ASSERT_TRUE(file.Write("0123456789", 10));
    ASSERT_TRUE(file.Truncate(4));
    EXPECT_EQ(file.Position(), 4u);
    ASSERT_TRUE(file.Write("xy", 2));
    ASSERT_TRUE(file.Close());
    EXPECT_EQ(ReadFileText(path), "0123xy");
}

TEST_F(OutputFileTest, StandardOutputCannotSeek) {
    OutputFile file;
    ASSERT_TRUE(file.AttachStandardOutput());
    EXPECT_FALSE(file.Seekable());
    EXPECT_FALSE(file.Seek(0));
    EXPECT_FALSE(file.SeekToEnd());
    EXPECT_FALSE(file.Truncate(0));
    EXPECT_TRUE(file.Close());
}

}  // namespace
}  // namespace larkspan
