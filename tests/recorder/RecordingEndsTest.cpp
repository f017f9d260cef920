// However a recording ends, over either protocol, its file describes what it
// holds: checked field by field and with independent readers (ffprobe,
// gst-discoverer-1.0).
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <thread>

#include "asf/OutputFile.h"
#include "protocols/mms/MmsClient.h"
#include "protocols/mmsh/MmshClient.h"
#include "tests/recorder/E2eSupport.h"
#include "tests/support/AsfFileParts.h"
#include "tests/support/RecordingChecks.h"
#include "tests/support/Samples.h"
#include "tools/server/LoopbackServer.h"

namespace larkspan {
namespace {

using e2e::TempFolder;
using testserver::LoopbackServer;
using testserver::StreamOptions;
using testsupport::AsfFileParts;
using testsupport::RecordingEnd;

// Counts the packets written, for a Stop from another thread.
class CountingSink : public RecordEventSink {
public:
    void OnProgress(uint32_t, int, uint32_t) override { ++progressCount; }
    std::atomic<int> progressCount{0};
};

enum class Client { Mms, Mmsh };

class RecordingEnds : public ::testing::TestWithParam<Client> {};

TEST_P(RecordingEnds, EveryWayARecordingEndsLeavesAFileThatDescribesItself) {
    const bool mms = GetParam() == Client::Mms;
    const std::string samples = testsupport::SamplesDir();
    if (samples.empty()) GTEST_SKIP() << testsupport::SamplesError();
    const std::string clipPath = samples + "/clip.asf";
    AsfFileParts clip;
    std::string error;
    ASSERT_TRUE(testsupport::SplitAsfFile(clipPath, clip, &error)) << error;

    struct Row {
        std::string name;
        std::function<void(StreamOptions&, RecorderSettings&)> setUp;
        int stopAfterPackets;  // Stop from another thread once this many are written (-1: never)
        RecordingEnd end;
        size_t packets;        // SIZE_MAX: as many as the end lets through
        uint64_t fileSizeLimit = 0;  // the disk fills up at this file size (0: never)
    } rows[] = {
        {"server's end of stream", [](StreamOptions&, RecorderSettings&) {}, -1, {false, true}, clip.packets.size()},
        {"stop", [](StreamOptions& o, RecorderSettings&) { o.stallAfterPackets = 60; }, 60, {false, false}, 60},
        {"time limit",
         [](StreamOptions&, RecorderSettings& s) {
             s.timePolicy = 1;
             s.maxTime = 8;
         },
         -1, {false, false}, SIZE_MAX},
        {"size limit",
         [](StreamOptions& o, RecorderSettings& s) {
             o.repeat = 2;  // past 1 MiB
             s.sizePolicy = 1;
             s.maxSize = 1;
         },
         -1, {false, false}, SIZE_MAX},
        {"dropped connection",
         [](StreamOptions& o, RecorderSettings&) {
             o.dropAfterPackets = 40;
             o.dropMidChunk = true;
         },
         -1, {false, false}, 40},
        {"idle time-out",
         [](StreamOptions& o, RecorderSettings& s) {
             o.stallAfterPackets = 50;
             s.idleTimeout = 1;
         },
         -1, {false, false}, 50},
        {"live broadcast", [](StreamOptions& o, RecorderSettings&) { o.live = true; }, -1, {true, true},
         clip.packets.size()},
        {"live broadcast dropped",
         [](StreamOptions& o, RecorderSettings&) {
             o.live = true;
             o.dropAfterPackets = 70;
         },
         -1, {true, false}, 70},
        {"full disk", [](StreamOptions&, RecorderSettings&) {}, -1, {false, false}, 60,
         clip.header.size() + 60 * clip.packetSize + clip.packetSize / 3},
    };

    LoopbackServer server;
    ASSERT_TRUE(mms ? server.StartMms(0, &error) : server.StartMmsh(0, &error)) << error;
    TempFolder dir("ends");
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        StreamOptions options;
        RecorderSettings settings;
        row.setUp(options, settings);
        ASSERT_TRUE(server.ServeFile("clip.asf", clipPath, options, &error)) << error;

        const std::string path = dir.File(row.name + ".asf");
        auto record = [&] {
            OutputFile file;
            if (!file.Create(path)) return;
            CountingSink log;
            MmsClient mmsClient(1, settings, &log);
            MmshClient mmshClient(1, settings, &log, nullptr);
            auto stop = [&] { mms ? mmsClient.Stop() : mmshClient.Stop(); };
            std::thread stopper;
            if (row.stopAfterPackets >= 0) {
                stopper = std::thread([&] {
                    // A generous bound only so that a broken client cannot hang the test.
                    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(20);
                    while (log.progressCount.load() < row.stopAfterPackets &&
                           std::chrono::steady_clock::now() < giveUp)
                        std::this_thread::sleep_for(std::chrono::milliseconds(5));
                    stop();
                });
            }
            if (mms)
                mmsClient.Record(&file, server.MmsUrl("clip.asf"));
            else
                mmshClient.Record(&file, server.MmshUrl("clip.asf"));
            if (stopper.joinable()) stopper.join();
            file.Close();
        };
        if (row.fileSizeLimit != 0)
            ASSERT_TRUE(testsupport::RunWithFileSizeLimit(row.fileSizeLimit, record));
        else
            record();
        testsupport::ExpectRecordingDescribesItself(path, clip, row.end, row.packets);
    }
}

INSTANTIATE_TEST_SUITE_P(Protocols, RecordingEnds, ::testing::Values(Client::Mms, Client::Mmsh),
                         [](const auto& info) { return std::string(info.param == Client::Mms ? "Mms" : "Mmsh"); });

}  // namespace
}  // namespace larkspan
