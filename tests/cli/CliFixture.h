#pragma once
// larkspan-rec against the loopback server: each test runs the real program
// in a folder of its own and looks at its files, its output and what the
// server saw.
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "tests/cli/RecProcess.h"
#include "tests/recorder/E2eSupport.h"
#include "tests/support/AsfFileParts.h"
#include "tests/support/Samples.h"
#include "tools/server/LoopbackServer.h"

namespace larkspan::e2e {

enum class Via { Mmsh, Mms };

inline std::string ViaName(Via via) { return via == Via::Mms ? "Mms" : "Mmsh"; }

// ffprobe's view of a file: its streams' codecs in order and its duration.
using testsupport::Probe;
using testsupport::ProbeFile;

class CliTest : public ::testing::Test {
protected:
    static constexpr auto kBound = std::chrono::seconds(90);

    void SetUp() override {
        samples_ = testsupport::SamplesDir();
        if (samples_.empty()) GTEST_SKIP() << testsupport::SamplesError();
        std::string error;
        ASSERT_TRUE(testsupport::SplitAsfFile(samples_ + "/clip.asf", clip_, &error)) << error;
        ASSERT_TRUE(testsupport::SplitAsfFile(samples_ + "/audio.asf", audio_, &error)) << error;
    }

    void Serve(const std::string& key, const std::string& sample, testserver::StreamOptions options = {}) {
        std::string error;
        ASSERT_TRUE(server_.ServeFile(key, samples_ + "/" + sample, options, &error)) << error;
    }
    void StartBoth() {
        std::string error;
        ASSERT_TRUE(server_.StartMmsh(0, &error)) << error;
        ASSERT_TRUE(server_.StartMms(0, &error)) << error;
    }
    std::string Url(Via via, const std::string& key) const {
        return via == Via::Mms ? server_.MmsUrl(key) : server_.MmshUrl(key);
    }

    std::unique_ptr<RecProcess> Launch(const std::vector<std::string>& args) {
        auto p = std::make_unique<RecProcess>(args, home_.Path());
        EXPECT_TRUE(p->Start());
        return p;
    }
    // Runs the program to its end; the exit status is in ExitCode().
    std::unique_ptr<RecProcess> Rec(const std::vector<std::string>& args) {
        auto p = Launch(args);
        EXPECT_TRUE(p->Wait(kBound)) << "larkspan-rec did not end within " << kBound.count() << " s";
        return p;
    }

    std::string Out(const std::string& name) const { return home_.File(name); }

    std::string samples_;
    testsupport::AsfFileParts clip_, audio_;
    TempFolder home_{"cli"};
    testserver::LoopbackServer server_;
};

// A report line for diagnostics.
inline std::string Report(const RecProcess& p) {
    return "exit " + std::to_string(p.ExitCode()) + "\n--- stdout\n" + p.Out() + "--- stderr\n" + p.Err();
}

}  // namespace larkspan::e2e
