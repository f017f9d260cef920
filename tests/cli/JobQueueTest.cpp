// The job queue of larkspan-rec in this process: one job runs at a time,
// and a finished recording is reported and then let go, so that a long run
// stays flat in memory.
#include "cli/JobQueue.h"
#include "tests/recorder/E2eSupport.h"

namespace larkspan::cli {
namespace {

TEST(JobQueue, LetsGoOfEachJobOnceReported) {
    const std::string samples = testsupport::SamplesDir();
    if (samples.empty()) GTEST_SKIP() << testsupport::SamplesError();
    testserver::LoopbackServer server;
    for (const char* key : {"a.asf", "b.asf", "c.asf"}) ASSERT_TRUE(server.ServeFile(key, samples + "/audio.asf"));
    ASSERT_TRUE(server.StartMmsh());

    testsupport::TempFolder dir("cli-queue");
    Options options;
    options.quiet = true;
    RecorderSettings settings;
    settings.baseDir = dir.Path();
    ProgressDisplay display(stderr, false, true);
    TerminalLock terminal;
    JobQueue queue(options, settings, display, terminal);
    for (const char* key : {"a.asf", "b.asf", "c.asf"}) queue.Add(server.MmshUrl(key));
    size_t mostHeld = 0;
    const auto done = [&] {
        const bool busy = queue.Poll(false);
        mostHeld = std::max(mostHeld, queue.JobsHeld());
        return !busy;
    };
    ASSERT_TRUE(e2e::WaitUntil(done, std::chrono::seconds(60)));
    EXPECT_EQ(queue.Failures(), 0);
    EXPECT_EQ(dir.Names(), (std::vector<std::string>{"a.asf", "b.asf", "c.asf"}));
    EXPECT_EQ(mostHeld, 1u);
    EXPECT_EQ(queue.JobsHeld(), 0u);
}

}  // namespace
}  // namespace larkspan::cli
