// The record list without recordings: adding sources, row times, job
// numbers, deleting rows and chaining playback.
#include <climits>
#include <filesystem>
#include <set>
#include <thread>

#include "tests/recorder_ui/ListFixture.h"
#include "tests/support/FileContents.h"
#include "ui/recorder/RecordListWindow.h"
#include "ui/recorder/RecordTime.h"
#include "ui/skin/Skin.h"

#include <QHeaderView>
#include <QSignalSpy>
#include <QTableView>

namespace larkspan {
namespace {

TEST(RecordTime, WholeMinutesOrHoursAndMinutes) {
    const std::pair<const char*, int> rows[] = {  // -1: refused
        {"0", 0},        {"", 0},      {"0:0", 0},   {"90", 5400},  {"1:30", 5400},         {" 15 ", 900},
        {"0:45", 2700},  {"2:0", 7200}, {"-5", -1},   {"+5", -1},    {"1:x", -1},            {"abc", -1},
        {"1:2:3:4", -1}, {"1:", -1},    {":30", -1},  {"90x", -1},   {"35791394", 2147483640}, {"35791395", -1},
        {"99999999999", -1}, {"596524:0", -1},
    };
    for (const auto& [text, seconds] : rows) EXPECT_EQ(ParseRecordTime(text).value_or(-1), seconds) << text;
}

TEST(JobNumbers, SkipZeroAndNumbersInUse) {
    const struct { std::uint16_t last; std::set<std::uint16_t> running; std::uint16_t next; } rows[] = {
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
    RowPlayerState State() const override { return RowPlayerState::Stopped; }  // the medium has ended
    bool IsPaused() const override { return false; }
    std::vector<std::string> calls;
};

TEST_F(ListFixture, PlaybackChaining) {
    // A tick after the last row's medium ended: the calls made, the row selected then.
    const struct { int rows; bool repeat; std::vector<std::string> calls; int selected; } cases[] = {
        {1, false, {}, 0}, {1, true, {"seek 0", "play"}, 0}, {3, false, {"open mms://h/0 t0", "play"}, 0},
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

TEST_F(ListFixture, ListWindowLayoutAndPresses) {
    Skin skin;
    QWidget owner;
    RecordListWindow window(&skin, &list_, &owner);
    QTableView* view = window.ListView();
    window.show();
    const struct { QSize size; QRect list, banner; } sizes[] = {
        {{275, 257}, {9, 6, 257, 175}, {9, 186, 257, 64}},
        {{409, 300}, {9, 6, 391, 218}, {9, 229, 391, 64}},
    };
    for (const auto& s : sizes) {
        window.resize(s.size);
        EXPECT_EQ(view->geometry(), s.list);
        EXPECT_EQ(window.BannerPane()->geometry(), s.banner);
        // 55, 20, 15 and 10 per cent of the inside of the list: all four fit.
        const int inner = view->viewport()->width();
        EXPECT_EQ((std::vector<int>{view->columnWidth(0), view->columnWidth(1), view->columnWidth(2)}),
                  (std::vector<int>{inner * 55 / 100, inner * 20 / 100, inner * 15 / 100}));
        EXPECT_LE(view->columnWidth(0) + view->columnWidth(1) + view->columnWidth(2) + view->columnWidth(3), inner);
    }
    QStringList headers;
    for (int c = 0; c < 7; ++c) headers << list_.Model()->headerData(c, Qt::Horizontal).toString();
    EXPECT_EQ(headers, QStringList({"File", "Time", "KByte", "%", "File", "Play File", "RecTime"}));
    EXPECT_EQ((std::vector<bool>{view->isColumnHidden(3), view->isColumnHidden(4), view->isColumnHidden(6)}),
              (std::vector<bool>{false, true, true}));
    // The band that resizes: the last 5 pixels, 5 pixels in from either side.
    const std::pair<QPoint, bool> band[] = {
        {{5, 299}, true}, {{403, 295}, true}, {{4, 299}, false}, {{404, 299}, false}, {{200, 294}, false}};
    for (const auto& [point, inside] : band) EXPECT_EQ(window.InResizeBand(point), inside) << point.x() << point.y();
    QSignalSpy right(&window, &RecordListWindow::rightPressed);
    QTest::mouseClick(&window, Qt::RightButton, {}, QPoint(3, 100));
    EXPECT_EQ(right.count(), 1);
}

// The detector's calls, made on its own thread, change the list only on the
// user-interface thread; detected rows stay out of the recent list.
TEST_F(ListFixture, DetectedAddressesArriveOnTheUserInterfaceThread) {
    std::thread([bridge = list_.Bridge()] {
        bridge->AddRow("mms://h/seen", "", "0");
        bridge->SetRowName("mms://h/seen", "Title", "0");
    }).join();
    EXPECT_EQ(list_.Model()->Count(), 0);
    ASSERT_TRUE(WaitFor([&] { return Cell(0, 4) == "Title"; }));
    EXPECT_EQ(Cell(0, 0), "mms://h/seen");
    EXPECT_TRUE(list_.RecentList().isEmpty());
}

}  // namespace
}  // namespace larkspan
