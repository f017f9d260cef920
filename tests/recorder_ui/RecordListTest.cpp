// The record list without recordings: adding sources, row times, job
// numbers, deleting rows and chaining playback.
#include <climits>
#include <filesystem>
#include <set>

#include "tests/recorder_ui/ListFixture.h"
#include "tests/support/FileContents.h"
#include "ui/recorder/RecordTime.h"

namespace larkspan {
namespace {

TEST(RecordTime, WholeMinutesOrHoursAndMinutes) {
    const std::pair<const char*, std::optional<int>> rows[] = {
        {"0", 0},           {"", 0},          {"0:0", 0},         {"90", 5400},    {"1:30", 5400},
        {" 15 ", 900},      {"0:45", 2700},   {"2:0", 7200},      {"35791394", 2147483640},
        {"-5", std::nullopt},   {"+5", std::nullopt},     {"1:x", std::nullopt},  {"abc", std::nullopt},
        {"1:2:3:4", std::nullopt}, {"1:", std::nullopt},  {":30", std::nullopt},  {"90x", std::nullopt},
        {"35791395", std::nullopt}, {"99999999999", std::nullopt}, {"596524:0", std::nullopt},
    };
    for (const auto& [text, seconds] : rows) EXPECT_EQ(ParseRecordTime(text), seconds) << text;
}

TEST(JobNumbers, SkipZeroAndNumbersInUse) {
    const struct {
        std::uint16_t last;
        std::set<std::uint16_t> running;
        std::uint16_t next;
    } rows[] = {
        {0, {}, 1}, {41, {}, 42}, {65534, {}, 65535}, {65535, {}, 1}, {65535, {1, 2}, 3}, {7, {8, 9, 10}, 11},
    };
    for (const auto& row : rows)
        EXPECT_EQ(NextJobNumber(row.last, [&](std::uint16_t j) { return row.running.count(j) != 0; }), row.next)
            << row.last;
    EXPECT_EQ(NextJobNumber(3, [](std::uint16_t) { return true; }), 0);
}

TEST_F(ListFixture, AddingSources) {
    auto put = [&](const std::string& name, const std::string& text) {
        testsupport::WriteFileText(base_.File(name), text);
        return QString::fromStdString(base_.File(name));
    };
    const QString one = put("one.asx", "<asx><entry><ref href=\"mms://h/solo\"/></entry></asx>");
    const QString three = put("three.asx", "<asx><ref href=\"mms://h/a\"/><ref href=\"mms://h/b\"/>"
                                           "<ref href=\"mms://h/c\"/></asx>");
    std::string padded = "<asx><ref href=\"mms://h/big\"/></asx>";
    padded.resize(102400, ' ');
    const QString big = put("big.asx", padded);
    const QString none = put("none.asx", "<asx version=\"3.0\">\r\n</asx>\r\n");
    const QString bare = put("bare.asx", "mms://h/bare\r\n");

    EXPECT_EQ(list_.AddEntry("mms://h/live", "", "0"), 0);
    EXPECT_EQ(list_.AddEntry("http://h/x", "", "0"), 1);
    EXPECT_EQ(list_.AddEntry("mms://h/live", "other", "5"), 0);  // the row of the first add, unchanged
    EXPECT_EQ(list_.AddEntry(one, "show", "0"), 2);
    EXPECT_EQ(list_.AddEntry(three, "show", "0"), 3);
    EXPECT_EQ(list_.AddEntry(big, "", "0"), 6);
    EXPECT_EQ(list_.AddEntry(none, "", "0"), -1);
    EXPECT_EQ(list_.AddEntry(bare, "", "0"), 7);
    EXPECT_EQ(list_.AddEntry("", "n", "0"), -1);
    const std::vector<std::array<QString, 3>> rows = {
        {"mms://h/live", "", "0"}, {"http://h/x", "", "0"},     {"mms://h/solo", "show", "0"},
        {"mms://h/a", "show0", "0"}, {"mms://h/b", "show1", "0"}, {"mms://h/c", "show2", "0"},
        {big, "big", "0"},        {"mms://h/bare", "bare", "0"},
    };
    ASSERT_EQ(list_.Model()->Count(), static_cast<int>(rows.size()));
    for (int r = 0; r < list_.Model()->Count(); ++r) {
        const std::array<QString, 3> got = {Cell(r, 0), Cell(r, 4), Cell(r, 6)};
        EXPECT_EQ(got, rows[static_cast<size_t>(r)]) << r;
    }
    EXPECT_EQ(list_.RecentList(), QStringList({bare, three, one, "mms://h/live", "http://h/x"}));
    EXPECT_EQ(messages_, std::vector<QString>{"no entries in " + none});
}

// The size and duration of local files reach the rows named by their source,
// also when a row before them went while the probes ran.
TEST_F(ListFixture, FileInfoFollowsTheSource) {
    const std::string clip = samples_ + "/clip.asf", audio = samples_ + "/audio.asf";
    Add("mms://h/first");
    Add(clip);
    Add(audio);
    list_.SetConfirmHook([](const QString&) { return true; });
    list_.SelectRow(0);
    ASSERT_TRUE(list_.DeleteSelectedRow());
    auto kib = [](const std::string& path) {
        return QString::asprintf("%6d", static_cast<int>(std::filesystem::file_size(path) / 1024));
    };
    ASSERT_TRUE(WaitFor([&] { return !Cell(0, 2).isEmpty() && !Cell(1, 2).isEmpty(); }));
    EXPECT_EQ(Cell(0, 2), kib(clip));
    EXPECT_EQ(Cell(1, 2), kib(audio));
    EXPECT_EQ(Cell(0, 1), "0:00:20");
    EXPECT_EQ(Cell(1, 1), "0:00:10");
}

TEST_F(ListFixture, DeleteAsksFirstAndSparesRecordingRows) {
    Serve("held.asf", "clip.asf", {.neverSend = true});
    StartServer();
    Add("mms://h/a");
    Add(server_.MmshUrl("held.asf"));
    std::vector<QString> asked;
    bool yes = false;
    list_.SetConfirmHook([&](const QString& q) {
        asked.push_back(q);
        return yes;
    });
    list_.SelectRow(0);
    EXPECT_FALSE(list_.DeleteSelectedRow());  // answered No
    yes = true;
    EXPECT_TRUE(list_.DeleteSelectedRow());
    list_.SelectRow(0);
    list_.Record();
    ASSERT_EQ(list_.WorkerCount(), 1);
    EXPECT_FALSE(list_.DeleteSelectedRow());  // recording: not even asked
    EXPECT_EQ(asked, std::vector<QString>(2, "Are you sure you want to delete this item ?"));
    EXPECT_EQ(list_.Model()->Count(), 1);
    EXPECT_EQ(Cell(0, 0), QString::fromStdString(server_.MmshUrl("held.asf")));
}

// Records the calls the list makes; stopped until told otherwise.
class CallLog : public RowPlayer {
public:
    bool Open(const std::string& media, const std::string& title) override {
        calls.push_back("open " + media + " " + title);
        return true;
    }
    void Play() override { calls.push_back("play"); }
    void Stop() override { calls.push_back("stop"); }
    void Seek(double s) override { calls.push_back("seek " + std::to_string(static_cast<int>(s))); }
    RowPlayerState State() const override { return RowPlayerState::Stopped; }
    bool IsPaused() const override { return false; }
    std::vector<std::string> calls;
};

TEST_F(ListFixture, PlaybackChaining) {
    const struct {
        int rows;
        bool repeat;
        std::vector<std::string> calls;  // after the row last played is the last row
        int selected;
    } cases[] = {
        {1, false, {}, 0},
        {1, true, {"seek 0", "play"}, 0},
        {3, false, {"open mms://h/0 t0", "play"}, 0},
        {3, true, {"seek 0", "play"}, 2},
    };
    for (const auto& c : cases) {
        RecordList list;
        CallLog player;
        RecorderSettings settings;
        settings.repeat = c.repeat ? 1 : 0;
        list.SetSettings(settings);
        list.SetPlayer(&player);
        for (int r = 0; r < c.rows; ++r)
            list.AddRow(QString("mms://h/%1").arg(r), QString("t%1").arg(r), "0");
        list.SelectRow(c.rows - 1);
        ASSERT_TRUE(list.PlaySelectedRow());
        player.calls.clear();
        list.OnPlaybackTick();
        EXPECT_EQ(player.calls, c.calls) << c.rows << c.repeat;
        EXPECT_EQ(list.SelectedRow(), c.selected);
        EXPECT_EQ(list.PlayRow(), c.selected);
    }
}

}  // namespace
}  // namespace larkspan
