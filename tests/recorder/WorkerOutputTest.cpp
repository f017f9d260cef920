// What a recording leaves: an existing file is replaced only by a recording
// that receives something, a stopped question creates nothing, an output
// that cannot be created says so, and a pipe to a player gets the stream as
// it came.
#include "asf/StreamPipe.h"
#include "tests/recorder/E2eSupport.h"

namespace larkspan::e2e {
namespace {

const Bytes kOld{'o', 'l', 'd'};

using WorkerOutput = WorkerTest;

// A source that sends nothing: an existing file stays as it was (a playlist
// too, which is then not read), and nothing is left where there was nothing.
TEST_F(WorkerOutput, FailedSourceLeavesTheOutputPathAsItWas) {
    Serve(server_, "clip.asf", "clip.asf");
    StartBoth();
    ClosedPort nowhere;
    ASSERT_TRUE(nowhere.Held());
    const std::string url = "https://127.0.0.1:" + std::to_string(nowhere.Port()) + "/clip.asf";
    const std::string refused = "connect error: connection refused", list = Asx({server_.MmshUrl("clip.asf")});
    const struct {
        const char* name;
        std::string source, file, error;
        bool existing;
        int overWrite;
        bool fixedPath;
    } rows[] = {
        {"new file", url, "clip.asf", refused, false, 1, false},
        {"existing, answered Yes", url, "clip.asf", refused, true, 1, false},
        {"existing, not asked", url, "clip.asf", refused, true, 0, false},
        {"fixed path, answered Yes", url, "clip.asf", refused, true, 1, true},
        {"playlist", server_.MmshUrl("list.asx"), "list.asx", "Not Found: HTTP 404 Not Found", true, 1, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const std::string target = base_.File(row.file);
        std::filesystem::remove_all(base_.Dir());
        std::filesystem::create_directory(base_.Dir());
        if (row.existing) {
            ASSERT_TRUE(WriteFileText(target, list));
        }
        settings_.overWrite = row.overWrite;
        FixedAsker asker;
        auto worker = MakeWorker(row.source, "", &log_, &asker);
        if (row.fixedPath) worker->SetFixedOutputPath(target);
        Run(*worker);
        EXPECT_EQ(worker->GetErrorText(), row.error);
        EXPECT_EQ(worker->OutputPaths(), std::vector<std::string>{target});
        EXPECT_EQ(asker.overwriteQuestions.load(), row.existing && row.overWrite && row.file != "list.asx" ? 1 : 0);
        EXPECT_EQ(base_.Names(), row.existing ? std::vector<std::string>{row.file} : std::vector<std::string>{});
        if (row.existing) ExpectFile(row.file, Bytes(list.begin(), list.end()));
        ExpectFinishedOnceAndLast();
    }
    EXPECT_EQ(RequestsFor("clip.asf"), 0u);
}

// The overwrite question answered Yes only once the job is stopped, as a
// careless window might: the worker still creates nothing, and a folder in
// the way leads to no Save As and no error.
TEST_F(WorkerOutput, StopDuringTheOverwriteQuestionCreatesNothing) {
    Serve(server_, "clip.asf", "clip.asf");
    StartBoth();
    ASSERT_TRUE(WriteFileBytes(base_.File("file.asf"), kOld));
    ASSERT_TRUE(std::filesystem::create_directory(base_.File("folder.asf")));
    for (const std::string name : {"file", "folder"}) {
        SCOPED_TRACE(name);
        FixedAsker asker(OverwriteAnswer::Yes, /*waitForCancel=*/true);
        auto worker = MakeWorker(server_.MmshUrl("clip.asf"), name, &log_, &asker);
        worker->Start();
        ASSERT_TRUE(WaitUntil([&] { return asker.overwriteQuestions.load() == 1; }, kBound));
        worker->Stop();
        WaitForEnd(*worker);
        EXPECT_TRUE(worker->StopFlag());
        EXPECT_EQ(worker->GetErrorText(), "");
        EXPECT_EQ(asker.saveAsSuggestions, std::vector<std::string>{});
        ExpectFinishedOnceAndLast();
    }
    EXPECT_EQ(base_.Names(), (std::vector<std::string>{"file.asf", "folder.asf"}));
    EXPECT_EQ(ReadFileBytes(base_.File("file.asf")), kOld);
    EXPECT_TRUE(server_.HttpRequests().empty());
}

// A base folder under a regular file: nothing can be created there, Save As
// is offered the file name, and cancelling it fails the job before the
// server is asked for the stream.
TEST_F(WorkerOutput, OutputThatCannotBeCreatedIsACreationError) {
    Serve(server_, "clip.asf", "clip.asf");
    StartBoth();
    ServeText(server_, "list.asx", Asx({server_.MmshUrl("clip.asf")}));
    ASSERT_TRUE(WriteFileBytes(base_.File("plain"), kOld));
    settings_.baseDir = base_.File("plain") + "/rec";
    for (const std::string key : {"clip.asf", "list.asx"}) {
        SCOPED_TRACE(key);
        FixedAsker asker;
        auto worker = MakeWorker(server_.MmshUrl(key), "", &log_, &asker);
        Run(*worker);
        EXPECT_TRUE(worker->ErrorFlag());
        EXPECT_EQ(worker->GetErrorText(), "File Creation Error");
        EXPECT_FALSE(worker->StopFlag());
        EXPECT_EQ(asker.saveAsSuggestions, std::vector<std::string>{key});
        EXPECT_EQ(worker->OutputPaths(), std::vector<std::string>{settings_.baseDir + "/" + key});
        ExpectFinishedOnceAndLast();
    }
    EXPECT_TRUE(server_.HttpRequests().empty());
    EXPECT_EQ(base_.Names(), std::vector<std::string>{"plain"});
}

// Into a pipe a player reads, over either protocol: a slow reader gets the
// header as it came and the packets, then the end with the worker's error
// text; Stop ends a write that waits for a reader that reads nothing.
TEST_F(WorkerOutput, PipeToAPlayer) {
    Serve(server_, "cut.asf", "clip.asf", {.dropAfterPackets = 5});
    Serve(server_, "clip.asf", "clip.asf");
    StartBoth();
    for (const std::string& url : {server_.MmsUrl("cut.asf"), server_.MmshUrl("cut.asf"), server_.MmsUrl("clip.asf"),
                                   server_.MmshUrl("clip.asf")}) {
        SCOPED_TRACE(url);
        const bool stop = url.find("clip.asf") != std::string::npos;
        auto pipe = std::make_shared<StreamPipe>(4096);  // much smaller than the stream
        auto worker = MakeWorker(url, "");
        worker->SetOutputSink(pipe);
        ASSERT_TRUE(worker->Start());
        Bytes got;
        uint8_t piece[700];
        if (stop) {
            ASSERT_TRUE(WaitUntil([&] { return pipe->Buffered() == 4096; }, std::chrono::seconds(30)));
            worker->Stop();
        }
        for (size_t n; (n = pipe->Read(piece, sizeof piece)) != 0;) {
            got.insert(got.end(), piece, piece + n);
            std::this_thread::sleep_for(std::chrono::microseconds(300));
        }
        WaitForEnd(*worker);
        EXPECT_EQ(worker->StopFlag(), stop);
        // The stop cancels the pipe, which fails the write that waited.
        EXPECT_EQ(worker->GetErrorText(), stop ? "File Write Error: the recording was stopped"
                                               : "connection closed by the server after 5 packets");
        EXPECT_EQ(pipe->EndText(), stop ? "the recording was stopped" : worker->GetErrorText());
        // A cancelled pipe drops what it buffered.
        const Bytes want = stop ? Bytes{} : HeaderAndPackets(clip_, 5);
        EXPECT_TRUE(got == want) << FirstDifference(got, want);
        EXPECT_EQ(worker->OutputPaths(), std::vector<std::string>{});
        ExpectFinishedOnceAndLast();
    }
    // Nothing was named or written for the piped recordings. A file
    // recording without a status target runs as one with a target.
    EXPECT_TRUE(base_.Names().empty());
    auto recorded = MakeWorker(server_.MmshUrl("clip.asf"), "file", nullptr, &asker_);
    Run(*recorded);
    ExpectFile("file.asf", RecordedFile(clip_));
    EXPECT_EQ(recorded->BytesWritten(), 2 * clip_.header.size() + clip_.packets.size() * clip_.packetSize);
}

}  // namespace
}  // namespace larkspan::e2e
