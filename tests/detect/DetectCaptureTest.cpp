// The capture side: choosing an interface, the messages a user sees when
// capture cannot start, and live capture on the loopback interface.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <thread>

#include "detect/AddressDetector.h"
#include "detect/PacketCapture.h"
#include "detect/RunDetection.h"
#include "tests/detect/CaptureBuilder.h"
#include "tests/detect/DetectTestSupport.h"
#include "tests/support/FileContents.h"

namespace larkspan::detecttest {
namespace {

class CountingChooser : public AdapterChooser {
public:
    explicit CountingChooser(std::optional<size_t> answer) : answer_(answer) {}
    std::optional<size_t> ChooseAdapter(const std::vector<CaptureAdapter>& adapters) override {
        ++calls;
        offered = adapters;
        return answer_;
    }
    int calls = 0;
    std::vector<CaptureAdapter> offered;

private:
    std::optional<size_t> answer_;
};

TEST(AdapterChoice, SingleAdapterIsTakenWithoutAsking) {
    CountingChooser chooser(1);
    EXPECT_EQ(ChooseAdapterIndex({{"eth0", ""}}, &chooser), std::optional<size_t>(0));
    EXPECT_EQ(ChooseAdapterIndex({}, &chooser), std::optional<size_t>(0));
    EXPECT_EQ(chooser.calls, 0);
}

TEST(AdapterChoice, SeveralAdaptersAreOfferedInOrder) {
    std::vector<CaptureAdapter> adapters = {{"eth0", "Ethernet"}, {"any", ""}, {"lo", "Loopback"}};
    CountingChooser chooser(2);
    EXPECT_EQ(ChooseAdapterIndex(adapters, &chooser), std::optional<size_t>(2));
    EXPECT_EQ(chooser.calls, 1);
    ASSERT_EQ(chooser.offered.size(), 3u);
    EXPECT_EQ(chooser.offered[0].name, "eth0");
    EXPECT_EQ(chooser.offered[2].name, "lo");

    CountingChooser cancel(std::nullopt);
    EXPECT_EQ(ChooseAdapterIndex(adapters, &cancel), std::nullopt);
    CountingChooser nonsense(7);
    EXPECT_EQ(ChooseAdapterIndex(adapters, &nonsense), std::optional<size_t>(0));
    EXPECT_EQ(ChooseAdapterIndex(adapters, nullptr), std::optional<size_t>(0));
}

TEST(AdapterList, NoPseudoDevicesAndAtMostTen) {
    std::string error;
    std::vector<CaptureAdapter> adapters = ListCaptureAdapters(error);
    if (adapters.empty()) GTEST_SKIP() << "no capture interfaces here: " << error;
    EXPECT_LE(adapters.size(), 10u);
    for (const CaptureAdapter& a : adapters) {
        EXPECT_FALSE(a.name.empty());
        EXPECT_NE(a.name.rfind("nflog", 0), 0u) << a.name;
        EXPECT_NE(a.name.rfind("dbus-", 0), 0u) << a.name;
    }
}

TEST(CaptureFailure, MissingCaptureFile) {
    RecordingSink sink;
    DetectionSource source;
    source.pcapFile = TempPath("does-not-exist.pcap");
    EXPECT_EQ(RunDetection(source, sink), 1);
    auto messages = sink.Messages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_NE(messages[0].find("Unable to read the capture file"), std::string::npos) << messages[0];
}

TEST(CaptureFailure, NotACaptureFile) {
    std::string path = TempPath("not-a-capture.pcap");
    ASSERT_TRUE(testsupport::WriteFileText(path, "this is not a capture file at all, just text\n"));
    Detected d = DetectFile(path);
    EXPECT_EQ(d.result, 1);
    ASSERT_EQ(d.messages.size(), 1u);
}

// Runs fn in a child process without root's privileges and returns what it wrote.
template <class Fn>
std::string InUnprivilegedChild(Fn fn) {
    int fds[2];
    if (pipe(fds) != 0) return "pipe failed";
    pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        if (getuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(3);
        std::string text = fn();
        ssize_t ignored = write(fds[1], text.data(), text.size());
        (void)ignored;
        _exit(0);
    }
    close(fds[1]);
    std::string out;
    char buf[4096];
    ssize_t n;
    while ((n = read(fds[0], buf, sizeof buf)) > 0) out.append(buf, size_t(n));
    close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    return out;
}

TEST(CaptureFailure, WithoutPrivilegesTheMessageSaysWhatToDo) {
    std::string message = InUnprivilegedChild([] {
        std::string m;
        auto capture = PacketCapture::OpenLive("lo", m);
        return capture ? std::string("opened") : m;
    });
    if (message == "opened") GTEST_SKIP() << "this process may capture even without root";
    EXPECT_NE(message.find("CAP_NET_RAW"), std::string::npos) << message;
    EXPECT_NE(message.find("sudo setcap cap_net_raw,cap_net_admin=eip "), std::string::npos) << message;
    EXPECT_EQ(message.find("Please install Capture Driver"), std::string::npos);
}

TEST(CaptureFailure, UnknownInterface) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root: without it every interface is refused the same way";
    RecordingSink sink;
    AddressDetector detector(sink);
    EXPECT_FALSE(detector.StartDetectionOn("nosuchif9"));
    auto messages = sink.Messages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].rfind("Unable to open the driver, Error Code : ", 0), 0u) << messages[0];
    EXPECT_NE(messages[0].find("nosuchif9"), std::string::npos) << messages[0];
    EXPECT_FALSE(detector.IsRunning());
}

