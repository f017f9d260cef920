#pragma once
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "media/AsxSink.h"
#include "media/MediaRefKind.h"
#include "protocols/RecordEventSink.h"
#include "protocols/mms/MmsClient.h"
#include "protocols/mmsh/MmshClient.h"
#include "recorder/QuestionAsker.h"
#include "recorder/RecordJob.h"

namespace larkspan {

// Runs one record job on a thread of its own: classifies the source, follows
// playlists, names and opens each output file, and lets one of the two
// stream clients pull the stream (the other one when the first records
// nothing). Reports by posting status to the job's notify target; the owner
// then reads the fields below. Nothing is locked on the recording path: the
// counters are atomics, the texts are guarded by a small mutex.
class CmmsThread : public RecordEventSink, public AsxSink {
public:
    // Playlists nest at most this deep (a playlist naming a playlist ...).
    static constexpr int kMaxPlaylistDepth = 8;
    // Meta files of this size or more are not read.
    static constexpr long kMaxMetaFileSize = 102400;

    CmmsThread(RecordJob job, QuestionAsker* asker, CredentialsPrompt* credentials);
    ~CmmsThread() override;
    CmmsThread(const CmmsThread&) = delete;
    CmmsThread& operator=(const CmmsThread&) = delete;

    // Starts the thread; Run() on it.
    void Start();
    // Asks the job to end: the running client stops at its next check and no
    // further playlist entry starts. Returns at once.
    void Stop();
    // Waits for the thread to end.
    void Join();
    // The thread body: RecordReference, then Finished. Public so that a
    // caller may run a job on its own thread.
    void Run();

    // A stream source is written to exactly this file (no naming; a file
    // already there meets the overwrite question). Set before Start.
    void SetFixedOutputPath(std::string path) { fixedOutputPath_ = std::move(path); }

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
    // Counters of the last progress report.
    std::uint32_t BytesWritten() const { return bytesWritten_.load(); }
    int Progress() const { return progress_.load(); }
    std::uint32_t StreamTime() const { return streamTime_.load(); }
    int DurationMs() const { return durationMs_.load(); }
    // The owner calls this when it has handled a Progress status, so that
    // the next progress report is posted again (at most one is pending).
    void ProgressHandled() { progressPending_.store(false); }
    // Every file this job created, in order (a playlist makes several).
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

    void RecordReference(const std::string& reference, const std::string& name);
    void ReadPlaylistFile(const std::string& path);

private:
    void Post(RecordStatus status);
    void SetOutputPath(const std::string& path);
    void ClearError();
    void RecordStream(const std::string& reference, const std::string& name, MediaRefKind kind);

    RecordJob job_;
    QuestionAsker* asker_;
    MmshClient mmsh_;
    MmsClient mms_;
    std::string fixedOutputPath_;

    std::thread thread_;
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

    // Playlists being read, outermost first: bounds nesting and catches a
    // playlist that names itself.
    std::vector<std::string> playlistChain_;
};

}  // namespace larkspan
