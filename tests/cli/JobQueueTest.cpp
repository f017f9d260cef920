// The job queue of larkspan-rec in this process: a finished recording is
// reported and then let go, so that a long run stays flat in memory.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <thread>

#include "cli/JobQueue.h"
#include "tests/recorder/E2eSupport.h"
#include "tests/support/Samples.h"

namespace larkspan::cli {
namespace {

using e2e::TempFolder;

TEST(JobQueue, LetsGoOfEachJobOnceReported) {
    const std::string samples = testsupport::SamplesDir();
    if (samples.empty()) GTEST_SKIP() << testsupport::SamplesError();
    testserver::LoopbackServer server;
    std::string error;
    for (const char* key : {"a.asf", "b.asf", "c.asf"})
        ASSERT_TRUE(server.ServeFile(key, samples + "/audio.asf", {}, &error)) << error;
    ASSERT_TRUE(server.StartMmsh(0, &error)) << error;

    TempFolder dir("cli-queue");
    Options options;
    options.quiet = true;
    RecorderSettings settings;
    settings.baseDir = dir.Path();
    std::FILE* progress = std::tmpfile();
    ASSERT_NE(progress, nullptr);
    ProgressDisplay display(progress, false, true);
    TerminalLock terminal;
    JobQueue queue(options, settings, display, terminal);
    for (const char* key : {"a.asf", "b.asf", "c.asf"}) queue.Add(server.MmshUrl(key));

    size_t mostHeld = 0;
    const bool ended = e2e::WaitUntil(
        [&] {
            const bool busy = queue.Poll(false);
            mostHeld = std::max(mostHeld, queue.JobsHeld());
            return !busy;
        },
        std::chrono::seconds(60));
    ASSERT_TRUE(ended);
    EXPECT_EQ(queue.Failures(), 0);
    EXPECT_EQ(dir.Names(), (std::vector<std::string>{"a.asf", "b.asf", "c.asf"}));
    // One job at a time ran, and none is kept once reported.
    EXPECT_EQ(mostHeld, 1u);
    EXPECT_EQ(queue.JobsHeld(), 0u);
    std::fclose(progress);
}

}  // namespace
}  // namespace larkspan::cli
