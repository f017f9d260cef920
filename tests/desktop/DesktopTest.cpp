// The desktop program put together: hand-off to a running instance, the lone
// player, closing while recordings run, what a restart keeps, preferences.

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QProcess>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <cstdio>

#include "recorder/SettingsProfile.h"
#include "tests/support/AsfFileParts.h"
#include "tests/support/FileContents.h"
#include "tests/support/MuteListener.h"
#include "tests/support/RecordedFiles.h"
#include "tests/support/Samples.h"
#include "tests/support/TempFolder.h"
#include "tools/server/LoopbackServer.h"
#include "ui/main/Desktop.h"
#include "ui/mainwin/CommandId.h"
#include "ui/mainwin/RecorderWindow.h"
#include "ui/mainwin/UrlOpenDialog.h"
#include "ui/player/PlayerWindow.h"
#include "ui/prefs/PreferencesDialog.h"
#include "ui/recorder/RecordList.h"
#include "ui/recorder/RecordListWindow.h"
#include "ui/skin/SkinSlider.h"

namespace larkspan {
namespace {

constexpr int kWaitMs = 20000;  // only against hanging

// Holds every question without answering it.
struct SilentPresenter : QuestionPresenter {
    void Present(const std::shared_ptr<WorkerQuestion>&) override { ++asked; }
    int asked = 0;
};

using testsupport::MuteListener;

class DesktopTest : public ::testing::Test {
protected:
    void SetUp() override {
        samples_ = testsupport::SamplesDir();
        if (samples_.empty()) GTEST_SKIP() << testsupport::SamplesError();
        profile_.WriteString("settings", "base dir", base_.Path());
    }
    std::unique_ptr<Desktop> Make() {
        Desktop::Options options;
        options.engine.fakeAudioOutput = true;
        return std::make_unique<Desktop>(profile_, options);
    }
    static SkinSlider* Slider(Desktop& d, int id) { return static_cast<SkinSlider*>(d.MainWindow()->control(id)); }
    static bool WaitFor(const std::function<bool()>& pred) { return QTest::qWaitFor(pred, kWaitMs); }

    std::string samples_;
    testsupport::TempFolder base_{"desktop"};
    MemoryProfile profile_;
};

TEST_F(DesktopTest, LaterRecordStartRecordsInTheRunningInstance) {
    testsupport::AsfFileParts audio;
    ASSERT_TRUE(testsupport::SplitAsfFile(samples_ + "/audio.asf", audio));
    testserver::LoopbackServer server;
    ASSERT_TRUE(server.ServeFile("song.asf", samples_ + "/audio.asf"));
    ASSERT_TRUE(server.StartMmsh());

    QTemporaryDir home;
    QSettings(home.filePath(QStringLiteral("config/Brellow/Larkspan Recorder.conf")), QSettings::IniFormat)
        .setValue(QStringLiteral("settings/base dir"), QString::fromStdString(base_.Path()));
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("HOME"), home.path());
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), home.filePath(QStringLiteral("config")));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), home.path());
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    auto launch = [&](QProcess& process, const QStringList& args) {
        process.setProcessEnvironment(env);
        process.start(QStringLiteral(LARKSPAN_DESKTOP_PROGRAM), args);
        ASSERT_TRUE(process.waitForStarted(kWaitMs));
    };
    QProcess running;
    launch(running, {});
    QByteArray out;
    ASSERT_TRUE(WaitFor([&] {
        out += running.readAllStandardOutput();
        return out.contains("open request: mode=1 source= name= time=0\n");
    }));

    QProcess later;
    launch(later, {QStringLiteral("/Rec"), QString::fromStdString(server.MmshUrl("song.asf"))});
    ASSERT_TRUE(later.waitForFinished(kWaitMs));
    EXPECT_EQ(later.exitCode(), 0);
    const std::vector<uint8_t> expected = testsupport::RecordedFile(audio, audio.packets.size());
    EXPECT_TRUE(WaitFor([&] { return testsupport::ReadFileBytes(base_.File("song.asf")) == expected; }));
    running.kill();
    running.waitForFinished(kWaitMs);
}

