// larkspan-rec run as a user runs it: one run per way of using it, each
// checked against the exact bytes the server sent, the exact report printed
// and the exit status; then bad usage and every way a run fails.
#include <algorithm>
#include <csignal>

#include "cli/Terminal.h"
#include "protocols/StreamErrors.h"
#include "tests/cli/CliFixture.h"
#include "tests/support/RecordingChecks.h"
#include "tests/detect/CaptureBuilder.h"

namespace larkspan::e2e {
namespace {

using cli::FormatBytes;
using testserver::StreamOptions;

// The line a finished recording leaves on standard output.
std::string Summary(const std::string& path, const std::string& outcome) {
    return path + ": " + outcome + " (" + FormatBytes(SizeOf(path)) + ")\n";
}

// To a file, and to standard output: that carries the header and the padded
// packets, nothing else; the report then goes to standard error and counts the
// bytes written, not those received (MMSH receives the header twice).
TEST_F(CliTest, RecordsAStreamToAFileOrStandardOutputOverEitherProtocol) {
    Serve(server_, "clip.asf", "clip.asf");
    StartBoth();
    for (const std::string& url : {server_.MmshUrl("clip.asf"), server_.MmsUrl("clip.asf")}) {
        SCOPED_TRACE(url);
        const std::string file = Out(url.substr(0, url.find(':')) + ".asf");
        auto p = Rec({"-q", "-o", file, url});
        EXPECT_EQ(p->ExitCode(), 0) << p->Report();
        EXPECT_EQ(p->Out(), Summary(file, "Completed"));
        EXPECT_EQ(p->Err(), "");
        const Bytes got = ReadFileBytes(file), want = RecordedFile(clip_);
        EXPECT_TRUE(got == want) << FirstDifference(got, want);
        auto piped = Rec({"-q", "-o", "-", url});
        EXPECT_EQ(piped->ExitCode(), 0) << piped->Err();
        const std::string out = piped->Out();
        const Bytes streamed(out.begin(), out.end()), sent = HeaderAndPackets(clip_);
        EXPECT_TRUE(streamed == sent) << FirstDifference(streamed, sent);
        EXPECT_EQ(piped->Err(), "standard output: Completed (" + FormatBytes(sent.size()) + ")\n");
    }
    EXPECT_FALSE(std::filesystem::exists(Out("-")));
}

// --name numbers the entries of a playlist from 0; the downloaded playlist
// is named first in the report, the job's outcome after its last file.
TEST_F(CliTest, RecordsEachPlaylistEntryUnderTheGivenName) {
    Serve(server_, "one.asf", "audio.asf");
    Serve(server_, "two.asf", "clip.asf");
    StartBoth();
    ServeText(server_, "list.asx", Asx({server_.MmshUrl("one.asf"), server_.MmsUrl("two.asf")}));
    TempFolder dir("cli-out");
    auto p = Rec({"-q", "--dir", dir.Path(), "--name", "show", server_.MmshUrl("list.asx")});
    EXPECT_EQ(p->ExitCode(), 0) << p->Report();
    EXPECT_EQ(dir.Names(), (std::vector<std::string>{"list.asx", "show0.asf", "show1.asf"}));
    EXPECT_TRUE(ReadFileBytes(dir.File("show0.asf")) == RecordedFile(audio_));
    EXPECT_TRUE(ReadFileBytes(dir.File("show1.asf")) == RecordedFile(clip_));
    const std::string list = dir.File("list.asx"), first = dir.File("show0.asf");
    EXPECT_EQ(p->Out(), list + " (" + FormatBytes(SizeOf(list)) + ")\n" + first + " (" +
                            FormatBytes(SizeOf(first)) + ")\n" + Summary(dir.File("show1.asf"), "Completed"));
}

// An address from the network with escape sequences and a password in it:
// what is printed has neither.
TEST_F(CliTest, PrintsNoControlCharactersAndNoPassword) {
    StartBoth();
    const std::string host = "127.0.0.1:" + std::to_string(server_.MmshPort());
    ServeText(server_, "list.asx", Asx({"http://bob:hunter2@" + host + "/x&#27;]0;owned&#7;.asf"}));
    TempFolder dir("cli-out");
    auto p = Rec({"--dir", dir.Path(), server_.MmshUrl("list.asx")});
    EXPECT_EQ(p->Err().find("hunter2"), std::string::npos) << p->Report();
    EXPECT_EQ(p->Err().find('\x1b'), std::string::npos) << p->Report();
    EXPECT_NE(p->Err().find("connecting to http://bob:***@" + host + "/x\\x1b]0;owned\\x07.asf\n"), std::string::npos)
        << p->Report();
}

// With -j 2 a second source records while the first one stalls. Ctrl-C or
// SIGTERM then ends the run, keeping the header and the whole packets
// received, the header rewritten to describe them.
TEST_F(CliTest, InterruptKeepsWhatTwoJobsReceived) {
    const StreamOptions stalled{.neverSend = true}, paced{.pacing = testserver::Pacing::Realtime};
    Serve(server_, "stalled.asf", "audio.asf", stalled);
    Serve(server_, "clip.asf", "clip.asf", paced);
    StartBoth();
    for (const auto& [signal, status] : {std::pair{SIGINT, 130}, std::pair{SIGTERM, 143}}) {
        TempFolder dir("cli-out");
        const std::string file = dir.File("clip.asf");
        auto p = Launch({"-q", "-j", "2", "--dir", dir.Path(), server_.MmshUrl("stalled.asf"),
                         server_.MmsUrl("clip.asf")});
        const auto flowing = [&] { return SizeOf(file) > clip_.header.size() || !p->Running(); };
        ASSERT_TRUE(WaitUntil(flowing, std::chrono::seconds(30)));
        p->Signal(signal);
        ASSERT_TRUE(p->Wait());
        EXPECT_EQ(p->ExitCode(), status) << p->Report();
        EXPECT_NE(p->Out().find(Summary(file, "Cancelled")), std::string::npos) << p->Report();
        const Bytes got = ReadFileBytes(file);
        const size_t packets = (got.size() - clip_.header.size()) / clip_.packetSize;
        ASSERT_LT(packets, clip_.packets.size());
        const Bytes want = RecordedFile(clip_, packets);
        EXPECT_TRUE(got == want) << FirstDifference(got, want);
    }
}

// --max-time ends a live recording at the first packet 5 s of stream time
// after the first, --max-size at the first that takes it to 1 MiB; the file
// then describes itself: ffprobe and GStreamer find its duration and seek in it.
TEST_F(CliTest, LimitsEndALiveRecording) {
    const StreamOptions live{.live = true, .repeat = 0};
    Serve(server_, "live.asf", "clip.asf", live);
    StartBoth();
    const auto sendTime = [&](size_t i) {
        testsupport::AsfPacketLayout layout;
        EXPECT_TRUE(testsupport::WalkAsfPacket(clip_.packets[i], clip_.packetSize, layout));
        return testsupport::GetLE32(clip_.packets[i], layout.sendTimeOffset);
    };
    size_t packets = 1;
    while (sendTime(packets - 1) - sendTime(0) < 5000) ++packets;
    const size_t header = clip_.header.size(), packet = clip_.packetSize;
    const struct {
        std::string option, url;
        size_t packets;
    } rows[] = {{"--max-time=5", server_.MmsUrl("live.asf"), packets},
                {"--max-time=5", server_.MmshUrl("live.asf"), packets},
                {"--max-size=1", server_.MmsUrl("live.asf"), ((1 << 20) - header + packet - 1) / packet}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.option + " " + row.url);
        const std::string file = Out(row.option.substr(2) + row.url.substr(0, 3) + ".asf");
        auto p = Rec({"-q", row.option, "-o", file, row.url});
        EXPECT_EQ(p->ExitCode(), 0) << p->Report();
        EXPECT_EQ(SizeOf(file), header + row.packets * packet);
        testsupport::ExpectRecordingDescribesItself(file, clip_, {.live = true}, row.packets);
    }
}

// At a terminal the program asks for the credentials a server wants; Ctrl-C
// at the question ends the run at once with the terminal's echo back on.
TEST_F(CliTest, AsksForCredentialsAtTheTerminal) {
    const StreamOptions secured{.user = "alice", .password = "s3cret"};
    Serve(server_, "clip.asf", "clip.asf", secured);
    StartBoth();
    for (const std::string password : {"s3cret\r", "\x03"}) {
        const bool answered = password != "\x03";
        const std::string file = Out(answered ? "answered.asf" : "interrupted.asf");
        auto p = Launch({"-o", file, server_.MmshUrl("clip.asf")}, true);
        ASSERT_TRUE(p->WaitFor("Username: ")) << p->Report();
        p->Type("alice\r");
        ASSERT_TRUE(p->WaitFor("Password: ")) << p->Report();
        p->Type(password);
        ASSERT_TRUE(p->Wait(std::chrono::seconds(30))) << p->Report();
        EXPECT_EQ(p->ExitCode(), answered ? 0 : 130) << p->Report();
        EXPECT_TRUE(p->TerminalEchoes());
        EXPECT_TRUE(ReadFileBytes(file) == (answered ? RecordedFile(clip_) : Bytes{}));
    }
}

TEST_F(CliTest, DetectPrintsEachAddressOfACaptureFileOnce) {
    using namespace detecttest;
    auto get = [](Ipv4Address server, const std::string& target) {
        TcpSegment s;
        s.destination = server;
        s.payload = Ascii("GET " + target + " HTTP/1.0\r\nUser-Agent: NSPlayer/9.0\r\n\r\n");
        return Ethernet(BuildIpv4(s));
    };
    TcpSegment mms;
    mms.destination = {192, 168, 1, 10};
    mms.destinationPort = 1755;
    mms.payload = MmsOpenFile(u"media/clip.asf");
    const Bytes show = get({10, 0, 0, 5}, "/live/show.asf"), page = get({10, 0, 0, 6}, "/index.html");
    const std::string pcap = Out("traffic.pcap");
    ASSERT_TRUE(WriteFileBytes(pcap, CaptureFile(kLinkEthernet, {show, show, page, Ethernet(BuildIpv4(mms))})));
    auto p = Rec({"--detect", "--pcap", pcap});
    EXPECT_EQ(p->ExitCode(), 0) << p->Report();
    EXPECT_EQ(p->Out(), "http://10.0.0.5/live/show.asf\nmms://192.168.1.10/media/clip.asf\n");
}

TEST_F(CliTest, BadUsageExitsWithTwoAndSaysWhy) {
    const std::string url = "http://127.0.0.1:1/x.asf", list = "http://127.0.0.1:1/list.asx";
    const std::string tryHelp = "\nTry 'larkspan-rec --help'.\n", playlist = "--output takes a stream, not a playlist";
    const std::pair<std::vector<std::string>, std::string> rows[] = {
        {{"--bogus", url}, "unknown option --bogus" + tryHelp},
        {{}, "no source given" + tryHelp},
        {{url, "--max-size"}, "option --max-size needs a value" + tryHelp},
        {{"-t", "0", url}, "option -t needs a whole number of at least 1, not '0'" + tryHelp},
        {{"-j", "two", url}, "option -j needs a whole number of at least 1, not 'two'" + tryHelp},
        {{"--timeout", "-1", url}, "option --timeout needs a whole number, not '-1'" + tryHelp},
        {{"--timeout=1.5", url}, "option --timeout needs a whole number, not '1.5'" + tryHelp},
        {{"--yes", "--no-clobber", url}, "--yes and --no-clobber exclude each other" + tryHelp},
        {{"-o", "x.asf", url, url}, "--output takes exactly one source" + tryHelp},
        {{"-o", "-", "-j", "2", url}, "--output - records one stream; it does not go with --jobs" + tryHelp},
        {{"--pcap", "x.pcap", url}, "--interface, --pcap and --record go with --detect" + tryHelp},
        {{"--detect", url}, "--detect takes no sources" + tryHelp},
        {{"--detect", "-o", "x.asf"}, "--output does not go with --detect" + tryHelp},
        {{"--detect", "-i", "lo", "--pcap", "x"}, "--interface and --pcap exclude each other" + tryHelp},
        {{"-o", "x.asf", list}, playlist + "; use --name and --dir\n"},
    };
    for (const auto& [args, error] : rows) {
        SCOPED_TRACE(error);
        auto p = Rec(args);
        EXPECT_EQ(p->ExitCode(), 2);
        EXPECT_EQ(p->Err(), "larkspan-rec: " + error);
        EXPECT_EQ(p->Out(), "");
    }
    auto help = Rec({"--help"});
    EXPECT_EQ(help->ExitCode(), 0);
    EXPECT_EQ(help->Out().rfind("Usage: larkspan-rec [options] SOURCE...\n", 0), 0u) << help->Out();
}

// Each way a run can fail ends with exit status 1 and says why: on standard
// error what stops the program before any recording, else in the job's
// report line on standard output.
TEST_F(CliTest, FailuresExitWithOneAndSayWhy) {
    const StreamOptions stalling{.stallAfterPackets = 10}, secured{.user = "alice", .password = "s3cret"};
    Serve(server_, "clip.asf", "clip.asf");
    Serve(server_, "stalling.asf", "clip.asf", stalling);
    Serve(server_, "secured.asf", "clip.asf", secured);
    StartBoth();
    ServeText(server_, "empty.asx", Asx({}));
    // The second protocol goes to its well-known port: keep it closed.
    WellKnownPortsClosed ports;
    if (!ports.Held()) GTEST_SKIP() << "ports 80 and 1755 stay taken";
    ClosedPort nowhere;
    ASSERT_TRUE(nowhere.Held());
    const std::string refused = "http://127.0.0.1:" + std::to_string(nowhere.Port()) + "/clip.asf";
    const std::string mmsRefused = "MMS: connect failed !!: connection refused";
    WriteFileBytes(Out("empty.asx"), {});
    // A file-size limit stands for a full disk: the write fails instead of ending the program.
    const rlim_t full = clip_.header.size() + 60 * clip_.packetSize + clip_.packetSize / 3;
    struct Row {
        std::vector<std::string> args;
        std::string out;       // the whole of standard output, sizes left out
        std::string err = "";  // the whole of standard error, when given
        rlim_t fileSizeLimit = RLIM_INFINITY;
    };
    const Row rows[] = {
        {{"--dir", "/dev/null/sub", refused}, "", "larkspan-rec: cannot create folder /dev/null/sub\n"},
        {{"--detect", "--pcap", Out("absent.pcap")}, "",
         "larkspan-rec: Unable to read the capture file " + Out("absent.pcap") + ": No such file or directory\n"},
        {{"--yes", "-o", "/dev/full", server_.MmsUrl("clip.asf")},
         "/dev/full: File Write Error: No space left on device"},
        {{"-o", Out("big.asf"), server_.MmsUrl("clip.asf")}, Out("big.asf") + ": File Write Error: File too large", "",
         full},
        {{Out("absent.asx")}, Out("absent.asx") + ": Nothing recorded",
         "[1] note: skipped " + Out("absent.asx") + ": No such file or directory\n"},
        {{Out("empty.asx")}, Out("empty.asx") + ": Nothing recorded",
         "[1] note: skipped " + Out("empty.asx") + ": empty file\n"},
        {{"--dir", Out("d"), server_.MmshUrl("empty.asx")}, Out("d/empty.asx") + ": Nothing recorded"},
        {{"-o", Out("stalled.asf"), "--timeout", "1", server_.MmsUrl("stalling.asf")},
         Out("stalled.asf") + ": " + IdleTimeoutText(1)},
        {{"-o", Out("denied.asf"), "-u", "alice", "-p", "wrong", server_.MmshUrl("secured.asf")},
         Out("denied.asf") + ": MMSH: Not Found: HTTP 401 Unauthorized; " + mmsRefused},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.out + row.err);
        RecProcess p(row.args, home_.Path());
        p.LimitFileSize(row.fileSizeLimit);
        ASSERT_TRUE(p.Start() && p.Wait());
        EXPECT_EQ(p.ExitCode(), 1) << p.Report();
        const std::string out = p.Out();
        EXPECT_EQ(out.substr(0, out.rfind(" (")), row.out) << p.Report();
        if (!row.err.empty()) {
            EXPECT_EQ(p.Err(), row.err);
        }
    }
}