TEST(CaptureFile, RunsToTheEndAndReportsTheStop) {
    std::string path = TempPath("to-the-end.pcap");
    {
        CaptureFileWriter w(path, kLinkEthernet);
        TcpSegment s;
        s.destination = {10, 0, 0, 5};
        std::string get = "GET /live/show.asf HTTP/1.0\r\n\r\n";
        s.payload = Bytes(get.begin(), get.end());
        for (int i = 0; i < 10000; ++i) w.Add(Ethernet(BuildIpv4(s)));
    }
    RecordingSink sink;
    AddressDetector detector(sink);
    ASSERT_TRUE(detector.StartDetectionFromFile(path));
    detector.Wait();
    EXPECT_TRUE(sink.Stopped());
    EXPECT_FALSE(detector.IsRunning());
    EXPECT_FALSE(AddressDetector::CaptureFlag());
    EXPECT_EQ(sink.Rows(), std::vector<std::string>{"http://10.0.0.5/live/show.asf"});
}

// --- live capture on the loopback interface ---------------------------------

// A listening socket on 127.0.0.1:port, or -1 when the port is taken.
int Listen(uint16_t port) {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    int one = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || listen(fd, 4) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

int Connect(uint16_t port) {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

void SendAll(int fd, const Bytes& b) {
    size_t at = 0;
    while (at < b.size()) {
        ssize_t n = send(fd, b.data() + at, b.size() - at, MSG_NOSIGNAL);
        if (n <= 0) return;
        at += size_t(n);
    }
}

// Reads until `count` bytes came or the peer closed.
void ReadSome(int fd, size_t count) {
    Bytes buf(count);
    size_t have = 0;
    while (have < count) {
        ssize_t n = recv(fd, buf.data() + have, count - have, 0);
        if (n <= 0) return;
        have += size_t(n);
    }
}

// A player and a server exchanging an MMS OpenFile and the header that
// answers it over 127.0.0.1:1755, and an MMSH describe over 127.0.0.1:80.
void PlayStreamsOnLoopback(int mmsListener, int httpListener) {
    const Bytes header = AsfHeader(u"Loopback Title");
    if (mmsListener >= 0) {
        std::thread server([&] {
            int c = accept(mmsListener, nullptr, nullptr);
            Bytes open = MmsOpenFile(u"media/clip.asf");
            ReadSome(c, open.size());
            Bytes reply = MmsCommand(0x00040006, Bytes(40, 0), 1);
            Append(reply, MmsMediaPacket(0, 2, 0x0C, header));
            SendAll(c, reply);
            ReadSome(c, 1);  // until the player closes
            close(c);
        });
        int p = Connect(1755);
        SendAll(p, MmsOpenFile(u"media/clip.asf"));
        Bytes expect = MmsCommand(0x00040006, Bytes(40, 0), 1);
        ReadSome(p, expect.size() + 8 + header.size());
        close(p);
        server.join();
    }
    if (httpListener >= 0) {
        std::thread server([&] {
            int c = accept(httpListener, nullptr, nullptr);
            std::string request;
            char ch;
            while (request.find("\r\n\r\n") == std::string::npos && recv(c, &ch, 1, 0) == 1) request.push_back(ch);
            std::string head = "HTTP/1.0 200 OK\r\nContent-Type: application/vnd.ms.wms-hdr.asfv1\r\n\r\n";
            Bytes reply(head.begin(), head.end());
            Append(reply, MmshChunk('H', 0x0C, header));
            SendAll(c, reply);
            close(c);
        });
        int p = Connect(80);
        std::string get = "GET /live/show.asf HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n";
        SendAll(p, Bytes(get.begin(), get.end()));
        ReadSome(p, 1 << 20);  // until the server closes
        close(p);
        server.join();
    }
}

class LiveLoopback : public ::testing::TestWithParam<const char*> {};

TEST_P(LiveLoopback, DetectsRequestsAndTitles) {
    if (geteuid() != 0) GTEST_SKIP() << "live capture needs root (or CAP_NET_RAW and CAP_NET_ADMIN); not root here";
    LiveCaptureLock lock;
    const int mms = Listen(1755);
    const int http = Listen(80);
    if (mms < 0 && http < 0) GTEST_SKIP() << "ports 1755 and 80 on 127.0.0.1 are both taken";

    RecordingSink sink;
    AddressDetector detector(sink);
    if (!detector.StartDetectionOn(GetParam())) {
        auto m = sink.Messages();
        if (mms >= 0) close(mms);
        if (http >= 0) close(http);
        GTEST_SKIP() << "cannot capture on " << GetParam() << ": " << (m.empty() ? "" : m[0]);
    }
    PlayStreamsOnLoopback(mms, http);

    std::vector<std::pair<std::string, std::string>> wanted;
    if (mms >= 0) wanted.push_back({"mms://127.0.0.1/media/clip.asf", "Loopback Title"});
    if (http >= 0) wanted.push_back({"http://127.0.0.1/live/show.asf", "Loopback Title"});
    // Frames reach the capture within a read time-out; the limit only
    // keeps a broken capture from hanging the suite.
    EXPECT_TRUE(sink.WaitForAddresses(wanted)) << ::testing::PrintToString(sink.Rows()) << " "
                                        << ::testing::PrintToString(sink.Names());

    detector.StopDetection();
    EXPECT_TRUE(sink.WaitFor([](RecordingSink& s) { return s.stopped(); }, 30));
    detector.Wait();
    EXPECT_FALSE(detector.IsRunning());
    auto rows = sink.Rows();
    for (auto& w : wanted) EXPECT_EQ(std::count(rows.begin(), rows.end(), w.first), 1) << w.first;
    EXPECT_TRUE(sink.Messages().empty()) << sink.Messages()[0];
    if (mms >= 0) close(mms);
    if (http >= 0) close(http);
}

INSTANTIATE_TEST_SUITE_P(Interfaces, LiveLoopback, ::testing::Values("lo", "any"),
                         [](const ::testing::TestParamInfo<const char*>& info) { return std::string(info.param); });

TEST(LiveCapture, StartingARecordingStopsDetection) {
    if (geteuid() != 0) GTEST_SKIP() << "live capture needs root (or CAP_NET_RAW and CAP_NET_ADMIN); not root here";
    RecordingSink sink;
    AddressDetector detector(sink);
    ASSERT_TRUE(detector.StartDetectionOn("lo")) << sink.Messages()[0];
    EXPECT_TRUE(detector.IsRunning());
    AddressDetector::ClearCaptureFlag();  // what the start of a recording does
    const bool stopped = sink.WaitFor([](RecordingSink& s) { return s.stopped(); }, 30);
    EXPECT_TRUE(stopped);
    if (!stopped) detector.StopDetection();  // so that a failure does not hang in Wait
    detector.Wait();
    EXPECT_FALSE(detector.IsRunning());
}

}  // namespace
}  // namespace larkspan::detecttest
