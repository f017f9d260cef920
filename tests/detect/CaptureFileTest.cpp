// Capture files in the forms other tools write them: either byte order,
// nanosecond time stamps, pcapng, cut short or damaged.
#include <gtest/gtest.h>

#include <cstdio>

#include "tests/detect/CaptureBuilder.h"
#include "tests/detect/DetectTestSupport.h"
#include "tests/support/FileContents.h"

namespace larkspan::detecttest {
namespace {

using Rows = std::vector<std::string>;

Bytes GetFrame(const std::string& target) {
    TcpSegment s;
    s.destination = {10, 0, 0, 5};
    std::string get = "GET " + target + " HTTP/1.0\r\n\r\n";
    s.payload = Bytes(get.begin(), get.end());
    return Ethernet(BuildIpv4(s));
}

void AddBe32(Bytes& b, uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) b.push_back(uint8_t(v >> shift));
}
void AddBe16(Bytes& b, uint16_t v) {
    b.push_back(uint8_t(v >> 8));
    b.push_back(uint8_t(v));
}

// A classic file with every field big-endian, as written on such a machine.
Bytes BigEndianFile(const std::vector<Bytes>& frames, uint32_t magic) {
    Bytes file;
    AddBe32(file, magic);
    AddBe16(file, 2);
    AddBe16(file, 4);
    AddBe32(file, 0);
    AddBe32(file, 0);
    AddBe32(file, 65535);
    AddBe32(file, kLinkEthernet);
    for (const Bytes& f : frames) {
        AddBe32(file, 1700000000);
        AddBe32(file, 5);
        AddBe32(file, uint32_t(f.size()));
        AddBe32(file, uint32_t(f.size()));
        Append(file, f);
    }
    return file;
}

TEST(CaptureFileForms, BigEndianMicrosecondsAndNanoseconds) {
    for (uint32_t magic : {0xA1B2C3D4u, 0xA1B23C4Du}) {
        std::string path = TempPath("big-endian.pcap");
        ASSERT_TRUE(testsupport::WriteFileBytes(path, BigEndianFile({GetFrame("/a.asf"), GetFrame("/b.wmv")}, magic)));
        Detected d = DetectFile(path);
        EXPECT_EQ(d.result, 0);
        EXPECT_EQ(d.rows, (Rows{"http://10.0.0.5/a.asf", "http://10.0.0.5/b.wmv"})) << std::hex << magic;
    }
}

TEST(CaptureFileForms, LittleEndianNanoseconds) {
    Bytes file;
    AddLe32(file, 0xA1B23C4D);
    AddLe16(file, 2);
    AddLe16(file, 4);
    AddLe32(file, 0);
    AddLe32(file, 0);
    AddLe32(file, 65535);
    AddLe32(file, kLinkEthernet);
    Bytes f = GetFrame("/a.asf");
    AddLe32(file, 1700000000);
    AddLe32(file, 999999999);
    AddLe32(file, uint32_t(f.size()));
    AddLe32(file, uint32_t(f.size()));
    Append(file, f);
    std::string path = TempPath("nano.pcap");
    ASSERT_TRUE(testsupport::WriteFileBytes(path, file));
    EXPECT_EQ(DetectFile(path).rows, Rows{"http://10.0.0.5/a.asf"});
}

TEST(CaptureFileForms, Pcapng) {
    // Section header, one Ethernet interface, two enhanced packet blocks.
    Bytes file;
    auto block = [&](uint32_t type, const Bytes& body) {
        const uint32_t total = uint32_t(12 + body.size());
        AddLe32(file, type);
        AddLe32(file, total);
        Append(file, body);
        AddLe32(file, total);
    };
    Bytes shb;
    AddLe32(shb, 0x1A2B3C4D);
    AddLe16(shb, 1);
    AddLe16(shb, 0);
    AddLe64(shb, ~0ull);
    block(0x0A0D0D0A, shb);
    Bytes idb;
    AddLe16(idb, uint16_t(kLinkEthernet));
    AddLe16(idb, 0);
    AddLe32(idb, 65535);
    block(1, idb);
    for (const char* target : {"/a.asf", "/b.wma"}) {
        Bytes f = GetFrame(target);
        Bytes epb;
        AddLe32(epb, 0);
        AddLe32(epb, 0);
        AddLe32(epb, 0);
        AddLe32(epb, uint32_t(f.size()));
        AddLe32(epb, uint32_t(f.size()));
        Append(epb, f);
        while (epb.size() % 4) epb.push_back(0);
        block(6, epb);
    }
    std::string path = TempPath("capture.pcapng");
    ASSERT_TRUE(testsupport::WriteFileBytes(path, file));
    Detected d = DetectFile(path);
    EXPECT_EQ(d.result, 0);
    EXPECT_TRUE(d.messages.empty()) << d.messages.front();
    EXPECT_EQ(d.rows, (Rows{"http://10.0.0.5/a.asf", "http://10.0.0.5/b.wma"}));
}

TEST(CaptureFileForms, CutInTheLastRecord) {
    std::string path = TempPath("cut-file.pcap");
    {
        CaptureFileWriter w(path, kLinkEthernet);
        w.Add(GetFrame("/a.asf"));
        w.Add(GetFrame("/b.asf"));
    }
    const Bytes whole = testsupport::ReadFileBytes(path);
    const size_t second = 24 + 16 + GetFrame("/a.asf").size();
    for (size_t len = second; len < whole.size(); ++len) {
        ASSERT_TRUE(testsupport::WriteFileBytes(path, Bytes(whole.begin(), whole.begin() + long(len))));
        Detected d = DetectFile(path);
        EXPECT_EQ(d.rows, Rows{"http://10.0.0.5/a.asf"}) << len;
    }
}

TEST(CaptureFileForms, DamagedRecordLengthIsReported) {
    std::string path = TempPath("damaged.pcap");
    {
        CaptureFileWriter w(path, kLinkEthernet);
        w.Add(GetFrame("/a.asf"));
    }
    Bytes bad;
    AddLe32(bad, 1700000000);
    AddLe32(bad, 0);
    AddLe32(bad, 0xFFFFFFF0u);
    AddLe32(bad, 64);
    std::FILE* f = std::fopen(path.c_str(), "ab");
    std::fwrite(bad.data(), 1, bad.size(), f);
    std::fclose(f);
    Detected d = DetectFile(path);
    EXPECT_EQ(d.rows, Rows{"http://10.0.0.5/a.asf"});
    ASSERT_EQ(d.messages.size(), 1u);
    EXPECT_NE(d.messages[0].find("damaged"), std::string::npos) << d.messages[0];
}

TEST(CaptureFileForms, FramesAsLargeAsACaptureHolds) {
    // A frame of the largest snap length, then more frames after it, so
    // that records straddle every read of the file.
    Bytes big = GetFrame("/big.asf");
    big.resize(262144, 0x20);
    std::string path = TempPath("big-frames.pcap");
    {
        CaptureFileWriter w(path, kLinkEthernet);
        for (int i = 0; i < 5; ++i) {
            w.Add(big);
            w.Add(GetFrame("/n" + std::to_string(i) + ".asf"));
        }
    }
    Detected d = DetectFile(path);
    ASSERT_EQ(d.rows.size(), 6u);
    EXPECT_EQ(d.rows[0], "http://10.0.0.5/big.asf");
    EXPECT_EQ(d.rows[5], "http://10.0.0.5/n4.asf");
}

}  // namespace
}  // namespace larkspan::detecttest
