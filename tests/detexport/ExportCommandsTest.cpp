// Save, Save As and Copy to Clipboard of the selected row, and the selection
// state the menu grays its entries by.
#include <gtest/gtest.h>

#include <QClipboard>
#include <QGuiApplication>

#include "tests/support/FileContents.h"
#include "tests/support/TempFolder.h"
#include "ui/recorder/ExportCommands.h"
#include "ui/recorder/RecordList.h"

namespace larkspan {
namespace {

std::string Playlist(const std::string& title, const std::string& ref) {
    return "<ASX version=\"3.0\">\r\n<Entry>\r\n<TITLE>" + title + "</TITLE>\r\n<ref href=\"" + ref +
           "\"/>\r\n</Entry>\r\n</ASX>\r\n";
}

class ExportCommandsTest : public ::testing::Test {
protected:
    void SetUp() override {
        commands_.SetSaveAsHook([this](const QString& proposed) {
            proposed_.push_back(proposed);
            return answer_;
        });
        commands_.SetConfirmHook([this](const QString& q) {
            questions_.push_back(q);
            return true;
        });
        commands_.SetMessageHook([this](const QString& text) { messages_.push_back(text); });
        QObject::connect(&commands_, &ExportCommands::selectedSourceChanged,
                         [this](const QString& s, bool local) { selected_.push_back({s, local}); });
    }
    void Select(const QString& source, const QString& name, const std::string& folder) {
        RecorderSettings settings;
        settings.baseDir = folder;
        list_.SetSettings(settings);
        list_.SelectRow(list_.AddRow(source, name, "0"));
    }
    std::string In(const std::string& name) { return folder_.File(name); }

    testsupport::TempFolder folder_{"export"};
    RecordList list_;
    ExportCommands commands_{list_};
    QString answer_;  // what the save dialog returns
    std::vector<QString> proposed_, questions_, messages_;
    std::vector<std::pair<QString, bool>> selected_;
};

TEST_F(ExportCommandsTest, SaveAndSaveAsWriteTheOneEntryPlaylist) {
    const QString url = "http://10.0.0.5/live/show.asf?a=1&b=<2>";
    const struct {
        const char* what;
        int command;
        QString name;
        std::string answer;  // the file chosen in the dialog, relative to the folder; "" for Cancel
        std::vector<std::string> proposed;
        std::string written;  // the file written, "" for none
        std::string title;
    } cases[] = {
        {"Save", ExportCommands::kSaveCommand, "a:b", "", {}, "a_b.asx", "a_b"},
        {"Save As", ExportCommands::kSaveAsCommand, "a:b", "chosen.asx", {"a_b.asx"}, "chosen.asx", "a_b"},
        {"Save without a name", ExportCommands::kSaveCommand, "", "x.asx", {"noname.asx"}, "x.asx", ""},
        {"Save As cancelled", ExportCommands::kSaveAsCommand, "a:b", "", {"a_b.asx"}, "", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        testsupport::TempFolder folder("export");
        if (list_.Model()->Count() > 0) list_.Model()->Remove(0);
        Select(url, c.name, folder.Path());
        answer_ = c.answer.empty() ? QString() : QString::fromStdString(folder.File(c.answer));
        proposed_.clear();
        EXPECT_TRUE(commands_.HandleCommand(c.command));
        std::vector<QString> proposed;
        for (const auto& p : c.proposed) proposed.push_back(QString::fromStdString(folder.File(p)));
        EXPECT_EQ(proposed_, proposed);
        EXPECT_EQ(folder.Names(), c.written.empty() ? std::vector<std::string>{} : std::vector{c.written});
        if (!c.written.empty()) {
            EXPECT_EQ(testsupport::ReadFileText(folder.File(c.written)), Playlist(c.title, url.toStdString()));
        }
    }
    EXPECT_EQ(messages_, std::vector<QString>{});
    EXPECT_EQ(questions_, std::vector<QString>{});
}

TEST_F(ExportCommandsTest, SecondSaveAsksAndAFolderThatCannotTakeTheFileIsReported) {
    Select("mms://192.168.1.10/media/clip.asf", "clip", folder_.Path());
    commands_.Save();
    commands_.Save();
    EXPECT_EQ(questions_, std::vector<QString>{QString::fromStdString(In("clip.asx")) + " \n\n File exist. Overwrite?"});

    const std::string missing = In("missing");
    Select("mms://192.168.1.10/other.asf", "other", missing);
    commands_.Save();
    EXPECT_EQ(messages_, std::vector<QString>{QString::fromStdString("The file " + missing +
                                                                     "/other.asx could not be written: "
                                                                     "No such file or directory")});
}

TEST_F(ExportCommandsTest, CopyToClipboardAndTheSelectionTheMenuFollows) {
    const std::string local = In("song.wma");
    testsupport::WriteFileText(local, "x");
    Select("http://10.0.0.5/show.wmv", "", folder_.Path());
    EXPECT_TRUE(commands_.HandleCommand(ExportCommands::kCopyToClipboardCommand));
    EXPECT_EQ(QGuiApplication::clipboard()->text(), "http://10.0.0.5/show.wmv");
    Select(QString::fromStdString(local), "", folder_.Path());
    commands_.CopyToClipboard();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QString::fromStdString(local));
    commands_.Save();  // a local file is not exported
    EXPECT_EQ(folder_.Names(), std::vector<std::string>{"song.wma"});
    list_.Selection()->clearSelection();
    EXPECT_FALSE(commands_.HandleCommand(11102));

    using Shown = std::vector<std::pair<QString, bool>>;
    EXPECT_EQ(selected_, (Shown{{"http://10.0.0.5/show.wmv", false}, {QString::fromStdString(local), true}, {"", false}}));
}

}  // namespace
}  // namespace larkspan
