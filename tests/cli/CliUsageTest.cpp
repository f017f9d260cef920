// larkspan-rec's exit status and reports when there is nothing it can
// record: bad usage, an unreachable server, a file that is already there.
#include <gtest/gtest.h>

#include "tests/cli/CliFixture.h"

namespace larkspan::e2e {
namespace {

using testsupport::ReadFileBytes;
using testsupport::WriteFileBytes;

struct UsageCase {
    const char* name;
    std::vector<std::string> args;
};

class CliUsage : public CliTest, public ::testing::WithParamInterface<UsageCase> {};

TEST_P(CliUsage, ExitsWithTwo) {
    auto p = Rec(GetParam().args);
    EXPECT_EQ(p->ExitCode(), 2) << Report(*p);
    EXPECT_NE(p->Err().find("larkspan-rec: "), std::string::npos) << Report(*p);
    EXPECT_EQ(p->Out(), "");
}

INSTANTIATE_TEST_SUITE_P(
    Cli, CliUsage,
    ::testing::Values(UsageCase{"UnknownOption", {"--bogus", "http://127.0.0.1:1/x.asf"}},
                      UsageCase{"NoSource", {}},
                      UsageCase{"NoSourceAfterOptions", {"--max-time", "5"}},
                      UsageCase{"OutputWithTwoSources", {"-o", "x.asf", "http://127.0.0.1:1/a.asf", "http://127.0.0.1:1/b.asf"}},
                      UsageCase{"OutputWithAPlaylist", {"-o", "x.asf", "http://127.0.0.1:1/list.asx"}},
                      UsageCase{"MissingValue", {"http://127.0.0.1:1/x.asf", "--max-size"}},
                      UsageCase{"ZeroTime", {"--max-time", "0", "http://127.0.0.1:1/x.asf"}},
                      UsageCase{"WordForJobs", {"-j", "two", "http://127.0.0.1:1/x.asf"}},
                      UsageCase{"YesAndNoClobber", {"--yes", "--no-clobber", "http://127.0.0.1:1/x.asf"}},
                      UsageCase{"NegativeTimeout", {"--timeout", "-1", "http://127.0.0.1:1/x.asf"}},
                      UsageCase{"FractionOfATimeout", {"--timeout", "1.5", "http://127.0.0.1:1/x.asf"}},
                      UsageCase{"WordForTimeout", {"--timeout=soon", "http://127.0.0.1:1/x.asf"}},
                      UsageCase{"StandardOutputWithTwoSources",
                                {"-o", "-", "http://127.0.0.1:1/a.asf", "http://127.0.0.1:1/b.asf"}},
                      UsageCase{"StandardOutputWithJobs", {"-o", "-", "-j", "2", "http://127.0.0.1:1/a.asf"}},
                      UsageCase{"StandardOutputWithAPlaylist", {"-o", "-", "http://127.0.0.1:1/list.asx"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(CliTest, HelpListsTheTimeOut) {
    auto p = Rec({"--help"});
    EXPECT_EQ(p->ExitCode(), 0) << Report(*p);
    EXPECT_NE(p->Out().find("\n      --timeout SECS     give up after SECS seconds without data from the server\n"),
              std::string::npos)
        << p->Out();
}

// Neither protocol reaches a server: the one tried last gives the text.
class CliUnreachable : public CliTest, public ::testing::WithParamInterface<Via> {};

TEST_P(CliUnreachable, ExitsWithOneAndSaysSo) {
    // The second protocol goes to its well-known port: keep it closed.
    WellKnownPortsClosed ports;
    if (!ports.Held()) GTEST_SKIP() << "ports 80 and 1755 stay taken";
    ClosedPort nowhere;
    ASSERT_TRUE(nowhere.Held());
    const uint16_t port = nowhere.Port();
    const std::string scheme = GetParam() == Via::Mms ? "mms" : "http";
    const std::string file = Out("none.asf");
    auto p = Rec({"-o", file, scheme + "://127.0.0.1:" + std::to_string(port) + "/clip.asf"});
    EXPECT_EQ(p->ExitCode(), 1) << Report(*p);
    // Both attempts are named, the first one first.
    const std::string mms = "MMS: connect failed !!: connection refused";
    const std::string mmsh = "MMSH: connect error: connection refused";
    const std::string text = GetParam() == Via::Mms ? mms + "; " + mmsh : mmsh + "; " + mms;
    EXPECT_NE(p->Out().find(file + ": " + text + " ("), std::string::npos) << Report(*p);
}

INSTANTIATE_TEST_SUITE_P(Cli, CliUnreachable, ::testing::Values(Via::Mmsh, Via::Mms),
                         [](const auto& info) { return ViaName(info.param); });

// A server that takes the connection and hangs up before any stream: no
// client reports an error, yet nothing was recorded, and that is a failure.
TEST_F(CliTest, ServerHangingUpBeforeTheStreamIsAFailure) {
    WellKnownPortsLock ports;
    testserver::LoopbackServer mms;  // stops listening before the lock is let go
    testserver::StreamOptions headless;
    headless.noHeader = true;
    std::string error;
    ASSERT_TRUE(mms.ServeFile("gone.asf", samples_ + "/clip.asf", headless, &error)) << error;
    if (!StartOnPort(mms, testserver::Protocol::Mms, 1755, error)) GTEST_SKIP() << "port 1755 not available: " << error;
    ASSERT_TRUE(server_.StartMmsh(0, &error)) << error;  // serves nothing: 404
    const std::string file = Out("gone.asf");
    auto p = Rec({"-o", file, server_.MmshUrl("gone.asf")});
    EXPECT_EQ(p->ExitCode(), 1) << Report(*p);
    EXPECT_NE(p->Out().find(file + ": MMSH: Not Found: HTTP 404 Not Found; MMS: nothing recorded (0 B)\n"),
              std::string::npos)
        << Report(*p);
    EXPECT_FALSE(std::filesystem::exists(file));
    bool opened = false;
    for (const auto& c : mms.MmsCommands()) opened |= c.name == "OpenFile";
    EXPECT_TRUE(opened);
}

TEST_F(CliTest, PlaylistWithoutEntriesRecordsNothing) {
    StartBoth();
    const std::string text = "<ASX/>\r\n";
    server_.ServeBody("empty.asx", Bytes(text.begin(), text.end()), "video/x-ms-asf");
    TempFolder dir("cli-out");
    auto p = Rec({"--dir", dir.Path(), server_.MmshUrl("empty.asx")});
    EXPECT_EQ(p->ExitCode(), 1) << Report(*p);
    EXPECT_NE(p->Out().find(dir.File("empty.asx") + ": Nothing recorded"), std::string::npos) << Report(*p);
}

// ---- a file already at the output path

const Bytes kOldContent = {'o', 'l', 'd', '\n'};

struct ExistingCase {
    const char* name;
    bool fixedOutput;                 // -o FILE, else --dir and --name
    std::vector<std::string> extra;   // --yes, --no-clobber or nothing
    bool overwritten;
    int exitCode;
    bool profileOverwritesUnasked = false;  // the profile's "OverWrite" is 0
};

class CliExistingFile : public CliTest, public ::testing::WithParamInterface<ExistingCase> {};

TEST_P(CliExistingFile, IsOverwrittenOnlyWhenAllowed) {
    const ExistingCase& c = GetParam();
    Serve("clip.asf", "clip.asf");
    StartBoth();
    if (c.profileOverwritesUnasked) {
        std::filesystem::create_directories(home_.File("config/Brellow"));
        const std::string ini = "[settings]\nOverWrite=0\n";
        ASSERT_TRUE(WriteFileBytes(home_.File("config/Brellow/Larkspan Recorder.conf"), Bytes(ini.begin(), ini.end())));
    }
    TempFolder dir("cli-out");
    const std::string file = dir.File("show.asf");
    ASSERT_TRUE(WriteFileBytes(file, kOldContent));
    std::vector<std::string> args = c.extra;
    if (c.fixedOutput) {
        args.insert(args.end(), {"-o", file});
    } else {
        args.insert(args.end(), {"--dir", dir.Path(), "--name", "show"});
    }
    args.push_back(server_.MmshUrl("clip.asf"));
    auto p = Rec(args);
    EXPECT_EQ(p->ExitCode(), c.exitCode) << Report(*p);
    if (c.overwritten) {
        EXPECT_TRUE(ReadFileBytes(file) == RecordedFile(clip_));
        EXPECT_NE(p->Out().find(file + ": Completed"), std::string::npos) << Report(*p);
    } else {
        EXPECT_EQ(ReadFileBytes(file), kOldContent);
        EXPECT_NE(p->Out().find(file + ": Skipped, the file exists"), std::string::npos) << Report(*p);
        EXPECT_TRUE(server_.HttpRequests().empty());
    }
    EXPECT_EQ(dir.Names(), std::vector<std::string>{"show.asf"});
}

// Without a terminal nobody can confirm the overwrite: nothing is recorded,
// and that is a failure. --no-clobber asks for exactly that outcome.
INSTANTIATE_TEST_SUITE_P(
    Cli, CliExistingFile,
    ::testing::Values(ExistingCase{"OutputNoTerminal", true, {}, false, 1},
                      ExistingCase{"NamedNoTerminal", false, {}, false, 1},
                      ExistingCase{"OutputYes", true, {"--yes"}, true, 0},
                      ExistingCase{"NamedYes", false, {"-y"}, true, 0},
                      ExistingCase{"OutputNoClobber", true, {"--no-clobber"}, false, 0},
                      ExistingCase{"NamedNoClobber", false, {"--no-clobber"}, false, 0},
                      ExistingCase{"ProfileOverwritesUnasked", true, {}, true, 0, true},
                      ExistingCase{"NoClobberOverridesTheProfile", true, {"--no-clobber"}, false, 0, true}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- a playlist entry whose file is already there

struct SkipCase {
    const char* name;
    std::vector<std::string> extra;  // --no-clobber or nothing (no terminal to ask on)
    int exitCode;
};

class CliSkipExisting : public CliTest, public ::testing::WithParamInterface<SkipCase> {};

// Only the entry whose file exists is skipped; the next one is recorded.
TEST_P(CliSkipExisting, RecordsTheOtherEntries) {
    Serve("one.asf", "audio.asf");
    Serve("two.asf", "audio.asf");
    StartBoth();
    const std::string text = "<ASX version=\"3.0\"><Entry><Ref href=\"" + server_.MmshUrl("one.asf") +
                             "\"/></Entry><Entry><Ref href=\"" + server_.MmshUrl("two.asf") + "\"/></Entry></ASX>";
    server_.ServeBody("two.asx", Bytes(text.begin(), text.end()), "video/x-ms-asf");
    TempFolder dir("cli-out");
    ASSERT_TRUE(WriteFileBytes(dir.File("show0.asf"), kOldContent));
    std::vector<std::string> args = GetParam().extra;
    args.insert(args.end(), {"--dir", dir.Path(), "--name", "show", server_.MmshUrl("two.asx")});
    auto p = Rec(args);
    EXPECT_EQ(p->ExitCode(), GetParam().exitCode) << Report(*p);
    EXPECT_EQ(ReadFileBytes(dir.File("show0.asf")), kOldContent);
    EXPECT_TRUE(ReadFileBytes(dir.File("show1.asf")) == RecordedFile(audio_)) << Report(*p);
}

// Without a terminal the kept file is still a recording not made: exit 1.
INSTANTIATE_TEST_SUITE_P(Cli, CliSkipExisting,
                         ::testing::Values(SkipCase{"NoClobber", {"--no-clobber"}, 0}, SkipCase{"NoTerminal", {}, 1}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace larkspan::e2e
