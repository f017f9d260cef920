// The output file: replacing a target only with the first byte, open and
// write failures with the system's reason, the write-behind buffer's edge.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "asf/OutputFile.h"
#include "tests/support/FileContents.h"
#include "tests/support/TempFolder.h"

namespace larkspan {
namespace {

namespace fs = std::filesystem;

using testsupport::ReadFileText;

class OutputFileTest : public ::testing::Test {
protected:
    testsupport::TempFolder folder_{"asf"};
    const fs::path dir_ = folder_.Dir();
};

TEST_F(OutputFileTest, ReplacesTheTargetOnlyWithTheFirstByte) {
    const struct {
        const char* name;
        bool targetExists;
        std::string written;   // bytes written before Close ("" = none)
        std::string expected;  // the target's content afterwards ("-" = no target)
    } cases[] = {
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
        EXPECT_FALSE(file.Committed());
        // Until the first byte the target is as it was.
        EXPECT_EQ(fs::exists(target) ? ReadFileText(target) : "-", c.targetExists ? "old recording" : "-");
        if (!c.written.empty()) {
            ASSERT_TRUE(file.Write(c.written.data(), c.written.size()));
            EXPECT_TRUE(file.Committed());
        }
        EXPECT_TRUE(file.Close());

        EXPECT_EQ(fs::exists(target) ? ReadFileText(target) : "-", c.expected);
        using Names = std::vector<std::string>;  // no hidden file stays behind
        EXPECT_EQ(folder_.Names(), c.expected == "-" ? Names{} : Names{"show.asf"});
    }
}

TEST_F(OutputFileTest, OpenFailuresCarryTheSystemsReason) {
    const std::string inMissing = folder_.File("missing/show.asf"), missingFile = folder_.File("absent.asf");
    const struct {
        const char* name;
        bool (OutputFile::*open)(const std::string&);
        std::string path;
    } cases[] = {
        {"create in a missing folder", &OutputFile::Create, inMissing},
        {"replace in a missing folder", &OutputFile::CreateReplacing, inMissing},
        {"reopen a missing file", &OutputFile::OpenExisting, missingFile},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        OutputFile file;
        EXPECT_FALSE((file.*c.open)(c.path));
        EXPECT_FALSE(file.IsOpen());
        EXPECT_EQ(file.ErrorText(), "No such file or directory");
        EXPECT_EQ(file.Path(), c.path);
        EXPECT_FALSE(file.Write("x", 1));
        EXPECT_FALSE(file.Flush());
    }
    EXPECT_EQ(folder_.Names(), std::vector<std::string>{});
}

// The buffer holds 64 KiB: writes that fill it exactly stay in it; one byte
// more sends what is buffered first. On a full device the difference shows
// as the write that fails.
TEST_F(OutputFileTest, AFullDeviceFailsAtTheBuffersEdgeWithItsReason) {
    if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
    const struct {
        const char* name;
        size_t first, second;
        bool firstWritten, secondWritten;
    } cases[] = {
        {"one byte, then exactly the rest of the buffer", 1, 65535, true, true},
        {"one byte, then one byte more than the rest", 1, 65536, true, false},
        {"exactly the buffer waits in it", 65536, 0, true, true},
        {"a small write waits in the buffer", 100, 0, true, true},
        {"a write larger than the buffer goes at once", 65537, 0, false, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        OutputFile file;
        ASSERT_TRUE(file.Create("/dev/full"));
        const std::vector<uint8_t> bytes(c.first + c.second, 0x55);
        EXPECT_EQ(file.Write(bytes.data(), c.first), c.firstWritten);
        EXPECT_EQ(file.Write(bytes.data(), c.second), c.secondWritten);
        const bool failed = !c.firstWritten || !c.secondWritten;
        EXPECT_EQ(file.Failed(), failed);
        // Buffered bytes count until a write fails; then the position goes
        // back to where the device really ends.
        EXPECT_EQ(file.Position(), failed ? 0u : c.first + c.second);
        EXPECT_FALSE(file.Flush());
        EXPECT_EQ(file.Position(), 0u);
        EXPECT_FALSE(file.Close());
        EXPECT_EQ(file.ErrorText(), "No space left on device");
        // The same object opened again starts clean.
        const std::string path = folder_.File("next.asf");
        ASSERT_TRUE(c.first % 2 ? file.CreateReplacing(path) : file.Create(path));
        EXPECT_EQ(file.Path(), path);
        EXPECT_FALSE(file.Failed());
        EXPECT_EQ(file.ErrorText(), "");
        EXPECT_EQ(file.Position(), 0u);
        ASSERT_TRUE(file.Write("new", 3));
        EXPECT_TRUE(file.Close());
        // Reopened for update, it writes from the start; a cut keeps what lies before it, buffered bytes included.
        ASSERT_TRUE(file.OpenExisting(path));
        EXPECT_EQ(file.Position(), 0u);
        ASSERT_TRUE(file.Write("N", 1));
        ASSERT_TRUE(file.Truncate(2));
        EXPECT_EQ(file.Position(), 2u);
        ASSERT_TRUE(file.Write("xy", 2));
        EXPECT_TRUE(file.Close());
        EXPECT_EQ(ReadFileText(path), "Nexy");
    }
}

TEST_F(OutputFileTest, StandardOutputCannotSeek) {
    OutputFile file;
    ASSERT_TRUE(file.AttachStandardOutput());
    EXPECT_EQ(file.Path(), "-");
    EXPECT_FALSE(file.Seekable() || file.Seek(0) || file.SeekToEnd() || file.Truncate(0));
    EXPECT_TRUE(file.Close());
}

}  // namespace
}  // namespace larkspan
