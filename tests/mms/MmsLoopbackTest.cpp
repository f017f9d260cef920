// Recordings from the loopback stream server over MMS, checked byte by byte
// against the sample files and with independent readers (ffprobe,
// gst-discoverer-1.0).
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <thread>

#include "asf/OutputFile.h"
#include "protocols/StreamErrors.h"
#include "protocols/mms/MmsClient.h"
#include "tests/mms/MmsTestStreams.h"
#include "tests/support/AsfFileParts.h"
#include "tests/support/Samples.h"
#include "tools/server/LoopbackServer.h"

namespace larkspan {
namespace {

using namespace mmstest;
using namespace testsupport;
using testserver::LoopbackServer;
using testserver::StreamOptions;

constexpr auto kWait = std::chrono::seconds(20);

struct Recording {
    uint32_t returned = 0;
    Bytes file;
    std::string path;
    std::vector<std::string> errors;
    std::vector<EventLog::Progress> progress;
    std::vector<int> headerDurations;
    std::vector<std::pair<std::string, int>> connecting;
};

// Records url into a fresh file in dir. `during`, when given, runs on a
// thread of its own while Record runs (to call Stop).
Recording RecordUrl(const TempFolder& dir, const std::string& url, RecorderSettings settings = {},
                    const std::function<void(MmsClient&, EventLog&)>& during = nullptr) {
    Recording r;
    r.path = dir.File("out.asf");
    OutputFile file;
    EXPECT_TRUE(file.Create(r.path));
    EventLog log;
    MmsClient client(1, settings, &log);
    std::thread side;
    if (during) side = std::thread([&] { during(client, log); });
    r.returned = client.Record(&file, url);
    if (side.joinable()) side.join();
    EXPECT_TRUE(file.Close());
    r.file = ReadFileBytes(r.path);
    std::lock_guard<std::mutex> l(log.m);
    r.errors = log.errors;
    r.progress = log.progressEvents;
    r.headerDurations = log.headerDurations;
    r.connecting = log.connecting;
    return r;
}

class MmsLoopback : public ::testing::Test {
protected:
    void SetUp() override {
        samples_ = SamplesDir();
        if (samples_.empty()) GTEST_SKIP() << SamplesError();
        std::string error;
        ASSERT_TRUE(SplitAsfFile(samples_ + "/clip.asf", clip_, &error)) << error;
    }

    void Serve(const std::string& key, const std::string& sample, StreamOptions options = {}) {
        std::string error;
        ASSERT_TRUE(server_.ServeFile(key, samples_ + "/" + sample, options, &error)) << error;
    }
    void Start() {
        std::string error;
        ASSERT_TRUE(server_.StartMms(0, &error)) << error;
    }

    // The sample's header with File Size set, then its packets. Fewer
    // packets than the sample has means the recording ended early: the
    // header then also gives their count, durations and size.
    static Bytes OnDemandFile(const AsfFileParts& parts, size_t packetCount) {
        Bytes file = parts.header;
        uint32_t largest = 0;
        for (size_t i = 0; i < packetCount; ++i) {
            file.insert(file.end(), parts.packets[i].begin(), parts.packets[i].end());
            AsfPacketLayout layout;
            EXPECT_TRUE(WalkAsfPacket(parts.packets[i], parts.packetSize, layout));
            largest = std::max(largest, GetLE32(parts.packets[i], layout.sendTimeOffset));
        }
        const size_t fp = parts.filePropertiesOffset;
        PutLE64(file, fp + 40, file.size());
        if (packetCount < parts.packets.size()) {
            const uint64_t preroll = GetLE64(file, fp + 80);
            PutLE64(file, fp + 56, packetCount);
            PutLE64(file, fp + 64, (largest + preroll) * 10000);
            PutLE64(file, fp + 72, uint64_t(largest) * 10000);
            PutLE64(file, parts.dataObjectOffset + 16, 50 + uint64_t(packetCount) * parts.packetSize);
            PutLE32(file, parts.dataObjectOffset + 40, uint32_t(packetCount));
        }
        return file;
    }
    static Bytes OnDemandFile(const AsfFileParts& parts) { return OnDemandFile(parts, parts.packets.size()); }

