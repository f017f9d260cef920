// larkspan-rec at a terminal: the credentials prompt ends at once on Ctrl-C,
// with the terminal's echo back on, and says when the server refused what
// was typed.
#include <gtest/gtest.h>

#include "tests/cli/CliFixture.h"
#include "tests/cli/PtyRecProcess.h"

namespace larkspan::e2e {
namespace {

using testserver::StreamOptions;

struct PromptStep {
    std::string waitFor;  // shown on the terminal before ...
    std::string type;     // ... this is typed
};

struct PromptCase {
    const char* name;
    std::vector<PromptStep> steps;
};

class CliPrompt : public CliTest, public ::testing::WithParamInterface<PromptCase> {};

TEST_P(CliPrompt, CtrlCEndsTheRunWithEchoOn) {
    StreamOptions secured;
    secured.user = "alice";
    secured.password = "s3cret";
    Serve("clip.asf", "clip.asf", secured);
    StartBoth();
    const std::string file = Out("auth.asf");
    PtyRecProcess p({"-o", file, server_.MmshUrl("clip.asf")}, home_.Path());
    ASSERT_TRUE(p.Start());
    for (const PromptStep& step : GetParam().steps) {
        ASSERT_TRUE(p.WaitFor(step.waitFor, std::chrono::seconds(20))) << "no '" << step.waitFor << "' in\n"
                                                                        << p.Screen();
        p.Type(step.type);
    }
    // The bound only keeps a prompt that ignores Ctrl-C from hanging the suite.
    ASSERT_TRUE(p.Wait(std::chrono::seconds(20))) << "still running after Ctrl-C:\n" << p.Screen();
    EXPECT_EQ(p.ExitCode(), 130) << p.Screen();
    termios attributes{};
    ASSERT_TRUE(p.Attributes(attributes));
    EXPECT_NE(attributes.c_lflag & ECHO, 0u);
    EXPECT_EQ(SizeOf(file), 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Cli, CliPrompt,
    ::testing::Values(PromptCase{"AtTheUserName", {{"Username: ", "\x03"}}},
                      PromptCase{"AtThePassword", {{"Username: ", "alice\r"}, {"Password: ", "\x03"}}},
                      PromptCase{"AfterARefusal",
                                 {{"Username: ", "alice\r"},
                                  {"Password: ", "wrong\r"},
                                  {"The server refused the user name or password for 127.0.0.1.", ""},
                                  {"Username", "\x03"}}}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace larkspan::e2e
