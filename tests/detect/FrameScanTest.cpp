// Requests for stream addresses in single frames: HTTP GETs to port 80 and
// MMS OpenFile commands to port 1755, in every link-layer framing, with
// every header length, cut short, or with hostile fields.
#include <gtest/gtest.h>

#include <atomic>

#include "detect/FrameScanner.h"
#include "detect/Utf16Text.h"
#include "tests/detect/CaptureBuilder.h"

namespace larkspan::detecttest {
namespace {

const char kGetUrl[] = "http://10.0.0.5/live/show.asf";
const char kMmsUrl[] = "mms://192.168.1.10/media/clip.asf";

Bytes Ascii(const std::string& s) { return Bytes(s.begin(), s.end()); }

TcpSegment HttpGet(const std::string& requestLine = "GET /live/show.asf HTTP/1.0") {
    TcpSegment s;
    s.payload = Ascii(requestLine + "\r\nAccept: */*\r\nHost: 10.0.0.5\r\n\r\n");
    return s;
}

TcpSegment ToPort1755(const Bytes& message) {
    TcpSegment s;
    s.destination = {192, 168, 1, 10};
    s.destinationPort = 1755;
    s.payload = message;
    return s;
}

// What one scanner reports for the frames, in order.
Rows Scan(const std::vector<Bytes>& frames, LinkType link = LinkType::Ethernet) {
    RecordingSink sink;
    FrameScanner scanner(sink, link);
    for (const Bytes& f : frames) scanner.ScanFrame(f.data(), f.size());
    EXPECT_EQ(sink.messages, Rows{});
    return sink.rows;
}

Bytes Concat(Bytes a, const Bytes& b) {
    Append(a, b);
    return a;
}

// Each framing with the IPv4 header where it puts it; a request is found
// from the captured length that holds the blank after its target, not one
// byte before.
TEST(FrameScan, EveryLinkLayerAndEveryCapturedLength) {
    const Bytes macs = {2, 0, 0, 0, 0, 1, 2, 0, 0, 0, 0, 2};
    const Bytes cooked = {0, 4, 0, 1, 0, 6, 2, 0, 0, 0, 0, 1, 0, 0};
    const Bytes cooked2 = {0, 0, 0, 0, 0, 0, 2, 0, 1, 4, 6, 2, 0, 0, 0, 0, 1, 0, 0};
    using L = LinkType;
    const struct {
        const char* name;
        LinkType link;
        Bytes header;
        bool ipv4;
    } cases[] = {
        {"Ethernet", L::Ethernet, Concat(macs, {0x08, 0x00}), true},
        {"loopback Ethernet", L::Ethernet, Concat(Bytes(12, 0), {0x08, 0x00}), true},
        {"802.1Q", L::Ethernet, Concat(macs, {0x81, 0x00, 0x00, 0x07, 0x08, 0x00}), true},
        {"802.1ad and 802.1Q", L::Ethernet, Concat(macs, {0x88, 0xA8, 0, 1, 0x81, 0x00, 0, 2, 0x08, 0x00}), true},
        {"three tags", L::Ethernet, Concat(macs, {0x81, 0, 0, 1, 0x81, 0, 0, 2, 0x81, 0, 0, 3, 0x08, 0}), false},
        {"ARP", L::Ethernet, Concat(macs, {0x08, 0x06}), false},
        {"IPv6", L::Ethernet, Concat(macs, {0x86, 0xDD}), false},
        {"Linux cooked", L::LinuxCooked, Concat(cooked, {0x08, 0x00}), true},
        {"Linux cooked, IPv6", L::LinuxCooked, Concat(cooked, {0x86, 0xDD}), false},
        {"Linux cooked v2", L::LinuxCooked2, Concat({0x08}, cooked2), true},
        {"Linux cooked v2, IPv6", L::LinuxCooked2, Concat({0x86, 0xDD}, Bytes(cooked2.begin() + 1, cooked2.end())), false},
        {"BSD loopback, little-endian", L::NullLoopback, {2, 0, 0, 0}, true},
        {"BSD loopback, big-endian", L::NullLoopback, {0, 0, 0, 2}, true},
        {"BSD loopback, IPv6", L::NullLoopback, {24, 0, 0, 0}, false},
        {"OpenBSD loopback", L::LoopLoopback, {0, 0, 0, 2}, true},
        {"OpenBSD loopback, wrong order", L::LoopLoopback, {2, 0, 0, 0}, false},
        {"raw IP", L::RawIp, {}, true},
    };
    const Bytes get = BuildIpv4(HttpGet()), open = BuildIpv4(ToPort1755(MmsOpenFile(u"media/clip.asf")));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Bytes frame = Concat(c.header, get);
        const size_t first = c.header.size() + 40 + std::string("GET /live/show.asf ").size();
        for (size_t length = 0; length <= frame.size(); ++length) {
            const bool found = c.ipv4 && length >= first;
            const Bytes cut(frame.begin(), frame.begin() + long(length));
            EXPECT_EQ(Scan({cut}, c.link), found ? Rows{kGetUrl} : Rows{}) << "captured " << length;
        }
        EXPECT_EQ(Scan({Concat(c.header, open)}, c.link), c.ipv4 ? Rows{kMmsUrl} : Rows{});
    }
}

// HTTP is read at the real header lengths; MMS commands only where minimal
// headers, or a TCP header with the usual 12 bytes of options, put them.
TEST(FrameScan, HeaderLengthsPortsAndFields) {
    const Bytes open = MmsOpenFile(u"media/clip.asf");
    const struct {
        const char* name;
        bool mms;
        size_t ipOptions, tcpOptions;
        uint16_t port, fragmentField;
        uint8_t protocol, versionAndLength;  // 0: as built
        bool found;
    } cases[] = {
        {"HTTP, minimal headers", false, 0, 0, 80, 0x4000, 6, 0, true},
        {"HTTP, options", false, 4, 8, 80, 0x4000, 6, 0, true},
        {"HTTP, longest headers", false, 40, 40, 80, 0, 6, 0, true},
        {"HTTP, first fragment", false, 0, 0, 80, 0x2000, 6, 0, false},
        {"HTTP, later fragment", false, 0, 0, 80, 0x0010, 6, 0, false},
        {"HTTP, UDP", false, 0, 0, 80, 0x4000, 17, 0, false},
        {"HTTP, header length 16", false, 0, 0, 80, 0x4000, 6, 0x44, false},
        {"HTTP, IP version 6", false, 0, 0, 80, 0x4000, 6, 0x65, false},
        {"HTTP to 8080", false, 0, 0, 8080, 0x4000, 6, 0, false},
        {"HTTP to 1755", false, 0, 0, 1755, 0x4000, 6, 0, false},
        {"MMS, minimal headers", true, 0, 0, 1755, 0x4000, 6, 0, true},
        {"MMS, TCP time stamps", true, 0, 12, 1755, 0x4000, 6, 0, true},
        {"MMS, 4 bytes of TCP options", true, 0, 4, 1755, 0x4000, 6, 0, false},
        {"MMS, 8 bytes of TCP options", true, 0, 8, 1755, 0x4000, 6, 0, false},
        {"MMS, 16 bytes of TCP options", true, 0, 16, 1755, 0x4000, 6, 0, false},
        {"MMS, IP options", true, 4, 0, 1755, 0x4000, 6, 0, false},
        {"MMS, first fragment", true, 0, 0, 1755, 0x2000, 6, 0, true},
        {"MMS to 1756", true, 0, 0, 1756, 0x4000, 6, 0, false},
        {"MMS to 80", true, 0, 0, 80, 0x4000, 6, 0, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TcpSegment s = c.mms ? ToPort1755(open) : HttpGet();
        s.ipOptions.assign(c.ipOptions, 0x01);  // NOPs
        s.tcpOptions.assign(c.tcpOptions, 0x01);
        s.destinationPort = c.port;
        s.fragmentField = c.fragmentField;
        s.protocol = c.protocol;
        Bytes frame = Ethernet(BuildIpv4(s));
        if (c.versionAndLength) frame[14] = c.versionAndLength;
        EXPECT_EQ(Scan({frame}), c.found ? Rows{c.mms ? kMmsUrl : kGetUrl} : Rows{});
    }
    // The same request coming from port 80 is a reply, not a request.
    TcpSegment reply = HttpGet();
    std::swap(reply.sourcePort, reply.destinationPort);
    EXPECT_EQ(Scan({Ethernet(BuildIpv4(reply))}), Rows{});
}

TEST(FrameScan, HttpRequestLines) {
    const struct {
        std::string line;
        std::string url;  // "" when nothing is detected
    } cases[] = {
        {"GET /live/show.asf HTTP/1.0", kGetUrl},
        {"GET /clip.wmv HTTP/1.0", "http://10.0.0.5/clip.wmv"},
        {"GET /music/song.wma HTTP/1.0", "http://10.0.0.5/music/song.wma"},
        {"GET /show.asf? HTTP/1.0", "http://10.0.0.5/show.asf?"},  // the extension within the last five
        {"GET /show.asfx HTTP/1.0", "http://10.0.0.5/show.asfx"},
        {"GET /.asf HTTP/1.0", "http://10.0.0.5/.asf"},
        {"GET /show.asfxy HTTP/1.0", ""},
        {"GET /show.asf?x=1 HTTP/1.0", ""},
        {"GET /SHOW.ASF HTTP/1.0", ""},
        {"GET /clip.Wmv HTTP/1.0", ""},
        {"GET /list.asx HTTP/1.0", ""},
        {"GET /a.wm HTTP/1.0", ""},
        {"POST /live/show.asf HTTP/1.0", ""},
        {"get /live/show.asf HTTP/1.0", ""},
        {"GET /x\r\nHost: a.asf HTTP/1.0", ""},  // a control character in the target
        {"GET /x\x7F.asf HTTP/1.0", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        EXPECT_EQ(Scan({Ethernet(BuildIpv4(HttpGet(c.line)))}), c.url.empty() ? Rows{} : Rows{c.url});
    }
    TcpSegment noBlank;
    noBlank.payload = Ascii("GET /live/show.asf");
    EXPECT_EQ(Scan({Ethernet(BuildIpv4(noBlank))}), Rows{});
}

TEST(FrameScan, MmsOpenFileFields) {
    const Bytes open = MmsOpenFile(u"media/clip.asf");
    const uint32_t length = uint32_t(open.size() - 16);  // the message length field
    const std::string xs = "mms://192.168.1.10/" + std::string(1023, 'x');
    const struct {
        const char* name;
        Bytes message;
        uint32_t messageLength;  // 0: as built
        size_t cut;              // bytes the capture leaves off the end
        std::string url;
    } cases[] = {
        {"whole", open, 0, 0, kMmsUrl},
        {"7 bytes more than sent", open, length + 7, 0, kMmsUrl},
        {"8 bytes more than sent", open, length + 8, 0, ""},
        {"nearly 4 GiB", open, 0xFFFFFFF0u, 0, ""},
        {"captured 7 bytes short", open, 0, 7, kMmsUrl},
        {"captured 8 bytes short", open, 0, 8, ""},
        {"another command", MmsCommand(0x00030002, Bytes(40, 0)), 0, 0, ""},
        {"chunk length 5: 16 bytes", MmsOpenFile(u"media/a-rather-long-name.asf", 5), 0, 0,
         "mms://192.168.1.10/media/a-rather-"},
        {"chunk length 4: 8 bytes", MmsOpenFile(u"media/clip.asf", 4), 0, 0, "mms://192.168.1.10/media/c"},
        {"chunk length 3: none, the whole buffer", MmsOpenFile(u"media/clip.asf", 3), 0, 0, kMmsUrl},
        {"chunk length 130: 1016 bytes", MmsOpenFile(std::u16string(2000, u'x'), 130), 0, 0, xs.substr(0, 19 + 1015)},
        {"chunk length 131: the whole buffer", MmsOpenFile(std::u16string(2000, u'x'), 131), 0, 0, xs},
        {"chunk length 0: the whole buffer", MmsOpenFile(std::u16string(2000, u'x'), 0), 0, 0, xs},
        {"UTF-16 name", MmsOpenFile(u"\uBC29/\U0001D11E-\xD800x.asf"), 0, 0,
         "mms://192.168.1.10/\xEB\xB0\xA9/\xF0\x9D\x84\x9E-\xEF\xBF\xBDx.asf"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes message = c.message;
        if (c.messageLength) PutLe32(message, 8, c.messageLength);
        Bytes frame = Ethernet(BuildIpv4(ToPort1755(message)));
        frame.resize(frame.size() - c.cut);
        RecordingSink sink;
        FrameScanner scanner(sink);
        scanner.ScanFrame(frame.data(), frame.size());
        EXPECT_EQ(sink.rows, c.url.empty() ? Rows{} : Rows{c.url});
        // Any command to port 1755 makes the scanner wait for a header.
        EXPECT_TRUE(scanner.awaitingHeader());
        EXPECT_EQ(scanner.lastUrl(), c.url);
    }
}

// An address is reported once; past 4096 remembered addresses the memory
// starts over.
TEST(FrameScan, EachAddressOnceUntilTheMemoryIsFull) {
    for (int distinct : {4096, 4097}) {
        SCOPED_TRACE(distinct);
        RecordingSink sink;
        FrameScanner scanner(sink);
        for (int i = 0; i <= distinct; ++i) {  // then the first again
            const Bytes f = Ethernet(BuildIpv4(HttpGet("GET /" + std::to_string(i % distinct) + ".asf HTTP/1.0")));
            scanner.ScanFrame(f.data(), f.size());
        }
        ASSERT_EQ(sink.rows.size(), distinct == 4096 ? 4096u : 4098u);
        EXPECT_EQ(sink.rows.back(), distinct == 4096 ? "http://10.0.0.5/4095.asf" : "http://10.0.0.5/0.asf");
    }
}

// The packet driver's layout: an 18-byte record header (captured length at
// 8, header length at 16), the frame, the next record on a multiple of 4.
TEST(FrameScan, DriverBufferRecords) {
    const Bytes get = Ethernet(BuildIpv4(HttpGet())), open = Ethernet(BuildIpv4(ToPort1755(MmsOpenFile(u"media/clip.asf"))));
    Bytes buffer;
    for (const Bytes* f : {&get, &open}) {
        buffer.resize((buffer.size() + 3) / 4 * 4 + 18, 0xEE);
        PutLe32(buffer, buffer.size() - 10, uint32_t(f->size()));
        buffer[buffer.size() - 2] = 18;
        buffer[buffer.size() - 1] = 0;
        Append(buffer, *f);
    }
    // Cut anywhere, the buffer yields what its frames cut there yield.
    for (size_t length = 0; length <= buffer.size(); ++length) {
        RecordingSink sink;
        FrameScanner scanner(sink);
        scanner.ScanCaptureBuffer(buffer.data(), length);
        Rows expected;
        if (length >= 18 + 14 + 59) expected.push_back(kGetUrl);
        if (length >= buffer.size() - 7) expected.push_back(kMmsUrl);  // as far as its message length needs
        EXPECT_EQ(sink.rows, expected) << "length " << length;
    }
    RecordingSink sink;
    FrameScanner scanner(sink);
    std::atomic<bool> flag{false};
    scanner.ScanCaptureBuffer(buffer.data(), buffer.size(), &flag);
    EXPECT_EQ(scanner.framesScanned(), 0u);
}

// What the MMS names and the titles above do not reach.
TEST(Utf16Text, ConvertsToUtf8) {
    auto le = [](std::initializer_list<uint16_t> units) {
        Bytes b;
        for (uint16_t u : units) AddLe16(b, u);
        return b;
    };
    const struct {
        Bytes bytes;
        size_t maxUnits;
        std::string utf8;
        size_t consumed;
    } cases[] = {
        {{'a', 0, 'b'}, 100, "a", 1},  // an odd byte left over
        {{}, 100, "", 0},
        {le({'a', 'b', 'c'}), 2, "ab", 2},
        {le({0xDBFF, 0xDFFF}), 10, "\xF4\x8F\xBF\xBF", 2},
        {le({'a', 0xD834, 0xDD1E}), 2, "a\xEF\xBF\xBD", 2},  // a pair cut by the unit limit
        {le({0xD834}), 10, "\xEF\xBF\xBD", 1},
        {le({0xDD1E, 0xD834, 'x'}), 10, "\xEF\xBF\xBD\xEF\xBF\xBDx", 3},
        {le({0xD834, 0, 'x'}), 10, "\xEF\xBF\xBD", 1},
        {le({0xFEFF, 'a'}), 10, "\xEF\xBB\xBF" "a", 2},
    };
    for (const auto& c : cases) {
        std::string out = "old";
        EXPECT_EQ(Utf16LeToUtf8(c.bytes.data(), c.bytes.size(), c.maxUnits, out), c.consumed) << c.utf8;
        EXPECT_EQ(out, c.utf8);
    }
}

}  // namespace
}  // namespace larkspan::detecttest
