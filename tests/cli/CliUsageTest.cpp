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
                      UsageCase{"YesAndNoClobber", {"--yes", "--no-clobber", "http://127.0.0.1:1/x.asf"}}),
    [](const auto& info) { return std::string(info.param.name); });

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
    EXPECT_NE(p->Out().find(file + ": Nothing recorded"), std::string::npos) << Report(*p);
    EXPECT_EQ(SizeOf(file), 0u);
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
        EXPECT_TRUE(ReadFileBytes(file) == HeaderAndPackets(clip_));
        EXPECT_NE(p->Out().find(file + ": Completed"), std::string::npos) << Report(*p);
    } else {
        EXPECT_EQ(ReadFileBytes(file), kOldContent);
        EXPECT_NE(p->Out().find(file + ": Cancelled"), std::string::npos) << Report(*p);
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

}  // namespace
}  // namespace larkspan::e2e
