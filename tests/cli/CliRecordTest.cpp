// Recordings made by larkspan-rec: whole streams, limits on live streams,
// authentication, an interrupt, and several sources at once.
#include <gtest/gtest.h>

#include <algorithm>

#include <csignal>
#include <sstream>

#include "protocols/StreamErrors.h"
#include "tests/cli/CliFixture.h"

namespace larkspan::e2e {
namespace {

using testsupport::ReadFileBytes;
using testserver::StreamOptions;

// ---- a whole on-demand stream to a named file

class CliWholeStream : public CliTest, public ::testing::WithParamInterface<std::tuple<Via, bool>> {};

TEST_P(CliWholeStream, IsTheSampleHeaderAndItsPaddedPackets) {
    const auto [via, trim] = GetParam();
    StreamOptions options;
    options.trimPadding = trim;  // the recorder restores the padding
    Serve("clip.asf", "clip.asf", options);
    StartBoth();
    const std::string file = Out("out.asf");
    auto p = Rec({"-o", file, Url(via, "clip.asf")});
    ASSERT_EQ(p->ExitCode(), 0) << Report(*p);
    EXPECT_NE(p->Out().find(file + ": Completed"), std::string::npos) << Report(*p);

    const Bytes got = ReadFileBytes(file);
    Bytes want = RecordedFile(clip_);
    ASSERT_TRUE(got == want) << FirstDifference(got, want);

    if (!testsupport::HaveTool("ffprobe")) GTEST_SKIP() << "ffprobe missing";
    const Probe probe = ProbeFile(file), sample = ProbeFile(samples_ + "/clip.asf");
    ASSERT_TRUE(probe.ok);
    EXPECT_EQ(probe.codecs, sample.codecs);
    EXPECT_EQ(probe.codecs, (std::vector<std::string>{"wmv2", "wmav2"}));
    EXPECT_NEAR(probe.duration, sample.duration, 0.5);
}

INSTANTIATE_TEST_SUITE_P(Cli, CliWholeStream, ::testing::Combine(::testing::Values(Via::Mmsh, Via::Mms), ::testing::Bool()),
                         [](const auto& info) {
                             return ViaName(std::get<0>(info.param)) +
                                    (std::get<1>(info.param) ? "TrimmedPackets" : "WholePackets");
                         });

// ---- the stream on standard output

class CliStandardOutput : public CliTest, public ::testing::WithParamInterface<Via> {};

// Piped into a file, the stream is what a recording to a file holds before
// its header could be rewritten: the header and the padded packets. Nothing
// else reaches standard output.
TEST_P(CliStandardOutput, IsTheHeaderAndThePaddedPackets) {
    StreamOptions trimmed;
    trimmed.trimPadding = true;
    Serve("clip.asf", "clip.asf", trimmed);
    StartBoth();
    auto p = Rec({"-o", "-", Url(GetParam(), "clip.asf")});
    ASSERT_EQ(p->ExitCode(), 0) << "exit " << p->ExitCode() << "\n--- stderr\n" << p->Err();
    const std::string out = p->Out();
    const Bytes got(out.begin(), out.end()), want = HeaderAndPackets(clip_);
    EXPECT_TRUE(got == want) << FirstDifference(got, want);
    EXPECT_NE(p->Err().find("standard output: Completed"), std::string::npos) << p->Err();
    EXPECT_FALSE(Exists(Out("-")));
}

INSTANTIATE_TEST_SUITE_P(Cli, CliStandardOutput, ::testing::Values(Via::Mmsh, Via::Mms),
                         [](const auto& info) { return ViaName(info.param); });

// ---- a server that stops sending

class CliStall : public CliTest, public ::testing::WithParamInterface<Via> {};

// --timeout 1: one second without a byte ends the recording with what came.
TEST_P(CliStall, GivesUpAfterTheTimeOut) {
    StreamOptions stalling;
    stalling.stallAfterPackets = 10;
    Serve("clip.asf", "clip.asf", stalling);
    StartBoth();
    const std::string file = Out("stalled.asf");
    auto p = Rec({"-o", file, "--timeout", "1", Url(GetParam(), "clip.asf")});
    EXPECT_EQ(p->ExitCode(), 1) << Report(*p);
    EXPECT_NE(p->Out().find(file + ": " + IdleTimeoutText(1) + " ("), std::string::npos) << Report(*p);
}

INSTANTIATE_TEST_SUITE_P(Cli, CliStall, ::testing::Values(Via::Mmsh, Via::Mms),
                         [](const auto& info) { return ViaName(info.param); });

// --timeout 0 never gives up, which leaves a whole stream whole.
TEST_F(CliTest, NoTimeOutRecordsTheWholeStream) {
    Serve("clip.asf", "clip.asf");
    StartBoth();
    const std::string file = Out("out.asf");
    auto p = Rec({"-o", file, "--timeout", "0", server_.MmshUrl("clip.asf")});
    ASSERT_EQ(p->ExitCode(), 0) << Report(*p);
    EXPECT_TRUE(ReadFileBytes(file) == RecordedFile(clip_));
}

// ---- a disk that fills

// A file-size limit makes a write fail: the program is not killed by
// SIGXFSZ, the failure is reported with the system's reason, and the file
// keeps the header and the whole packets that fitted, never a torn one.
class CliDiskFull : public CliTest, public ::testing::WithParamInterface<Via> {};

TEST_P(CliDiskFull, KeepsWholePacketsAndSaysWhy) {
    Serve("clip.asf", "clip.asf");
    StartBoth();
    const std::string file = Out("big.asf");
    RecProcess p({"-o", file, Url(GetParam(), "clip.asf")}, home_.Path());
    const size_t wholePackets = 60;
    p.LimitFileSize(clip_.header.size() + wholePackets * clip_.packetSize + clip_.packetSize / 3);
    ASSERT_TRUE(p.Start());
    ASSERT_TRUE(p.Wait(kBound));
    EXPECT_EQ(p.TermSignal(), 0) << Report(p);
    EXPECT_EQ(p.ExitCode(), 1) << Report(p);
    EXPECT_NE(p.Out().find(file + ": File Write Error: File too large ("), std::string::npos) << Report(p);
    const Bytes got = ReadFileBytes(file);
    ASSERT_EQ(got.size(), clip_.header.size() + wholePackets * clip_.packetSize) << Report(p);
    // The packets that did fit are the server's, padded as always.
    const Bytes whole = RecordedFile(clip_);
    EXPECT_TRUE(std::equal(got.begin() + clip_.header.size(), got.end(), whole.begin() + clip_.header.size()));
}

INSTANTIATE_TEST_SUITE_P(Cli, CliDiskFull, ::testing::Values(Via::Mmsh, Via::Mms),
                         [](const auto& info) { return ViaName(info.param); });

// ---- text from the network

// An address from a playlist with escape sequences in it and a password:
// what is printed has neither.
TEST_F(CliTest, PrintsNoControlCharactersAndNoPassword) {
    StartBoth();
    const std::string host = "127.0.0.1:" + std::to_string(server_.MmshPort());
    const std::string entry = "http://bob:hunter2@" + host + "/x&#27;]0;owned&#7;.asf";
    const std::string text = "<ASX version=\"3.0\"><Entry><Ref href=\"" + entry + "\"/></Entry></ASX>";
    server_.ServeBody("list.asx", Bytes(text.begin(), text.end()), "video/x-ms-asf");
    TempFolder dir("cli-out");
    auto p = Rec({"--dir", dir.Path(), server_.MmshUrl("list.asx")});
    for (const std::string& shown : {p->Out(), p->Err()}) {
        EXPECT_EQ(shown.find('\x1b'), std::string::npos) << Report(*p);
        EXPECT_EQ(shown.find('\x07'), std::string::npos) << Report(*p);
        EXPECT_EQ(shown.find("hunter2"), std::string::npos) << Report(*p);
    }
    EXPECT_NE(p->Err().find("connecting to http://bob:***@" + host + "/x\\x1b]0;owned\\x07.asf"), std::string::npos)
        << Report(*p);
}

// ---- limits on a live broadcast

class CliLive : public CliTest, public ::testing::WithParamInterface<Via> {};

// --max-time 5 ends at the first packet 5 s of stream time after the first.
TEST_P(CliLive, MaxTimeEndsAfterFiveSecondsOfStreamTime) {
    StreamOptions live;
    live.live = true;
    Serve("live.asf", "clip.asf", live);
    StartBoth();
    const std::string file = Out("live.asf");
    auto p = Rec({"-o", file, "--max-time", "5", Url(GetParam(), "live.asf")});
    ASSERT_EQ(p->ExitCode(), 0) << Report(*p);

    std::vector<uint32_t> times;
    std::string error;
    ASSERT_TRUE(PacketSendTimes(ReadFileBytes(file), times, &error)) << error;
    ASSERT_GE(times.size(), 2u);
    const uint32_t first = times.front();
    for (size_t i = 0; i + 1 < times.size(); ++i) EXPECT_LT(times[i] - first, 5000u) << "packet " << i;
    EXPECT_GE(times.back() - first, 5000u);
    EXPECT_LT(times.size(), clip_.packets.size());
}

// --max-size 1 ends at the first packet that takes the count to 1 MiB.
TEST_P(CliLive, MaxSizeEndsAtTheFirstPacketPastOneMebibyte) {
    StreamOptions live;
    live.live = true;
    live.repeat = 0;  // without end: only the limit ends it
    Serve("live.asf", "clip.asf", live);
    StartBoth();
    const std::string file = Out("live.asf");
    auto p = Rec({"-o", file, "--max-size", "1", Url(GetParam(), "live.asf")});
    ASSERT_EQ(p->ExitCode(), 0) << Report(*p);

    const Bytes got = ReadFileBytes(file);
    testsupport::AsfFileParts parts;
    std::string error;
    ASSERT_TRUE(testsupport::SplitAsf(got, parts, &error)) << error;
    const uint64_t header = parts.header.size(), packet = parts.packetSize, mib = 1 << 20;
    ASSERT_EQ((got.size() - header) % packet, 0u);
    // MMS counts what it wrote; MMSH what it received, with the header of
    // both of its exchanges.
    const uint64_t counted = GetParam() == Via::Mms ? header : 2 * header;
    EXPECT_EQ((got.size() - header) / packet, (mib - counted + packet - 1) / packet);
}

INSTANTIATE_TEST_SUITE_P(Cli, CliLive, ::testing::Values(Via::Mmsh, Via::Mms),
                         [](const auto& info) { return ViaName(info.param); });

// ---- authentication

bool HasAuthorization(const testserver::HttpRequestRecord& r) {
    for (const auto& line : r.headerLines)
        if (line.rfind("Authorization: Basic ", 0) == 0) return true;
    return false;
}

TEST_F(CliTest, CredentialsFromTheCommandLineAnswerTheServer) {
    StreamOptions secured;
    secured.user = "alice";
    secured.password = "s3cret";
    Serve("clip.asf", "clip.asf", secured);
    StartBoth();
    const std::string file = Out("auth.asf");
    auto p = Rec({"-o", file, "--user", "alice", "--password", "s3cret", server_.MmshUrl("clip.asf")});
    ASSERT_EQ(p->ExitCode(), 0) << Report(*p);
    EXPECT_TRUE(ReadFileBytes(file) == RecordedFile(clip_));

    // Each exchange meets one 401, then succeeds with the credentials; the
    // play request needs no second answer from the user (with no terminal,
    // a second request for credentials could only have failed).
    const auto requests = server_.HttpRequests();
    ASSERT_EQ(requests.size(), 4u);
    for (int i = 0; i < 4; ++i) {
        SCOPED_TRACE("request " + std::to_string(i));
        EXPECT_EQ(requests[i].play, i >= 2);
        EXPECT_EQ(requests[i].status, i % 2 == 0 ? 401 : 200);
        EXPECT_EQ(HasAuthorization(requests[i]), i % 2 == 1);
    }
}

TEST_F(CliTest, WrongPasswordWithoutATerminalFails) {
    StreamOptions secured;
    secured.user = "alice";
    secured.password = "s3cret";
    Serve("clip.asf", "clip.asf", secured);
    StartBoth();
    // After MMSH gives up, MMS is tried on 1755, where nothing may listen.
    WellKnownPortsClosed ports;
    if (!ports.Held()) GTEST_SKIP() << "ports 80 and 1755 stay taken";
    const std::string file = Out("auth.asf");
    auto p = Rec({"-o", file, "--user", "alice", "--password", "wrong", server_.MmshUrl("clip.asf")});
    EXPECT_EQ(p->ExitCode(), 1) << Report(*p);
    EXPECT_EQ(SizeOf(file), 0u);
    // The given credentials are tried once; nobody is there to give others.
    const auto requests = server_.HttpRequests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_FALSE(HasAuthorization(requests[0]));
    EXPECT_TRUE(HasAuthorization(requests[1]));
    for (const auto& r : requests) {
        EXPECT_EQ(r.status, 401);
        EXPECT_FALSE(r.play);
    }
    // The refusal is said, and the job names both attempts, the server's
    // answer first.
    EXPECT_NE(p->Err().find("The server refused the user name or password for 127.0.0.1.\n"), std::string::npos)
        << Report(*p);
    EXPECT_NE(p->Out().find(file + ": MMSH: Not Found: HTTP 401 Unauthorized; MMS: "), std::string::npos)
        << Report(*p);
}

// ---- interrupt

struct InterruptCase {
    Via via;
    int signal;
    int exitCode;  // 128 + the signal
};

class CliInterrupt : public CliTest, public ::testing::WithParamInterface<InterruptCase> {};

TEST_P(CliInterrupt, KeepsWhatWasReceived) {
    const InterruptCase& c = GetParam();
    StreamOptions paced;
    paced.pacing = testserver::Pacing::Realtime;
    Serve("clip.asf", "clip.asf", paced);
    StartBoth();
    const std::string file = Out("cut.asf");
    auto p = Launch({"-o", file, Url(c.via, "clip.asf")});
    // About two seconds of the stream have been sent.
    const bool flowing = WaitUntil(
        [&] {
            for (const auto& c : server_.Connections())
                if (c.dataPacketsSent >= 24) return true;
            return !p->Running();
        },
        std::chrono::seconds(30));
    ASSERT_TRUE(flowing);
    ASSERT_TRUE(p->Running()) << Report(*p);
    p->Signal(c.signal);
    ASSERT_TRUE(p->Wait(kBound));
    EXPECT_EQ(p->ExitCode(), c.exitCode) << Report(*p);
    EXPECT_NE(p->Out().find(file + ": Cancelled"), std::string::npos) << Report(*p);

    const Bytes got = ReadFileBytes(file);
    testsupport::AsfFileParts parts;
    std::string error;
    ASSERT_TRUE(testsupport::SplitAsf(got, parts, &error)) << error;
    ASSERT_GT(got.size(), clip_.header.size());
    ASSERT_EQ((got.size() - clip_.header.size()) % clip_.packetSize, 0u);
    const size_t packets = (got.size() - clip_.header.size()) / clip_.packetSize;
    EXPECT_GE(packets, 1u);
    EXPECT_LT(packets, clip_.packets.size());
    Bytes want = RecordedFile(clip_, packets);
    EXPECT_TRUE(got == want) << FirstDifference(got, want);
}

INSTANTIATE_TEST_SUITE_P(Cli, CliInterrupt,
                         ::testing::Values(InterruptCase{Via::Mmsh, SIGINT, 130}, InterruptCase{Via::Mms, SIGINT, 130},
                                           InterruptCase{Via::Mmsh, SIGTERM, 143}),
                         [](const auto& info) {
                             return ViaName(info.param.via) + (info.param.signal == SIGINT ? "CtrlC" : "Terminated");
                         });

// ---- the progress lines

// The rate in KiB/s that a plain progress line ends with ("... 38.2 KiB/s").
double RateOfLine(const std::string& line) {
    const size_t unit = line.rfind("iB/s");
    if (unit == std::string::npos || unit < 2) return -1;
    const size_t number = line.rfind(' ', unit - 3);
    const double value = std::atof(line.c_str() + (number == std::string::npos ? 0 : number + 1));
    return line[unit - 1] == 'M' ? value * 1024 : value;
}

// The second entry of a playlist counts its bytes from 0 again; the rate
// shown must not take that for a leap backwards.
TEST_F(CliTest, RateStaysSaneWhenThePlaylistMovesOn) {
    StreamOptions quick, paced;
    quick.pacing = paced.pacing = testserver::Pacing::Realtime;
    quick.paceSpeed = 10;  // two seconds: long enough for the rate to be measured
    Serve("one.asf", "clip.asf", quick);
    Serve("two.asf", "clip.asf", paced);
    StartBoth();
    const std::string text = "<ASX version=\"3.0\"><Entry><Ref href=\"" + server_.MmshUrl("one.asf") +
                             "\"/></Entry><Entry><Ref href=\"" + server_.MmshUrl("two.asf") + "\"/></Entry></ASX>";
    server_.ServeBody("two.asx", Bytes(text.begin(), text.end()), "video/x-ms-asf");
    TempFolder dir("cli-out");
    auto p = Launch({"--dir", dir.Path(), "--name", "r", server_.MmshUrl("two.asx")});
    // A progress line printed while the second entry records.
    const std::string second = "recording to " + dir.File("r1.asf");
    auto lineAfterSecond = [&] {
        const std::string err = p->Err();
        const size_t at = err.find(second);
        return at != std::string::npos && err.find("iB/s\n", at) != std::string::npos;
    };
    const bool shown = WaitUntil([&] { return lineAfterSecond() || !p->Running(); }, std::chrono::seconds(40));
    p->Signal(SIGINT);
    ASSERT_TRUE(p->Wait(kBound));
    ASSERT_TRUE(shown);
    ASSERT_TRUE(lineAfterSecond()) << Report(*p);
    std::istringstream lines(p->Err());
    std::string line;
    int rates = 0;
    while (std::getline(lines, line)) {
        const double rate = RateOfLine(line);
        if (rate < 0) continue;
        ++rates;
        // The server sends at most ten times real time: some 400 KiB/s.
        EXPECT_LT(rate, 100000.0) << line;
    }
    EXPECT_GT(rates, 0);
}

// ---- several sources

TEST_F(CliTest, TwoJobsRecordBothSources) {
    Serve("clip.asf", "clip.asf");
    Serve("audio.asf", "audio.asf");
    StartBoth();
    TempFolder dir("cli-out");
    auto p = Rec({"-j", "2", "--dir", dir.Path(), server_.MmshUrl("clip.asf"), server_.MmsUrl("audio.asf")});
    ASSERT_EQ(p->ExitCode(), 0) << Report(*p);
    EXPECT_EQ(dir.Names(), (std::vector<std::string>{"audio.asf", "clip.asf"}));
    EXPECT_TRUE(ReadFileBytes(dir.File("clip.asf")) == RecordedFile(clip_));
    EXPECT_TRUE(ReadFileBytes(dir.File("audio.asf")) == RecordedFile(audio_));
    EXPECT_NE(p->Out().find(dir.File("clip.asf") + ": Completed"), std::string::npos) << Report(*p);
    EXPECT_NE(p->Out().find(dir.File("audio.asf") + ": Completed"), std::string::npos) << Report(*p);
}

// With -j 2 the second source is recorded while the first one stalls.
TEST_F(CliTest, TwoJobsRunSideBySide) {
    StreamOptions stalled;
    stalled.neverSend = true;
    Serve("stalled.asf", "clip.asf", stalled);
    Serve("audio.asf", "audio.asf");
    StartBoth();
    TempFolder dir("cli-out");
    auto p = Launch({"-j", "2", "--dir", dir.Path(), server_.MmshUrl("stalled.asf"), server_.MmshUrl("audio.asf")});
    const std::string done = dir.File("audio.asf") + ": Completed";
    const bool second = WaitUntil([&] { return p->Out().find(done) != std::string::npos || !p->Running(); },
                                  std::chrono::seconds(30));
    EXPECT_TRUE(second);
    EXPECT_TRUE(p->Running()) << Report(*p);
    p->Signal(SIGINT);
    ASSERT_TRUE(p->Wait(kBound));
    EXPECT_EQ(p->ExitCode(), 130) << Report(*p);
    EXPECT_NE(p->Out().find(done), std::string::npos) << Report(*p);
    EXPECT_TRUE(ReadFileBytes(dir.File("audio.asf")) == RecordedFile(audio_));
}

// Two sources at once whose addresses end in the same name never write
// into one file: the second running recording gets a free variant of it.
TEST_F(CliTest, SameNameAtOnceGoesToTwoFiles) {
    StreamOptions paced;
    paced.pacing = testserver::Pacing::Realtime;
    paced.paceSpeed = 8;  // both run for a while, so they overlap
    Serve("x/show.asf", "clip.asf", paced);
    Serve("y/show.asf", "audio.asf", paced);
    StartBoth();
    TempFolder dir("cli-out");
    auto p = Rec({"-j", "2", "--dir", dir.Path(), server_.MmshUrl("x/show.asf"), server_.MmsUrl("y/show.asf")});
    ASSERT_EQ(p->ExitCode(), 0) << Report(*p);
    ASSERT_EQ(dir.Names(), (std::vector<std::string>{"show (2).asf", "show.asf"})) << Report(*p);
    const auto first = ReadFileBytes(dir.File("show.asf"));
    const auto second = ReadFileBytes(dir.File("show (2).asf"));
    const auto clip = RecordedFile(clip_);
    const auto audio = RecordedFile(audio_);
    EXPECT_TRUE((first == clip && second == audio) || (first == audio && second == clip));
}

// One after another, even with --yes, a later recording of the run never
// replaces a file an earlier one wrote.
TEST_F(CliTest, SameNameOneAfterAnotherGoesToTwoFiles) {
    Serve("x/show.asf", "clip.asf");
    Serve("y/show.asf", "audio.asf");
    StartBoth();
    TempFolder dir("cli-out");
    auto p = Rec({"--yes", "--dir", dir.Path(), server_.MmshUrl("x/show.asf"), server_.MmsUrl("y/show.asf")});
    ASSERT_EQ(p->ExitCode(), 0) << Report(*p);
    ASSERT_EQ(dir.Names(), (std::vector<std::string>{"show (2).asf", "show.asf"})) << Report(*p);
    EXPECT_TRUE(ReadFileBytes(dir.File("show.asf")) == RecordedFile(clip_));
    EXPECT_TRUE(ReadFileBytes(dir.File("show (2).asf")) == RecordedFile(audio_));
}

}  // namespace
}  // namespace larkspan::e2e
