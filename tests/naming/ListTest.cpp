// The record list: the rows a source gives, which sources can be recorded, a
// row's own time limit, and the export of a row as a one-entry playlist.
#include "recorder/ListEntries.h"
#include "recorder/ListExport.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <climits>
#include <filesystem>
#include <string>
#include <vector>

#include "media/AsxWriter.h"
#include "recorder/SettingsProfile.h"
#include "tests/support/FileContents.h"
#include "tests/support/TempFolder.h"

namespace larkspan {
namespace {

using testsupport::ReadFileText;

// A fixed overwrite answer and Save As choice (empty: cancelled).
class ScriptedExportQuestions : public ExportQuestions {
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
    std::string chosen;
    std::vector<std::string> asked;
};

const std::string kTwoRefs =
    "<ASX><Entry><Ref href=\"mms://a/1.asf\"/></Entry><Entry><Ref href=\"http://b/2.asf\"/></Entry></ASX>";

// A playlist of exactly size bytes whose one entry is mms://a/x.
std::string PaddedPlaylist(size_t size) {
    std::string text = "<Ref href=\"mms://a/x\"/>";
    text.resize(size, ' ');
    return text;
}

TEST(ListEntries, RowsForASource) {
    testsupport::TempFolder folder("list");
    auto put = [&](const std::string& name, const std::string& content) {
        testsupport::WriteFileText(folder.File(name), content);
        return folder.File(name);
    };
    const std::string big = put("big.asx", PaddedPlaylist(kMaxListedPlaylistBytes));
    const std::string clip = put("clip.v1.wmv", "not really media");
    std::filesystem::create_directory(folder.File("folder.asx"));
    const std::string fifo = folder.File("fifo.asx");  // never opened: that would wait for a writer
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const struct {
        std::string source, content, name;  // content: written to source first when not empty
        std::vector<ListRow> rows;
        bool recent;
    } rows[] = {
        {folder.File("l1.asx"), kTwoRefs, "n", {{"mms://a/1.asf", "n0", "0"}, {"http://b/2.asf", "n1", "0"}}, true},
        {folder.File("l2.asx"), kTwoRefs, "", {{"mms://a/1.asf", "l20", "0"}, {"http://b/2.asf", "l21", "0"}}, true},
        {folder.File("l3.asx"), "<Ref href=\"mms://a/1.asf\"/>", "n", {{"mms://a/1.asf", "n", "0"}}, true},
        {folder.File("l4.asx"), "mms://a/x.asf\r\n", "", {{"mms://a/x.asf\r\n", "l4", "0"}}, true},
        {folder.File("l5.asx"), "mms://a/bcd", "", {{"mms://a/bcd", "l5", "0"}}, true},
        {folder.File("l6.asx"), "mms://a/bc", "", {}, true},
        {folder.File("l7.asx"), PaddedPlaylist(kMaxListedPlaylistBytes - 1), "", {{"mms://a/x", "l7", "0"}}, true},
        {folder.File("show.asf"), "<asx version=\"3.0\">\n" + kTwoRefs, "",
         {{"mms://a/1.asf", "show0", "0"}, {"http://b/2.asf", "show1", "0"}}, true},
        // A playlist that is not read is one row for itself, kept out of the
        // recent list.
        {big, "", "", {{big, "big", "1:30"}}, false},
        {folder.File("folder.asx"), "", "", {{folder.File("folder.asx"), "folder", "1:30"}}, false},
        {fifo, "", "", {{fifo, "fifo", "1:30"}}, false},
        {"http://host/remote.asx", "", "", {{"http://host/remote.asx", "", "1:30"}}, false},
        {"mms://h/live", "", "named", {{"mms://h/live", "named", "1:30"}}, true},
        {clip, "", "", {{clip, "clip.v1", "1:30"}}, true},
        {clip, "", "mine", {{clip, "mine", "1:30"}}, true},
        {"/no/such/file.wmv", "", "", {{"/no/such/file.wmv", "", "1:30"}}, true},
        {"", "", "n", {}, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.source);
        if (!row.content.empty()) put(std::filesystem::path(row.source).filename().string(), row.content);
        const ListAddition a = ListEntriesFor(row.source, row.name, "1:30");
        EXPECT_EQ(a.rows, row.rows);
        EXPECT_EQ(a.entersRecentList, row.recent);
        EXPECT_FALSE(a.playlistCut);
    }
    std::string many = "<ASX>";
    for (int i = 0; i < 1001; ++i) many += "<Entry><Ref href=\"mms://a/" + std::to_string(i) + "\"/></Entry>";
    const ListAddition cut = ListEntriesFor(put("many.asx", many + "</ASX>"), "", "0");
    EXPECT_EQ(cut.rows.size(), 1000u);
    EXPECT_EQ(cut.rows.back(), (ListRow{"mms://a/999", "many999", "0"}));
    EXPECT_TRUE(cut.playlistCut);

    const std::pair<std::string, bool> recordable[] = {
        {"mms://h/live", true},          {"http://h/list.asx", true},        {"", true},
        {folder.File("x.wmv"), true},    {clip, false},                      {put("plain.asf", "0123456789"), false},
        {put("list.wvx", "x"), true},    {put("hidden.asf", "<ASX version=\"3.0\">\n"), true},
        {folder.Path(), false},
    };
    for (const auto& [source, expected] : recordable) EXPECT_EQ(IsRecordable(source), expected) << source;
}

TEST(ListEntries, RowTimeLimitOverridesTheSettings) {
    const std::pair<const char*, int> rows[] = {  // the time limit in seconds, 0: the settings stay
        {"0", 0},          {"", 0},          {"30", 1800},   {" 15min", 900},  {"1:30", 5400},
        {"2:0", 7200},     {"0:45", 2700},   {"1:", 3600},   {"1 : 30", 3600}, {":30", 0},
        {"0:0", 0},        {"abc", 0},       {"-5", 0},      {"1:-30", 1800},  {"99999999999", INT_MAX},
        {"35791394", INT_MAX - 7}, {"35791395", INT_MAX},
    };
    for (const auto& [text, seconds] : rows) {
        RecorderSettings s;
        s.timePolicy = 0;
        s.sizePolicy = 1;
        s.maxTime = 1234;
        EXPECT_EQ(ApplyRecordTime(s, text), seconds != 0) << text;
        EXPECT_EQ(s.timePolicy, seconds != 0 ? 1 : 0) << text;
        EXPECT_EQ(s.sizePolicy, seconds != 0 ? 0 : 1) << text;
        EXPECT_EQ(s.maxTime, seconds != 0 ? seconds : 1234) << text;
    }
}

std::string Playlist(const std::string& title, const std::string& reference) {
    std::string text;
    EXPECT_TRUE(BuildAsxText(title, reference, text));
    return text;
}

TEST(ListExport, FolderIsTheSiblingsDownloadFolderElseTheBaseFolder) {
    RecorderSettings settings;
    settings.baseDir = "/rec";
    MemoryProfile named, empty, otherSection, none;
    named.WriteString("Options", "DownDir", "/downloads");
    empty.WriteString("Options", "DownDir", "");
    otherSection.WriteString("settings", "DownDir", "/elsewhere");
    const std::pair<SettingsProfile*, std::string> rows[] = {
        {&named, "/downloads"}, {&empty, "/rec"}, {&otherSection, "/rec"}, {&none, "/rec"}, {nullptr, "/rec"},
    };
    for (const auto& [profile, folder] : rows) EXPECT_EQ(ExportFolder(profile, settings), folder);
}

// Save writes the cleaned name without a dialog, Save As asks; failures say why.
TEST(ListExport, SaveAndSaveAs) {
    testsupport::TempFolder temp("export");
    const std::string dir = temp.Path(), local = temp.File("clip.wmv"), name = dir + "/a_b_c_.asx";
    testsupport::WriteFileText(local, "x");
    testsupport::WriteFileText(temp.File("mine.asx"), "old");
    testsupport::WriteFileText(temp.File("plain"), "plain");
    const std::string missing = dir + "/missing/x.asx", underFile = dir + "/plain/x.asx", cut = dir + "/cut.asx";
    const std::string cannot = "cannot write ", askN = "save as " + dir + "/n.asx";
    const struct {
        bool saveAs;
        std::string source, name, chosen;
        bool overwrite;
        ExportStatus status;
        std::string path;
        std::vector<std::string> asked;
        std::string message = "";  // for a failure
    } rows[] = {
        {false, "mms://h/live&x=<1>", "a:b/c?", "", true, ExportStatus::Written, name, {}},
        {false, "mms://h/other", "a:b/c?", "", false, ExportStatus::Declined, name, {"overwrite " + name}},
        {false, "mms://h/live", "", "", true, ExportStatus::Cancelled, "", {"save as " + dir + "/noname.asx"}},
        {true, "mms://h/live", "", dir + "/new.asx", true, ExportStatus::Written, dir + "/new.asx",
         {"save as " + dir + "/noname.asx"}},
        {true, "http://h/s.asf", "show", dir + "/mine.asx", true, ExportStatus::Written, dir + "/mine.asx",
         {"save as " + dir + "/show.asx", "overwrite mine.asx"}},
        {false, local, "clip", dir + "/x.asx", true, ExportStatus::NotExported, "", {}},
        {true, local, "clip", dir + "/x.asx", true, ExportStatus::NotExported, "", {}},
        {true, "mms://h/live", "n", missing, true, ExportStatus::Failed, missing, {askN},
         cannot + missing + ": No such file or directory"},
        {true, "mms://h/live", "n", underFile, true, ExportStatus::Failed, underFile, {askN},
         cannot + underFile + ": Not a directory"},
        {true, "mms://h/live", "n", "/dev/full", true, ExportStatus::Failed, "/dev/full", {askN, "overwrite full"},
         cannot + "/dev/full: No space left on device"},
        {true, "mms://h/" + std::string(233, 'r'), "n", cut, true, ExportStatus::Failed, cut, {askN},
         cannot + cut + ": the address is 241 bytes long, more than the 240 a playlist line holds"},
        {true, "mms://h/a\r\n<ref href=\"x\"/>", "n", cut, true, ExportStatus::Failed, cut, {askN},
         cannot + cut + ": the address holds a line break or a NUL, which a playlist line cannot carry"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.source + " as '" + row.name + "'");
        ScriptedExportQuestions questions;
        questions.chosen = row.chosen;
        questions.overwrite = row.overwrite;
        const ExportOutcome o = row.saveAs ? SavePlaylistAs(row.source, row.name, dir, questions)
                                           : SavePlaylist(row.source, row.name, dir, questions);
        EXPECT_EQ(o.status, row.status);
        EXPECT_EQ(o.path, row.path);
        EXPECT_EQ(o.message, row.message);
        EXPECT_EQ(questions.asked, row.asked);
        if (row.status == ExportStatus::Written) {
            EXPECT_EQ(ReadFileText(o.path), Playlist(CleanedExportName(row.name), row.source));
        }
    }
    EXPECT_EQ(ReadFileText(name), Playlist("a_b_c_", "mms://h/live&x=<1>"));
    EXPECT_EQ(temp.Names(), (std::vector<std::string>{"a_b_c_.asx", "clip.wmv", "mine.asx", "new.asx", "plain"}));
}

}  // namespace
}  // namespace larkspan
