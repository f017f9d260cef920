// Where frames come from: capture files in the forms other tools write
// (either byte order, nanosecond time stamps, pcapng, cut or damaged), what
// the user is told when capture cannot start, and choosing an interface.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include "detect/AddressDetector.h"
#include "detect/CaptureFileReader.h"
#include "detect/PacketCapture.h"
#include "tests/detect/CaptureBuilder.h"
#include "tests/support/FileContents.h"

namespace larkspan::detecttest {
namespace {

Bytes GetFrame(const std::string& target) {
    TcpSegment s;
    const std::string request = "GET " + target + " HTTP/1.0\r\n\r\n";
    s.payload.assign(request.begin(), request.end());
    return Ethernet(BuildIpv4(s));
}

Detected DetectBytes(const Bytes& file) {
    const std::string path = TempPath("capture");
    EXPECT_TRUE(testsupport::WriteFileBytes(path, file));
    return DetectFile(path);
}

// pcapng: a section header, one Ethernet interface, an enhanced packet block per frame.
Bytes Pcapng(const std::vector<Bytes>& frames) {
    Bytes file;
    auto block = [&](uint32_t type, Bytes body) {
        body.resize((body.size() + 3) / 4 * 4, 0);
        AddLe32(file, type);
        AddLe32(file, uint32_t(12 + body.size()));
        Append(file, body);
        AddLe32(file, uint32_t(12 + body.size()));
    };
    block(0x0A0D0D0A, {0x4D, 0x3C, 0x2B, 0x1A, 1, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF});
    block(1, {uint8_t(kLinkEthernet), 0, 0, 0, 0xFF, 0xFF, 0, 0});
    for (const Bytes& f : frames) {
        Bytes packet(12, 0);
        AddLe32(packet, uint32_t(f.size()));
        AddLe32(packet, uint32_t(f.size()));
        Append(packet, f);
        block(6, packet);
    }
    return file;
}

TEST(CaptureFile, EveryFormReadToTheEnd) {
    std::vector<Bytes> frames(5000, GetFrame("/a.asf"));  // more than one batch of frames
    frames.push_back(GetFrame("/b.wmv"));
    const struct {
        const char* name;
        Bytes file;
    } cases[] = {
        {"little-endian, microseconds", CaptureFile(kLinkEthernet, frames)},
        {"little-endian, nanoseconds", CaptureFile(kLinkEthernet, frames, false, true)},
        {"big-endian, microseconds", CaptureFile(kLinkEthernet, frames, true)},
        {"big-endian, nanoseconds", CaptureFile(kLinkEthernet, frames, true, true)},
        {"pcapng", Pcapng(frames)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Detected d = DetectBytes(c.file);
        EXPECT_EQ(d.result, 0);
        EXPECT_EQ(d.messages, Rows{});
        EXPECT_EQ(d.rows, (Rows{"http://10.0.0.5/a.asf", "http://10.0.0.5/b.wmv"}));
        EXPECT_TRUE(d.stopped);
        EXPECT_FALSE(AddressDetector::CaptureFlag());
    }
}

TEST(CaptureFile, RecordLengthsAndCuts) {
    // The largest record a capture holds, then more frames after it, so that
    // records straddle the reads of the file.
    Bytes big = GetFrame("/big.asf");
    big.resize(CaptureFileReader::kMaxRecordBytes, 0x20);
    std::vector<Bytes> frames;
    Rows expected = {"http://10.0.0.5/big.asf"};
    for (int i = 0; i < 5; ++i) {
        frames.insert(frames.end(), {big, GetFrame("/" + std::to_string(i) + ".asf")});
        expected.push_back("http://10.0.0.5/" + std::to_string(i) + ".asf");
    }
    Detected d = DetectBytes(CaptureFile(kLinkEthernet, frames));
    EXPECT_EQ(d.rows, expected);
    EXPECT_EQ(d.messages, Rows{});

    // One byte more is a damaged file: what came before it counts.
    big.push_back(0x20);
    d = DetectBytes(CaptureFile(kLinkEthernet, {GetFrame("/a.asf"), big, GetFrame("/b.asf")}));
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

class Chooser : public AdapterChooser {
public:
    explicit Chooser(std::optional<size_t> answer) : answer_(answer) {}
    std::optional<size_t> ChooseAdapter(const std::vector<CaptureAdapter>& adapters) override {
        offered.push_back(adapters.size());
        return answer_;
    }
    std::vector<size_t> offered;

private:
    std::optional<size_t> answer_;
};

TEST(Interfaces, TheUserChoosesAmongSeveral) {
    const std::vector<CaptureAdapter> three = {{"eth0", "Ethernet"}, {"any", ""}, {"lo", "Loopback"}};
    const struct {
        const char* name;
        std::vector<CaptureAdapter> adapters;
        std::optional<size_t> answer, chosen;
        std::vector<size_t> offered;
    } cases[] = {
        {"none", {}, 1, 0, {}},
        {"one, taken without asking", {{"eth0", ""}}, 1, 0, {}},
        {"three, the user picks", three, 2, 2, {3}},
        {"three, the user cancels", three, std::nullopt, std::nullopt, {3}},
        {"three, an answer out of range", three, 3, 0, {3}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Chooser chooser(c.answer);
        EXPECT_EQ(ChooseAdapterIndex(c.adapters, &chooser), c.chosen);
        EXPECT_EQ(chooser.offered, c.offered);
    }
    EXPECT_EQ(ChooseAdapterIndex(three, nullptr), std::optional<size_t>(0));
    std::string error;
    const std::vector<CaptureAdapter> listed = ListCaptureAdapters(error);
    EXPECT_LE(listed.size(), 10u);
    for (const CaptureAdapter& a : listed) {
        for (const char* pseudo : {"nflog", "nfqueue", "dbus-", "bluetooth", "usbmon"}) EXPECT_NE(a.name.rfind(pseudo, 0), 0u);
    }
}

TEST(LiveCapture, RefusedWithoutPrivilegesOrOnAnUnknownInterface) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root, to see both refusals";
    // Without root's privileges (in a child process), the message says what to do.
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    const pid_t pid = fork();
    if (pid == 0) {
        std::string m = "could not drop root";
        if (setgid(65534) == 0 && setuid(65534) == 0 && PacketCapture::OpenLive("lo", m)) m = "opened";
        ssize_t ignored = write(fds[1], m.data(), m.size());
        (void)ignored;
        _exit(0);
    }
    close(fds[1]);
    std::string message;
    char buf[4096];
    for (ssize_t n; (n = read(fds[0], buf, sizeof buf)) > 0;) message.append(buf, size_t(n));
    close(fds[0]);
    waitpid(pid, nullptr, 0);
    EXPECT_EQ(message, "Unable to capture on lo: socket: Operation not permitted\n" + CapturePermissionHint());
    EXPECT_NE(CapturePermissionHint().find("\n  sudo setcap cap_net_raw,cap_net_admin=eip /"), std::string::npos);

    RecordingSink sink;
    AddressDetector detector(sink);
    EXPECT_FALSE(detector.StartDetectionOn("nosuchif9"));
    EXPECT_EQ(sink.messages, Rows{"Unable to open the driver, Error Code : fffffffb\n"
                                  "There is no capture interface named \"nosuchif9\"."});
    EXPECT_FALSE(detector.IsRunning());
}

}  // namespace
}  // namespace larkspan::detecttest
