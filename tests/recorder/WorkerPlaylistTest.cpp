// Playlists through the recording worker: remote and local meta files and
// the numbering of their entries, nesting, a playlist that names itself or
// is named twice, the bounds of a meta file, a playlist and a job, and what
// a playlist from the network may name.
#include <sys/stat.h>

#include "tests/recorder/E2eSupport.h"

namespace larkspan::e2e {
namespace {

using WorkerPlaylist = WorkerTest;

TEST_F(WorkerPlaylist, RemotePlaylistEntriesAreNumberedAndRecordedWhole) {
    // The first entry comes over MMS under a ".wma" name, the second over
    // MMSH; blanks around an address are not part of it.
    Serve(server_, "audio.wma", "audio.asf");
    Serve(server_, "clip.asf", "clip.asf");
    StartBoth();
    const std::string first = server_.MmsUrl("audio.wma"), second = server_.MmshUrl("clip.asf");
    const std::string asx =
        Asx({" " + first, second + " \t"}, "<MoreInfo href=\"http://example.invalid/about.htm\"/>\r\n");
    ServeText(server_, "list.asx", asx);

    auto worker = MakeWorker(server_.MmshUrl("list.asx"), "show");
    Run(*worker);

    EXPECT_EQ(worker->GetErrorText(), "");
    EXPECT_EQ(base_.Names(), (std::vector<std::string>{"list.asx", "show0.wma", "show1.asf"}));
    EXPECT_EQ(worker->OutputPaths(), (std::vector<std::string>{base_.File("list.asx"), base_.File("show0.wma"),
                                                                base_.File("show1.asf")}));
    EXPECT_EQ(worker->MoreInfoLink(), "http://example.invalid/about.htm");
    // The downloaded playlist stays as it came.
    ExpectFile("list.asx", Bytes(asx.begin(), asx.end()));
    ExpectFile("show0.wma", RecordedFile(audio_));
    ExpectFile("show1.asf", RecordedFile(clip_));
    // The playlist is one plain body: no play request follows its describe.
    EXPECT_EQ(RequestsFor("list.asx"), 1u);
    EXPECT_EQ(RequestsFor("clip.asf"), 2u);
    // The window reads the output path on HeaderReceived: it names the
    // file of the download or entry by then (MMSH has a header in both of
    // its exchanges).
    std::vector<std::string> headers;
    for (const auto& e : log_.Events())
        if (e.status == RecordStatus::HeaderReceived) headers.push_back(e.reference + " " + e.outputPath);
    const std::string list = server_.MmshUrl("list.asx") + " " + base_.File("list.asx");
    const std::string show0 = first + " " + base_.File("show0.wma"), show1 = second + " " + base_.File("show1.asf");
    EXPECT_EQ(headers, (std::vector<std::string>{list, show0, show1, show1}));
    ExpectFinishedOnceAndLast();
}

// Playlists within playlists: a chain of 8 is followed to its stream, a
// ninth level is skipped with a notice; a playlist met again inside itself
// (named by itself, by a playlist it names, or by its own local path) is
// skipped with a notice.
TEST_F(WorkerPlaylist, NestingAndPlaylistsNamingThemselves) {
    Serve(server_, "clip.asf", "clip.asf");
    StartBoth();
    auto link = [&](int levels, int i) {
        return server_.MmshUrl("l" + std::to_string(levels) + "p" + std::to_string(i) + ".asx");
    };
    for (const int levels : {8, 9})
        for (int i = 0; i < levels; ++i)
            ServeText(server_, "l" + std::to_string(levels) + "p" + std::to_string(i) + ".asx",
                      Asx({i + 1 < levels ? link(levels, i + 1) : server_.MmshUrl("clip.asf")}));
    TempFolder lists("lists");
    const std::string self = server_.MmshUrl("self.asx"), a = server_.MmshUrl("a.asx"), local = lists.File("l.asx");
    ServeText(server_, "self.asx", Asx({self}));
    ServeText(server_, "a.asx", Asx({server_.MmshUrl("b.asx")}));
    ServeText(server_, "b.asx", Asx({a}));
    ServeText(server_, "Up.asx", Asx({server_.MmshUrl("up.asx")}));  // the path is not the same in another case
    ServeText(server_, "up.asx", Asx({server_.MmshUrl("clip.asf")}));
    const std::string itself = "skipped playlist that refers to itself: ";
    ASSERT_TRUE(WriteFileText(local, Asx({local})));
    const std::tuple<std::string, std::vector<std::string>, size_t> rows[] = {  // start, notices, stream requests
        {link(8, 0), {}, 2},
        {server_.MmshUrl("Up.asx"), {}, 2},
        {link(9, 0), {"skipped playlist nested more than 8 levels deep: " + link(9, 8)}, 0},
        {self, {itself + self}, 0},
        {a, {itself + a}, 0},
        {local, {itself + local}, 0}};
    for (const auto& [start, notices, streamRequests] : rows) {
        SCOPED_TRACE(start);
        const size_t before = RequestsFor("clip.asf");
        auto worker = MakeWorker(start, "");
        Run(*worker);
        EXPECT_EQ(worker->GetErrorText(), "");
        EXPECT_EQ(log_.Notices(), notices);
        EXPECT_EQ(RequestsFor("clip.asf") - before, streamRequests);
        ExpectFinishedOnceAndLast();
    }
    EXPECT_EQ(RequestsFor("l9p8.asx"), 0u);
}

// A local playlist is read only when it is a regular file below 102400
// bytes: a pipe, a folder or a larger file is skipped with a notice, at once
// (a pipe would block the worker for ever).
TEST_F(WorkerPlaylist, LocalPlaylistsThatAreNotRead) {
    Serve(server_, "clip.asf", "clip.asf");
    StartBoth();
    TempFolder lists("lists");
    const std::string fifo = lists.File("fifo.asx"), folder = lists.File("folder.asx");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    ASSERT_TRUE(std::filesystem::create_directory(folder));
    for (const size_t size : {102399, 102400}) {
        std::string text = Asx({server_.MmshUrl("clip.asf")});
        text += std::string(size - text.size() - 2, ' ') + "\r\n";
        ASSERT_TRUE(WriteFileText(lists.File(std::to_string(size) + ".asx"), text));
    }
    const std::string notAFile = ": not a regular file", big = lists.File("102400.asx");
    for (const auto& [path, notices, recorded] : std::vector<std::tuple<std::string, std::vector<std::string>, bool>>{
             {fifo, {"skipped " + fifo + notAFile}, false},
             {folder, {"skipped " + folder + notAFile}, false},
             {big, {"skipped " + big + ": larger than 102400 bytes, the most a playlist may hold"}, false},
             {lists.File("102399.asx"), {}, true}}) {
        SCOPED_TRACE(path);
        auto worker = MakeWorker(path, "big");
        worker->Start();
        if (!WaitUntil([&] { return worker->IsFinished(); }, std::chrono::seconds(20))) {
            ADD_FAILURE() << "the worker blocks on " << path;
            ::close(::open(path.c_str(), O_WRONLY | O_NONBLOCK));  // lets a blocked reader go on
        }
        WaitForEnd(*worker);
        EXPECT_EQ(worker->GetErrorText(), "");
        EXPECT_EQ(log_.Notices(), notices);
        EXPECT_EQ(log_.Count(RecordStatus::Connecting), recorded ? 2u : 0u);
        EXPECT_EQ(base_.Names(), recorded ? std::vector<std::string>{"big.asf"} : std::vector<std::string>{});
        ExpectFinishedOnceAndLast();
    }
}

// p0 names p1 three times, p1 names p2 three times (spelt three ways), p2
// names the clip: each playlist is read once, so the clip is recorded once.
TEST_F(WorkerPlaylist, PlaylistNamedBySiblingsIsReadOnce) {
    Serve(server_, "clip.asf", "clip.asf");
    StartBoth();
    TempFolder lists("lists");
    const std::string p0 = lists.File("p0.asx"), p1 = lists.File("p1.asx"), p2 = lists.File("p2.asx");
    const std::string folderName = std::filesystem::path(lists.Path()).filename().string();
    const std::string p2Again = lists.Path() + "/./p2.asx", p2Third = lists.Path() + "/../" + folderName + "/p2.asx";
    for (const auto& [path, refs] : std::vector<std::pair<std::string, std::vector<std::string>>>{
             {p0, {p1, p1, p1}}, {p1, {p2, p2Again, p2Third}}, {p2, {server_.MmshUrl("clip.asf")}}})
        ASSERT_TRUE(WriteFileText(path, Asx(refs)));
    auto worker = MakeWorker(p0, "");
    Run(*worker);
    EXPECT_FALSE(worker->ErrorFlag()) << worker->GetErrorText();
    EXPECT_EQ(RequestsFor("clip.asf"), 2u);
    EXPECT_EQ(base_.Names(), std::vector<std::string>{"clip.asf"});
    const std::string again = "skipped playlist already read in this job: ";
    EXPECT_EQ(log_.Notices(), (std::vector<std::string>{again + p2Again, again + p2Third, again + p1, again + p1}));
    ExpectFinishedOnceAndLast();
}

// A playlist of more than 1000 entries is cut, with a notice; a job records
// at most 1000 entries, so the next playlist's entry ends it, with a notice.
// The entries go nowhere (a closed port over TLS), so each one ends at once.
TEST_F(WorkerPlaylist, CutPlaylistAndTheJobsBoundOfEntries) {
    ClosedPort nowhere;
    ASSERT_TRUE(nowhere.Held());
    TempFolder lists("lists");
    std::vector<std::string> refs;
    for (int i = 0; i <= 1000; ++i)
        refs.push_back("https://127.0.0.1:" + std::to_string(nowhere.Port()) + "/e" + std::to_string(i) + ".asf");
    const std::string a = lists.File("a.asx"), b = lists.File("b.asx"), both = lists.File("2.asx");
    for (const auto& [path, text] :
         {std::pair{a, Asx(refs)}, std::pair{b, Asx({refs[0]})}, std::pair{both, Asx({a, b})}})
        ASSERT_TRUE(WriteFileText(path, text));
    auto worker = MakeWorker(both, "");
    Run(*worker);
    EXPECT_EQ(log_.Count(RecordStatus::Connecting), 1000u);
    EXPECT_EQ(worker->OutputPaths().size(), 1000u);
    EXPECT_EQ(log_.Notices(), (std::vector<std::string>{"playlist cut after 1000 entries: " + a,
                                                        "stopped after 1000 entries, the most one job records"}));
    EXPECT_TRUE(base_.Names().empty());
    ExpectFinishedOnceAndLast();
}

// A playlist from the network (downloaded, or the answer to a stream
// address) may name network addresses only: never a local file, whatever it
// is called. A notice shows at most 300 bytes of a reference.
TEST_F(WorkerPlaylist, NetworkPlaylistNamesOnlyNetworkAddresses) {
    Serve(server_, "clip.asf", "clip.asf");
    StartBoth();
    TempFolder local("local");
    const std::string disguised = local.File("list.asf");  // a playlist by its first line
    ASSERT_TRUE(WriteFileText(disguised, Asx({server_.MmshUrl("clip.asf")})));
    const std::string plainFile = samples_ + "/clip.asf", fileUrl = "file://" + plainFile;
    const std::string longest = "/" + std::string(295, 'x') + ".asf", tooLong = "/" + std::string(296, 'y') + ".asf";
    ServeText(server_, "mixed.asx", Asx({plainFile, fileUrl, disguised, longest, server_.MmshUrl("show.asf")}));
    const std::string show = Asx({tooLong, server_.MmshUrl("clip.asf")});
    ServeText(server_, "show.asf", show);

    auto worker = MakeWorker(server_.MmshUrl("mixed.asx"), "");
    Run(*worker);
    EXPECT_EQ(worker->GetErrorText(), "");
    const std::string why = ": a playlist from the network may name only network addresses";
    EXPECT_EQ(log_.Notices(), (std::vector<std::string>{"skipped " + plainFile + why, "skipped " + fileUrl + why,
                                                        "skipped " + disguised + why, "skipped " + longest + why,
                                                        "skipped /" + std::string(296, 'y') + "..." + why}));
    EXPECT_EQ(base_.Names(), (std::vector<std::string>{"clip.asf", "mixed.asx", "show.asf"}));
    ExpectFile("show.asf", Bytes(show.begin(), show.end()));
    ExpectFile("clip.asf", RecordedFile(clip_));
    ExpectFinishedOnceAndLast();
}

}  // namespace
}  // namespace larkspan::e2e
