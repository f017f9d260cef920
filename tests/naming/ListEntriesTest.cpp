#include "recorder/ListEntries.h"
#include "tests/support/FileContents.h"
#include "tests/support/TempFolder.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <climits>
#include <filesystem>
#include <fstream>
#include <future>
#include <string>
#include <vector>

namespace larkspan {

// Printed by gtest when a row comparison fails.
void PrintTo(const ListRow& row, std::ostream* os) {
    *os << "{" << ::testing::PrintToString(row.source) << ", " << ::testing::PrintToString(row.name) << ", "
        << ::testing::PrintToString(row.recordTime) << "}";
}

namespace {

namespace fs = std::filesystem;

const std::string kTwoRefs = "<ASX><Entry><Ref href=\"mms://a/1.asf\"/></Entry><Entry><Ref href=\"http://b/2.asf\"/>"
                             "</Entry></ASX>";

// A playlist of exactly size bytes whose one entry is mms://a/x.
std::string PaddedPlaylist(size_t size) {
    std::string text = "<Ref href=\"mms://a/x\"/>";
    text.resize(size, ' ');
    return text;
}

class ListEntries : public ::testing::Test {
protected:
    testsupport::TempFolder folder_{"list"};
    const fs::path dir_ = folder_.Dir();

    std::string Put(const std::string& name, const std::string& content) {
        const fs::path p = dir_ / name;
        testsupport::WriteFileText(p, content);
        return p.string();
    }
    std::string In(const std::string& name) const { return (dir_ / name).string(); }

};

struct PlaylistCase {
    const char* what;
    std::string content;
    std::string name;
    std::vector<ListRow> rows;  // "@" in a source stands for the playlist's own path
};

TEST_F(ListEntries, LocalPlaylistGivesOneRowPerReference) {
    const std::vector<PlaylistCase> cases = {
        {"two refs, given name", kTwoRefs, "n", {{"mms://a/1.asf", "n0", "0"}, {"http://b/2.asf", "n1", "0"}}},
        {"two refs, name from the file", kTwoRefs, "", {{"mms://a/1.asf", "list0", "0"}, {"http://b/2.asf", "list1", "0"}}},
        {"one ref keeps the name", "<Ref href=\"mms://a/1.asf\"/>", "n", {{"mms://a/1.asf", "n", "0"}}},
        {"bare URL is the reference, line end included", "mms://a/x.asf\r\n", "", {{"mms://a/x.asf\r\n", "list", "0"}}},
        {"11 bytes without refs", "mms://a/bcd", "", {{"mms://a/bcd", "list", "0"}}},
        {"10 bytes without refs", "mms://a/bc", "", {}},
        {"empty file", "", "", {}},
        {"largest readable size", PaddedPlaylist(kMaxListedPlaylistBytes - 1), "", {{"mms://a/x", "list", "0"}}},
    };
    for (const PlaylistCase& c : cases) {
        const std::string path = Put("list.asx", c.content);
        ListAddition a = ListEntriesFor(path, c.name, "45");
        EXPECT_EQ(a.rows, c.rows) << c.what;
        EXPECT_TRUE(a.entersRecentList) << c.what;
        EXPECT_FALSE(a.playlistCut) << c.what;
    }
}

TEST_F(ListEntries, PlaylistInDisguiseIsReadToo) {
    const std::string path = Put("show.asf", "<asx version=\"3.0\">\n" + kTwoRefs);
    ListAddition a = ListEntriesFor(path, "", "0");
    EXPECT_EQ(a.rows, (std::vector<ListRow>{{"mms://a/1.asf", "show0", "0"}, {"http://b/2.asf", "show1", "0"}}));
    EXPECT_TRUE(a.entersRecentList);
}

// A playlist that is not read is listed as itself, with the given name and
// record time, and stays out of the recent list.
TEST_F(ListEntries, UnreadablePlaylistIsOneRowForItself) {
    const std::string big = Put("big.asx", PaddedPlaylist(kMaxListedPlaylistBytes));
    fs::create_directory(dir_ / "folder.asx");
    const std::vector<std::pair<std::string, std::string>> cases = {
        {big, "big"},
        {In("folder.asx"), "folder"},
        {"http://host/remote.asx", ""},
    };
    for (const auto& [source, derivedName] : cases) {
        ListAddition a = ListEntriesFor(source, "", "1:30");
        EXPECT_EQ(a.rows, (std::vector<ListRow>{{source, derivedName, "1:30"}})) << source;
        EXPECT_FALSE(a.entersRecentList) << source;
    }

    // A FIFO is never read: opening it for reading would wait for a writer.
    const std::string pipe = In("pipe.asx");
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    auto pending = std::async(std::launch::async, [&] { return ListEntriesFor(pipe, "", "0"); });
    if (pending.wait_for(std::chrono::seconds(20)) != std::future_status::ready) {
        ADD_FAILURE() << "waited for a writer on " << pipe;
        ::close(::open(pipe.c_str(), O_WRONLY));  // lets the reader go
    }
    ListAddition a = pending.get();
    EXPECT_EQ(a.rows, (std::vector<ListRow>{{pipe, "pipe", "0"}}));
    EXPECT_FALSE(a.entersRecentList);
}

TEST_F(ListEntries, OtherSourcesAreOneRow) {
    const std::string clip = Put("clip.v1.wmv", "not really media");
    const std::vector<std::pair<ListRow, std::string>> cases = {
        {{"mms://h/live", "", "5"}, ""},
        {{"mms://h/live", "named", "1:30"}, "named"},
        {{clip, "", "0"}, "clip.v1"},
        {{clip, "mine", "0"}, "mine"},
        {{"/no/such/file.wmv", "", "0"}, ""},
    };
    for (const auto& [in, name] : cases) {
        ListAddition a = ListEntriesFor(in.source, in.name, in.recordTime);
        EXPECT_EQ(a.rows, (std::vector<ListRow>{{in.source, name, in.recordTime}})) << in.source;
        EXPECT_TRUE(a.entersRecentList) << in.source;
    }
    ListAddition none = ListEntriesFor("", "n", "0");
    EXPECT_TRUE(none.rows.empty());
    EXPECT_FALSE(none.entersRecentList);
}

TEST_F(ListEntries, RecordableSources) {
    const std::vector<std::pair<std::string, bool>> cases = {
        {"mms://h/live", true},
        {"http://h/list.asx", true},
        {"", true},
        {In("missing.wmv"), true},
        {Put("clip.wmv", "x"), false},
        {Put("plain.asf", "0123456789"), false},
        {Put("list.wvx", "x"), true},
        {Put("hidden.asf", "<ASX version=\"3.0\">\n"), true},
        {dir_.string(), false},
    };
    for (const auto& [source, recordable] : cases) EXPECT_EQ(IsRecordable(source), recordable) << source;
}

struct RecordTimeCase {
    const char* text;
    bool applied;
    int maxTime;  // seconds, when applied
};

TEST(RecordTime, RowLimitOverridesTheSettings) {
    const std::vector<RecordTimeCase> cases = {
        {"0", false, 0},        {"", false, 0},          {"30", true, 1800},        {" 15min", true, 900},
        {"1:30", true, 5400},   {"2:0", true, 7200},     {"0:45", true, 2700},      {"1:", true, 3600},
        {"1 : 30", true, 3600}, {":30", false, 0},       {"0:0", false, 0},         {"abc", false, 0},
        {"-5", false, 0},       {"1:-30", true, 1800},   {"99999999999", true, INT_MAX},
    };
    for (const RecordTimeCase& c : cases) {
        RecorderSettings s;
        s.timePolicy = 0;
        s.sizePolicy = 1;
        s.maxTime = 1234;
        EXPECT_EQ(ApplyRecordTime(s, c.text), c.applied) << c.text;
        EXPECT_EQ(s.timePolicy, c.applied ? 1 : 0) << c.text;
        EXPECT_EQ(s.sizePolicy, c.applied ? 0 : 1) << c.text;
        EXPECT_EQ(s.maxTime, c.applied ? c.maxTime : 1234) << c.text;
    }
}

}  // namespace
}  // namespace larkspan
