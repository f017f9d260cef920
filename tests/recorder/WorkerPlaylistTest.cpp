// Playlists through the recording worker: remote and local meta files, the
// numbering of their entries, the size bound of a meta file, nesting, a
// playlist that names itself or is named twice, the job's entry bound, cut
// playlists, playlists that are not files, and what a playlist from the
// network may name.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "media/AsxParser.h"
#include "tests/recorder/WorkerFixture.h"

namespace larkspan::e2e {
namespace {

using testsupport::ReadFileBytes;
using testsupport::WriteFileBytes;

std::string Asx(const std::vector<std::string>& refs, const std::string& extra = "") {
    std::string text = "<ASX version=\"3.0\">\r\n" + extra;
    for (const auto& r : refs) text += "<Entry><Ref href=\"" + r + "\"/></Entry>\r\n";
    return text + "</ASX>\r\n";
}

size_t RequestsFor(const testserver::LoopbackServer& server, const std::string& path) {
    size_t n = 0;
    for (const auto& r : server.HttpRequests()) n += r.path == path;
    return n;
}

using WorkerPlaylist = WorkerTest;

TEST_F(WorkerPlaylist, RemotePlaylistEntriesAreNumberedAndRecordedWhole) {
    // The first entry comes over MMS under a ".wma" name, the second over MMSH.
    Serve(server_, "audio.wma", "audio.asf");
    Serve(server_, "clip.asf", "clip.asf");
    StartBoth();
    const std::string first = server_.MmsUrl("audio.wma"), second = server_.MmshUrl("clip.asf");
    const std::string asx = Asx({first, second}, "<MoreInfo href=\"http://example.invalid/about.htm\"/>\r\n");
    ServeText(server_, "list.asx", asx);

    auto worker = MakeWorker(server_.MmshUrl("list.asx"), "show");
    Run(*worker);

    EXPECT_FALSE(worker->ErrorFlag()) << worker->GetErrorText();
    EXPECT_FALSE(worker->StopFlag());
    EXPECT_EQ(base_.Names(), (std::vector<std::string>{"list.asx", "show0.wma", "show1.asf"}));
    EXPECT_EQ(worker->OutputPaths(), (std::vector<std::string>{base_.File("list.asx"), base_.File("show0.wma"),
                                                                base_.File("show1.asf")}));
    EXPECT_EQ(worker->OutputPath(), base_.File("show1.asf"));
    EXPECT_EQ(worker->MoreInfoLink(), "http://example.invalid/about.htm");

    // The downloaded playlist stays as it came.
    EXPECT_EQ(ReadFileBytes(base_.File("list.asx")), Bytes(asx.begin(), asx.end()));
    const Bytes got0 = ReadFileBytes(base_.File("show0.wma"));
    const Bytes want0 = RecordedFile(audio_);
    EXPECT_TRUE(got0 == want0) << FirstDifference(got0, want0);
    const Bytes got1 = ReadFileBytes(base_.File("show1.asf"));
    const Bytes want1 = RecordedFile(clip_);
    EXPECT_TRUE(got1 == want1) << FirstDifference(got1, want1);

    // The playlist is one plain body: no play request follows its describe.
    EXPECT_EQ(RequestsFor(server_, "list.asx"), 1u);
    EXPECT_EQ(RequestsFor(server_, "clip.asf"), 2u);
    EXPECT_EQ(log_.ConnectingTo(server_.MmshUrl("list.asx")), 1u);
    EXPECT_EQ(log_.ConnectingTo(first), 1u);
    EXPECT_EQ(log_.ConnectingTo(second), 2u);  // describe and play
    // The window reads the output path on HeaderReceived: by then it names
    // the entry's file.
    for (const auto& e : log_.Events()) {
        if (e.status != RecordStatus::HeaderReceived) continue;
        if (e.reference == first) {
            EXPECT_EQ(e.outputPath, base_.File("show0.wma"));
        } else if (e.reference == second) {
            EXPECT_EQ(e.outputPath, base_.File("show1.asf"));
        }
    }
    EXPECT_GT(log_.Count(RecordStatus::Progress), 0u);
    ExpectFinishedOnceAndLast();
}

TEST_F(WorkerPlaylist, OneEntryPlaylistKeepsTheRequestedName) {
    Serve(server_, "clip.asf", "clip.asf");
    StartBoth();
    ServeText(server_, "one.asx", Asx({server_.MmshUrl("clip.asf")}));
    auto worker = MakeWorker(server_.MmshUrl("one.asx"), "solo");
    Run(*worker);
    EXPECT_FALSE(worker->ErrorFlag()) << worker->GetErrorText();
    EXPECT_EQ(base_.Names(), (std::vector<std::string>{"one.asx", "solo.asf"}));
    EXPECT_TRUE(ReadFileBytes(base_.File("solo.asf")) == RecordedFile(clip_));
    ExpectFinishedOnceAndLast();
}

TEST_F(WorkerPlaylist, WorkerWithoutNotifyTargetRunsNormally) {
    Serve(server_, "clip.asf", "clip.asf");
    StartBoth();
    auto worker = MakeWorker(server_.MmshUrl("clip.asf"), "", /*withTarget=*/false);
    Run(*worker);
    EXPECT_TRUE(worker->IsFinished());
    EXPECT_FALSE(worker->ErrorFlag()) << worker->GetErrorText();
    const Bytes got = ReadFileBytes(base_.File("clip.asf"));
    EXPECT_TRUE(got == RecordedFile(clip_)) << FirstDifference(got, RecordedFile(clip_));
    EXPECT_EQ(worker->BytesWritten(), 2 * clip_.header.size() + clip_.packets.size() * clip_.packetSize);
    EXPECT_TRUE(log_.Events().empty());
}

// A local meta file is read only below 102400 bytes.
class LocalMetaSize : public WorkerTest, public ::testing::WithParamInterface<std::pair<size_t, bool>> {};

TEST_P(LocalMetaSize, IsReadOnlyBelowTheBound) {
    const auto [size, read] = GetParam();
    Serve(server_, "clip.asf", "clip.asf");
    StartBoth();
    std::string text = Asx({server_.MmshUrl("clip.asf")});
    ASSERT_LT(text.size(), size);
    text.append(size - text.size() - 2, ' ');
    text += "\r\n";
    TempFolder lists("lists");
    const std::string path = lists.File("local.asx");
    ASSERT_TRUE(WriteFileBytes(path, Bytes(text.begin(), text.end())));
    ASSERT_EQ(SizeOf(path), size);

    auto worker = MakeWorker(path, "big");
    Run(*worker);
    EXPECT_FALSE(worker->ErrorFlag()) << worker->GetErrorText();
    EXPECT_FALSE(worker->StopFlag());
    if (read) {
        EXPECT_EQ(base_.Names(), std::vector<std::string>{"big.asf"});
        EXPECT_TRUE(ReadFileBytes(base_.File("big.asf")) == RecordedFile(clip_));
        EXPECT_EQ(RequestsFor(server_, "clip.asf"), 2u);
    } else {
        // Ignored without a message: nothing asked of the server, nothing written.
        EXPECT_TRUE(base_.Names().empty());
        EXPECT_TRUE(server_.HttpRequests().empty());
        EXPECT_EQ(log_.Count(RecordStatus::Connecting), 0u);
        EXPECT_EQ(log_.Events().size(), 1u);
    }
    ExpectFinishedOnceAndLast();
}

INSTANTIATE_TEST_SUITE_P(Bound, LocalMetaSize,
                         ::testing::Values(std::make_pair(size_t{102399}, true), std::make_pair(size_t{102400}, false)),
                         [](const auto& info) { return std::to_string(info.param.first); });

// A chain of remote playlists p0 -> p1 -> ... -> p(levels-1) -> clip.asf.
void ServeChain(testserver::LoopbackServer& server, int levels) {
    for (int i = 0; i < levels; ++i) {
        const std::string next =
            i + 1 < levels ? server.MmshUrl("p" + std::to_string(i + 1) + ".asx") : server.MmshUrl("clip.asf");
        const std::string text = Asx({next});
        server.ServeBody("p" + std::to_string(i) + ".asx", Bytes(text.begin(), text.end()), "video/x-ms-asf");
    }
}

TEST_F(WorkerPlaylist, NestingUpToTheBoundIsFollowed) {
    Serve(server_, "clip.asf", "clip.asf");
    StartBoth();
    ServeChain(server_, CmmsThread::kMaxPlaylistDepth);
    auto worker = MakeWorker(server_.MmshUrl("p0.asx"), "");
    Run(*worker);
    EXPECT_FALSE(worker->ErrorFlag()) << worker->GetErrorText();
    EXPECT_TRUE(ReadFileBytes(base_.File("clip.asf")) == RecordedFile(clip_));
    ExpectFinishedOnceAndLast();
}

TEST_F(WorkerPlaylist, NestingBeyondTheBoundIsSkippedWithANotice) {
    Serve(server_, "clip.asf", "clip.asf");
    StartBoth();
    ServeChain(server_, CmmsThread::kMaxPlaylistDepth + 3);
    auto worker = MakeWorker(server_.MmshUrl("p0.asx"), "");
    Run(*worker);
    EXPECT_FALSE(worker->ErrorFlag()) << worker->GetErrorText();
    const std::string deepest = server_.MmshUrl("p" + std::to_string(CmmsThread::kMaxPlaylistDepth) + ".asx");
    EXPECT_EQ(log_.Notices(), std::vector<std::string>{"skipped playlist nested more than " +
                                                       std::to_string(CmmsThread::kMaxPlaylistDepth) +
                                                       " levels deep: " + deepest});
    // Only the playlists within the bound were fetched; the stream never was.
    EXPECT_EQ(server_.HttpRequests().size(), size_t(CmmsThread::kMaxPlaylistDepth));
    EXPECT_EQ(RequestsFor(server_, "clip.asf"), 0u);
    EXPECT_FALSE(Exists(base_.File("clip.asf")));
    EXPECT_EQ(log_.Count(RecordStatus::Notice), 1u);
    ExpectFinishedOnceAndLast();
}

TEST_F(WorkerPlaylist, PlaylistNamingItselfIsSkippedWithANotice) {
    StartBoth();
    const std::string self = server_.MmshUrl("self.asx");
    ServeText(server_, "self.asx", Asx({self}));
    auto worker = MakeWorker(self, "");
    Run(*worker);
    EXPECT_FALSE(worker->ErrorFlag()) << worker->GetErrorText();
    EXPECT_EQ(log_.Notices(), std::vector<std::string>{"skipped playlist that refers to itself: " + self});
    EXPECT_EQ(server_.HttpRequests().size(), 1u);
    ExpectFinishedOnceAndLast();
}

TEST_F(WorkerPlaylist, TwoPlaylistsNamingEachOtherAreSkippedWithANotice) {
    StartBoth();
    const std::string a = server_.MmshUrl("a.asx"), b = server_.MmshUrl("b.asx");
    ServeText(server_, "a.asx", Asx({b}));
    ServeText(server_, "b.asx", Asx({a}));
    auto worker = MakeWorker(a, "");
    Run(*worker);
    EXPECT_FALSE(worker->ErrorFlag()) << worker->GetErrorText();
    EXPECT_EQ(log_.Notices(), std::vector<std::string>{"skipped playlist that refers to itself: " + a});
    EXPECT_EQ(server_.HttpRequests().size(), 2u);
    ExpectFinishedOnceAndLast();
}

TEST_F(WorkerPlaylist, LocalPlaylistNamingItselfIsSkippedWithANotice) {
    TempFolder lists("lists");
    const std::string path = lists.File("self.asx");
    const std::string text = Asx({path});
    ASSERT_TRUE(WriteFileBytes(path, Bytes(text.begin(), text.end())));
    auto worker = MakeWorker(path, "");
    Run(*worker);
    EXPECT_FALSE(worker->ErrorFlag()) << worker->GetErrorText();
    EXPECT_EQ(log_.Notices(), std::vector<std::string>{"skipped playlist that refers to itself: " + path});
    EXPECT_TRUE(base_.Names().empty());
    ExpectFinishedOnceAndLast();
}

// The size limit counts each entry afresh: every file of the playlist stops
// at the first packet that reaches the limit, not only the first file.
TEST_F(WorkerPlaylist, SizeLimitAppliesToEachEntry) {
    testserver::StreamOptions three;
    three.repeat = 3;  // about 2.2 MiB, well past the limit
    Serve(server_, "long.asf", "clip.asf", three);
    StartBoth();
    const std::string viaMms = server_.MmsUrl("long.asf"), viaMmsh = server_.MmshUrl("long.asf");
    ServeText(server_, "limits.asx", Asx({viaMms, viaMms, viaMmsh, viaMmsh}));
    settings_.sizePolicy = 1;
    settings_.maxSize = 1;
    auto worker = MakeWorker(server_.MmshUrl("limits.asx"), "part");
    Run(*worker);
    EXPECT_FALSE(worker->ErrorFlag()) << worker->GetErrorText();

    const uint64_t mib = 1 << 20, header = clip_.header.size(), packet = clip_.packetSize;
    // Packets until the counted bytes reach the limit. MMS counts what it
    // wrote; MMSH counts what it received, the header of both exchanges too.
    auto packetsUntilLimit = [&](uint64_t counted) { return (mib - counted + packet - 1) / packet; };
    const uint64_t mmsPackets = packetsUntilLimit(header), mmshPackets = packetsUntilLimit(2 * header);
    ASSERT_GT(mmsPackets, clip_.packets.size());

    for (int i = 0; i < 4; ++i) {
        SCOPED_TRACE("entry " + std::to_string(i));
        const bool mms = i < 2;
        const Bytes got = ReadFileBytes(base_.File("part" + std::to_string(i) + ".asf"));
        ASSERT_EQ(got.size(), header + (mms ? mmsPackets : mmshPackets) * packet);
        // The first pass through the sample is there unchanged, and the
        // header describes the file the limit left.
        const Bytes want = RecordedFile(clip_);
        EXPECT_TRUE(std::equal(want.begin() + header, want.end(), got.begin() + header));
        EXPECT_EQ(testsupport::GetLE64(got, clip_.filePropertiesOffset + kFilePropertiesFileSize), got.size());
        EXPECT_EQ(testsupport::GetLE64(got, clip_.filePropertiesOffset + 56), mms ? mmsPackets : mmshPackets);
    }
    EXPECT_EQ(worker->BytesWritten(), 2 * header + mmshPackets * packet);
    ExpectFinishedOnceAndLast();
}

// A local playlist that is not a regular file is skipped at once: a pipe
// would block the worker for ever.
enum class NotAFile { Fifo, Folder };

class WorkerPlaylistNotAFile : public WorkerTest, public ::testing::WithParamInterface<NotAFile> {};

TEST_P(WorkerPlaylistNotAFile, IsSkippedWithANotice) {
    TempFolder lists("lists");
    const std::string path = lists.File("list.asx");
    if (GetParam() == NotAFile::Fifo)
        ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
    else
        ASSERT_TRUE(std::filesystem::create_directory(path));
    auto worker = MakeWorker(path, "");
    worker->Start();
    if (!WaitUntil([&] { return worker->IsFinished(); }, std::chrono::seconds(20))) {
        ADD_FAILURE() << "the worker blocks on the playlist";
        // Opening the other end lets a reader blocked on the pipe go on.
        const int fd = ::open(path.c_str(), O_WRONLY | O_NONBLOCK);
        if (fd >= 0) ::close(fd);
    }
    WaitForEnd(*worker);
    EXPECT_FALSE(worker->ErrorFlag()) << worker->GetErrorText();
    EXPECT_EQ(log_.Notices(), std::vector<std::string>{"skipped " + path + ": not a regular file"});
    EXPECT_TRUE(base_.Names().empty());
    ExpectFinishedOnceAndLast();
}

INSTANTIATE_TEST_SUITE_P(Kinds, WorkerPlaylistNotAFile, ::testing::Values(NotAFile::Fifo, NotAFile::Folder),
                         [](const auto& info) { return info.param == NotAFile::Fifo ? "Fifo" : "Folder"; });

// p0 names p1 three times, p1 names p2 three times, p2 names the clip: each
// playlist is read once, so the clip is recorded once.
TEST_F(WorkerPlaylist, PlaylistNamedBySiblingsIsReadOnce) {
    Serve(server_, "clip.asf", "clip.asf");
    StartBoth();
    TempFolder lists("lists");
    const std::string p0 = lists.File("p0.asx"), p1 = lists.File("p1.asx"), p2 = lists.File("p2.asx");
    // The same playlist, spelt three ways.
    const std::string folderName = std::filesystem::path(lists.Path()).filename().string();
    const std::string p2Again = lists.Path() + "/./p2.asx";
    const std::string p2Third = lists.Path() + "/../" + folderName + "/p2.asx";
    for (const auto& [path, refs] : std::vector<std::pair<std::string, std::vector<std::string>>>{
             {p0, {p1, p1, p1}}, {p1, {p2, p2Again, p2Third}}, {p2, {server_.MmshUrl("clip.asf")}}}) {
        const std::string text = Asx(refs);
        ASSERT_TRUE(WriteFileBytes(path, Bytes(text.begin(), text.end())));
    }
    auto worker = MakeWorker(p0, "");
    Run(*worker);
    EXPECT_FALSE(worker->ErrorFlag()) << worker->GetErrorText();
    EXPECT_EQ(RequestsFor(server_, "clip.asf"), 2u);  // one describe, one play
    EXPECT_EQ(base_.Names(), std::vector<std::string>{"clip.asf"});
    EXPECT_EQ(log_.Notices(), (std::vector<std::string>{"skipped playlist already read in this job: " + p2Again,
                                                        "skipped playlist already read in this job: " + p2Third,
                                                        "skipped playlist already read in this job: " + p1,
                                                        "skipped playlist already read in this job: " + p1}));
    ExpectFinishedOnceAndLast();
}

// Two playlists of 600 entries: the job records kMaxJobEntries of them. The
// entries go nowhere (a closed port over TLS), so each one ends at once.
TEST_F(WorkerPlaylist, AJobRecordsAtMostItsBoundOfEntries) {
    ClosedPort nowhere;
    ASSERT_TRUE(nowhere.Held());
    TempFolder lists("lists");
    std::vector<std::string> refs;
    for (int i = 0; i < 600; ++i)
        refs.push_back("https://127.0.0.1:" + std::to_string(nowhere.Port()) + "/e" + std::to_string(i) + ".asf");
    const std::string half = Asx(refs);
    const std::string a = lists.File("a.asx"), b = lists.File("b.asx"), both = lists.File("both.asx");
    ASSERT_TRUE(WriteFileBytes(a, Bytes(half.begin(), half.end())));
    ASSERT_TRUE(WriteFileBytes(b, Bytes(half.begin(), half.end())));
    const std::string outer = Asx({a, b});
    ASSERT_TRUE(WriteFileBytes(both, Bytes(outer.begin(), outer.end())));
    auto worker = MakeWorker(both, "");
    Run(*worker);
    EXPECT_EQ(log_.Count(RecordStatus::Connecting), size_t(CmmsThread::kMaxJobEntries));
    EXPECT_EQ(worker->OutputPaths().size(), size_t(CmmsThread::kMaxJobEntries));
    EXPECT_EQ(log_.Notices(), std::vector<std::string>{"stopped after " + std::to_string(CmmsThread::kMaxJobEntries) +
                                                       " entries, the most one job records"});
    EXPECT_TRUE(base_.Names().empty());
    ExpectFinishedOnceAndLast();
}

TEST_F(WorkerPlaylist, CutPlaylistIsReported) {
    TempFolder lists("lists");
    const std::string path = lists.File("many.asx");
    // Every entry names the playlist itself, so nothing is recorded.
    const std::string text = Asx(std::vector<std::string>(AsxParser::kMaxEntries + 1, path));
    ASSERT_TRUE(WriteFileBytes(path, Bytes(text.begin(), text.end())));
    auto worker = MakeWorker(path, "");
    Run(*worker);
    EXPECT_FALSE(worker->ErrorFlag()) << worker->GetErrorText();
    const auto notices = log_.Notices();
    ASSERT_EQ(notices.size(), AsxParser::kMaxEntries + 1);
    EXPECT_EQ(notices[0], "playlist cut after " + std::to_string(AsxParser::kMaxEntries) + " entries: " + path);
    EXPECT_EQ(notices[1], "skipped playlist that refers to itself: " + path);
    ExpectFinishedOnceAndLast();
}

// A playlist from the network may name network addresses only: never a
// local file, whatever it is called.
TEST_F(WorkerPlaylist, NetworkPlaylistNamesOnlyNetworkAddresses) {
    Serve(server_, "clip.asf", "clip.asf");
    StartBoth();
    TempFolder local("local");
    const std::string disguised = local.File("list.asf");  // a playlist by its first line
    const std::string inner = Asx({server_.MmshUrl("clip.asf")});
    ASSERT_TRUE(WriteFileBytes(disguised, Bytes(inner.begin(), inner.end())));
    const std::string plainFile = samples_ + "/clip.asf";
    const std::string fileUrl = "file://" + plainFile;
    ServeText(server_, "mixed.asx", Asx({plainFile, fileUrl, disguised, server_.MmshUrl("clip.asf")}));

    auto worker = MakeWorker(server_.MmshUrl("mixed.asx"), "");
    Run(*worker);
    EXPECT_FALSE(worker->ErrorFlag()) << worker->GetErrorText();
    const std::string why = ": a playlist from the network may name only network addresses";
    EXPECT_EQ(log_.Notices(),
              (std::vector<std::string>{"skipped " + plainFile + why, "skipped " + fileUrl + why,
                                        "skipped " + disguised + why}));
    EXPECT_EQ(base_.Names(), (std::vector<std::string>{"clip.asf", "mixed.asx"}));
    EXPECT_TRUE(ReadFileBytes(base_.File("clip.asf")) == RecordedFile(clip_));
    EXPECT_EQ(RequestsFor(server_, "clip.asf"), 2u);
    ExpectFinishedOnceAndLast();
}

// A stream address the server answers with a playlist is read as one; a
// web page is no recording and leaves no file.
TEST_F(WorkerPlaylist, StreamAddressAnsweredWithAPlaylistOrAPageIsHandledAsWhatItIs) {
    Serve(server_, "clip.asf", "clip.asf");
    StartBoth();
    const std::string asx = Asx({server_.MmshUrl("clip.asf")});
    ServeText(server_, "show.asf", asx);
    const std::string page = "<html><body>Stream moved</body></html>";
    server_.ServeBody("page.asf", Bytes(page.begin(), page.end()), "text/html; charset=utf-8");

    auto worker = MakeWorker(server_.MmshUrl("show.asf"), "");
    Run(*worker);
    EXPECT_FALSE(worker->ErrorFlag()) << worker->GetErrorText();
    EXPECT_EQ(base_.Names(), (std::vector<std::string>{"clip.asf", "show.asf"}));
    EXPECT_TRUE(ReadFileBytes(base_.File("show.asf")) == Bytes(asx.begin(), asx.end()));
    EXPECT_TRUE(ReadFileBytes(base_.File("clip.asf")) == RecordedFile(clip_));

    auto pageWorker = MakeWorker(server_.MmshUrl("page.asf"), "");
    Run(*pageWorker);
    EXPECT_TRUE(pageWorker->ErrorFlag());
    EXPECT_EQ(pageWorker->GetErrorText().rfind("MMSH: not a stream: the server sent text/html; MMS: ", 0), 0u)
        << pageWorker->GetErrorText();
    EXPECT_EQ(base_.Names(), (std::vector<std::string>{"clip.asf", "show.asf"}));
}

}  // namespace
}  // namespace larkspan::e2e
