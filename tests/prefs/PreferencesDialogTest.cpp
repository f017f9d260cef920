// The preferences dialog driven through its controls: what it shows, what OK
// and Cancel write, the association groups and the recent lists.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTest>
#include <QTimer>
#include <climits>
#include <memory>

#include "recorder/SettingsProfile.h"
#include "tests/support/TempFolder.h"
#include "ui/prefs/MaxTimeFields.h"
#include "ui/prefs/PreferencesDialog.h"

namespace larkspan {
namespace {

const char* const kGroupNames[] = {"asf", "audio", "video"};

// Records every call; a failing store answers every change with false.
class RecordingAssociations : public FileAssociations {
public:
    AssociationState states[3] = {};
    bool fail = false;
    std::vector<std::string> calls;

    AssociationState StateOf(AssociationGroup g) override { return states[static_cast<int>(g)]; }
    bool Associate(AssociationGroup g) override { return Call("associate ", g); }
    bool Withdraw(AssociationGroup g) override { return Call("withdraw ", g); }
    void NotifyChanged() override { calls.push_back("notify"); }
    std::string LastError() const override { return fail ? "class root not writable" : ""; }
    std::vector<AssociationGroup> GroupsSharingTypesWith(AssociationGroup) const override { return {}; }

private:
    bool Call(const std::string& what, AssociationGroup g) {
        calls.push_back(what + kGroupNames[static_cast<int>(g)]);
        return !fail;
    }
};

struct Prefs {
    testsupport::TempFolder folder{"prefs"};
    MemoryProfile profile;
    RecorderSettings live;
    RecordingAssociations associations;
    std::unique_ptr<PreferencesDialog> dialog;

