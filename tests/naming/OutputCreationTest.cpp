#include "recorder/OutputCreation.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

#include "asf/OutputFile.h"
#include "media/AsxWriter.h"
#include "recorder/OutputNaming.h"
#include "tests/naming/StreamQuestionAsker.h"
#include "tests/support/FileContents.h"
#include "tests/support/TempFolder.h"

namespace larkspan {
namespace {

namespace fs = std::filesystem;
using testsupport::ReadFileText;

class OutputCreation : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(base_);
        settings_.baseDir = base_.string();
        settings_.overWrite = 1;
    }

    void Put(const fs::path& p, const std::string& content) { testsupport::WriteFileText(p, content); }

    // Opens the output of ref with the given terminal answers.
    OutputOutcome Open(const std::string& ref, const std::string& name, const std::string& answers) {
        std::istringstream in(answers);
        prompts_.str("");
        StreamQuestionAsker asker(in, prompts_);
        OutputFile file;
        OutputOutcome outcome = OpenStreamOutput(settings_, ref, name, asker, outputPath_, file);
        if (outcome == OutputOutcome::Opened) {
            EXPECT_TRUE(file.Write("new", 3));
            EXPECT_TRUE(file.Close());
        }
        return outcome;
    }

    testsupport::TempFolder folder_{"naming"};
    const fs::path dir_ = folder_.Dir();
    const fs::path base_ = dir_ / "rec";
    RecorderSettings settings_;
    std::ostringstream prompts_;
    std::string outputPath_;
};

TEST_F(OutputCreation, NewFileIsCreatedWithoutQuestion) {
    ASSERT_EQ(Open("mms://h/a.asf", "", ""), OutputOutcome::Opened);
    EXPECT_EQ(outputPath_, (base_ / "a.asf").string());
    EXPECT_EQ(ReadFileText(base_ / "a.asf"), "new");
    EXPECT_EQ(prompts_.str(), "");
}

TEST_F(OutputCreation, OverwriteOffReplacesWithoutQuestion) {
    settings_.overWrite = 0;
    Put(base_ / "a.asf", "old contents");
    ASSERT_EQ(Open("mms://h/a.asf", "", ""), OutputOutcome::Opened);
    EXPECT_EQ(ReadFileText(base_ / "a.asf"), "new");
    EXPECT_EQ(prompts_.str(), "");
}

TEST_F(OutputCreation, OverwriteOnAsksAndYesReplaces) {
    Put(base_ / "clip.wma", "old contents");
    ASSERT_EQ(Open("mms://h/x/b.wma", "clip", "y\n"), OutputOutcome::Opened);
    std::string path = (base_ / "clip.wma").string();
    EXPECT_EQ(prompts_.str().rfind(path + " \n\n File exist. Overwrite?", 0), 0u) << prompts_.str();
    EXPECT_EQ(ReadFileText(path), "new");
}

TEST_F(OutputCreation, NoOffersSaveAsWithTheFullPath) {
    Put(base_ / "a.asf", "old");
    fs::path other = dir_ / "other.asf";
    ASSERT_EQ(Open("mms://h/a.asf", "", "n\n" + other.string() + "\n"), OutputOutcome::Opened);
    EXPECT_EQ(outputPath_, other.string());
    EXPECT_NE(prompts_.str().find("[" + (base_ / "a.asf").string() + "]"), std::string::npos);
    EXPECT_EQ(ReadFileText(base_ / "a.asf"), "old");
    EXPECT_EQ(ReadFileText(other), "new");
}

TEST_F(OutputCreation, ChosenPathIsNotQuestionedAgain) {
    Put(base_ / "a.asf", "old");
    Put(dir_ / "taken.asf", "taken");
    ASSERT_EQ(Open("mms://h/a.asf", "", "n\n" + (dir_ / "taken.asf").string() + "\n"), OutputOutcome::Opened);
    EXPECT_EQ(ReadFileText(dir_ / "taken.asf"), "new");
}

TEST_F(OutputCreation, CancellingStopsAndWritesNothing) {
    Put(base_ / "a.asf", "old");
    EXPECT_EQ(Open("mms://h/a.asf", "", "c\n"), OutputOutcome::Cancelled);
    EXPECT_EQ(Open("mms://h/a.asf", "", "n\n\n"), OutputOutcome::Cancelled);  // Save As cancelled
    EXPECT_EQ(Open("mms://h/a.asf", "", ""), OutputOutcome::Cancelled);       // nobody answers
    EXPECT_EQ(ReadFileText(base_ / "a.asf"), "old");
    EXPECT_EQ(outputPath_, (base_ / "a.asf").string());
}

TEST_F(OutputCreation, MissingBaseFolderFallsBackToSaveAsWithTheFileName) {
    settings_.baseDir = (dir_ / "gone").string();
    fs::path chosen = dir_ / "chosen.asf";
    ASSERT_EQ(Open("mms://h/live", "clip", chosen.string() + "\n"), OutputOutcome::Opened);
    EXPECT_NE(prompts_.str().find("[clip.asf]"), std::string::npos) << prompts_.str();
    EXPECT_EQ(outputPath_, chosen.string());
    EXPECT_EQ(ReadFileText(chosen), "new");
}

