#include "app/CommandLine.h"

#include <fstream>

#include <gtest/gtest.h>

#include "tests/support/TempFolder.h"

namespace larkspan {
namespace {

// "@" in a row stands for the test's folder, which holds "clip.asf", "My Clip.asf" and "a&&b.asf".
std::string Expand(std::string text, const std::string& folder) {
    for (size_t at = text.find('@'); at != std::string::npos; at = text.find('@', at + folder.size())) {
        text.replace(at, 1, folder);
    }
    return text;
}

class CommandLineTest : public ::testing::Test {
protected:
    CommandLineTest() {
        for (const char* name : {"clip.asf", "My Clip.asf", "a&&b.asf"}) std::ofstream(folder_.File(name)) << "x";
    }
    testsupport::TempFolder folder_{"cmdline"};
};

TEST_F(CommandLineTest, ArgumentsGiveModeAndText) {
    using O = CommandLine::Outcome;
    struct Row { std::vector<std::string> args; O outcome; OpenMode mode; std::string text; };
    const Row rows[] = {
        {{}, O::Run, OpenMode::Play, ""},
        {{"/Play", "@/clip.asf"}, O::Run, OpenMode::Play, "@/clip.asf"},
        {{"/Open", "mms://h/x"}, O::Run, OpenMode::Open, "mms://h/x"},
        {{"/Rec", "mms://h/x"}, O::Run, OpenMode::Record, "mms://h/x"},
        {{"/Record", "mms://h/x"}, O::Run, OpenMode::Record, "mms://h/x"},
        {{"--open", "x"}, O::Run, OpenMode::Open, "x"},
        {{"--record", "--play", "x"}, O::Run, OpenMode::Play, "x"},
        {{"--record", "x"}, O::Run, OpenMode::Record, "x"},
        {{"/open", "x"}, O::Run, OpenMode::Play, "/open"},
        {{"/Playlists/x.asx"}, O::Run, OpenMode::Play, "/Playlists/x.asx"},
        {{"/Recordings", "/Rec"}, O::Run, OpenMode::Play, "/Recordings"},
        {{"/Rec", "a", "b"}, O::Run, OpenMode::Record, "a"},
        {{"--", "--play"}, O::Run, OpenMode::Play, "--play"},
        {{"clip.asf"}, O::Run, OpenMode::Play, "@/clip.asf"},
        {{"./clip.asf&&Name&&60"}, O::Run, OpenMode::Play, "@/clip.asf&&Name&&60"},
        {{"a&&b.asf"}, O::Run, OpenMode::Play, "@/a&&b.asf"},
        {{"missing.asf"}, O::Run, OpenMode::Play, "missing.asf"},
        {{"file://@/My%20Clip.asf"}, O::Run, OpenMode::Play, "@/My Clip.asf"},
        {{"FILE://localhost@/clip.asf"}, O::Run, OpenMode::Play, "@/clip.asf"},
        {{"file://otherhost/x.asf"}, O::Run, OpenMode::Play, "file://otherhost/x.asf"},
        {{"file:///x%2"}, O::Run, OpenMode::Play, "file:///x%2"},
        {{"file:///x%00y"}, O::Run, OpenMode::Play, "file:///x%00y"},
        {{"--help", "x"}, O::Help, OpenMode::Play, ""},
        {{"/Rec", "--recrod", "x"}, O::UsageError, OpenMode::Record, ""},
    };
    for (const Row& row : rows) {
        std::vector<std::string> args;
        for (const std::string& arg : row.args) args.push_back(Expand(arg, folder_.Path()));
        SCOPED_TRACE(args.empty() ? std::string("(none)") : args.front());
        CommandLine line = ParseCommandLine(args, folder_.Dir());
        EXPECT_EQ(line.outcome, row.outcome);
        EXPECT_EQ(line.request.mode, row.mode);
        EXPECT_EQ(line.request.text, Expand(row.text, folder_.Path()));
        EXPECT_EQ(line.badArgument, row.outcome == O::UsageError ? "--recrod" : "");
    }
}

// Only a switch marks the mode as asked for: a bare start plays by default, an explicit "/Play" plays alone.
TEST_F(CommandLineTest, ModeGivenOnlyByASwitch) {
    struct Row { std::vector<std::string> args; bool modeGiven; };
    const Row rows[] = {
        {{}, false}, {{"x.asf"}, false}, {{"/open", "x"}, false}, {{"--", "/Play"}, false},
        {{"/Play", "x"}, true}, {{"--record", "--play", "x"}, true}, {{"/Open"}, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.args.empty() ? std::string("(none)") : row.args.back());
        EXPECT_EQ(ParseCommandLine(row.args, folder_.Dir()).request.modeGiven, row.modeGiven);
    }
}

TEST_F(CommandLineTest, SourceTextSplitsIntoThreeFields) {
    struct Row { std::string text, source, name, recordTime; };
    const Row rows[] = {
        {"", "", "", "0"},
        {"mms://h/x", "mms://h/x", "", "0"},
        {"mms://h/x&&Night", "mms://h/x", "Night", "0"},
        {"mms://h/x&&Night&&90", "mms://h/x", "Night", "90"},
        {"mms://h/x&&&&90", "mms://h/x", "", "90"},
        {"mms://h/x&&Night&&", "mms://h/x", "Night", "0"},
        {"mms://h/x&&Night&&90&&more", "mms://h/x", "Night", "90"},
        {"@/a&&b.asf", "@/a&&b.asf", "", "0"},
        {"@/a&&b.asf&&Night", "@/a", "b.asf", "Night"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.text);
        SourceFields fields = SplitSourceText(Expand(row.text, folder_.Path()));
        EXPECT_EQ(fields.source, Expand(row.source, folder_.Path()));
        EXPECT_EQ(fields.name, row.name);
        EXPECT_EQ(fields.recordTime, row.recordTime);
    }
}

}  // namespace
}  // namespace larkspan