    // The file ends with a header that describes it: it parses, its File
    // Size is its length and whole packets follow it.
    static void ExpectConsistent(const Bytes& file, size_t* packets = nullptr) {
        AsfFileParts parts;
        std::string error;
        ASSERT_TRUE(SplitAsf(file, parts, &error)) << error;
        EXPECT_EQ(GetLE64(file, parts.filePropertiesOffset + 40), file.size());
        EXPECT_EQ((file.size() - parts.header.size()) % parts.packetSize, 0u);
        if (packets) *packets = (file.size() - parts.header.size()) / parts.packetSize;
    }

    std::string samples_;
    AsfFileParts clip_;
    LoopbackServer server_;
    TempFolder dir_{"mms"};
};

// ffprobe's view of a file: stream codecs in order and the duration.
using testsupport::Probe;
using testsupport::ProbeFile;

TEST_F(MmsLoopback, OnDemandRecordingIsTheSampleHeaderAndItsPaddedPackets) {
    StreamOptions options;
    options.trimPadding = true;  // the client restores the padding
    Serve("clip.asf", "clip.asf", options);
    Start();
    const Recording r = RecordUrl(dir_, server_.MmsUrl("clip.asf"));
    const Bytes want = OnDemandFile(clip_);
    ASSERT_TRUE(r.file == want) << FirstDifference(r.file, want);
    EXPECT_EQ(r.returned, want.size());
    EXPECT_TRUE(r.errors.empty());
    ASSERT_EQ(r.connecting.size(), 1u);
    EXPECT_EQ(r.connecting[0].second, server_.MmsPort());
    ASSERT_FALSE(r.progress.empty());
    EXPECT_EQ(r.progress.size(), clip_.packets.size());
    EXPECT_LE(r.progress.back().progress, 10000);
    EXPECT_GE(r.progress.back().progress, 9000);

    if (!HaveTool("ffprobe")) GTEST_SKIP() << "ffprobe missing";
    const Probe got = ProbeFile(r.path), sample = ProbeFile(samples_ + "/clip.asf");
    ASSERT_TRUE(got.ok);
    EXPECT_EQ(got.codecs, sample.codecs);
    EXPECT_EQ(got.codecs, (std::vector<std::string>{"wmv2", "wmav2"}));
    EXPECT_NEAR(got.duration, sample.duration, 0.5);
}

TEST_F(MmsLoopback, CommandsCarrySequenceNumbersZeroToSixAndTheDecodedStrings) {
    Serve("dir/clip.asf", "audio.asf");
    Start();
    const Recording r = RecordUrl(dir_, server_.MmsUrl("dir/clip.asf"));
    ASSERT_GT(r.returned, 0u);
    const auto cmds = server_.MmsCommands();
    ASSERT_GE(cmds.size(), 7u);
    const uint32_t mids[] = {kConnect, kFunnelInfo, kConnectFunnel, kOpenFile, kReadBlock, kStreamSwitch, kStartPlaying};
    for (uint32_t i = 0; i < 7; ++i) {
        EXPECT_EQ(cmds[i].mid, mids[i]) << i;
        EXPECT_EQ(cmds[i].sequence, i) << i;
    }
    EXPECT_EQ(cmds[0].text, "NSPlayer/4.1.0.3925; {3300AD50-2C39-46C0-AE0A-2D27C2D35A1D}");
    EXPECT_EQ(cmds[2].text.rfind(std::string("\\\\127.0.0.1\\TCP\\"), 0), 0u) << cmds[2].text;
    EXPECT_EQ(cmds[2].text.substr(cmds[2].text.size() - 4), std::string("\0" "00f", 4));
    EXPECT_EQ(cmds[3].text, std::string("dir/clip.asf\0" "18.", 16));
    EXPECT_EQ(cmds[4].playIncarnation, 2u);
    EXPECT_EQ(cmds[6].playIncarnation, 4u);
}

TEST_F(MmsLoopback, BigPacketsAreRecordedWhole) {
    Serve("big.asf", "bigpackets.asf");
    Start();
    AsfFileParts big;
    std::string error;
    ASSERT_TRUE(SplitAsfFile(samples_ + "/bigpackets.asf", big, &error)) << error;
    const Recording r = RecordUrl(dir_, server_.MmsUrl("big.asf"));
    const Bytes want = OnDemandFile(big);
    EXPECT_TRUE(r.file == want) << FirstDifference(r.file, want);
}

TEST_F(MmsLoopback, LiveRecordingWithTimeInfoPlaysAndSeeksLikeAStoredFile) {
    StreamOptions options;
    options.live = true;
    options.trimPadding = true;
    Serve("live.asf", "clip.asf", options);
    Start();
    const Recording r = RecordUrl(dir_, server_.MmsUrl("live.asf"));
    ASSERT_TRUE(r.errors.empty());
    EXPECT_EQ(r.headerDurations, std::vector<int>{0});
    size_t n = 0;
    ExpectConsistent(r.file, &n);
    ASSERT_EQ(n, clip_.packets.size());

    AsfFileParts got;
    ASSERT_TRUE(SplitAsf(r.file, got));
    // Times count from the first packet's send time, which was the sample's.
    AsfPacketLayout first;
    ASSERT_TRUE(WalkAsfPacket(clip_.packets[0], clip_.packetSize, first));
    const uint32_t origin = GetLE32(clip_.packets[0], first.sendTimeOffset);
    uint32_t largest = 0;
    for (size_t i = 0; i < n; ++i) {
        AsfPacketLayout sample, rec;
        ASSERT_TRUE(WalkAsfPacket(clip_.packets[i], clip_.packetSize, sample)) << i;
        ASSERT_TRUE(WalkAsfPacket(got.packets[i], got.packetSize, rec)) << i;
        const uint32_t sendTime = GetLE32(got.packets[i], rec.sendTimeOffset);
        EXPECT_EQ(sendTime, GetLE32(clip_.packets[i], sample.sendTimeOffset) - origin) << i;
        if (i == 0) {
            EXPECT_EQ(sendTime, 0u);
        }
        largest = std::max(largest, sendTime);
        ASSERT_EQ(rec.presentationTimeOffsets.size(), sample.presentationTimeOffsets.size()) << i;
        for (size_t k = 0; k < rec.presentationTimeOffsets.size(); ++k) {
            const uint32_t want = GetLE32(clip_.packets[i], sample.presentationTimeOffsets[k]);
            EXPECT_EQ(GetLE32(got.packets[i], rec.presentationTimeOffsets[k]), want > origin ? want - origin : 0)
                << i << "/" << k;
        }
    }
    ASSERT_FALSE(r.progress.empty());
    uint32_t reported = 0;
    for (const auto& e : r.progress) reported = std::max(reported, e.timeMs);
    EXPECT_EQ(reported, largest);
    EXPECT_EQ(r.progress.back().progress, 0);

    // File Properties and Data Object rewritten.
    const size_t fp = got.filePropertiesOffset;
    EXPECT_EQ(GetLE64(r.file, fp + 40), r.file.size());
    EXPECT_EQ(GetLE64(r.file, fp + 56), n);
    const uint64_t preroll = GetLE64(r.file, fp + 80);
    EXPECT_EQ(GetLE64(r.file, fp + 64), (largest + preroll) * 10000);
    EXPECT_EQ(GetLE64(r.file, fp + 72), uint64_t(largest) * 10000);
    EXPECT_EQ(GetLE32(r.file, fp + 88), 2u);
    EXPECT_EQ(GetLE64(r.file, got.dataObjectOffset + 16), 50 + uint64_t(n) * got.packetSize);
    EXPECT_EQ(GetLE32(r.file, got.dataObjectOffset + 40), n);

    if (HaveTool("ffprobe")) {
        const Probe p = ProbeFile(r.path);
        ASSERT_TRUE(p.ok);
        EXPECT_EQ(p.codecs, (std::vector<std::string>{"wmv2", "wmav2"}));
        EXPECT_NEAR(p.duration, largest / 1000.0, 1.0);
    }
    if (HaveTool("gst-discoverer-1.0")) {
        std::string out;
        RunCommand("gst-discoverer-1.0 " + ShellQuote(r.path) + " 2>&1", &out);
        EXPECT_NE(out.find("Seekable: yes"), std::string::npos) << out;
    }
}

TEST_F(MmsLoopback, LiveRecordingWithoutTimeInfoKeepsTheServersTimes) {
    StreamOptions options;
    options.live = true;
    Serve("live.asf", "audio.asf", options);
    Start();
    testserver::AsfMedia media;
    std::string error;
    ASSERT_TRUE(testserver::AsfMedia::LoadFile(samples_ + "/audio.asf", media, &error)) << error;
    const testserver::AsfMedia live = testserver::MakeLive(media);

    RecorderSettings settings;
    settings.liveContentSaveTimeInfo = 0;
    const Recording r = RecordUrl(dir_, server_.MmsUrl("live.asf"), settings);
    Bytes want = live.header;
    for (const auto& p : live.packets) want.insert(want.end(), p.begin(), p.end());
    PutLE64(want, live.filePropertiesOffset + 40, want.size());
    EXPECT_TRUE(r.file == want) << FirstDifference(r.file, want);
}

TEST_F(MmsLoopback, SplitHeaderGivesTheSameFileAndOneStreamSwitch) {
    StreamOptions options;
    options.headerPacketSize = 250;
    Serve("clip.asf", "clip.asf", options);
    Start();
    ASSERT_GT(clip_.header.size(), 500u);  // three packets at least
    const Recording r = RecordUrl(dir_, server_.MmsUrl("clip.asf"));
    const Bytes want = OnDemandFile(clip_);
    EXPECT_TRUE(r.file == want) << FirstDifference(r.file, want);
    const auto cmds = server_.MmsCommands();
    EXPECT_EQ(std::count_if(cmds.begin(), cmds.end(), [](const auto& c) { return c.mid == kStreamSwitch; }), 1);
}

TEST_F(MmsLoopback, SplitLiveHeaderIsRewrittenWhereItLiesInTheFile) {
    StreamOptions options;
    options.headerPacketSize = 20;  // File Properties spread over several packets
    options.live = true;
    Serve("live.asf", "audio.asf", options);
    Start();
    const Recording r = RecordUrl(dir_, server_.MmsUrl("live.asf"));
    size_t n = 0;
    ExpectConsistent(r.file, &n);
    AsfFileParts got;
    ASSERT_TRUE(SplitAsf(r.file, got));
    EXPECT_TRUE(got.trailer.empty());
    EXPECT_EQ(got.packets.size(), n);
    EXPECT_EQ(GetLE64(r.file, got.filePropertiesOffset + 56), n);
    EXPECT_EQ(GetLE32(r.file, got.filePropertiesOffset + 88), 2u);
    EXPECT_EQ(GetLE64(r.file, got.dataObjectOffset + 16), 50 + uint64_t(n) * got.packetSize);
}

TEST_F(MmsLoopback, SplitHeaderWhoseFirstPacketIsNotMarkedFirstIsKeptWhole) {
    for (int flags : {0x00, 0x08, 0x0C}) {
        SCOPED_TRACE(flags);
        StreamOptions options;
        options.headerPacketSize = 250;
        options.mmsFirstHeaderFlags = flags;
        Serve("clip.asf", "clip.asf", options);
        if (server_.MmsPort() == 0) Start();
        server_.ClearRecords();
        const Recording r = RecordUrl(dir_, server_.MmsUrl("clip.asf"));
        const Bytes want = OnDemandFile(clip_);
        EXPECT_TRUE(r.file == want) << FirstDifference(r.file, want);
        EXPECT_TRUE(r.errors.empty());
        const auto cmds = server_.MmsCommands();
        EXPECT_EQ(std::count_if(cmds.begin(), cmds.end(), [](const auto& c) { return c.mid == kStreamSwitch; }), 1);
    }
}

TEST_F(MmsLoopback, PingsDuringDataAreAnsweredAndTheRecordingIsUndisturbed) {
    StreamOptions options;
    options.pingEvery = 25;
    Serve("clip.asf", "clip.asf", options);
    Start();
    const Recording r = RecordUrl(dir_, server_.MmsUrl("clip.asf"));
    const Bytes want = OnDemandFile(clip_);
    EXPECT_TRUE(r.file == want) << FirstDifference(r.file, want);
    ASSERT_TRUE(server_.WaitForIdle(kWait));
    const auto conns = server_.Connections();
    ASSERT_EQ(conns.size(), 1u);
    EXPECT_EQ(conns[0].pingsSent, clip_.packets.size() / 25);
    EXPECT_EQ(conns[0].pongsReceived, conns[0].pingsSent);
    EXPECT_EQ(server_.MissingPongs(), 0u);
}

TEST_F(MmsLoopback, StopInTheDataPhaseLeavesAConsistentFile) {
    StreamOptions options;
    options.pacing = testserver::Pacing::Realtime;
    Serve("clip.asf", "clip.asf", options);
    Start();
    const Recording r = RecordUrl(dir_, server_.MmsUrl("clip.asf"), {}, [](MmsClient& c, EventLog& log) {
        while (log.progressCount.load() < 10) std::this_thread::yield();
        c.Stop();
    });
    size_t n = 0;
    ExpectConsistent(r.file, &n);
    EXPECT_GE(n, 10u);
    EXPECT_LT(n, clip_.packets.size());
    EXPECT_EQ(r.file, OnDemandFile(clip_, n));
    EXPECT_EQ(r.returned, r.file.size());
    EXPECT_TRUE(r.errors.empty());
    if (HaveTool("ffprobe")) {
        EXPECT_TRUE(ProbeFile(r.path).ok);
    }
}

TEST_F(MmsLoopback, ServerDroppingTheConnectionLeavesAConsistentFile) {
    StreamOptions options;
    options.dropAfterPackets = 40;
    options.dropMidChunk = true;
    Serve("clip.asf", "clip.asf", options);
    Start();
    const Recording r = RecordUrl(dir_, server_.MmsUrl("clip.asf"));
    EXPECT_EQ(r.file, OnDemandFile(clip_, 40));
    ExpectConsistent(r.file);
    EXPECT_EQ(r.returned, r.file.size());
    EXPECT_EQ(r.errors, std::vector<std::string>{"connection closed by the server after 40 packets"});
}

TEST_F(MmsLoopback, ServerThatNeverSendsAHeaderRecordsNothing) {
    StreamOptions options;
    options.noHeader = true;
    Serve("clip.asf", "clip.asf", options);
    Start();
    const Recording r = RecordUrl(dir_, server_.MmsUrl("clip.asf"));
    EXPECT_EQ(r.returned, 0u);
    EXPECT_TRUE(r.file.empty());
    EXPECT_TRUE(r.errors.empty());
}

TEST_F(MmsLoopback, UnknownPathIsUrlNotFound) {
    Serve("clip.asf", "clip.asf");
    Start();
    const Recording r = RecordUrl(dir_, server_.MmsUrl("missing.asf"));
    EXPECT_EQ(r.returned, 0u);
    EXPECT_TRUE(r.file.empty());
    EXPECT_EQ(r.errors, std::vector<std::string>{"Url not found: server error 0x80070002"});
    const auto cmds = server_.MmsCommands();
    EXPECT_TRUE(std::none_of(cmds.begin(), cmds.end(), [](const auto& c) { return c.mid == kReadBlock; }));
}

TEST_F(MmsLoopback, StopWhileTheServerIsSilentEndsTheRecording) {
    StreamOptions options;
    options.neverSend = true;
    Serve("clip.asf", "clip.asf", options);
    Start();
    const Recording r = RecordUrl(dir_, server_.MmsUrl("clip.asf"), {}, [this](MmsClient& c, EventLog&) {
        server_.WaitFor(
            [this] {
                const auto cmds = server_.MmsCommands();
                return std::any_of(cmds.begin(), cmds.end(), [](const auto& x) { return x.mid == kOpenFile; });
            },
            kWait);
        c.Stop();
    });
    EXPECT_EQ(r.returned, 0u);
    EXPECT_TRUE(r.file.empty());
}

// A server that stops sending, or sends what is no MMS at all, ends the
// recording with an error naming it instead of holding it forever.
TEST_F(MmsLoopback, SilentOrGarbledServerEndsTheRecordingWithItsCause) {
    // Header packets that never add up to the header their Header Object
    // announces (10 MB), then nothing.
    Bytes endlessHeader = MediaPacket(0, 2, 0x04, Cat({Hex("30 26 B2 75 8E 66 CF 11 A6 D9 00 AA 00 62 CE 6C"),
                                                       Le64(10'000'000), Bytes(1000, 0x11)}));
    for (uint32_t i = 1; i < 35; ++i) endlessHeader = Cat({endlessHeader, MediaPacket(i, 2, 0x04, Bytes(1000, 0x22))});
    struct Row {
        std::string name;
        std::function<void(StreamOptions&)> fault;
        size_t packets;
        std::string error;
    } rows[] = {
        {"stall in the data", [](StreamOptions& o) { o.stallAfterPackets = 30; }, 30, IdleTimeoutText(1)},
        {"silent after OpenFile", [](StreamOptions& o) { o.neverSend = true; }, 0, IdleTimeoutText(1)},
        {"endless header", [&](StreamOptions& o) { o.mmsHeaderScript = endlessHeader; }, 0, IdleTimeoutText(1)},
        {"junk as header", [](StreamOptions& o) { o.mmsHeaderScript = Bytes(35 * 1024, 'A'); }, 0,
         IdleTimeoutText(1)},
        {"junk after a command head", [](StreamOptions& o) {
             o.mmsHeaderScript = Cat({Hex("01 00 00 00 CE FA 0B B0 F8 FF FF 7F 4D 4D 53 20"), Bytes(35 * 1024, 'B')});
         }, 0, "invalid data from the server: command of 2147483640 bytes"},
    };
    Start();
    RecorderSettings settings;
    settings.idleTimeout = 1;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        StreamOptions options;
        row.fault(options);
        Serve("clip.asf", "clip.asf", options);
        const Recording r = RecordUrl(dir_, server_.MmsUrl("clip.asf"), settings);
        EXPECT_EQ(r.errors, std::vector<std::string>{row.error});
        if (row.packets == 0) {
            EXPECT_EQ(r.returned, 0u);
            EXPECT_TRUE(r.file.empty());
        } else {
            EXPECT_EQ(r.file, OnDemandFile(clip_, row.packets));
            EXPECT_EQ(r.returned, r.file.size());
        }
    }
}

TEST_F(MmsLoopback, RecordsFromAnIpv6Literal) {
    Serve("clip.asf", "clip.asf");
    std::string error;
    if (!server_.StartMmsIpv6(0, &error)) GTEST_SKIP() << "no IPv6 loopback: " << error;
    const Recording r = RecordUrl(dir_, "mms://[::1]:" + std::to_string(server_.MmsPort()) + "/clip.asf");
    const Bytes want = OnDemandFile(clip_);
    EXPECT_TRUE(r.file == want) << FirstDifference(r.file, want);
    EXPECT_TRUE(r.errors.empty());
    // The funnel names the client's own IPv6 address, without brackets.
    const auto cmds = server_.MmsCommands();
    ASSERT_GE(cmds.size(), 3u);
    EXPECT_EQ(cmds[2].mid, kConnectFunnel);
    EXPECT_EQ(cmds[2].text.rfind(std::string("\\\\::1\\TCP\\"), 0), 0u) << cmds[2].text;
}

// What a recording in a child process whose files may not grow past a size
// (a disk that fills up) reported: Record's result, then the errors.
std::vector<std::string> RecordWithFileSizeLimit(const std::string& path, const std::string& url, rlim_t limit) {
    int pipeFds[2];
    if (::pipe(pipeFds) != 0) return {"pipe failed"};
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(pipeFds[0]);
        ::signal(SIGXFSZ, SIG_IGN);  // a write past the limit fails instead of ending the process
        const rlimit r{limit, limit};
        ::setrlimit(RLIMIT_FSIZE, &r);
        std::string report = "no file\n";
        OutputFile file;
        if (file.Create(path)) {
            EventLog log;
            MmsClient client(1, {}, &log);
            report = std::to_string(client.Record(&file, url)) + "\n";
            file.Close();
            for (const auto& e : log.errors) report += e + "\n";
        }
        const ssize_t ignored = ::write(pipeFds[1], report.data(), report.size());
        (void)ignored;
        ::_exit(0);
    }
    ::close(pipeFds[1]);
    std::string report;
    char buffer[512];
    for (ssize_t n; (n = ::read(pipeFds[0], buffer, sizeof(buffer))) > 0;) report.append(buffer, size_t(n));
    ::close(pipeFds[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    std::vector<std::string> lines;
    for (size_t at = 0, end; (end = report.find('\n', at)) != std::string::npos; at = end + 1)
        lines.push_back(report.substr(at, end - at));
    return lines;
}

TEST_F(MmsLoopback, DiskFillingUpKeepsWholePacketsAndAHeaderThatDescribesThem) {
    StreamOptions options;
    options.live = true;
    Serve("live.asf", "clip.asf", options);
    Start();
    // Room for the header, 40 packets and half of the 41st.
    const size_t wholePackets = 40;
    const rlim_t limit = clip_.header.size() + wholePackets * clip_.packetSize + clip_.packetSize / 2;
    const std::string path = dir_.File("full.asf");
    const std::vector<std::string> report = RecordWithFileSizeLimit(path, server_.MmsUrl("live.asf"), limit);
    const Bytes file = ReadFileBytes(path);
    ASSERT_EQ(file.size(), clip_.header.size() + wholePackets * clip_.packetSize);
    EXPECT_EQ(report, (std::vector<std::string>{std::to_string(file.size()), "File Write Error: File too large"}));

    AsfFileParts got;
    std::string error;
    ASSERT_TRUE(SplitAsf(file, got, &error)) << error;
    ASSERT_EQ(got.packets.size(), wholePackets);
    uint32_t largest = 0;
    for (const auto& packet : got.packets) {
        AsfPacketLayout layout;
        ASSERT_TRUE(WalkAsfPacket(packet, got.packetSize, layout));
        largest = std::max(largest, GetLE32(packet, layout.sendTimeOffset));
    }
    const size_t fp = got.filePropertiesOffset;
    const uint64_t preroll = GetLE64(file, fp + 80);
    EXPECT_EQ(GetLE64(file, fp + 40), file.size());
    EXPECT_EQ(GetLE64(file, fp + 56), wholePackets);
    EXPECT_EQ(GetLE64(file, fp + 64), (uint64_t(largest) + preroll) * 10000);
    EXPECT_EQ(GetLE64(file, fp + 72), uint64_t(largest) * 10000);
    EXPECT_EQ(GetLE64(file, got.dataObjectOffset + 16), 50 + wholePackets * got.packetSize);
    EXPECT_EQ(GetLE32(file, got.dataObjectOffset + 40), wholePackets);

    if (!HaveTool("ffprobe")) GTEST_SKIP() << "ffprobe missing";
    const Probe probe = ProbeFile(path);
    ASSERT_TRUE(probe.ok);
    EXPECT_EQ(probe.codecs, (std::vector<std::string>{"wmv2", "wmav2"}));
}

}  // namespace
}  // namespace larkspan