    Prefs() { live.baseDir = folder.File("rec"); }
    void Open() { dialog = std::make_unique<PreferencesDialog>(live, profile, &associations); }
    template <class W> W* Get(const char* name) { return dialog->findChild<W*>(QString::fromLatin1(name)); }
    void Click(const char* name) { Get<QAbstractButton>(name)->click(); }
    int Saved(const char* key) const { return profile.Values().at({"settings", key}).intValue; }
};

// Answers the message box the next action of the dialog opens and keeps its
// text; the answer goes with the dialog if no box opens.
void AnswerNextMessageBox(QDialog* dialog, QMessageBox::StandardButton answer, QString* text) {
    QTimer::singleShot(0, dialog, [=] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        *text = box->text();
        box->button(answer)->click();
    });
}

TEST(MaxTimeFromFields, AddsMinutesAndSecondsWithoutOverflow) {
    const struct { int minutes, seconds, maxTime; } rows[] = {
        {2, 90, 210}, {30, 0, 1800}, {0, 0, 0}, {35791394, 7, INT_MAX}, {35791394, 8, INT_MAX},
        {INT_MAX, 60, INT_MAX}, {-35791394, -8, INT_MIN}, {-35791394, -9, INT_MIN}, {INT_MIN, -60, INT_MIN},
    };
    for (const auto& row : rows) EXPECT_EQ(MaxTimeFromFields(row.minutes, row.seconds), row.maxTime) << row.minutes;
}

// Stored values are shown, and kept by an OK that touches nothing, even
// where they lie beyond the spin ranges.
TEST(PreferencesDialog, ShowsStoredLimitsAndKeepsThemOnOk) {
    const struct { int maxTime, maxSize, minutes, seconds; } rows[] = {
        {1800, 10, 30, 0}, {95, 5000, 1, 35}, {INT_MAX, 0, 35791394, 7}, {-95, -3, -1, -35},
    };
    for (const auto& row : rows) {
        Prefs p;
        p.live.maxTime = row.maxTime;
        p.live.maxSize = row.maxSize;
        p.Open();
        EXPECT_EQ(p.Get<QSpinBox>("minutes")->value(), row.minutes);
        EXPECT_EQ(p.Get<QSpinBox>("seconds")->value(), row.seconds);
        EXPECT_EQ(p.Get<QSpinBox>("size")->value(), row.maxSize);
        p.Click("ok");
        EXPECT_EQ(p.live.maxTime, row.maxTime);
        EXPECT_EQ(p.Saved("Max Time"), row.maxTime);
        EXPECT_EQ(p.Saved("Max Size"), row.maxSize);
    }
}

// A key that would take a spin past its range is refused.
TEST(PreferencesDialog, TypedValuesBeyondTheRangesAreRefused) {
    const struct { const char* spin; const char* typed; int value; } rows[] = {
        {"seconds", "90", 9}, {"seconds", "60", 60}, {"minutes", "1001", 100}, {"size", "5000", 500},
    };
    for (const auto& row : rows) {
        Prefs p;
        p.live.sizePolicy = p.live.timePolicy = 1;
        p.Open();
        auto* spin = p.Get<QSpinBox>(row.spin);
        spin->selectAll();
        QTest::keyClicks(spin, row.typed);
        EXPECT_EQ(spin->value(), row.value) << row.spin << " " << row.typed;
    }
}

// Enabled or not, as "1" or "0": the size spin and "MB", then minutes, "M", seconds and "S".
TEST(PreferencesDialog, LimitControlsFollowTheirSwitchAndValuesStay) {
    for (int policy : {0, 1}) {
        Prefs p;
        p.live.sizePolicy = p.live.timePolicy = policy;
        p.live.maxTime = 95;
        p.Open();
        auto enabled = [&] {
            std::string out;
            for (const char* name : {"size", "sizeUnit", "minutes", "minutesUnit", "seconds", "secondsUnit"})
                out += p.Get<QWidget>(name)->isEnabled() ? '1' : '0';
            return out;
        };
        EXPECT_EQ(enabled(), policy ? "111111" : "000000");
        p.Click("sizeLimit");
        EXPECT_EQ(enabled(), policy ? "001111" : "110000");
        p.Click("timeLimit");
        EXPECT_EQ(enabled(), policy ? "000000" : "111111");
        p.Click("ok");
        EXPECT_EQ(p.Saved("size policy"), 1 - policy);
        EXPECT_EQ(p.Saved("time policy"), 1 - policy);
        EXPECT_EQ(p.Saved("Max Time"), 95);
    }
}

// Only clicked groups are written, in the order asf, audio, video, with one
// notice after them; a click never leaves a box showing "some". Box states
// as letters for asf, audio, video: U unchecked, C checked, P some types.
TEST(PreferencesDialog, WritesOnlyClickedAssociationGroups) {
    const struct {
        const char* opened;
        std::vector<const char*> clicks;
        bool ok;
        std::vector<std::string> calls;
        const char* shown;
    } rows[] = {
        {"PUC", {}, true, {}, "PUC"},
        {"PUC", {"asfGroup"}, true, {"withdraw asf", "notify"}, "UUC"},
        {"CUU", {"videoGroup", "asfGroup"}, true, {"withdraw asf", "associate video", "notify"}, "UUC"},
        {"PUU", {"asfGroup", "asfGroup", "asfGroup"}, true, {"withdraw asf", "notify"}, "UUU"},
        {"PUU", {"asfGroup", "asfGroup"}, true, {"associate asf", "notify"}, "CUU"},
        {"UUU", {"audioGroup", "audioGroup"}, true, {"withdraw audio", "notify"}, "UUU"},
        {"UUU", {"audioGroup"}, false, {}, "UCU"},
    };
    for (const auto& row : rows) {
        Prefs p;
        for (int i = 0; i < 3; ++i)
            p.associations.states[i] = static_cast<AssociationState>(std::string("UCP").find(row.opened[i]));
        p.Open();
        for (const char* box : row.clicks) p.Click(box);
        std::string shown;
        for (const char* box : {"asfGroup", "audioGroup", "videoGroup"})
            shown += "UPC"[p.Get<QCheckBox>(box)->checkState()];
        EXPECT_EQ(shown, row.shown);
        p.Click(row.ok ? "ok" : "cancel");
        EXPECT_EQ(p.associations.calls, row.calls);
    }
}

// OK still writes the settings, then names what failed.
TEST(PreferencesDialog, OkReportsAFolderThatCannotBeMadeAndFailedAssociations) {
    Prefs p;
    p.associations.fail = true;
    p.live.baseDir = "/dev/null/rec";
    p.Open();
    p.Click("asfGroup");
    QString text;
    AnswerNextMessageBox(p.dialog.get(), QMessageBox::Ok, &text);
    p.Click("ok");
    EXPECT_EQ(text, "The folder \"/dev/null/rec\" could not be created.\n\n"
                    "The file types could not all be changed: class root not writable");
    EXPECT_EQ(p.profile.Values().at({"settings", "base dir"}).text, "/dev/null/rec");
    EXPECT_EQ(p.associations.calls, (std::vector<std::string>{"associate asf", "notify"}));
}

// The dialog works on a copy: Cancel writes nothing anywhere, and what the
// program changed in the live settings meanwhile survives either ending.
TEST(PreferencesDialog, CancelWritesNothingAndLiveChangesSurvive) {
    for (bool ok : {false, true}) {
        Prefs p;
        const RecorderSettings before = p.live;
        p.Open();
        p.Get<QLineEdit>("path")->setText(QString::fromStdString(p.folder.File("other")));
        p.Get<QSpinBox>("size")->setValue(700);
        p.Click("repeat");
        p.live.captionSize = 20;
        p.Click(ok ? "ok" : "cancel");
        EXPECT_EQ(p.live.captionSize, 20);
        EXPECT_EQ(p.live.maxSize, ok ? 700 : before.maxSize);
        EXPECT_EQ(p.live.repeat, ok ? 0 : before.repeat);
        EXPECT_EQ(p.live.baseDir, ok ? p.folder.File("other") : before.baseDir);
        EXPECT_EQ(p.profile.Writes().empty(), !ok);
        EXPECT_EQ(std::filesystem::is_directory(p.folder.File("other")), ok);
    }
}

// Yes deletes both lists from the profile at once and tells their holders;
// nothing brings them back. No changes nothing.
TEST(PreferencesDialog, DeleteRecentFilesAsksFirst) {
    for (auto answer : {QMessageBox::Yes, QMessageBox::No}) {
        Prefs p;
        p.profile.WriteString("RecentUrl\\Url", "item0", "mms://a/b");
        p.profile.WriteString("FileMRUList\\url", "File1", "/x.asf");
        p.profile.ClearLog();
        p.Open();
        QSignalSpy deleted(p.dialog.get(), &PreferencesDialog::recentListsDeleted);
        QString text;
        AnswerNextMessageBox(p.dialog.get(), answer, &text);
        p.Click("deleteRecent");
        EXPECT_EQ(text, "Are you sure you want to delete all recent file(url) list?");
        const bool yes = answer == QMessageBox::Yes;
        EXPECT_EQ(deleted.count(), yes ? 1 : 0);
        const std::vector<std::string> deletions = {"delete RecentUrl\\Url", "delete FileMRUList\\url"};
        EXPECT_EQ(p.profile.Writes(), yes ? deletions : std::vector<std::string>{});
        p.Click("ok");
        EXPECT_EQ(p.profile.Has("RecentUrl\\Url", "item0"), !yes);
        EXPECT_EQ(p.profile.Has("FileMRUList\\url", "File1"), !yes);
    }
}

// "Browser..." starts at the shown folder, or at the last folder picked when
// the shown one is missing, and remembers the pick.
TEST(PreferencesDialog, BrowserStartsFromAnExistingFolderAndRemembersThePick) {
    testsupport::TempFolder last("prefs-last");
    const struct { bool pathExists; const char* answer; } rows[] = {{true, "picked"}, {false, "picked"}, {true, ""}};
    for (const auto& row : rows) {
        Prefs p;
        if (row.pathExists) std::filesystem::create_directory(p.live.baseDir);
        p.profile.WriteString("setting", "last folder", last.Path());
        p.Open();
        QStringList asked;
        const std::string answer = row.answer[0] ? p.folder.File(row.answer) : "";
        p.dialog->Folders().SetChooser([&](QWidget*, const QString& title, const QString& text, const QString& start) {
            asked << title << text << start;
            return QString::fromStdString(answer);
        });
        p.Click("browse");
        const QString start = QString::fromStdString(row.pathExists ? p.live.baseDir : last.Path());
        EXPECT_EQ(asked, (QStringList{"Select Folder", "File Folder", start}));
        EXPECT_EQ(p.Get<QLineEdit>("path")->text().toStdString(), answer.empty() ? p.live.baseDir : answer);
        EXPECT_EQ(p.profile.GetString("setting", "last folder", ""), answer.empty() ? last.Path() : answer);
    }
}

}  // namespace
}  // namespace larkspan
