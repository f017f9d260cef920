#pragma once
#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "media/AsxSink.h"
#include "media/MediaRefKind.h"
#include "protocols/RecordEventSink.h"
#include "protocols/mms/MmsClient.h"
#include "protocols/mmsh/MmshClient.h"
#include "asf/OutputFile.h"
#include "recorder/OutputClaim.h"
#include "recorder/OwnerGate.h"
#include "recorder/QuestionAsker.h"
#include "recorder/RecordJob.h"

namespace larkspan {

// The counters of the last progress report, read together.
struct ProgressSnapshot {
    std::uint32_t bytesWritten = 0;
    int progress = 0;  // hundredths of a per cent
    std::uint32_t streamTimeMs = 0;
    int durationMs = 0;
};

// Runs one record job on a thread of its own: classifies the source, follows
// playlists, names and opens each output file, and lets one of the two
// stream clients pull the stream (the other one when the first records
// nothing). Reports by posting status to the job's notify target; the owner
// then reads the fields below. Nothing is locked on the recording path: the
// counters are atomics, the texts are guarded by a small mutex.
//
// What does not fail the job but should be read (a playlist skipped or cut,
// an existing file kept) is posted as a Notice; TakeNotices returns the
// texts. A failure of the job sets the error flag and text.
//
// The owner reaches the worker's status target, asker and credentials
// prompt only through a gate, so that it can let go of a worker at any
// moment (Release) without waiting for it: a released worker stops, never
// calls the owner again, finishes its file on its own thread and frees
// itself when that thread ends.
class CmmsThread : public RecordEventSink, public AsxSink {
public:
    // Playlists nest at most this deep (a playlist naming a playlist ...).
    static constexpr int kMaxPlaylistDepth = 8;
    // Meta files of this size or more are not read.
    static constexpr long kMaxMetaFileSize = 102400;
    // One job records at most this many streams and reads at most this many
    // playlists; past that it ends with a notice.
    static constexpr int kMaxJobEntries = 1000;
    static constexpr int kMaxJobPlaylists = 1000;

    CmmsThread(RecordJob job, QuestionAsker* asker, CredentialsPrompt* credentials);
    ~CmmsThread() override;
    CmmsThread(const CmmsThread&) = delete;
    CmmsThread& operator=(const CmmsThread&) = delete;

    // Starts the thread; Run() on it. False when already started.
    bool Start();
    // Asks the job to end: the running client stops at its next check, an
    // open question ends as cancelled, and no further playlist entry starts;
    // nothing is created after it. Returns at once.
    void Stop();
    // Waits for the thread to end.
    void Join();

    // Stops the worker and lets go of it without waiting: once this returns,
    // the worker calls none of its owner's objects again (a status post
    // already in progress is waited for; a question is cancelled first), so
    // the owner may destroy them. The worker finishes its file (header
    // rewrite included) on its own thread and deletes itself when that
    // thread ends; a worker never started, or already ended, is deleted here.
    // For workers run through Start, not through Run on a caller's thread.
    static void Release(std::unique_ptr<CmmsThread> worker);
    // Waits up to bound for every released worker to end: true when none is
    // left. For the end of the program, so that released recordings leave
    // complete files without holding the exit up for long.
    static bool WaitForReleasedWorkers(std::chrono::milliseconds bound);
    // The thread body: RecordReference, then Finished. Public so that a
    // caller may run a job on its own thread.
    void Run();

    // A stream source is written to exactly this file (no naming; a file
    // already there meets the overwrite question); "-" is standard output.
    // Set before Start.
    void SetFixedOutputPath(std::string path) { fixedOutputPath_ = std::move(path); }
    // A stream source is written into sink (a pipe to a player, say)
    // instead of a file: no naming, no question, no claim. Every stream the
    // job records goes there in turn; at the end of the job the worker closes
    // the sink's writing side (with the error text when the job failed), and
    // Stop cancels it, so a write waiting in it returns. The worker shares
    // the sink so that it may outlive its owner's hold. Set before Start.
    void SetOutputSink(std::shared_ptr<ByteSink> sink) { outputSink_ = std::move(sink); }
    // Something the worker keeps until it is destroyed (by its owner, or by
    // itself after Release): the objects behind the target, asker and prompt
    // it was built with, so that they outlive every call the worker makes.
    void KeepWhileAlive(std::shared_ptr<void> share) { keptAlive_ = std::move(share); }

    std::uint16_t JobNumber() const { return job_.jobNumber; }
    const std::string& SourceRef() const { return job_.sourceRef; }
    bool IsFinished() const { return finished_.load(); }
    bool StopFlag() const { return stop_.load(); }
    bool ErrorFlag() const { return errorFlag_.load(); }
    std::string GetErrorText() const;
    std::string OutputPath() const;
    std::string MoreInfoLink() const;
    // The reference a client is connecting to or recording now.
    std::string CurrentReference() const;
    // Counters of the last progress report, each read on its own.
    std::uint32_t BytesWritten() const { return bytesWritten_.load(); }
    int Progress() const { return progress_.load(); }
    std::uint32_t StreamTime() const { return streamTime_.load(); }
    int DurationMs() const { return durationMs_.load(); }

