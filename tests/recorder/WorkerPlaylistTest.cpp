// Playlists through the recording worker: remote and local meta files, the
// numbering of their entries, the size bound of a meta file, nesting and a
// playlist that names itself.
#include <gtest/gtest.h>

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
    const Bytes want0 = WithFileSizeOfItself(HeaderAndPackets(audio_), audio_);
    EXPECT_TRUE(got0 == want0) << FirstDifference(got0, want0);
    const Bytes got1 = ReadFileBytes(base_.File("show1.asf"));
    const Bytes want1 = HeaderAndPackets(clip_);
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
    EXPECT_TRUE(ReadFileBytes(base_.File("solo.asf")) == HeaderAndPackets(clip_));
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
    EXPECT_TRUE(got == HeaderAndPackets(clip_)) << FirstDifference(got, HeaderAndPackets(clip_));
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
        EXPECT_TRUE(ReadFileBytes(base_.File("big.asf")) == HeaderAndPackets(clip_));
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
    EXPECT_TRUE(ReadFileBytes(base_.File("clip.asf")) == HeaderAndPackets(clip_));
    ExpectFinishedOnceAndLast();
}

TEST_F(WorkerPlaylist, NestingBeyondTheBoundEndsWithAnError) {
    Serve(server_, "clip.asf", "clip.asf");
    StartBoth();
    ServeChain(server_, CmmsThread::kMaxPlaylistDepth + 3);
    auto worker = MakeWorker(server_.MmshUrl("p0.asx"), "");
    Run(*worker);
    EXPECT_TRUE(worker->ErrorFlag());
    EXPECT_EQ(worker->GetErrorText(), "playlists nested too deeply (more than " +
                                          std::to_string(CmmsThread::kMaxPlaylistDepth) + " levels)");
    // Only the playlists within the bound were fetched; the stream never was.
    EXPECT_EQ(server_.HttpRequests().size(), size_t(CmmsThread::kMaxPlaylistDepth));
    EXPECT_EQ(RequestsFor(server_, "clip.asf"), 0u);
    EXPECT_FALSE(Exists(base_.File("clip.asf")));
    ExpectFinishedOnceAndLast();
}

TEST_F(WorkerPlaylist, PlaylistNamingItselfEndsWithAnError) {
    StartBoth();
    const std::string self = server_.MmshUrl("self.asx");
    ServeText(server_, "self.asx", Asx({self}));
    auto worker = MakeWorker(self, "");
    Run(*worker);
    EXPECT_TRUE(worker->ErrorFlag());
    EXPECT_EQ(worker->GetErrorText(), "playlist refers to itself: " + self);
    EXPECT_EQ(server_.HttpRequests().size(), 1u);
    ExpectFinishedOnceAndLast();
}

TEST_F(WorkerPlaylist, TwoPlaylistsNamingEachOtherEndWithAnError) {
    StartBoth();
    const std::string a = server_.MmshUrl("a.asx"), b = server_.MmshUrl("b.asx");
    ServeText(server_, "a.asx", Asx({b}));
    ServeText(server_, "b.asx", Asx({a}));
    auto worker = MakeWorker(a, "");
    Run(*worker);
    EXPECT_TRUE(worker->ErrorFlag());
    EXPECT_EQ(worker->GetErrorText(), "playlist refers to itself: " + a);
    EXPECT_EQ(server_.HttpRequests().size(), 2u);
    ExpectFinishedOnceAndLast();
}

TEST_F(WorkerPlaylist, LocalPlaylistNamingItselfEndsWithAnError) {
    TempFolder lists("lists");
    const std::string path = lists.File("self.asx");
    const std::string text = Asx({path});
    ASSERT_TRUE(WriteFileBytes(path, Bytes(text.begin(), text.end())));
    auto worker = MakeWorker(path, "");
    Run(*worker);
    EXPECT_EQ(worker->GetErrorText(), "playlist refers to itself: " + path);
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
        // The first pass through the sample is there unchanged (bar File Size).
        Bytes want = HeaderAndPackets(clip_);
        if (mms) testsupport::PutLE64(want, clip_.filePropertiesOffset + kFilePropertiesFileSize, got.size());
        EXPECT_TRUE(std::equal(want.begin(), want.end(), got.begin()));
    }
    EXPECT_EQ(worker->BytesWritten(), 2 * header + mmshPackets * packet);
    ExpectFinishedOnceAndLast();
}

}  // namespace
}  // namespace larkspan::e2e
