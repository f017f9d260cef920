#include "recorder/SettingsProfile.h"
#include "ui/mainwin/CommandId.h"
#include "ui/mainwin/RecorderWindow.h"
#include "ui/mainwin/UrlOpenDialog.h"
#include "ui/skin/Skin.h"

#include <QAction>
#include <QComboBox>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

using namespace larkspan;

namespace {

class RecorderWindowTest : public ::testing::Test {
protected:
    RecorderWindow& Window() {
        if (!window)
            window = std::make_unique<RecorderWindow>(skin, profile);
        return *window;
    }

    Skin skin;
    MemoryProfile profile;
    std::unique_ptr<RecorderWindow> window;
};

}  // namespace

TEST_F(RecorderWindowTest, ControlsSitAtTheirPlaces) {
    struct Row {
        int id;
        QRect geometry;
        bool enabled;
        const char* toolTip;
    };
    const Row rows[] = {
        {kCmdPlay, {16, 90, 24, 24}, false, "Play"},
        {kCmdPause, {44, 90, 24, 24}, false, "Pause"},
        {kCmdStop, {72, 90, 24, 24}, false, "Stop"},
        {kCmdRecord, {108, 90, 24, 24}, false, "Record Start"},
        {kCmdRecordCancel, {137, 90, 24, 24}, false, "Record Cancel"},
        {kCmdOpen, {173, 90, 24, 24}, true, "Open"},
        {kCmdMenu, {208, 90, 24, 24}, true, ""},
        {kCmdRepeat, {236, 90, 24, 24}, true, ""},
        {kCmdMinimise, {239, 4, 10, 10}, true, ""},
        {kCmdSpare, {249, 4, 10, 10}, false, ""},
        {kCmdClose, {259, 4, 10, 10}, true, ""},
        {kCtlSeekSlider, {16, 72, 243, 6}, true, ""},
        {kCtlVolumeSlider, {110, 53, 82, 14}, true, ""},
        {kCtlBalanceSlider, {202, 53, 54, 14}, true, ""},
        {kCtlSpectrum, {24, 41, 78, 24}, true, ""},
    };
    EXPECT_EQ(Window().size(), QSize(275, 116));
    for (const Row& row : rows) {
        QWidget* control = Window().control(row.id);
        ASSERT_NE(control, nullptr) << row.id;
        EXPECT_EQ(control->geometry(), row.geometry) << row.id;
        EXPECT_EQ(control->isEnabled(), row.enabled) << row.id;
        EXPECT_EQ(control->toolTip(), QString::fromUtf8(row.toolTip)) << row.id;
    }
}