    // Progress reports are merged: at most one Progress status waits for
    // the owner at a time. The owner answers each Progress status with
    // TakeProgress, which re-arms the posting first and then reads the
    // counters, so a report that arrives after the take is posted again and
    // the latest values are never missed. On Finished the counters are
    // final, and TakeProgress (or the getters) return the last report.
    ProgressSnapshot TakeProgress();

    // The notice texts queued since the last call, oldest first.
    std::vector<std::string> TakeNotices();

    // Every output path this job named, in order (a playlist names several).
    // A recording that received nothing leaves nothing at its path (and an
    // existing file there untouched).
    std::vector<std::string> OutputPaths() const;

    // RecordEventSink
    void OnConnecting(const std::string& sourceRef, int port) override;
    void OnHeaderReceived(const std::string& sourceRef, int durationMs) override;
    void OnProgress(std::uint32_t bytesWritten, int progress, std::uint32_t streamTimeMs) override;
    void OnFinished(int count) override;
    void ReportError(const std::string& text) override;

    // AsxSink
    void RecordEntries(int count, const std::string_view* references) override;
    void SetMoreInfoLink(std::string_view link) override;
    void PlaylistCut(int kept) override;

    void RecordReference(const std::string& reference, const std::string& name);
    // Reads a playlist file (a regular file below kMaxMetaFileSize only) and
    // records its entries. fromNetwork: the file was downloaded, so its
    // entries must be network addresses; shownAs names it in notices.
    void ReadPlaylistFile(const std::string& path, bool fromNetwork, const std::string& shownAs);

private:
    void Post(RecordStatus status);
    void Notice(const std::string& text);
    void SetOutputPath(const std::string& path);
    void ClearError();
    // Neither stopped nor past the job's bounds.
    bool GoingOn() const { return !stop_.load() && !boundReached_; }
    // Checks a playlist against the job's bounds and what it has read; true
    // when it is to be read (the caller pops playlistChain_ afterwards).
    bool EnterPlaylist(const std::string& reference);
    bool lastPullByMmsh_ = false;  // the stream's last attempt was the MMSH client's
    void RecordPlaylist(const std::string& reference);
    void DownloadPlaylist(const std::string& reference);
    void RecordStream(const std::string& reference, const std::string& name, MediaRefKind kind);
    // Opens the output of a stream; false when the entry is not recorded.
    bool OpenOutput(const std::string& reference, const std::string& name, OutputFile& file, OutputClaim& claim,
                    std::string& path);
    // Lets the clients record into sink, the second when the first got nothing.
    void PullStream(const std::string& reference, MediaRefKind kind, ByteSink& sink);
    // The thread's body around Run: frees a released worker at its end.
    void ThreadMain();
    void CloseOutput(OutputFile& file, const std::string& path);

    // Destroyed last, after the gate and the clients that call through it.
    std::shared_ptr<void> keptAlive_;
    RecordJob job_;
    // Every call to the owner's target, asker and prompt goes through it.
    OwnerGate gate_;
    std::shared_ptr<RunOutputs> runOutputs_;
    MmshClient mmsh_;
    MmsClient mms_;
    std::string fixedOutputPath_;
    std::shared_ptr<ByteSink> outputSink_;

    std::thread thread_;
    bool started_ = false;  // the owner's thread only
    // Whether the owner has let go, and whether the thread is past Run:
    // whichever comes second frees the worker. Also orders the end of the
    // output sink: closed by the job, or cancelled by Stop, not both.
    std::mutex lifeMutex_;
    bool released_ = false;
    bool runEnded_ = false;
    bool sinkClosed_ = false;
    std::atomic<bool> stop_{false};
    std::atomic<bool> finished_{false};
    std::atomic<bool> errorFlag_{false};
    std::atomic<bool> mmsRunning_{false};
    std::atomic<bool> progressPending_{false};
    std::atomic<std::uint32_t> bytesWritten_{0};
    std::atomic<int> progress_{0};
    std::atomic<std::uint32_t> streamTime_{0};
    std::atomic<int> durationMs_{0};

    mutable std::mutex textMutex_;
    std::string errorText_;
    std::string outputPath_;
    std::string moreInfoLink_;
    std::string currentReference_;
    std::vector<std::string> outputPaths_;
    std::vector<std::string> notices_;

    // Only the worker's thread uses what follows.
    // Playlists being read (their keys), outermost first: bounds nesting and
    // catches a playlist that names itself.
    std::vector<std::string> playlistChain_;
    // Every playlist this job has read: each is read once.
    std::set<std::string> playlistsRead_;
    int streamsStarted_ = 0;
    bool boundReached_ = false;
    // The playlist being parsed: whether it came from the network, and how
    // it is named in notices.
    bool parsingNetworkPlaylist_ = false;
    std::string parsingPlaylist_;
};

}  // namespace larkspan
