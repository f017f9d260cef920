#include "recorder/ListExport.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "media/AsxWriter.h"
#include "recorder/SettingsProfile.h"
#include "tests/support/FileContents.h"
#include "tests/support/TempFolder.h"

namespace larkspan {
namespace {

namespace fs = std::filesystem;
using testsupport::ReadFileText;

std::string Playlist(const std::string& title, const std::string& reference) {
    std::string text;
    EXPECT_TRUE(BuildAsxText(title, reference, text));
    return text;
}

// Answers as told and remembers what was asked.
class ScriptedQuestions : public ExportQuestions {
public:
    bool ConfirmOverwrite(const std::string& shownName) override {
        asked.push_back("overwrite " + shownName);
        return overwrite;
    }
    std::string AskSaveAsPath(const std::string& defaultPath) override {
        asked.push_back("save as " + defaultPath);
        return chosen;
    }

    bool overwrite = true;
    std::string chosen;  // empty: the dialog is cancelled
    std::vector<std::string> asked;
};

class ListExport : public ::testing::Test {
protected:
    testsupport::TempFolder temp_{"export"};
    const fs::path dir_ = temp_.Dir();
    const std::string folder_ = dir_.string();
    ScriptedQuestions questions_;
};

TEST(ExportFolderTest, SiblingDownloadFolderElseBaseDir) {
    RecorderSettings settings;
    settings.baseDir = "/rec";
    MemoryProfile named, empty, otherSection, none;
    named.WriteString("Options", "DownDir", "/downloads");
    empty.WriteString("Options", "DownDir", "");
    otherSection.WriteString("settings", "DownDir", "/elsewhere");
    const std::vector<std::pair<SettingsProfile*, std::string>> cases = {
        {&named, "/downloads"}, {&empty, "/rec"}, {&otherSection, "/rec"}, {&none, "/rec"}, {nullptr, "/rec"},
    };
    for (const auto& [profile, folder] : cases) EXPECT_EQ(ExportFolder(profile, settings), folder);
}

TEST(ExportPaths, CleanedNameInTheFolder) {
    EXPECT_EQ(ExportSavePath("/x", CleanedExportName("a:b")), "/x/a_b.asx");
    EXPECT_EQ(ExportSavePath("/x/", CleanedExportName("a/b?")), "/x/a_b_.asx");
    EXPECT_EQ(ExportSaveAsDefault("/x", CleanedExportName("news")), "/x/news.asx");
    EXPECT_EQ(ExportSaveAsDefault("/x", CleanedExportName("")), "/x/noname.asx");
}

TEST_F(ListExport, SaveWritesTheCleanedNameWithoutADialog) {
    ExportOutcome o = SavePlaylist("mms://h/live&x=<1>", "a:b", folder_, questions_);
    EXPECT_EQ(o.status, ExportStatus::Written);
    EXPECT_EQ(o.path, (dir_ / "a_b.asx").string());
    EXPECT_EQ(o.message, "");
    EXPECT_EQ(ReadFileText(dir_ / "a_b.asx"), Playlist("a_b", "mms://h/live&x=<1>"));
    EXPECT_TRUE(questions_.asked.empty());

    // Again: the question names the whole path; No keeps the file.
    questions_.overwrite = false;
    o = SavePlaylist("mms://h/other", "a:b", folder_, questions_);
    EXPECT_EQ(o.status, ExportStatus::Declined);
    EXPECT_EQ(questions_.asked, std::vector<std::string>{"overwrite " + (dir_ / "a_b.asx").string()});
    EXPECT_EQ(ReadFileText(dir_ / "a_b.asx"), Playlist("a_b", "mms://h/live&x=<1>"));
}

TEST_F(ListExport, SaveWithoutANameIsSaveAs) {
    ExportOutcome o = SavePlaylist("mms://h/live", "", folder_, questions_);
    EXPECT_EQ(o.status, ExportStatus::Cancelled);
    EXPECT_EQ(questions_.asked, std::vector<std::string>{"save as " + (dir_ / "noname.asx").string()});
    EXPECT_TRUE(fs::is_empty(dir_));

    questions_.asked.clear();
    questions_.chosen = (dir_ / "picked.asx").string();
    o = SavePlaylist("mms://h/live", "", folder_, questions_);
    EXPECT_EQ(o.status, ExportStatus::Written);
    EXPECT_EQ(o.path, questions_.chosen);
    EXPECT_EQ(ReadFileText(questions_.chosen), Playlist("", "mms://h/live"));
}

TEST_F(ListExport, SaveAsQuestionNamesTheFileOnly) {
    questions_.chosen = (dir_ / "mine.asx").string();
    std::ofstream(questions_.chosen) << "old";
    ExportOutcome o = SavePlaylistAs("http://h/s.asf", "show", folder_, questions_);
    EXPECT_EQ(o.status, ExportStatus::Written);
    EXPECT_EQ(questions_.asked,
              (std::vector<std::string>{"save as " + (dir_ / "show.asx").string(), "overwrite mine.asx"}));
    EXPECT_EQ(ReadFileText(questions_.chosen), Playlist("show", "http://h/s.asf"));
}

TEST_F(ListExport, LocalSourcesAreNotExported) {
    const std::string local = (dir_ / "clip.wmv").string();
    std::ofstream(local) << "x";
    questions_.chosen = (dir_ / "x.asx").string();
    EXPECT_EQ(SavePlaylist(local, "clip", folder_, questions_).status, ExportStatus::NotExported);
    EXPECT_EQ(SavePlaylistAs(local, "clip", folder_, questions_).status, ExportStatus::NotExported);
    EXPECT_TRUE(questions_.asked.empty());
    EXPECT_FALSE(fs::exists(dir_ / "clip.asx"));
    EXPECT_FALSE(fs::exists(dir_ / "x.asx"));
}

struct FailureCase {
    const char* what;
    std::string source;
    std::string path;  // chosen in Save As
    std::string message;
};

TEST_F(ListExport, FailuresSayWhy) {
    const std::string missing = (dir_ / "missing" / "x.asx").string();
    const std::string longRef = "mms://h/" + std::string(300, 'r');
    const std::string tooLong = (dir_ / "long.asx").string();
    const std::string broken = (dir_ / "broken.asx").string();
    const std::vector<FailureCase> cases = {
        {"no folder", "mms://h/live", missing, "cannot write " + missing + ": No such file or directory"},
        {"device full", "mms://h/live", "/dev/full", "cannot write /dev/full: No space left on device"},
        {"address too long", longRef, tooLong,
         "cannot write " + tooLong + ": the address is 308 bytes long, more than the 240 a playlist line holds"},
        {"line break in the address", "mms://h/a\r\n<ref href=\"x\"/>", broken,
         "cannot write " + broken + ": the address holds a line break or a NUL, which a playlist line cannot carry"},
    };
    for (const FailureCase& c : cases) {
        questions_.chosen = c.path;
        ExportOutcome o = SavePlaylistAs(c.source, "n", folder_, questions_);
        EXPECT_EQ(o.status, ExportStatus::Failed) << c.what;
        EXPECT_EQ(o.path, c.path) << c.what;
        EXPECT_EQ(o.message, c.message) << c.what;
    }
    EXPECT_FALSE(fs::exists(tooLong));
    EXPECT_FALSE(fs::exists(broken));
}

}  // namespace
}  // namespace larkspan