TEST_F(RecorderWindowTest, ProfileValuesAreReadAtCreationAndWrittenOnClose) {
    profile.WriteInt("Settings", "xPos", 120);
    profile.WriteInt("Settings", "yPos", 60);
    profile.WriteInt("Options", "OnTopControl", 1);
    profile.WriteInt("settings", "Volume", 3000);
    profile.WriteInt("settings", "Balance", 150);
    profile.WriteInt("settings", "Repeat", 0);
    RecorderWindow& w = Window();
    EXPECT_EQ(w.pos(), QPoint(120, 60));
    EXPECT_TRUE(w.windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_EQ(w.playerVolume(), -2000);
    EXPECT_FALSE(w.action(kCmdRepeat)->isChecked());

    w.ExecuteCommand(kCmdRepeat);
    w.move(200, 90);
    w.NoteRecentSource(QStringLiteral("mms://host/a&b"));
    w.close();
    const std::pair<const char*, int> ints[] = {
        {"xPos", 200}, {"yPos", 90}, {"cxPos", 275}, {"cyPos", 116}, {"Volume", 3000}, {"Balance", 150}, {"Repeat", 1}};
    for (const auto& [key, value] : ints) {
        const std::string section = std::string(key).find("Pos") != std::string::npos ? "Settings" : "settings";
        EXPECT_EQ(profile.GetInt(section, key, -1), value) << key;
    }
    EXPECT_EQ(profile.GetString("FileMRUList\\url", "File0", ""), "mms://host/a&b");
}

TEST_F(RecorderWindowTest, SeekClickSeeksAndOnlyADragSetsTheDraggingState) {
    RecorderWindow& w = Window();
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    w.OnPlayerNotify(kNotifyMediaOpened, 0, 227.0, 0.0);
    EXPECT_TRUE(w.isPlaybackChainRunning());
    QSignalSpy seeks(&w, &RecorderWindow::seekRequested);
    QWidget* seek = w.control(kCtlSeekSlider);

    QTest::mouseClick(seek, Qt::LeftButton, {}, QPoint(200, 3));
    EXPECT_FALSE(w.isSeekDragging());
    ASSERT_EQ(seeks.size(), 1);
    EXPECT_EQ(seeks.takeFirst().at(0).toDouble(), 1.0);

    QTest::mousePress(seek, Qt::LeftButton, {}, QPoint(2, 3)); // the thumb, now at x = 1
    QTest::mouseMove(seek, QPoint(115, 3));                     // to 114 of 227 pixels of travel
    EXPECT_TRUE(w.isSeekDragging());
    EXPECT_EQ(w.timeText(), QStringLiteral("  1:54"));
    w.OnPlayerNotify(kNotifyTick, 0, 227.0, 30.0); // ignored while dragging
    EXPECT_EQ(w.timeText(), QStringLiteral("  1:54"));
    EXPECT_EQ(seeks.size(), 0);
    QTest::mouseRelease(seek, Qt::LeftButton, {}, QPoint(115, 3));
    EXPECT_FALSE(w.isSeekDragging());
    ASSERT_EQ(seeks.size(), 1);
    EXPECT_EQ(seeks.takeFirst().at(0).toDouble(), 114.0);
}

TEST_F(RecorderWindowTest, PlayerStateSetsTheTransportButtons) {
    const std::tuple<int, bool, bool, bool> cases[] = {
        {kPlayerStopped, true, false, false}, {kPlayerPaused, true, false, true}, {kPlayerPlaying, false, true, true}};
    for (const auto& [state, play, pause, stop] : cases) {
        Window().OnPlayerNotify(kNotifyStateChanged, state, 0, 0);
        EXPECT_EQ(Window().control(kCmdPlay)->isEnabled(), play) << state;
        EXPECT_EQ(Window().control(kCmdPause)->isEnabled(), pause) << state;
        EXPECT_EQ(Window().control(kCmdStop)->isEnabled(), stop) << state;
        EXPECT_EQ(Window().action(kCmdPause)->isEnabled(), pause) << state;
    }
}

// Dropped files come as paths, stream addresses as typed; anything else is
// left out, and a drop with nothing usable opens nothing.
TEST_F(RecorderWindowTest, DroppedFilesAndAddresses) {
    const struct { QList<QUrl> urls; QString text; QStringList opened; } drops[] = {
        {{QUrl::fromLocalFile("/media/a b.asf"), QUrl("mms://host/live"), QUrl("ftp://host/x.asf")}, {},
         {"/media/a b.asf", "mms://host/live"}},
        {{}, "http://host/x.asf\n  mmsu://h/y \nnot an address\n", {"http://host/x.asf", "mmsu://h/y"}},
        {{QUrl("ftp://host/x.asf")}, {}, {}},
    };
    for (const auto& d : drops) {
        QSignalSpy opened(&Window(), &RecorderWindow::openSources);
        QMimeData data;
        if (!d.urls.isEmpty()) data.setUrls(d.urls);
        else data.setText(d.text);
        QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(&Window(), &enter);
        QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(&Window(), &drop);
        ASSERT_EQ(opened.size(), d.opened.isEmpty() ? 0 : 1) << d.text.toStdString();
        if (!d.opened.isEmpty()) {
            EXPECT_EQ(opened[0][0].toStringList(), d.opened);
            EXPECT_EQ(opened[0][1].toBool(), false);
        }
    }
}

TEST_F(RecorderWindowTest, MenuGraying) {
    struct Case {
        bool record;
        bool detecting;
        const char* selected;
        bool local;
        bool recordEntry, start, save, copy;
    };
    const Case cases[] = {
        {true, false, "mms://host/a", false, true, true, true, true},
        {false, true, "/tmp/a.asf", true, false, false, false, true},
        {true, false, "", false, true, true, false, false},
    };
    for (const Case& c : cases) {
        Window().SetButtonEnabled(kCmdRecord, c.record);
        Window().SetDetectionRunning(c.detecting);
        Window().SetSelectedSource(QString::fromUtf8(c.selected), c.local);
        Window().PreparePopupMenu();
        EXPECT_EQ(Window().action(kCmdRecord)->isEnabled(), c.recordEntry) << c.selected;
        EXPECT_EQ(Window().action(kCmdDetectStart)->isEnabled(), c.start) << c.selected;
        EXPECT_EQ(Window().action(kCmdSave)->isEnabled(), c.save) << c.selected;
        EXPECT_EQ(Window().action(kCmdSaveAs)->isEnabled(), c.save) << c.selected;
        EXPECT_EQ(Window().action(kCmdCopyToClipboard)->isEnabled(), c.copy) << c.selected;
    }
}

TEST_F(RecorderWindowTest, RecentFilesMenu) {
    for (int i = 11; i >= 0; --i)
        Window().NoteRecentSource(QStringLiteral("mms://host/%1&x").arg(i));
    QMenu* popup = Window().PreparePopupMenu();
    QMenu* recent = popup->actions().at(10)->menu();
    ASSERT_NE(recent, nullptr);
    EXPECT_EQ(recent->title(), QStringLiteral("&Recent Files"));
    const QList<QAction*> entries = recent->actions();
    ASSERT_EQ(entries.size(), 12);
    const std::tuple<int, int, const char*> rows[] = {
        {0, 57616, "&0 - mms://host/0&&x"}, {9, 57625, "&9 - mms://host/9&&x"}, {10, 57626, "mms://host/10&&x"}};
    for (const auto& [index, id, text] : rows) {
        EXPECT_EQ(entries[index]->data().toInt(), id);
        EXPECT_EQ(entries[index]->text(), QString::fromUtf8(text));
    }
    QSignalSpy chosen(&Window(), &RecorderWindow::recentChosen);
    entries[10]->trigger();
    ASSERT_EQ(chosen.size(), 1);
    EXPECT_EQ(chosen.at(0).at(0).toString(), QStringLiteral("mms://host/10&x"));
}

TEST_F(RecorderWindowTest, UrlDialogKeepsThirtyAndReportsRecord) {
    for (int i = 0; i < 30; ++i)
        profile.WriteString(UrlOpenDialog::kSection, "item" + std::to_string(i), "mms://old/" + std::to_string(i));
    UrlOpenDialog dialog(profile);
    EXPECT_EQ(dialog.urlBox()->count(), 30);
    dialog.open();
    dialog.urlBox()->setEditText(QStringLiteral("mms://old/5"));
    dialog.recordButton()->click();
    EXPECT_TRUE(dialog.recordChosen());
    EXPECT_EQ(dialog.text(), QStringLiteral("mms://old/5"));

    UrlOpenDialog again(profile);
    again.urlBox()->setEditText(QStringLiteral("mms://new"));
    again.playButton()->click();
    EXPECT_EQ(again.result(), QDialog::Accepted);
    EXPECT_FALSE(again.recordChosen());
    const QStringList kept = UrlOpenDialog::LoadHistory(profile);
    ASSERT_EQ(kept.size(), 30);
    EXPECT_EQ(kept.mid(0, 3), (QStringList{"mms://new", "mms://old/5", "mms://old/0"}));
    EXPECT_EQ(kept.last(), QStringLiteral("mms://old/28"));
}
