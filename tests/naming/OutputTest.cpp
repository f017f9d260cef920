// Where a recording goes: its output path, the "name (n)" variant of a taken
// path, and the opening of the output (overwrite question, Save As).
#include <gtest/gtest.h>

#include <deque>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "asf/OutputFile.h"
#include "recorder/OutputClaim.h"
#include "recorder/OutputCreation.h"
#include "recorder/OutputNaming.h"
#include "recorder/RunOutputs.h"
#include "tests/support/FileContents.h"
#include "tests/support/TempFolder.h"

namespace larkspan {
namespace {

namespace fs = std::filesystem;
using testsupport::ReadFileText;
using A = OverwriteAnswer;

// Overwrite answers in turn (then Cancel), Save As choices in turn (then none).
class ScriptedAsker : public QuestionAsker {
public:
    ScriptedAsker(std::deque<OverwriteAnswer> answers, std::deque<std::string> choices)
        : answers_(std::move(answers)), choices_(std::move(choices)) {}
    OverwriteAnswer AskOverwrite(const std::string& path) override {
        asked.push_back(OverwriteQuestionText(path));
        const OverwriteAnswer answer = answers_.empty() ? OverwriteAnswer::Cancel : answers_.front();
        if (!answers_.empty()) answers_.pop_front();
        return answer;
    }
    std::string AskSaveAs(const std::string& suggested) override {
        asked.push_back("save as " + suggested);
        const std::string choice = choices_.empty() ? std::string() : choices_.front();
        if (!choices_.empty()) choices_.pop_front();
        return choice;
    }
    std::vector<std::string> asked;

private:
    std::deque<OverwriteAnswer> answers_;
    std::deque<std::string> choices_;
};

TEST(OutputNaming, StreamPaths) {
    const std::string a300(300, 'a'), x31(31, 'x');
    std::string wide;  // 200 characters of 3 bytes each
    for (int i = 0; i < 200; ++i) wide += "\xE4\xB8\xAD";
    const struct {
        std::string base, name, reference, expected;
    } rows[] = {
        {"/tmp/rec", "", "mms://host/a/b.wma", "/tmp/rec/b.wma"},
        {"/tmp/rec", "clip", "mms://host/a/b.wma", "/tmp/rec/clip.wma"},
        {"/tmp/rec", "clip", "mms://host/live", "/tmp/rec/clip.asf"},
        {"/tmp/rec", "a\\b/c:d*e?f\"g<h>i|j", "mms://h/x.asf", "/tmp/rec/a_b_c_d_e_f_g_h_i_j.asf"},
        {"/tmp/rec", std::string("a\0b", 3), "mms://h/x.asf", "/tmp/rec/a_b.asf"},
        {"/tmp/rec", "\xC3\x9C (1) [x] & y.~", "mms://h/x.wmv", "/tmp/rec/\xC3\x9C (1) [x] & y.~.wmv"},
        {"/tmp/rec", "", "http://host/get?f=1", "/tmp/rec/get.asf"},
        {"/tmp/rec", "", "mms://host/dir/", "/tmp/rec/.asf"},
        {"/tmp/rec", "", "http://host/?id=3", "/tmp/rec/.asf"},
        {"/tmp/rec", "", "mms://h/x\x01y\x7F.asf", "/tmp/rec/x_y_.asf"},
        // No reference or name, however hostile, leads out of the base folder.
        {"/tmp/rec", "", "mms://h/..", "/tmp/rec/__"},
        {"/tmp/rec", "..", "mms://h/..", "/tmp/rec/___"},
        {"/tmp/rec", "../x", "mms://h/a.asf", "/tmp/rec/.._x.asf"},
        {"/tmp/rec", "\r\n", "mms://h/a.asf", "/tmp/rec/__.asf"},
        {"/tmp/rec", "", "mms://h/..\\..\\..\\etc\\passwd", "/tmp/rec/passwd.asf"},
        {"/tmp/rec", "", "http://h/get?f=/../../x", "/tmp/rec/x.asf"},
        {"/tmp/rec", "", std::string("mms://h/x\0..", 12), "/tmp/rec/x_.."},
        {"/tmp/rec", "", "", "/tmp/rec/.asf"},
        {"/tmp/rec", "", "mms://h/" + std::string(300, '.'), "/tmp/rec/" + std::string(255, '_')},
        // A base folder with a '.' adds no extension to a name without one.
        {"/x/my.rec", "", "mms://host/live", "/x/my.rec/live"},
        {"/x/my.rec", "n", "mms://host/live", "/x/my.rec/n.asf"},
        // The extension is the tail's, query and all, then the query goes.
        {"/tmp/rec", "clip", "mms://host/x.asf?a=1", "/tmp/rec/clip.asf"},
        {"/tmp/rec", "clip", "http://host/get.php?f=a.wmv", "/tmp/rec/clip.wmv"},
        {"/tmp/rec", "", "http://host/v.wmv?a=1?b=2", "/tmp/rec/v.wmv?a=1"},
        {"/tmp/rec", "clip", "mms://media.example/live", "/tmp/rec/clip.asf"},
        {"/tmp/why?rec", "", "mms://h/live", "/tmp/why?rec/live.asf"},
        {"/tmp/rec/", "", "mms://h/a.asf", "/tmp/rec/a.asf"},
        {"/", "", "mms://h/a.asf", "/a.asf"},
        {"", "", "mms://h/a.asf", "./a.asf"},
        {"/tmp/rec", "", "mms://h/a\\b.wma", "/tmp/rec/b.wma"},
        {"/tmp/rec", "", "live", "/tmp/rec/live.asf"},
        // File names of at most 255 bytes: cut keeping an extension of up to
        // 32 bytes, and never inside a UTF-8 character.
        {"/r", "", "mms://h/" + std::string(251, 'a') + ".asf", "/r/" + std::string(251, 'a') + ".asf"},
        {"/r", "", "mms://h/" + std::string(252, 'a') + ".asf", "/r/" + std::string(251, 'a') + ".asf"},
        {"/r", "", "mms://h/" + a300 + "." + x31, "/r/" + std::string(223, 'a') + "." + x31},
        {"/r", "", "mms://h/" + a300 + "." + std::string(32, 'x'), "/r/" + std::string(255, 'a')},
        {"/r", "", "mms://h/" + wide + ".asf", "/r/" + wide.substr(0, 249) + ".asf"},
        {"/r", "", "mms://h/" + std::string(300, '\xB8') + ".", "/r/" + std::string(254, '\xB8') + "."},
        {"/r", std::string(400, 'n'), "mms://h/x.wma", "/r/" + std::string(251, 'n') + ".wma"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.reference + " as '" + row.name + "' in " + row.base);
        EXPECT_EQ(StreamOutputPath(row.reference, row.name, row.base), row.expected);
    }
}

TEST(OutputNaming, MetaDownloadPathIsTheTailUncut) {
    const std::pair<std::string, std::string> rows[] = {
        {"http://a/list.asx", "/tmp/rec/list.asx"},       {"http://a/list.asx?x=1", "/tmp/rec/list.asx?x=1"},
        {"http://a/b/play", "/tmp/rec/play"},             {"http://a/list.asx/", "/tmp/rec/noname.asx"},
        {"http://a/...", "/tmp/rec/___"},
    };
    for (const auto& [reference, expected] : rows) EXPECT_EQ(MetaDownloadPath(reference, "/tmp/rec"), expected);
}

// A path a running recording claims, or one an earlier recording of the run
// wrote, gives the next free "name (n)"; a claim ends with its object.
TEST(OutputClaim, TakenPathsGiveTheNextFreeVariant) {
    testsupport::TempFolder folder("claims");
    const std::string dir = folder.Path();
    testsupport::WriteFileText(dir + "/live (2)", "on disk");
    RunOutputs written;
    written.Add(dir + "/sub/../done.wma");
    const struct {
        std::string path;
        std::vector<std::string> variants;  // what a first, second, ... claim of path gets
    } rows[] = {
        {dir + "/clip.asf", {dir + "/clip.asf", dir + "/clip (2).asf", dir + "/clip (3).asf"}},
        // Another spelling of a claimed file is the same claim.
        {dir + "/./x/../clip.asf", {dir + "/./x/../clip (4).asf"}},
        // A variant is never a file already on disk; an unclaimed file on
        // disk is left to the overwrite question.
        {dir + "/live", {dir + "/live", dir + "/live (3)"}},
        {dir + "/live (2)", {dir + "/live (2)"}},
        {dir + "/a.b.wmv", {dir + "/a.b.wmv", dir + "/a.b (2).wmv"}},
        {dir + "/.hidden", {dir + "/.hidden", dir + "/.hidden (2)"}},
        {dir + "/done.wma", {dir + "/done (2).wma", dir + "/done (3).wma"}},
        // A variant stays a name of at most 255 bytes.
        {dir + "/" + std::string(251, 'v') + ".asf", {dir + "/" + std::string(251, 'v') + ".asf",
                                                      dir + "/" + std::string(247, 'v') + " (2).asf"}},
    };
    std::vector<std::unique_ptr<OutputClaim>> claims;
    for (const auto& row : rows) {
        for (const std::string& variant : row.variants) {
            claims.push_back(std::make_unique<OutputClaim>());
            EXPECT_EQ(claims.back()->ClaimFreeVariant(row.path, &written), variant) << row.path;
            EXPECT_TRUE(claims.back()->Holds(variant));
        }
    }
    EXPECT_TRUE(OutputClaim::InUse(dir + "/clip.asf"));
    EXPECT_FALSE(OutputClaim().Claim(dir + "/clip.asf"));
    EXPECT_FALSE(OutputClaim::InUse(dir + "/done.wma"));  // written, but claimed by nobody
    claims.front()->Release();
    EXPECT_FALSE(OutputClaim::InUse(dir + "/clip.asf"));
    EXPECT_EQ(OutputClaim().ClaimFreeVariant(dir + "/clip.asf"), dir + "/clip.asf");
    claims.push_back(std::make_unique<OutputClaim>());
    ASSERT_TRUE(claims.back()->Claim(dir + "/exact.asf"));
    EXPECT_TRUE(claims.back()->Holds(dir + "/./exact.asf"));
    claims.clear();
    EXPECT_FALSE(OutputClaim::InUse(dir + "/clip (3).asf"));
    EXPECT_FALSE(OutputClaim::InUse(dir + "/exact.asf"));
}

std::string Question(const std::string& path) { return path + " \n\n File exist. Overwrite?"; }

TEST(OutputCreation, StreamOutputQuestionsAndFallbacks) {
    testsupport::TempFolder folder("naming");
    const std::string dir = folder.Path(), rec = dir + "/rec", at = rec + "/a.asf";
    const std::string gone = dir + "/gone", underFile = dir + "/plain/rec";
    // Save As paths of exactly the dialog's 511 characters and one more.
    const std::string deep = dir + "/" + std::string(150, 'd') + "/" + std::string(150, 'd');
    const std::string at511 = deep + "/" + std::string(511 - deep.size() - 5, 'p') + ".asf";
    const std::string at512 = deep + "/" + std::string(512 - deep.size() - 5, 'p') + ".asf";
    const struct {
        const char* name;
        std::string base;
        int overWrite;
        const char* inTheWay;  // what is at rec/a.asf before: "file", "folder" or nothing
        std::deque<OverwriteAnswer> answers;
        std::deque<std::string> choices;
        OutputOutcome outcome;
        std::string path;  // the output path after
        std::vector<std::string> asked;
        bool meta = false;  // a meta download: never questioned
    } rows[] = {
        {"new file", rec, 1, nullptr, {}, {}, OutputOutcome::Opened, at, {}},
        {"replaced without question", rec, 0, "file", {}, {}, OutputOutcome::Opened, at, {}},
        {"Yes replaces", rec, 1, "file", {A::Yes}, {}, OutputOutcome::Opened, at, {Question(at)}},
        {"No, then another path", rec, 1, "file", {A::No}, {dir + "/other.asf"}, OutputOutcome::Opened,
         dir + "/other.asf", {Question(at), "save as " + at}},
        {"No, then an existing path", rec, 1, "file", {A::No}, {dir + "/old.asf"}, OutputOutcome::Opened,
         dir + "/old.asf", {Question(at), "save as " + at}},
        {"No, then Save As cancelled", rec, 1, "file", {A::No}, {}, OutputOutcome::Cancelled, at,
         {Question(at), "save as " + at}},
        {"Cancel", rec, 1, "file", {A::Cancel}, {}, OutputOutcome::Cancelled, at, {Question(at)}},
        {"Skip", rec, 1, "file", {A::Skip}, {}, OutputOutcome::Skipped, at, {Question(at)}},
        {"folder in the way", rec, 1, "folder", {A::Yes}, {dir + "/y.asf"}, OutputOutcome::Opened, dir + "/y.asf",
         {Question(at), "save as a.asf"}},
        {"missing base folder", gone, 1, nullptr, {}, {dir + "/c.asf"}, OutputOutcome::Opened, dir + "/c.asf",
         {"save as a.asf"}},
        {"missing base folder, Save As cancelled", gone, 1, nullptr, {}, {}, OutputOutcome::CreationError,
         gone + "/a.asf", {"save as a.asf"}},
        {"base folder under a file", underFile, 1, nullptr, {}, {}, OutputOutcome::CreationError,
         underFile + "/a.asf", {"save as a.asf"}},
        {"Save As path of 511", gone, 1, nullptr, {}, {at511}, OutputOutcome::Opened, at511, {"save as a.asf"}},
        {"Save As path of 512", gone, 1, nullptr, {}, {at512}, OutputOutcome::CreationError, gone + "/a.asf",
         {"save as a.asf"}},
        {"meta download over a file", rec, 1, "file", {}, {}, OutputOutcome::Opened, at, {}, true},
        {"meta download, missing base folder", gone, 1, nullptr, {}, {}, OutputOutcome::CreationError,
         gone + "/a.asf", {"save as a.asf"}, true},
        {"Save As path with a NUL", gone, 1, nullptr, {}, {std::string("/tmp/a\0b.asf", 12)},
         OutputOutcome::CreationError, gone + "/a.asf", {"save as a.asf"}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        fs::remove_all(dir);
        fs::create_directories(rec);
        fs::create_directories(deep);
        testsupport::WriteFileText(dir + "/plain", "plain");
        testsupport::WriteFileText(dir + "/old.asf", "old");
        if (row.inTheWay && std::string(row.inTheWay) == "file") testsupport::WriteFileText(at, "old");
        if (row.inTheWay && std::string(row.inTheWay) == "folder") fs::create_directory(at);
        RecorderSettings settings;
        settings.baseDir = row.base;
        settings.overWrite = row.overWrite;
        ScriptedAsker asker(row.answers, row.choices);
        std::string path;
        OutputFile file;
        const std::string reference = "mms://h/x/a.asf";
        EXPECT_EQ(row.meta ? OpenMetaDownload(settings, reference, asker, path, file)
                           : OpenStreamOutput(settings, reference, "", asker, path, file),
                  row.outcome);
        EXPECT_EQ(path, row.path);
        EXPECT_EQ(asker.asked, row.asked);
        const bool opened = row.outcome == OutputOutcome::Opened;
        if (opened) {
            ASSERT_TRUE(file.Write("new", 3));
            ASSERT_TRUE(file.Close());
            EXPECT_EQ(ReadFileText(path), "new");
        }
        if (row.inTheWay && std::string(row.inTheWay) == "file") {
            EXPECT_EQ(ReadFileText(at), opened && path == at ? "new" : "old");
        }
        EXPECT_EQ(ReadFileText(dir + "/old.asf"), opened && path == dir + "/old.asf" ? "new" : "old");
    }
}

// The dialog shows at most 511 characters of a suggestion, not cutting a
// UTF-8 character; a cancelled dialog leaves the text as it was.
TEST(OutputCreation, SaveAsSuggestionFitsTheDialog) {
    const std::pair<std::string, std::string> rows[] = {
        {std::string(511, 'q'), std::string(511, 'q')}, {std::string(800, 'q'), std::string(511, 'q')},
        {std::string(510, 'q') + "\xC3\xA9", std::string(510, 'q')},
        {std::string(509, 'q') + "\xC3\xA9", std::string(509, 'q') + "\xC3\xA9"},
    };
    for (const auto& [text, shown] : rows) {
        ScriptedAsker asker({}, {});
        std::string kept = text;
        EXPECT_FALSE(AskSaveAsPath(asker, kept));
        EXPECT_EQ(asker.asked, std::vector<std::string>{"save as " + shown});
        EXPECT_EQ(kept, text);
    }
}

}  // namespace
}  // namespace larkspan