TEST_F(DesktopTest, ExplicitPlayShowsThePlayerAloneAndEndsWithIt) {
    auto d = Make();
    QSignalSpy finished(d.get(), &Desktop::finished);
    d->ShowPlayerAlone(QString::fromStdString(samples_ + "/audio.asf"));
    ASSERT_TRUE(WaitFor([&] { return d->Player()->State() == PlayerState::Playing; }));
    EXPECT_TRUE(d->Player()->isVisible());  // sound only, yet on screen: closing it ends the program
    EXPECT_FALSE(d->MainWindow()->isVisible());
    EXPECT_FALSE(d->ListWindow()->isVisible());
    d->Player()->close();
    ASSERT_TRUE(WaitFor([&] { return finished.count() == 1; }));
    EXPECT_FALSE(d->Player()->isVisible());
    EXPECT_EQ(d->Player()->State(), PlayerState::Stopped);
}

// Six live streams, two connections that never hear back, two overwrite
// questions nobody answers: closing the panel ends them all and leaves
// every file whole.
TEST_F(DesktopTest, ClosingWhileTenRecordingsRunLeavesConsistentFiles) {
    testserver::LoopbackServer server;
    testserver::StreamOptions live{.live = true, .repeat = 0, .pacing = testserver::Pacing::Realtime};
    ASSERT_TRUE(server.ServeFile("live.asf", samples_ + "/clip.asf", live));
    ASSERT_TRUE(server.StartMmsh());
    MuteListener mute;
    for (const char* name : {"q1.asf", "q2.asf"}) testsupport::WriteFileText(base_.File(name), "older");

    auto d = Make();
    d->ShowMain(1, QString());
    SilentPresenter presenter;
    d->List()->Bridge()->SetPresenter(&presenter);
    const QString muteUrl = QStringLiteral("http://127.0.0.1:%1/").arg(mute.port);
    const std::vector<std::pair<QString, QString>> rows = {
        {"live1", "live.asf?1"}, {"live2", "live.asf?2"}, {"live3", "live.asf?3"}, {"live4", "live.asf?4"},
        {"live5", "live.asf?5"}, {"live6", "live.asf?6"}, {"mute1", muteUrl + "a"}, {"mute2", muteUrl + "b"},
        {"q1", "live.asf?q1"},   {"q2", "live.asf?q2"},
    };
    for (const auto& [name, path] : rows) {
        const QString url = path.startsWith("http") ? path : QString::fromStdString(server.MmshUrl(path.toStdString()));
        const int row = d->List()->AddRow(url, name, QStringLiteral("0"));
        ASSERT_TRUE(d->List()->StartRecording(row)) << name.toStdString();
    }
    auto* model = d->List()->Model();
    ASSERT_TRUE(WaitFor([&] {
        for (int row = 0; row < 6; ++row)  // a second of the stream and more
            if (model->Text(row, RecordListModel::kKByte).toInt() < 40) return false;
        return model->Text(6, RecordListModel::kTime) == "Connecting" &&
               model->Text(7, RecordListModel::kTime) == "Connecting" && presenter.asked == 1 &&
               d->List()->Bridge()->PendingQuestions() == 2;
    }));

    QSignalSpy finished(d.get(), &Desktop::finished);
    QElapsedTimer clock;
    clock.start();
    EXPECT_TRUE(d->MainWindow()->close());
    const qint64 closeMs = clock.elapsed();
    std::printf("closing the panel with ten recordings took %lld ms\n", static_cast<long long>(closeMs));
    RecordProperty("close_ms", static_cast<int>(closeMs));
    ASSERT_TRUE(WaitFor([&] { return finished.count() == 1; }));
    EXPECT_EQ(d->List()->WorkerCount(), 0);
    EXPECT_EQ(d->List()->Bridge()->PendingQuestions(), 0);
    ASSERT_TRUE(CmmsThread::WaitForReleasedWorkers(std::chrono::milliseconds(kWaitMs)));

    for (int i = 1; i <= 6; ++i) {
        const std::string path = base_.File("live" + std::to_string(i) + ".asf");
        SCOPED_TRACE(path);
        testsupport::AsfFileParts parts;
        std::string error;
        ASSERT_TRUE(testsupport::SplitAsfFile(path, parts, &error)) << error;
        EXPECT_FALSE(parts.packets.empty());
        EXPECT_TRUE(parts.trailer.empty());
        const uint64_t size = parts.header.size() + parts.packets.size() * uint64_t(parts.packetSize);
        EXPECT_EQ(testsupport::GetLE64(parts.header, parts.filePropertiesOffset + testsupport::kFilePropertiesFileSize),
                  size);
    }
    for (const char* name : {"q1.asf", "q2.asf"}) EXPECT_EQ(testsupport::ReadFileText(base_.File(name)), "older");
    for (const char* name : {"mute1.asf", "mute2.asf"}) EXPECT_EQ(testsupport::ReadFileText(base_.File(name)), "");
}