TEST_F(OutputCreation, CancelledFallbackIsACreationErrorNotAStop) {
    settings_.baseDir = (dir_ / "gone").string();
    EXPECT_EQ(Open("mms://h/live", "clip", "\n"), OutputOutcome::CreationError);
}

TEST_F(OutputCreation, FolderAtTheOutputPath) {
    fs::create_directory(base_ / "x.asf");
    fs::path chosen = dir_ / "y.asf";
    // Asked (something exists), Yes, cannot be created, Save As.
    ASSERT_EQ(Open("mms://h/x.asf", "", "y\n" + chosen.string() + "\n"), OutputOutcome::Opened);
    EXPECT_EQ(ReadFileText(chosen), "new");
}

TEST_F(OutputCreation, SaveAsPathLimit) {
    settings_.baseDir = (dir_ / "gone").string();
    std::string longPath = (dir_ / std::string(600, 'p')).string() + ".asf";
    EXPECT_EQ(Open("mms://h/live", "clip", longPath + "\n"), OutputOutcome::CreationError);

    std::istringstream in("");
    std::ostringstream out;
    StreamQuestionAsker asker(in, out);
    std::string text(800, 'q');
    EXPECT_FALSE(AskSaveAsPath(asker, text));
    // The suggestion is shown cut to the dialog's 511 characters.
    EXPECT_NE(out.str().find("[" + std::string(511, 'q') + "]"), std::string::npos);
    EXPECT_EQ(out.str().find(std::string(512, 'q')), std::string::npos);
    EXPECT_EQ(text, std::string(800, 'q'));
}

TEST_F(OutputCreation, SaveAsAsksAgainForAMissingFolderAndAddsTheExtension) {
    std::istringstream in((dir_ / "nope" / "a.asf").string() + "\n" + (dir_ / "fine").string() + "\n");
    std::ostringstream out;
    StreamQuestionAsker asker(in, out);
    EXPECT_EQ(asker.AskSaveAs("x.asf"), (dir_ / "fine.asf").string());
    EXPECT_NE(out.str().find("The folder does not exist."), std::string::npos);
}

TEST_F(OutputCreation, MetaDownloadIsNeverQuestioned) {
    Put(base_ / "list.asx", "old playlist");
    std::istringstream in("");
    std::ostringstream out;
    StreamQuestionAsker asker(in, out);
    std::string path;
    OutputFile file;
    ASSERT_EQ(OpenMetaDownload(settings_, "http://h/list.asx", asker, path, file), OutputOutcome::Opened);
    EXPECT_EQ(path, (base_ / "list.asx").string());
    // Replaced only by a download that brings something.
    file.Close();
    EXPECT_EQ(ReadFileText(base_ / "list.asx"), "old playlist");
    ASSERT_EQ(OpenMetaDownload(settings_, "http://h/list.asx", asker, path, file), OutputOutcome::Opened);
    ASSERT_TRUE(file.Write("new", 3));
    file.Close();
    EXPECT_EQ(ReadFileText(base_ / "list.asx"), "new");
    EXPECT_EQ(out.str(), "");
}

TEST_F(OutputCreation, MetaDownloadFallsBackToSaveAsWithTheTail) {
    settings_.baseDir = (dir_ / "gone").string();
    std::istringstream in("\n");
    std::ostringstream out;
    StreamQuestionAsker asker(in, out);
    std::string path;
    OutputFile file;
    EXPECT_EQ(OpenMetaDownload(settings_, "http://h/list.asx", asker, path, file), OutputOutcome::CreationError);
    EXPECT_NE(out.str().find("[list.asx]"), std::string::npos);
}

// The Save command of the record list: the cleaned row name is both the
// file name and the title.
TEST_F(OutputCreation, ExportedPlaylistTakesTheCleanedName) {
    std::string name = "a:b";
    SanitizeFileName(name);
    std::string path = JoinPath(base_.string(), name + ".asx");
    int asked = 0;
    auto confirm = [&](const std::string&) { return ++asked, true; };
    ASSERT_EQ(WriteAsxFile(path, name, "mms://h/live&x=<1>", confirm), AsxWriteResult::Written);
    EXPECT_EQ(path, (base_ / "a_b.asx").string());
    std::string text = ReadFileText(path);
    EXPECT_NE(text.find("<TITLE>a_b</TITLE>\r\n"), std::string::npos);
    EXPECT_NE(text.find("<ref href=\"mms://h/live&x=<1>\"/>\r\n"), std::string::npos);
    EXPECT_EQ(asked, 0);
    ASSERT_EQ(WriteAsxFile(path, name, "mms://h/other", confirm), AsxWriteResult::Written);
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(ReadFileText(path).find("live"), std::string::npos);
}

TEST(QuestionText, OverwriteQuestion) {
    EXPECT_EQ(OverwriteQuestionText("/r/a.asf"), "/r/a.asf \n\n File exist. Overwrite?");
}

}  // namespace
}  // namespace larkspan
