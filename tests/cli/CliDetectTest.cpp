// `larkspan-rec --detect --pcap FILE`: addresses requested in a capture file
// are printed once each, in the order they were requested.
#include <gtest/gtest.h>

#include "tests/cli/CliFixture.h"
#include "tests/detect/CaptureBuilder.h"

namespace larkspan::e2e {
namespace {

using namespace larkspan::detecttest;

Bytes Ascii(const std::string& text) { return Bytes(text.begin(), text.end()); }

Bytes HttpGet(Ipv4Address server, const std::string& target) {
    TcpSegment s;
    s.destination = server;
    s.destinationPort = 80;
    s.payload = Ascii("GET " + target + " HTTP/1.0\r\nUser-Agent: NSPlayer/9.0\r\n\r\n");
    return Ethernet(BuildIpv4(s));
}

class CliDetect : public CliTest {};

TEST_F(CliDetect, PrintsEachAddressOfACaptureFileOnce) {
    const std::string pcap = Out("traffic.pcap");
    {
        CaptureFileWriter writer(pcap, kLinkEthernet);
        writer.Add(HttpGet({10, 0, 0, 5}, "/live/show.asf"));
        writer.Add(HttpGet({10, 0, 0, 5}, "/live/show.asf"));  // asked again: printed once
        writer.Add(HttpGet({10, 0, 0, 6}, "/index.html"));     // not a stream
        TcpSegment mms;
        mms.destination = {192, 168, 1, 10};
        mms.destinationPort = 1755;
        mms.payload = MmsOpenFile(u"media/clip.asf");
        writer.Add(Ethernet(BuildIpv4(mms)));
        writer.Close();
    }
    auto p = Rec({"--detect", "--pcap", pcap});
    EXPECT_EQ(p->ExitCode(), 0) << Report(*p);
    EXPECT_EQ(p->Out(), "http://10.0.0.5/live/show.asf\nmms://192.168.1.10/media/clip.asf\n") << Report(*p);
}

TEST_F(CliDetect, MissingCaptureFileFailsWithItsReason) {
    auto p = Rec({"--detect", "--pcap", Out("absent.pcap")});
    EXPECT_EQ(p->ExitCode(), 1) << Report(*p);
    EXPECT_NE(p->Err().find("larkspan-rec: "), std::string::npos) << Report(*p);
    EXPECT_EQ(p->Out(), "");
}

TEST_F(CliDetect, DetectTakesNoSources) {
    auto p = Rec({"--detect", "http://127.0.0.1:1/x.asf"});
    EXPECT_EQ(p->ExitCode(), 2) << Report(*p);
}

}  // namespace
}  // namespace larkspan::e2e
