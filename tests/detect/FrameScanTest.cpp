// Requests for stream addresses in single frames: HTTP GETs to port 80 and
// MMS OpenFile commands to port 1755, in every link-layer framing, with
// every header length, cut short, or with hostile fields.
#include <gtest/gtest.h>

#include "detect/FrameScanner.h"
#include "tests/detect/CaptureBuilder.h"
#include "tests/support/AsfFileParts.h"

namespace larkspan::detecttest {
namespace {

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

Rows Scan(const Bytes& frame, LinkType link = LinkType::Ethernet) {
    RecordingSink sink;
    FrameScanner scanner(sink, link);
    scanner.ScanFrame(frame.data(), frame.size());
    EXPECT_EQ(sink.messages, Rows{});
    return sink.rows;
}

Bytes Concat(Bytes a, const Bytes& b) {
    Append(a, b);
    return a;
}

// Each framing with the IPv4 header where it puts it; a request is found from the captured
// length that holds the blank after its target, not one byte before.
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
        {"802.1Q", L::Ethernet, Concat(macs, {0x81, 0x00, 0x00, 0x07, 0x08, 0x00}), true},
        {"802.1ad and 802.1Q", L::Ethernet, Concat(macs, {0x88, 0xA8, 0, 1, 0x81, 0x00, 0, 2, 0x08, 0x00}), true},
        {"three tags", L::Ethernet, Concat(macs, {0x81, 0, 0, 1, 0x81, 0, 0, 2, 0x81, 0, 0, 3, 0x08, 0}), false},
        {"ARP", L::Ethernet, Concat(macs, {0x08, 0x06}), false},
        {"IPv6", L::Ethernet, Concat(macs, {0x86, 0xDD}), false},
        {"Linux cooked", L::LinuxCooked, Concat(cooked, {0x08, 0x00}), true},
        {"Linux cooked, IPv6", L::LinuxCooked, Concat(cooked, {0x86, 0xDD}), false},
        {"Linux cooked v2", L::LinuxCooked2, Concat({0x08}, cooked2), true},
        {"Linux cooked v2, IPv6", L::LinuxCooked2, Concat({0x86, 0xDD}, Bytes(cooked2.begin() + 1, cooked2.end())),
         false},
        {"BSD loopback, little-endian", L::NullLoopback, {2, 0, 0, 0}, true},
        {"BSD loopback, big-endian", L::NullLoopback, {0, 0, 0, 2}, true},
        {"BSD loopback, IPv6", L::NullLoopback, {24, 0, 0, 0}, false},
        {"OpenBSD loopback", L::LoopLoopback, {0, 0, 0, 2}, true},
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
            EXPECT_EQ(Scan(cut, c.link), found ? Rows{kGetUrl} : Rows{}) << "captured " << length;
        }
        EXPECT_EQ(Scan(Concat(c.header, open), c.link), c.ipv4 ? Rows{kMmsUrl} : Rows{});
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
        {"HTTP, longest headers", false, 40, 40, 80, 0, 6, 0, true},
        {"HTTP, first fragment", false, 0, 0, 80, 0x2000, 6, 0, false},
        {"HTTP, UDP", false, 0, 0, 80, 0x4000, 17, 0, false},
        {"HTTP, header length 16", false, 0, 0, 80, 0x4000, 6, 0x44, false},
        {"HTTP, IP version 6", false, 0, 0, 80, 0x4000, 6, 0x65, false},
        {"HTTP to 8080", false, 0, 0, 8080, 0x4000, 6, 0, false},
        {"MMS, minimal headers", true, 0, 0, 1755, 0x4000, 6, 0, true},
        {"MMS, TCP time stamps", true, 0, 12, 1755, 0x4000, 6, 0, true},
        {"MMS, 4 bytes of TCP options", true, 0, 4, 1755, 0x4000, 6, 0, false},
        {"MMS, 8 bytes of TCP options", true, 0, 8, 1755, 0x4000, 6, 0, false},
        {"MMS, IP options", true, 4, 0, 1755, 0x4000, 6, 0, false},
        {"MMS, first fragment", true, 0, 0, 1755, 0x2000, 6, 0, true},
        {"MMS to 1756", true, 0, 0, 1756, 0x4000, 6, 0, false},
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
        EXPECT_EQ(Scan(frame), c.found ? Rows{c.mms ? kMmsUrl : kGetUrl} : Rows{});
    }
    // The same request coming from port 80 is a reply, not a request.
    TcpSegment reply = HttpGet();
    std::swap(reply.sourcePort, reply.destinationPort);
    EXPECT_EQ(Scan(Ethernet(BuildIpv4(reply))), Rows{});
}

TEST(FrameScan, HttpRequestLines) {
    const struct {
        std::string line;
        std::string url;  // "" when nothing is detected
    } cases[] = {
        {"GET /live/show.asf HTTP/1.0", kGetUrl},
        {"GET /clip.wmv HTTP/1.0", "http://10.0.0.5/clip.wmv"},
        {"GET /show.asf? HTTP/1.0", "http://10.0.0.5/show.asf?"},  // the extension within the last five
        {"GET /show.asfx HTTP/1.0", "http://10.0.0.5/show.asfx"},
        {"GET /.asf HTTP/1.0", "http://10.0.0.5/.asf"},
        {"GET /show.asfxy HTTP/1.0", ""},
        {"GET /show.asf?x=1 HTTP/1.0", ""},
        {"GET /SHOW.ASF HTTP/1.0", ""},
        {"GET /list.asx HTTP/1.0", ""},
        {"GET /a.wm HTTP/1.0", ""},
        {"POST /live/show.asf HTTP/1.0", ""},
        {"get /live/show.asf HTTP/1.0", ""},
        {"GET /x\r\nHost: a.asf HTTP/1.0", ""},  // a control character in the target
        {"GET /x\x7F.asf HTTP/1.0", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        EXPECT_EQ(Scan(Ethernet(BuildIpv4(HttpGet(c.line)))), c.url.empty() ? Rows{} : Rows{c.url});
    }
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
        {"chunk length 5: 16 bytes", MmsOpenFile(u"media/a-longer.asf", 5), 0, 0, "mms://192.168.1.10/media/a-longer."},
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
        if (c.messageLength) testsupport::PutLE32(message, 8, c.messageLength);
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

}  // namespace
}  // namespace larkspan::detecttest