TEST_F(DesktopTest, PlacesAndLevelsSurviveARestart) {
    {
        auto d = Make();
        d->ShowMain(1, QString());
        d->MainWindow()->move(120, 80);
        EXPECT_EQ(d->ListWindow()->pos(), QPoint(120, 80 + Desktop::kListWindowOffset));
        Slider(*d, kCtlVolumeSlider)->setValue(3000);
        Slider(*d, kCtlBalanceSlider)->setValue(150);
        d->Player()->move(400, 90);
        d->MainWindow()->close();
    }
    auto d = Make();
    d->ShowMain(1, QString());
    EXPECT_EQ(d->MainWindow()->pos(), QPoint(120, 80));
    EXPECT_EQ(d->ListWindow()->pos(), QPoint(120, 80 + Desktop::kListWindowOffset));
    EXPECT_EQ(Slider(*d, kCtlVolumeSlider)->value(), 3000);
    EXPECT_EQ(Slider(*d, kCtlBalanceSlider)->value(), 150);
    EXPECT_EQ(d->Player()->Engine().GetVolume(), -2000);
    EXPECT_EQ(d->Player()->pos(), QPoint(400, 90));
}

TEST_F(DesktopTest, PreferencesOkSavesAndDeletedRecentListsStayDeleted) {
    UrlOpenDialog::SaveHistory(profile_, {QStringLiteral("mms://127.0.0.1/typed")});
    profile_.WriteString("FileMRUList\\url", "File0", "mms://127.0.0.1/old");
    auto d = Make();
    d->ShowMain(1, QString());
    d->MainWindow()->NoteRecentSource(QStringLiteral("mms://127.0.0.1/new"));

    d->MainWindow()->ExecuteCommand(kCmdPreferences);
    ASSERT_NE(d->Preferences(), nullptr);
    d->Preferences()->findChild<QCheckBox*>(QStringLiteral("repeat"))->setChecked(true);
    d->Preferences()->findChild<QAbstractButton*>(QStringLiteral("ok"))->click();
    EXPECT_EQ(profile_.GetInt("settings", "Repeat", 0), 1);
    EXPECT_EQ(d->List()->Settings().repeat, 1);
    EXPECT_EQ(d->MainWindow()->recentList().Entries(),
              (std::vector<std::string>{"mms://127.0.0.1/new", "mms://127.0.0.1/old"}));

    d->MainWindow()->ExecuteCommand(kCmdPreferences);
    PreferencesDialog* dialog = d->Preferences();
    ASSERT_TRUE(dialog && dialog->isVisible());
    QTimer::singleShot(0, dialog, [] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget()))
            box->button(QMessageBox::Yes)->click();
    });
    dialog->findChild<QAbstractButton*>(QStringLiteral("deleteRecent"))->click();
    dialog->findChild<QAbstractButton*>(QStringLiteral("cancel"))->click();
    EXPECT_TRUE(d->MainWindow()->recentList().Entries().empty());
    d->MainWindow()->close();
    d.reset();
    EXPECT_EQ(profile_.GetString("FileMRUList\\url", "File0", ""), "");
    EXPECT_EQ(profile_.GetString("RecentUrl\\Url", "item0", ""), "");
    EXPECT_EQ(profile_.GetInt("settings", "Repeat", 0), 1);
}

// Save is offered for stream rows only; Copy to Clipboard copies any row.
TEST_F(DesktopTest, MenuCommandsActOnTheSelectedRow) {
    auto d = Make();
    d->ShowMain(1, QString());
    const struct { QString source; bool saveOffered; } rows[] = {
        {QStringLiteral("mms://127.0.0.1/one"), true},
        {QString::fromStdString(base_.File("local.asf")), false},
    };
    testsupport::WriteFileBytes(base_.File("local.asf"), {'x'});
    for (const auto& r : rows) {
        d->List()->SelectRow(d->List()->AddEntry(r.source, QString(), QStringLiteral("0")));
        d->MainWindow()->PreparePopupMenu();
        EXPECT_EQ(d->MainWindow()->action(kCmdSave)->isEnabled(), r.saveOffered) << r.source.toStdString();
        d->MainWindow()->ExecuteCommand(kCmdCopyToClipboard);
        EXPECT_EQ(QGuiApplication::clipboard()->text(), r.source);
    }
    d->MainWindow()->close();
}

}  // namespace
}  // namespace larkspan
