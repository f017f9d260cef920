// Where frames come from: capture files in the forms other tools write
// (either byte order, nanosecond time stamps, cut or damaged), what the user
// is told when one cannot be read, and choosing an interface.
#include <gtest/gtest.h>

#include "detect/AddressDetector.h"
#include "detect/CaptureFileReader.h"
#include "detect/PacketCapture.h"
#include "tests/detect/CaptureBuilder.h"
#include "tests/support/FileContents.h"

namespace larkspan::detecttest {
namespace {

Bytes GetFrame(const std::string& target) {
    TcpSegment s;
    s.payload = Ascii("GET " + target + " HTTP/1.0\r\n\r\n");
    return Ethernet(BuildIpv4(s));
}

TEST(CaptureFile, EveryFormReadToTheEnd) {
    std::vector<Bytes> frames(5000, GetFrame("/a.asf"));  // more than one batch of frames
    frames.push_back(GetFrame("/b.wmv"));
    for (bool bigEndian : {false, true}) {
        for (bool nanoseconds : {false, true}) {
            SCOPED_TRACE(testing::Message() << "big-endian " << bigEndian << ", nanoseconds " << nanoseconds);
            Detected d = DetectBytes(CaptureFile(kLinkEthernet, frames, bigEndian, nanoseconds));
            EXPECT_EQ(d.result, 0);
            EXPECT_EQ(d.messages, Rows{});
            EXPECT_EQ(d.rows, (Rows{"http://10.0.0.5/a.asf", "http://10.0.0.5/b.wmv"}));
            EXPECT_TRUE(d.stopped);
            EXPECT_FALSE(AddressDetector::CaptureFlag());
        }
    }
}

TEST(CaptureFile, RecordLengthsAndCuts) {
    // Records as large as a capture holds, straddling the reads of the file.
    Bytes big = GetFrame("/big.asf");
    big.resize(CaptureFileReader::kMaxRecordBytes, 0x20);
    std::vector<Bytes> frames;
    Rows expected = {"http://10.0.0.5/big.asf"};
    for (int i = 0; i < 5; ++i) {
        frames.insert(frames.end(), {big, GetFrame("/" + std::to_string(i) + ".asf")});
        expected.push_back("http://10.0.0.5/" + std::to_string(i) + ".asf");
    }
    Detected d = DetectFrames(frames);
    EXPECT_EQ(d.rows, expected);
    EXPECT_EQ(d.messages, Rows{});

    // One byte more is a damaged file: what came before it counts.
    big.push_back(0x20);
    d = DetectFrames({GetFrame("/a.asf"), big, GetFrame("/b.asf")});
    EXPECT_EQ(d.rows, Rows{"http://10.0.0.5/a.asf"});
    EXPECT_EQ(d.messages, Rows{"The capture file is damaged: a frame claims 262145 bytes."});
    EXPECT_TRUE(d.stopped);

    // A file cut anywhere in its last record gives the records before it.
    const Bytes whole = CaptureFile(kLinkEthernet, {GetFrame("/a.asf"), GetFrame("/b.asf")});
    for (size_t length = 24 + 16 + GetFrame("/a.asf").size(); length < whole.size(); ++length) {
        d = DetectBytes(Bytes(whole.begin(), whole.begin() + long(length)));
        EXPECT_EQ(d.rows, Rows{"http://10.0.0.5/a.asf"}) << length;
        EXPECT_EQ(d.messages, Rows{}) << length;
    }
}

TEST(CaptureFile, FailuresSayWhy) {
    const std::string missing = TempPath("absent.pcap"), text = TempPath("text.pcap"), wifi = TempPath("wifi.pcap");
    ASSERT_TRUE(testsupport::WriteFileText(text, "this is not a capture file at all, just text\n"));
    ASSERT_TRUE(testsupport::WriteFileBytes(wifi, CaptureFile(105, {GetFrame("/a.asf")})));
    const struct {
        std::string path, message;
    } cases[] = {
        {missing, "Unable to read the capture file " + missing + ": No such file or directory"},
        {text, "Unable to read the capture file " + text + ": unknown file format"},
        {wifi, "The capture file " + wifi + " holds frames of link type IEEE802_11, which address detection "
                                            "cannot read."},
    };
    for (const auto& c : cases) {
        Detected d = DetectFile(c.path);
        EXPECT_EQ(d.result, 1);
        EXPECT_EQ(d.messages, Rows{c.message});
        EXPECT_FALSE(d.stopped);
    }
}

struct Chooser : AdapterChooser {
    std::optional<size_t> answer;
    std::vector<size_t> offered;  // how many adapters each question offered
    std::optional<size_t> ChooseAdapter(const std::vector<CaptureAdapter>& adapters) override {
        offered.push_back(adapters.size());
        return answer;
    }
};

TEST(Interfaces, TheUserChoosesAmongSeveral) {
    const std::vector<CaptureAdapter> three = {{"eth0", "Ethernet"}, {"any", ""}, {"lo", "Loopback"}};
    Chooser chooser;
    chooser.answer = 2;
    EXPECT_EQ(ChooseAdapterIndex({}, &chooser), std::optional<size_t>(0));
    EXPECT_EQ(ChooseAdapterIndex({{"eth0", ""}}, &chooser), std::optional<size_t>(0));
    EXPECT_EQ(chooser.offered, std::vector<size_t>{});  // with one or none nobody is asked
    EXPECT_EQ(ChooseAdapterIndex(three, &chooser), std::optional<size_t>(2));
    EXPECT_EQ(chooser.offered, std::vector<size_t>{3});
    chooser.answer = 3;  // out of range: the first
    EXPECT_EQ(ChooseAdapterIndex(three, &chooser), std::optional<size_t>(0));
    chooser.answer = std::nullopt;  // cancelled
    EXPECT_EQ(ChooseAdapterIndex(three, &chooser), std::nullopt);
    EXPECT_EQ(ChooseAdapterIndex(three, nullptr), std::optional<size_t>(0));
}

}  // namespace
}  // namespace larkspan::detecttest
