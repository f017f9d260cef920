// Requests for stream addresses seen in captured frames: HTTP GETs to port
// 80 and MMS OpenFile commands to port 1755, each frame written to a capture
// file byte by byte and read back through the capture library.
#include <gtest/gtest.h>

#include <atomic>

#include "detect/FrameScanner.h"
#include "detect/PacketCapture.h"
#include "tests/detect/CaptureBuilder.h"
#include "tests/detect/DetectTestSupport.h"
#include "tests/support/Samples.h"

namespace larkspan::detecttest {
namespace {

using Rows = std::vector<std::string>;

Bytes AsciiBytes(const std::string& s) { return Bytes(s.begin(), s.end()); }

TcpSegment HttpGet(const std::string& target, uint16_t port = 80) {
    TcpSegment s;
    s.destination = {10, 0, 0, 5};
    s.destinationPort = port;
    s.payload = AsciiBytes("GET " + target + " HTTP/1.0\r\nAccept: */*\r\nUser-Agent: NSPlayer/9.0.0.2980\r\n"
                           "Host: 10.0.0.5\r\nPragma: xClientGUID={3300AD50-2C39-46c0-AE0A-2D27C2D35A1D}\r\n\r\n");
    return s;
}

TcpSegment MmsToServer(const Bytes& message, uint16_t port = 1755) {
    TcpSegment s;
    s.destination = {192, 168, 1, 10};
    s.destinationPort = port;
    s.sourcePort = 49877;
    s.payload = message;
    return s;
}

Bytes TcpTimestamps() { return {0x01, 0x01, 0x08, 0x0A, 0x00, 0x0A, 0x1B, 0x2C, 0x00, 0x00, 0x00, 0x07}; }

Bytes Frame(const TcpSegment& s) { return Ethernet(BuildIpv4(s)); }

// Reads a capture file into a scanner the test owns, to look at its state.
void ScanFileInto(const std::string& path, FrameScanner& scanner) {
    std::string message;
    auto capture = PacketCapture::OpenFile(path, message);
    ASSERT_TRUE(capture) << message;
    std::atomic<bool> flag{true};
    while (capture->ReadBatch(scanner, flag, message) == PacketCapture::ReadResult::Frames) {
    }
}

// The frames these tests build, as an independent reader decodes them:
// addresses, ports, header lengths and checksums must all be right, or the
// tests below would prove nothing.
TEST(CaptureFiles, FramesDecodeCleanlyInTcpdump) {
    if (!testsupport::HaveTool("tcpdump")) GTEST_SKIP() << "tcpdump is not installed";
    TcpSegment open = MmsToServer(MmsOpenFile(u"media/clip.asf"));
    open.tcpOptions = TcpTimestamps();
    TcpSegment withIpOptions = HttpGet("/live/show.asf");
    withIpOptions.ipOptions = {0x01, 0x01, 0x01, 0x00};
    const std::string ethernet = TempPath("tcpdump-ethernet.pcap");
    const std::string cooked = TempPath("tcpdump-cooked.pcap");
    {
        CaptureFileWriter w(ethernet, kLinkEthernet);
        w.Add(Frame(HttpGet("/live/show.asf")));
        w.Add(Frame(open));
        w.Add(Frame(withIpOptions));
        CaptureFileWriter c(cooked, kLinkCooked);
        c.Add(LinuxCooked(BuildIpv4(open)));
    }
    for (const std::string& file : {ethernet, cooked}) {
        std::string out;
        ASSERT_EQ(testsupport::RunCommand("tcpdump -nn -vv -r " + testsupport::ShellQuote(file) + " 2>&1", &out), 0) << out;
        EXPECT_EQ(out.find("incorrect"), std::string::npos) << out;
        EXPECT_EQ(out.find("bad"), std::string::npos) << out;
        EXPECT_NE(out.find("192.168.1.2.49877 > 192.168.1.10.1755"), std::string::npos) << out;
        EXPECT_NE(out.find("options [nop,nop,TS val"), std::string::npos) << out;
        if (file == ethernet) {
            EXPECT_NE(out.find("192.168.1.2.50123 > 10.0.0.5.80: Flags [P.], cksum 0x"), std::string::npos) << out;
            EXPECT_NE(out.find("GET /live/show.asf HTTP/1.0"), std::string::npos) << out;
            EXPECT_NE(out.find("options (NOP,NOP,NOP,EOL)"), std::string::npos) << out;
        }
    }
}

TEST(DetectHttp, GetForAsfOnPort80GivesHttpAddress) {
    Detected d = DetectFrames({Frame(HttpGet("/live/show.asf"))});
    EXPECT_EQ(d.result, 0);
    EXPECT_EQ(d.rows, Rows{"http://10.0.0.5/live/show.asf"});
    EXPECT_TRUE(d.messages.empty());
}

struct TargetCase {
    const char* target;
    bool detected;
};

class DetectHttpTarget : public ::testing::TestWithParam<TargetCase> {};

TEST_P(DetectHttpTarget, ExtensionInLastFiveCharacters) {
    const TargetCase& c = GetParam();
    Detected d = DetectFrames({Frame(HttpGet(c.target))});
    if (c.detected) {
        EXPECT_EQ(d.rows, Rows{std::string("http://10.0.0.5") + c.target});
    } else {
        EXPECT_TRUE(d.rows.empty()) << d.rows.front();
    }
}

INSTANTIATE_TEST_SUITE_P(Targets, DetectHttpTarget,
                         ::testing::Values(TargetCase{"/live/show.asf", true}, TargetCase{"/clip.wmv", true},
                                           TargetCase{"/music/song.wma", true}, TargetCase{"/show.asf?", true},
                                           TargetCase{"/show.asfx", true}, TargetCase{"/.asf", true},
                                           TargetCase{"/show.asf?x=1", false}, TargetCase{"/show.asfxy", false},
                                           TargetCase{"/SHOW.ASF", false}, TargetCase{"/clip.Wmv", false},
                                           TargetCase{"/list.asx", false}, TargetCase{"/index.html", false},
                                           TargetCase{"/a.wm", false}));

TEST(DetectHttp, OnlyGetRequestsToPort80) {
    TcpSegment post = HttpGet("/live/show.asf");
    post.payload = AsciiBytes("POST /live/show.asf HTTP/1.0\r\n\r\n");
    TcpSegment lower = HttpGet("/live/show.asf");
    lower.payload = AsciiBytes("get /live/show.asf HTTP/1.0\r\n\r\n");
    TcpSegment reply = HttpGet("/live/show.asf");  // the same bytes coming from port 80
    std::swap(reply.sourcePort, reply.destinationPort);
    Detected d = DetectFrames({Frame(HttpGet("/live/show.asf", 8080)), Frame(HttpGet("/live/show.asf", 1755)),
                               Frame(HttpGet("/live/show.asf", 443)), Frame(post), Frame(lower), Frame(reply)});
    EXPECT_TRUE(d.rows.empty());
}

TEST(DetectHttp, RequestLineWithoutBlankInFrameGivesNothing) {
    TcpSegment s = HttpGet("/live/show.asf");
    s.payload = AsciiBytes("GET /live/show.asf");
    Detected d = DetectFrames({Frame(s)});
    EXPECT_TRUE(d.rows.empty());
}

TEST(DetectHttp, SameAddressReportedOnce) {
    TcpSegment second = HttpGet("/live/show.asf");
    second.sourcePort = 50200;
    Detected d = DetectFrames({Frame(HttpGet("/live/show.asf")), Frame(second), Frame(HttpGet("/live/other.wmv"))});
    EXPECT_EQ(d.rows, (Rows{"http://10.0.0.5/live/show.asf", "http://10.0.0.5/live/other.wmv"}));
}

TEST(DetectHttp, UsesRealHeaderLengths) {
    TcpSegment s = HttpGet("/live/show.asf");
    s.ipOptions = {0x01, 0x01, 0x01, 0x00};  // NOP NOP NOP EOL
    s.tcpOptions = {0x02, 0x04, 0x05, 0xB4, 0x01, 0x03, 0x03, 0x07};
    Detected d = DetectFrames({Frame(s)});
    EXPECT_EQ(d.rows, Rows{"http://10.0.0.5/live/show.asf"});
}

TEST(DetectHttp, FragmentsAreNotExamined) {
    TcpSegment first = HttpGet("/live/show.asf");
    first.fragmentField = 0x2000;  // more fragments follow
    TcpSegment later = HttpGet("/live/show.asf");
    later.fragmentField = 0x0010;
    Detected d = DetectFrames({Frame(first), Frame(later)});
    EXPECT_TRUE(d.rows.empty());
}

TEST(DetectHttp, OtherProtocolsAndNonIpv4FramesAreSkipped) {
    TcpSegment udp = HttpGet("/live/show.asf");
    udp.protocol = 17;
    Bytes ip = BuildIpv4(HttpGet("/live/show.asf"));
    // The same bytes under an ARP or IPv6 EtherType are not IPv4.
    Detected d = DetectFrames({Frame(udp), Ethernet(ip, 0x0806), Ethernet(ip, 0x86DD)});
    EXPECT_TRUE(d.rows.empty());
}

TEST(DetectHttp, ControlCharactersEndNoTarget) {
    TcpSegment s = HttpGet("/live/show.asf");
    s.payload = AsciiBytes("GET /x\r\nHost: a.asf HTTP/1.0\r\n\r\n");
    Detected d = DetectFrames({Frame(s)});
    EXPECT_TRUE(d.rows.empty());
}

struct LinkCase {
    const char* name;
    uint32_t linkType;
    Bytes (*wrap)(const Bytes&);
};

class DetectOnLink : public ::testing::TestWithParam<LinkCase> {};

TEST_P(DetectOnLink, SameRequestsOnEveryFraming) {
    const LinkCase& c = GetParam();
    TcpSegment open = MmsToServer(MmsOpenFile(u"media/clip.asf"));
    Detected d = DetectFrames({c.wrap(BuildIpv4(HttpGet("/live/show.asf"))), c.wrap(BuildIpv4(open))}, c.linkType);
    EXPECT_EQ(d.result, 0);
    EXPECT_TRUE(d.messages.empty()) << d.messages.front();
    EXPECT_EQ(d.rows, (Rows{"http://10.0.0.5/live/show.asf", "mms://192.168.1.10/media/clip.asf"}));
}

INSTANTIATE_TEST_SUITE_P(
    Framings, DetectOnLink,
    ::testing::Values(LinkCase{"Ethernet", kLinkEthernet, [](const Bytes& ip) { return Ethernet(ip); }},
                      LinkCase{"LoopbackEthernet", kLinkEthernet, [](const Bytes& ip) { return Ethernet(ip, 0x0800, true); }},
                      LinkCase{"Vlan", kLinkEthernet, [](const Bytes& ip) { return EthernetVlan(ip, 7); }},
                      LinkCase{"Cooked", kLinkCooked, LinuxCooked},
                      LinkCase{"Cooked2", kLinkCooked2, LinuxCooked2},
                      LinkCase{"NullLittle", kLinkNull, [](const Bytes& ip) { return NullLoopback(ip, true); }},
                      LinkCase{"NullBig", kLinkNull, [](const Bytes& ip) { return NullLoopback(ip, false); }},
                      LinkCase{"Loop", kLinkLoop, LoopLoopback},
                      LinkCase{"Raw", kLinkRaw, [](const Bytes& ip) { return ip; }}),
    [](const ::testing::TestParamInfo<LinkCase>& info) { return std::string(info.param.name); });

TEST(DetectLink, UnreadableLinkTypeIsReported) {
    const uint32_t kLinkIeee80211 = 105;
    Detected d = DetectFrames({Frame(HttpGet("/live/show.asf"))}, kLinkIeee80211);
    EXPECT_EQ(d.result, 1);
    ASSERT_EQ(d.messages.size(), 1u);
    EXPECT_NE(d.messages[0].find("cannot read"), std::string::npos) << d.messages[0];
}

TEST(DetectMms, OpenFileGivesMmsAddress) {
    Detected d = DetectFrames({Frame(MmsToServer(MmsOpenFile(u"media/clip.asf")))});
    EXPECT_EQ(d.rows, Rows{"mms://192.168.1.10/media/clip.asf"});
}

TEST(DetectMms, OpenFileAfterTwelveBytesOfTcpOptions) {
    TcpSegment s = MmsToServer(MmsOpenFile(u"media/clip.asf"));
    s.tcpOptions = TcpTimestamps();
    Detected d = DetectFrames({Frame(s)});
    EXPECT_EQ(d.rows, Rows{"mms://192.168.1.10/media/clip.asf"});
}

TEST(DetectMms, OtherHeaderLengthsAreNotExamined) {
    std::vector<Bytes> frames;
    for (size_t options : {4u, 8u, 16u, 20u}) {
        TcpSegment s = MmsToServer(MmsOpenFile(u"media/clip.asf"));
        s.tcpOptions.assign(options, 0x01);  // NOPs
        frames.push_back(Frame(s));
    }
    TcpSegment withIpOptions = MmsToServer(MmsOpenFile(u"media/clip.asf"));
    withIpOptions.ipOptions = {0x01, 0x01, 0x01, 0x00};
    frames.push_back(Frame(withIpOptions));
    Detected d = DetectFrames(frames);
    EXPECT_TRUE(d.rows.empty());
}

TEST(DetectMms, OnlyCommandsToPort1755) {
    Detected d = DetectFrames({Frame(MmsToServer(MmsOpenFile(u"media/clip.asf"), 1756)),
                               Frame(MmsToServer(MmsOpenFile(u"media/clip.asf"), 80)),
                               Frame(MmsToServer(MmsOpenFile(u"media/clip.asf"), 554))});
    EXPECT_TRUE(d.rows.empty());
}

TEST(DetectMms, OtherCommandsSetAwaitingHeaderOnly) {
    Bytes connectBody(136, 0);
    PutLe32(connectBody, 0, 0xF0F0F0F0);
    Bytes readBlock(48, 0);
    std::string path = TempPath("other-commands.pcap");
    {
        CaptureFileWriter w(path, kLinkEthernet);
        w.Add(Frame(MmsToServer(MmsCommand(0x00030001, connectBody, 0))));
        w.Add(Frame(MmsToServer(MmsCommand(0x00030015, readBlock, 4))));
    }
    RecordingSink sink;
    FrameScanner scanner(sink);
    EXPECT_FALSE(scanner.awaitingHeader());
    ScanFileInto(path, scanner);
    EXPECT_TRUE(sink.Rows().empty());
    EXPECT_TRUE(scanner.awaitingHeader());

    // A frame to another port does not set it.
    RecordingSink sink2;
    FrameScanner other(sink2);
    std::string path2 = TempPath("other-port.pcap");
    {
        CaptureFileWriter w(path2, kLinkEthernet);
        w.Add(Frame(MmsToServer(MmsCommand(0x00030001, connectBody, 0), 1756)));
    }
    ScanFileInto(path2, other);
    EXPECT_FALSE(other.awaitingHeader());
}

TEST(DetectMms, OpenFileSetsAwaitingHeaderToo) {
    std::string path = TempPath("open-awaiting.pcap");
    {
        CaptureFileWriter w(path, kLinkEthernet);
        w.Add(Frame(MmsToServer(MmsOpenFile(u"media/clip.asf"))));
    }
    RecordingSink sink;
    FrameScanner scanner(sink);
    ScanFileInto(path, scanner);
    EXPECT_TRUE(scanner.awaitingHeader());
    EXPECT_EQ(scanner.lastUrl(), "mms://192.168.1.10/media/clip.asf");
}

TEST(DetectMms, MessageLengthMustFitTheFrame) {
    Bytes tooLong = MmsOpenFile(u"media/clip.asf");
    PutLe32(tooLong, 8, uint32_t(tooLong.size()));  // claims 16 bytes more than sent
    Bytes otherMid = MmsOpenFile(u"media/clip.asf");
    PutLe32(otherMid, 36, 0x00030002);
    Bytes huge = MmsOpenFile(u"media/clip.asf");
    PutLe32(huge, 8, 0xFFFFFFF0u);
    Detected d = DetectFrames({Frame(MmsToServer(tooLong)), Frame(MmsToServer(otherMid)), Frame(MmsToServer(huge))});
    EXPECT_TRUE(d.rows.empty());
}

TEST(DetectMms, NameLimitComesFromChunkLen) {
    // chunkLen 5: 5 x 8 - 24 = 16 bytes, so 15 characters and the end mark.
    Bytes limited = MmsOpenFileWithChunkLen(u"media/a-rather-long-name.asf", 5);
    // chunkLen 3 gives 0, below 1, so the whole buffer applies.
    TcpSegment s = MmsToServer(MmsOpenFileWithChunkLen(u"media/clip.asf", 3));
    s.destination = {192, 168, 1, 11};
    Detected d = DetectFrames({Frame(MmsToServer(limited)), Frame(s)});
    EXPECT_EQ(d.rows, (Rows{"mms://192.168.1.10/media/a-rather-", "mms://192.168.1.11/media/clip.asf"}));
}

TEST(DetectMms, NameNeverExceedsTheNameBuffer) {
    std::u16string longName(2000, u'x');
    TcpSegment s = MmsToServer(MmsOpenFileWithChunkLen(longName, 0));
    Detected d = DetectFrames({Frame(s)});
    ASSERT_EQ(d.rows.size(), 1u);
    EXPECT_EQ(d.rows[0], "mms://192.168.1.10/" + std::string(1023, 'x'));
}

TEST(DetectMms, Utf16NameBecomesUtf8) {
    // Korean, a character outside the BMP (a surrogate pair), and a lone
    // surrogate that cannot be converted.
    std::u16string name = u"\uBC29\uC1A1/\U0001D11E-\xD800x.asf";
    Detected d = DetectFrames({Frame(MmsToServer(MmsOpenFile(name)))});
    EXPECT_EQ(d.rows, Rows{"mms://192.168.1.10/\xEB\xB0\xA9\xEC\x86\xA1/\xF0\x9D\x84\x9E-\xEF\xBF\xBDx.asf"});
}

TEST(DetectTruncated, EveryCapturedLengthIsHarmless) {
    // Each request cut to every length from 0 to whole: either nothing is
    // detected or exactly the right address, never anything else.
    const Bytes get = Frame(HttpGet("/live/show.asf"));
    TcpSegment withOptions = MmsToServer(MmsOpenFile(u"media/clip.asf"));
    withOptions.tcpOptions = TcpTimestamps();
    const Bytes open = Frame(MmsToServer(MmsOpenFile(u"media/clip.asf")));
    const Bytes openWithOptions = Frame(withOptions);
    struct Case {
        const Bytes* frame;
        std::string url;
    } cases[] = {{&get, "http://10.0.0.5/live/show.asf"},
                 {&open, "mms://192.168.1.10/media/clip.asf"},
                 {&openWithOptions, "mms://192.168.1.10/media/clip.asf"}};
    for (const Case& c : cases) {
        size_t firstDetected = SIZE_MAX;
        for (size_t len = 0; len <= c.frame->size(); ++len) {
            std::string path = TempPath("cut.pcap");
            {
                CaptureFileWriter w(path, kLinkEthernet);
                w.Add(*c.frame, len);
            }
            Detected d = DetectFile(path);
            ASSERT_LE(d.rows.size(), 1u);
            if (!d.rows.empty()) {
                EXPECT_EQ(d.rows[0], c.url) << "cut at " << len;
                if (firstDetected == SIZE_MAX) firstDetected = len;
            } else {
                EXPECT_EQ(firstDetected, SIZE_MAX) << "lost again at " << len;
            }
        }
        EXPECT_NE(firstDetected, SIZE_MAX) << c.url;
    }
}

TEST(DetectTruncated, AllLinkHeadersCutShort) {
    // Link headers alone and IP and TCP headers cut anywhere, in every
    // framing: nothing before the request's first bytes are there.
    Bytes ip = BuildIpv4(HttpGet("/live/show.asf"));
    struct {
        uint32_t link;
        Bytes frame;
        size_t linkHeader;
    } cases[] = {{kLinkEthernet, Ethernet(ip), 14},       {kLinkEthernet, EthernetVlan(ip, 1), 18},
                 {kLinkCooked, LinuxCooked(ip), 16},      {kLinkCooked2, LinuxCooked2(ip), 20},
                 {kLinkNull, NullLoopback(ip, true), 4}, {kLinkLoop, LoopLoopback(ip), 4},
                 {kLinkRaw, ip, 0}};
    for (auto& c : cases) {
        std::string path = TempPath("cut-link.pcap");
        {
            CaptureFileWriter w(path, c.link);
            for (size_t len = 0; len < c.linkHeader + 44; ++len) w.Add(c.frame, len);
            w.Add(c.frame);
        }
        Detected d = DetectFile(path);
        EXPECT_EQ(d.rows, Rows{"http://10.0.0.5/live/show.asf"}) << c.link;
        EXPECT_EQ(d.result, 0);
    }
}

TEST(DetectDriverBuffer, RecordsOnFourByteBoundaries) {
    // Two frames in the packet driver's receive layout: an 18-byte record
    // header, the frame, and the next record on a multiple of 4.
    const Bytes frames[] = {Frame(HttpGet("/live/show.asf")), Frame(MmsToServer(MmsOpenFile(u"media/clip.asf")))};
    Bytes buffer;
    for (const Bytes& f : frames) {
        size_t start = buffer.size();
        buffer.resize(start + 18, 0);
        PutLe32(buffer, start + 8, uint32_t(f.size()));
        PutLe32(buffer, start + 12, uint32_t(f.size()));
        PutLe16(buffer, start + 16, 18);
        Append(buffer, f);
        while (buffer.size() % 4) buffer.push_back(0xEE);
    }
    RecordingSink sink;
    FrameScanner scanner(sink);
    scanner.ScanCaptureBuffer(buffer.data(), buffer.size());
    EXPECT_EQ(sink.Rows(), (Rows{"http://10.0.0.5/live/show.asf", "mms://192.168.1.10/media/clip.asf"}));
    EXPECT_EQ(scanner.framesScanned(), 2u);

    // Cut anywhere, the buffer yields a prefix of that and nothing else.
    for (size_t len = 0; len < buffer.size(); ++len) {
        Bytes cut(buffer.begin(), buffer.begin() + long(len));
        RecordingSink s;
        FrameScanner sc(s);
        sc.ScanCaptureBuffer(cut.data(), cut.size());
        Rows rows = s.Rows();
        ASSERT_LE(rows.size(), 2u);
        if (!rows.empty()) {
            EXPECT_EQ(rows[0], "http://10.0.0.5/live/show.asf");
        }
    }

    // A cleared capture flag stops the scan before the first record.
    RecordingSink stopped;
    FrameScanner sc(stopped);
    std::atomic<bool> flag{false};
    sc.ScanCaptureBuffer(buffer.data(), buffer.size(), &flag);
    EXPECT_TRUE(stopped.Rows().empty());
}

}  // namespace
}  // namespace larkspan::detecttest
