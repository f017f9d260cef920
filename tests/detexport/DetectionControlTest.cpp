// Detection started from the menu: rows and titles from a capture file, the
// Start entry's state following the capture thread, the stop when a
// recording starts, and what the user is told when capture cannot start.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTest>

#include <fcntl.h>
#include <linux/capability.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include "recorder/SettingsProfile.h"
#include "tests/detect/CaptureSessions.h"
#include "tests/support/TempFolder.h"
#include "ui/recorder/DetectionControl.h"
#include "ui/recorder/RecordList.h"

namespace larkspan {
namespace {

using detecttest::Bytes;

// Takes CAP_NET_RAW and CAP_NET_ADMIN out of this thread's effective set
// while it lives, so opening an interface is refused even for root.
class WithoutCaptureRights {
public:
    WithoutCaptureRights() {
        syscall(SYS_capget, &header_, saved_);
        __user_cap_data_struct reduced[2] = {saved_[0], saved_[1]};
        reduced[0].effective &= ~((1u << CAP_NET_RAW) | (1u << CAP_NET_ADMIN));
        syscall(SYS_capset, &header_, reduced);
    }
    ~WithoutCaptureRights() { syscall(SYS_capset, &header_, saved_); }
    static bool Held() {
        __user_cap_header_struct h{_LINUX_CAPABILITY_VERSION_3, 0};
        __user_cap_data_struct d[2]{};
        syscall(SYS_capget, &h, d);
        return (d[0].effective & (1u << CAP_NET_RAW)) != 0;
    }

private:
    __user_cap_header_struct header_{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct saved_[2]{};
};

class DetectionControlTest : public ::testing::Test {
protected:
    void SetUp() override {
        RecorderSettings settings;
        settings.baseDir = folder_.Path();
        list_.SetSettings(settings);
        control_.SetMessageHook([this](const QString& text) { messages_.push_back(text); });
        QObject::connect(&control_, &DetectionControl::runningChanged, [this](bool on) { running_.push_back(on); });
    }
    void Write(const std::string& path, const Bytes& bytes) {
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ASSERT_EQ(::write(fd, bytes.data(), bytes.size()), ssize_t(bytes.size()));
        ::close(fd);
    }
    static bool WaitFor(const std::function<bool()>& pred) { return QTest::qWaitFor(pred, 20000); }
    QString Cell(int row, int column) { return list_.Model()->Text(row, column); }

    testsupport::TempFolder folder_{"detexport"};
    RecordList list_;
    MemoryProfile profile_;
    DetectionControl control_{list_, profile_};
    std::vector<QString> messages_;
    std::vector<bool> running_;
};

TEST_F(DetectionControlTest, CaptureFileAddsEachAddressOnceWithItsTitle) {
    detecttest::Session http = detecttest::MmshSession();
    http.ServerSendsInSegments(detecttest::MmshResponse(detecttest::AsfHeader(u"Harbour Lights")), 1448);
    std::vector<Bytes> frames = http.frames;
    for (const Bytes& f : detecttest::MmsSession().frames) frames.push_back(f);
    for (const Bytes& f : detecttest::MmshSession(49900).frames) frames.push_back(f);  // the same address again
    const std::string path = folder_.File("session.pcap");
    Write(path, detecttest::CaptureFile(detecttest::kLinkEthernet, frames));

    control_.SetCaptureFile(QString::fromStdString(path));
    control_.Start();
    EXPECT_TRUE(control_.IsRunning());
    ASSERT_TRUE(WaitFor([&] { return running_.size() == 2; }));
    EXPECT_EQ(running_, (std::vector<bool>{true, false}));
    EXPECT_FALSE(control_.IsRunning());
    ASSERT_EQ(list_.Model()->Count(), 2);
    const struct {
        QString source, name;
    } rows[] = {{detecttest::kGetUrl, "Harbour Lights"}, {detecttest::kMmsUrl, ""}};
    for (int r = 0; r < 2; ++r) {
        EXPECT_EQ(Cell(r, RecordListModel::kSource), rows[r].source);
        EXPECT_EQ(Cell(r, RecordListModel::kName), rows[r].name);
        EXPECT_EQ(Cell(r, RecordListModel::kRecTime), "0");
    }
    EXPECT_TRUE(list_.RecentList().isEmpty());
    EXPECT_EQ(messages_, std::vector<QString>{});

    // Start is available again and reads the file anew; the rows stay as they are.
    control_.Start();
    ASSERT_TRUE(WaitFor([&] { return running_.size() == 4; }));
    EXPECT_EQ(list_.Model()->Count(), 2);
}

// The capture reads a pipe that stays open: only the stop ends it.
TEST_F(DetectionControlTest, StartingARecordingStopsDetection) {
    const std::string pipe = folder_.File("live.pcap");
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    const int fd = ::open(pipe.c_str(), O_RDWR);  // does not wait for a reader
    ASSERT_GE(fd, 0);
    auto send = [&](const Bytes& bytes) { ASSERT_EQ(::write(fd, bytes.data(), bytes.size()), ssize_t(bytes.size())); };
    send(detecttest::CaptureFile(detecttest::kLinkEthernet, detecttest::MmshSession().frames));

    control_.SetCaptureFile(QString::fromStdString(pipe));
    control_.Start();
    ASSERT_TRUE(WaitFor([&] { return list_.Model()->Count() == 1; }));
    EXPECT_EQ(running_, std::vector<bool>{true});

    const int row = list_.AddRow("http://127.0.0.1:9/none.asf", "", "0");
    ASSERT_TRUE(list_.StartRecording(row));
    // A frame that detects nothing wakes the capture thread up; the cleared
    // flag then ends it.
    detecttest::TcpSegment other;
    other.destinationPort = 8080;
    const Bytes more = detecttest::CaptureFile(detecttest::kLinkEthernet, {detecttest::Ethernet(detecttest::BuildIpv4(other))});
    send(Bytes(more.begin() + 24, more.end()));  // the record without the file header
    EXPECT_TRUE(WaitFor([&] { return running_.size() == 2; }));
    EXPECT_EQ(running_, (std::vector<bool>{true, false}));
    ::close(fd);
}

TEST_F(DetectionControlTest, InterfaceThatCannotBeOpened) {
    EXPECT_EQ(DetectionControl::PermissionMessage(),
              "Capturing needs the right to capture packets. Grant it once with: "
              "sudo setcap cap_net_raw,cap_net_admin=eip " +
                  QCoreApplication::applicationFilePath());
    const struct {
        const char* interfaceName;
        bool dropRights;  // otherwise the row needs them
        QString message;
    } cases[] = {
        {"lo", true, DetectionControl::PermissionMessage()},
        {"nosuchdev0", false,
         "Unable to open the driver, Error Code : fffffffb\nThere is no capture interface named \"nosuchdev0\"."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.interfaceName);
        if (!c.dropRights && !WithoutCaptureRights::Held()) continue;  // capturing is refused before the name
        messages_.clear();
        control_.SetCaptureInterface(c.interfaceName);
        {
            std::optional<WithoutCaptureRights> without;
            if (c.dropRights) without.emplace();
            control_.Start();
        }
        EXPECT_FALSE(control_.IsRunning());
        ASSERT_TRUE(WaitFor([&] { return !messages_.empty(); }));
        EXPECT_EQ(messages_, std::vector<QString>{c.message});
    }
    EXPECT_EQ(running_, std::vector<bool>{});
}

}  // namespace
}  // namespace larkspan
