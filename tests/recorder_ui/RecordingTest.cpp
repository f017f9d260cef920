// Recordings of rows against a loopback server: the row texts at each
// status, cancelling, failing, sequences, questions through the
// user-interface thread, and closing while recordings run.
#include <filesystem>

#include "tests/recorder_ui/ListFixture.h"
#include "tests/support/FileContents.h"
#include "tests/support/MuteListener.h"
#include "tests/support/RecordedFiles.h"

namespace larkspan {
namespace {

using testsupport::ReadFileBytes;

class RecordingTest : public ListFixture {
protected:
    void SetUp() override {
        ListFixture::SetUp();
        if (IsSkipped()) return;
        std::string error;
        ASSERT_TRUE(testsupport::SplitAsfFile(samples_ + "/clip.asf", clip_, &error)) << error;
        Serve("audio.asf", "audio.asf");
        Serve("paced.asf", "clip.asf", {.pacing = testserver::Pacing::Realtime});  // 20 s
        StartServer();
    }
    // The statuses shown for row, each once in a row, progress collapsed.
    std::vector<std::string> ShownFor(int row) {
        std::vector<std::string> out;
        for (const std::string& s : shown_)
            if (s.rfind(std::to_string(row) + " ", 0) == 0 && (out.empty() || out.back() != s)) out.push_back(s);
        return out;
    }
    std::string Url(const std::string& key) { return server_.MmshUrl(key); }
    testsupport::AsfFileParts clip_;
};

TEST_F(RecordingTest, ConcurrentRowsRecordToCompletion) {
    Add(Url("audio.asf"));
    Add(Url("audio.asf?b"), "second");
    ASSERT_TRUE(list_.StartRecording(0));
    ASSERT_TRUE(list_.StartRecording(1));
    EXPECT_EQ(list_.LastJobNumber(), 2);
    EXPECT_FALSE(list_.RecordEnabled());
    ASSERT_TRUE(WaitFor([&] { return Idle(); }));
    for (int row : {0, 1}) {
        const std::vector<std::string> shown = ShownFor(row);
        ASSERT_GE(shown.size(), 4u);
        const std::string r = std::to_string(row);
        EXPECT_EQ(shown[0], r + " 0 Connecting| ");
        EXPECT_EQ(shown[1], r + " 2 Received Head| ");
        EXPECT_EQ(shown[shown.size() - 2], r + " 5 0:00:09|96 %");
        EXPECT_EQ(shown.back(), r + " 3 0:00:09|Completed");
    }
    EXPECT_EQ(Cell(0, 0).toStdString(), base_.File("audio.asf"));
    EXPECT_EQ(Cell(0, 5).toStdString(), base_.File("audio.asf"));
    EXPECT_EQ(Cell(1, 0).toStdString(), base_.File("second.asf"));
    EXPECT_EQ(Cell(0, 2), "85");  // the bytes received, the header of the first request included
    EXPECT_TRUE(list_.RecordEnabled());
}

TEST_F(RecordingTest, CancelAndFailure) {
    Add(Url("paced.asf"));
    list_.SelectRow(0);
    list_.Record();
    ASSERT_TRUE(WaitFor([&] { return Cell(0, 3).endsWith(" %"); }));
    EXPECT_TRUE(list_.RecordCancelEnabled());
    list_.RecordCancel();
    EXPECT_EQ(list_.SequenceStart(), -1);
    ASSERT_TRUE(WaitFor([&] { return Idle(); }));
    EXPECT_EQ(Cell(0, 3), "Cancelled");

    // No folder to write in, and Save As cancelled on the user-interface thread.
    settings_.baseDir = base_.File("missing");
    list_.SetSettings(settings_);
    presenter_.answer = [](WorkerQuestion& q) { q.AnswerSaveAs(""); };
    Add(Url("audio.asf"));
    ASSERT_TRUE(list_.StartRecording(1));
    ASSERT_TRUE(WaitFor([&] { return Idle(); }));
    EXPECT_EQ(Cell(1, 1), "File Creation Error");
    EXPECT_EQ(Cell(1, 3), "Error");
    ASSERT_EQ(presenter_.asked.size(), 1u);
    EXPECT_EQ(presenter_.asked[0]->GetKind(), WorkerQuestion::Kind::SaveAs);
    EXPECT_EQ(presenter_.asked[0]->Text(), "audio.asf");
    EXPECT_TRUE(presenter_.onGuiThread);

    list_.Model()->SetText(1, 6, "1:x");
    EXPECT_FALSE(list_.StartRecording(1));
    EXPECT_EQ(messages_.back(), "The record time \"1:x\" is neither a number of minutes nor hours:minutes.");
}

// A sequence started on row 2 of 4 records rows 3, 0 and 1 and stops; with
// rows deleted while it runs, it goes once round what is left.
TEST_F(RecordingTest, Sequences) {
    // Served paths (a row each), the start row, rows deleted in turn while it records, the order recorded.
    using Texts = std::vector<std::string>;
    const struct { Texts keys; int start; std::vector<int> deleted; Texts order; } cases[] = {
        {{"a", "b", "c", "d"}, 2, {}, {"c", "d", "a", "b"}},
        {{"e", "f", "g", "h", "i"}, 1, {0, 2}, {"f", "g", "i"}},
        {{"j", "k", "l"}, 2, {0}, {"l", "k"}},
    };
    list_.SetConfirmHook([](const QString&) { return true; });
    for (const auto& c : cases) {
        for (const std::string& key : c.keys) {
            // The start row takes a while, so that rows can go meanwhile.
            const bool first = key == c.keys[static_cast<size_t>(c.start)];
            Serve(key, first ? "clip.asf" : "audio.asf",
                  {.pacing = first ? testserver::Pacing::Realtime : testserver::Pacing::Fast, .paceSpeed = 10});
        }
        while (list_.Model()->Count() > 0) list_.Model()->Remove(0);
        std::vector<std::string> order;
        auto started = QObject::connect(&list_, &RecordList::recordingStarted, [&](std::uint16_t job) {
            const std::string url = list_.WorkerOf(job)->SourceRef();
            order.push_back(url.substr(url.rfind('/') + 1));
        });
        for (const std::string& key : c.keys) Add(Url(key));
        list_.SelectRow(c.start);
        list_.Record();
        for (int row : c.deleted) {
            list_.SelectRow(row);
            EXPECT_TRUE(list_.DeleteSelectedRow());
        }
        EXPECT_TRUE(WaitFor([&] { return Idle() && list_.SequenceStart() < 0; }));
        QObject::disconnect(started);
        EXPECT_EQ(order, c.order);
    }
}

// Closing answers a question in progress with Cancel at once, and lets the
// running recordings finish their files within the bound.
// Ten recordings: six receiving, two stuck in a connect to a server that
// never answers, two held by the overwrite question (one on screen, one
// waiting its turn). Closing answers both questions with Cancel at once, the
// bounded shutdown ends every worker, and every file is whole.
TEST_F(RecordingTest, ClosingWhileTenWorkersRecordConnectAndAsk) {
    testsupport::MuteListener mute;
    const std::string stuck = "http://127.0.0.1:" + std::to_string(mute.port) + "/";
    testsupport::WriteFileText(base_.File("audio.asf"), "older");
    testsupport::WriteFileText(base_.File("second.asf"), "older too");
    Add(Url("audio.asf"));
    Add(Url("audio.asf?b"), "second");
    Add(stuck + "one.asf");
    Add(stuck + "two.asf");
    const std::vector<std::string> paced = {"paced", "p2", "p3", "p4", "p5", "p6"};
    for (size_t i = 0; i < paced.size(); ++i)
        Add(Url("paced.asf?" + std::to_string(i)), QString::fromStdString(paced[i]));
    for (int row = 0; row < 10; ++row) ASSERT_TRUE(list_.StartRecording(row)) << row;
    ASSERT_TRUE(WaitFor([&] {
        bool receiving = true;
        for (int row = 4; row < 10; ++row) receiving = receiving && Cell(row, 3).endsWith(" %");
        return receiving && presenter_.asked.size() == 1 && list_.Bridge()->PendingQuestions() == 2 &&
               Cell(2, 1) == "Connecting" && Cell(3, 1) == "Connecting";
    }));
    list_.Bridge()->Close();
    EXPECT_EQ(list_.Bridge()->PendingQuestions(), 0);
    EXPECT_EQ(presenter_.asked[0]->OverwriteResult(), OverwriteAnswer::Cancel);
    EXPECT_TRUE(list_.Shutdown(std::chrono::seconds(20)));
    EXPECT_EQ(testsupport::ReadFileText(base_.File("audio.asf")), "older");
    EXPECT_EQ(testsupport::ReadFileText(base_.File("second.asf")), "older too");
    EXPECT_FALSE(std::filesystem::exists(base_.File("one.asf")));
    EXPECT_FALSE(std::filesystem::exists(base_.File("two.asf")));
    for (const std::string& name : paced) {
        const std::vector<uint8_t> got = ReadFileBytes(base_.File(name + ".asf"));
        ASSERT_GT(got.size(), clip_.header.size()) << name;
        const size_t packets = (got.size() - clip_.header.size()) / clip_.packetSize;
        EXPECT_EQ(got, testsupport::RecordedFile(clip_, packets)) << name;
    }
}

}  // namespace
}  // namespace larkspan