// A file already at the output path is replaced only when allowed; without a
// terminal nobody can confirm it, which is a failure, while --no-clobber
// asks for exactly that outcome.
TEST_F(CliTest, ExistingFileIsReplacedOnlyWhenAllowed) {
    Serve(server_, "clip.asf", "clip.asf");
    StartBoth();
    const Bytes old = {'o', 'l', 'd', '\n'};
    const std::string profile = home_.File("config/Brellow/Larkspan Recorder.conf");
    std::filesystem::create_directories(home_.File("config/Brellow"));
    struct Row {
        std::vector<std::string> args;  // "FILE" stands for the file's path
        bool profileOverwrites;         // the profile's "OverWrite" is 0
        bool replaced;
        int exitCode;
    };
    const Row rows[] = {
        {{"-o", "FILE"}, false, false, 1},
        {{"--yes", "-o", "FILE"}, false, true, 0},
        {{"--no-clobber", "-o", "FILE"}, false, false, 0},
        {{"-o", "FILE"}, true, true, 0},
        {{"--no-clobber", "-o", "FILE"}, true, false, 0},
        {{"--name", "show"}, false, false, 1},
        {{"-y", "--name", "show"}, false, true, 0},
    };
    for (const Row& row : rows) {
        TempFolder dir("cli-out");
        const std::string file = dir.File("show.asf");
        SCOPED_TRACE(::testing::PrintToString(row.args) + (row.profileOverwrites ? " profile" : ""));
        ASSERT_TRUE(testsupport::WriteFileBytes(file, old));
        ASSERT_TRUE(testsupport::WriteFileText(profile, row.profileOverwrites ? "[settings]\nOverWrite=0\n" : ""));
        std::vector<std::string> args = row.args;
        std::replace(args.begin(), args.end(), std::string("FILE"), file);
        args.insert(args.end(), {"-q", "--dir", dir.Path(), server_.MmshUrl("clip.asf")});
        auto p = Rec(args);
        EXPECT_EQ(p->ExitCode(), row.exitCode) << p->Report();
        EXPECT_EQ(dir.Names(), std::vector<std::string>{"show.asf"});
        EXPECT_TRUE(ReadFileBytes(file) == (row.replaced ? RecordedFile(clip_) : old));
        EXPECT_EQ(p->Out(), Summary(file, row.replaced ? "Completed" : "Skipped, the file exists"));
    }
}

}  // namespace
}  // namespace larkspan::e2e
