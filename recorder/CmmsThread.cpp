#include "recorder/CmmsThread.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <condition_variable>
#include <filesystem>
#include <system_error>
#include <vector>

#include "media/AsxParser.h"
#include "media/MediaRefKind.h"
#include "protocols/StreamErrors.h"
#include "recorder/OutputCreation.h"
#include "recorder/OutputNaming.h"
#include "recorder/PlaylistReferences.h"

namespace larkspan {

namespace {
constexpr char kWriteError[] = "File Write Error";
constexpr char kStandardOutput[] = "-";

bool HoldsNetworkScheme(const std::string& reference) {
    return reference.find("mms") != std::string::npos || reference.find("http") != std::string::npos;
}
// A playlist that is only an address may end in a line break or blanks.
std::string TrimBlanks(std::string_view text) {
    size_t b = 0, e = text.size();
    while (b < e && static_cast<unsigned char>(text[b]) <= ' ') ++b;
    while (e > b && static_cast<unsigned char>(text[e - 1]) <= ' ') --e;
    return std::string(text.substr(b, e - b));
}
// Something that is there and is not a regular file: a device, a pipe, a
// folder.
bool SpecialFileAt(const std::string& path) {
    std::error_code ec;
    const auto status = std::filesystem::status(std::filesystem::path(path), ec);
    return !ec && std::filesystem::exists(status) && !std::filesystem::is_regular_file(status);
}
bool RegularFileAt(const std::string& path) {
    std::error_code ec;
    return std::filesystem::is_regular_file(std::filesystem::path(path), ec);
}
const char* ProtocolName(bool mmsh) { return mmsh ? "MMSH" : "MMS"; }

// The workers released and still running. Never destroyed: a worker that
// outlives the program's wait still finds it while the process ends.
struct ReleasedWorkers {
    std::mutex mutex;
    std::condition_variable allEnded;
    int running = 0;
};
ReleasedWorkers& Released() {
    static auto* released = new ReleasedWorkers;
    return *released;
}
}  // namespace

CmmsThread::CmmsThread(RecordJob job, QuestionAsker* asker, CredentialsPrompt* credentials)
    : job_(std::move(job)),
      gate_(job_.notifyWindow, asker, credentials),
      runOutputs_(job_.runOutputs ? job_.runOutputs : std::make_shared<RunOutputs>()),
      mmsh_(job_.jobNumber, job_.settings, this, credentials ? &gate_ : nullptr),
      mms_(job_.jobNumber, job_.settings, this) {}

CmmsThread::~CmmsThread() {
    Stop();
    Join();
}

bool CmmsThread::Start() {
    if (started_) return false;
    started_ = true;
    thread_ = std::thread([this] { ThreadMain(); });
    return true;
}

void CmmsThread::ThreadMain() {
    Run();
    bool released;
    {
        std::lock_guard<std::mutex> lock(lifeMutex_);
        runEnded_ = true;
        released = released_;
    }
    if (!released) return;  // the owner joins and deletes
    // Nobody holds this worker any more: it frees itself, and nothing of it
    // is touched afterwards.
    thread_.detach();
    delete this;
    ReleasedWorkers& all = Released();
    std::lock_guard<std::mutex> lock(all.mutex);
    if (--all.running == 0) all.allEnded.notify_all();
}

void CmmsThread::Release(std::unique_ptr<CmmsThread> worker) {
    if (!worker) return;
    worker->Stop();
    worker->gate_.Detach();
    if (!worker->started_) return;  // no thread: deleted here
    ReleasedWorkers& all = Released();
    {
        std::lock_guard<std::mutex> lock(all.mutex);
        ++all.running;
    }
    bool ended;
    {
        std::lock_guard<std::mutex> lock(worker->lifeMutex_);
        worker->released_ = true;
        ended = worker->runEnded_;
    }
    if (!ended) {
        worker.release();  // its thread deletes it
        return;
    }
    // The thread is past Run and about to return: joined and deleted here.
    worker.reset();
    std::lock_guard<std::mutex> lock(all.mutex);
    if (--all.running == 0) all.allEnded.notify_all();
}

bool CmmsThread::WaitForReleasedWorkers(std::chrono::milliseconds bound) {
    ReleasedWorkers& all = Released();
    std::unique_lock<std::mutex> lock(all.mutex);
    return all.allEnded.wait_for(lock, bound, [&] { return all.running == 0; });
}

void CmmsThread::Stop() {
    stop_.store(true);
    mmsh_.Stop();
    mms_.Stop();
    // A write waiting for the sink's reader returns. A sink the job has
    // closed already keeps its bytes for the reader.
    if (outputSink_) {
        std::lock_guard<std::mutex> lock(lifeMutex_);
        if (!sinkClosed_) outputSink_->Cancel("the recording was stopped");
    }
    gate_.CancelPending();
}

void CmmsThread::Join() {
    if (thread_.joinable()) thread_.join();
}

void CmmsThread::Run() {
    RecordReference(job_.sourceRef, job_.requestedName);
    if (outputSink_) {
        std::lock_guard<std::mutex> lock(lifeMutex_);
        outputSink_->CloseWriting(ErrorFlag() ? GetErrorText() : std::string());
        sinkClosed_ = true;
    }
    finished_.store(true);
    OnFinished(static_cast<int>(bytesWritten_.load()));
}

std::string CmmsThread::GetErrorText() const {
    std::lock_guard<std::mutex> lock(textMutex_);
    return errorText_;
}

std::string CmmsThread::OutputPath() const {
    std::lock_guard<std::mutex> lock(textMutex_);
    return outputPath_;
}

std::string CmmsThread::MoreInfoLink() const {
    std::lock_guard<std::mutex> lock(textMutex_);
    return moreInfoLink_;
}

std::string CmmsThread::CurrentReference() const {
    std::lock_guard<std::mutex> lock(textMutex_);
    return currentReference_;
}

std::vector<std::string> CmmsThread::OutputPaths() const {
    std::lock_guard<std::mutex> lock(textMutex_);
    return outputPaths_;
}

ProgressSnapshot CmmsThread::TakeProgress() {
    // First re-arm, then read: OnProgress stores the counters before it
    // tests the flag, so a report this read misses is posted again.
    progressPending_.store(false);
    ProgressSnapshot s;
    s.bytesWritten = bytesWritten_.load();
    s.progress = progress_.load();
    s.streamTimeMs = streamTime_.load();
    s.durationMs = durationMs_.load();
    return s;
}

std::vector<std::string> CmmsThread::TakeNotices() {
    std::lock_guard<std::mutex> lock(textMutex_);
    std::vector<std::string> out;
    out.swap(notices_);
    return out;
}

void CmmsThread::Post(RecordStatus status) { gate_.PostRecordStatus(status, job_.jobNumber); }

void CmmsThread::Notice(const std::string& text) {
    {
        std::lock_guard<std::mutex> lock(textMutex_);
        notices_.push_back(text);
    }
    Post(RecordStatus::Notice);
}

void CmmsThread::SetOutputPath(const std::string& path) {
    std::lock_guard<std::mutex> lock(textMutex_);
    outputPath_ = path;
    outputPaths_.push_back(path);
}

void CmmsThread::ClearError() {
    std::lock_guard<std::mutex> lock(textMutex_);
    errorText_.clear();
    errorFlag_.store(false);
}

void CmmsThread::OnConnecting(const std::string& sourceRef, int) {
    {
        std::lock_guard<std::mutex> lock(textMutex_);
        currentReference_ = sourceRef;
    }
    // The MMS client clears its stop flag when it starts; a Stop that came
    // just before must still end it.
    if (stop_.load()) mms_.Stop();
    Post(RecordStatus::Connecting);
}

void CmmsThread::OnHeaderReceived(const std::string&, int durationMs) {
    durationMs_.store(durationMs);
    Post(RecordStatus::HeaderReceived);
}

void CmmsThread::OnProgress(std::uint32_t bytesWritten, int progress, std::uint32_t streamTimeMs) {
    // The counters first, then the flag (see TakeProgress).
    bytesWritten_.store(bytesWritten);
    progress_.store(progress);
    streamTime_.store(streamTimeMs);
    if (!progressPending_.exchange(true)) Post(RecordStatus::Progress);
}

void CmmsThread::OnFinished(int) { Post(RecordStatus::Finished); }

void CmmsThread::ReportError(const std::string& text) {
    std::lock_guard<std::mutex> lock(textMutex_);
    errorText_ = text.size() > 4095 ? text.substr(0, 4095) : text;
    errorFlag_.store(true);
}

void CmmsThread::SetMoreInfoLink(std::string_view link) {
    std::lock_guard<std::mutex> lock(textMutex_);
    moreInfoLink_ = std::string(link);
}

void CmmsThread::PlaylistCut(int kept) {
    Notice("playlist cut after " + std::to_string(kept) + " entries: " + ReferenceForNotice(parsingPlaylist_));
}

void CmmsThread::RecordEntries(int count, const std::string_view* references) {
    // The parser's texts live only during this call, and recording an entry
    // may parse another playlist: copy them first.
    std::vector<std::string> entries;
    for (int i = 0; i < count; ++i) entries.push_back(TrimBlanks(references[i]));
    const bool fromNetwork = parsingNetworkPlaylist_;
    for (int i = 0; i < count && GoingOn(); ++i) {
        const std::string& entry = entries[static_cast<size_t>(i)];
        // A server's playlist must not make the recorder read local files.
        if (fromNetwork && !IsNetworkAddress(entry)) {
            Notice("skipped " + ReferenceForNotice(entry) +
                   ": a playlist from the network may name only network addresses");
            continue;
        }
        RecordReference(entry, EntryName(job_.requestedName, count, i));
    }
}

void CmmsThread::RecordReference(const std::string& reference, const std::string& name) {
    if (!GoingOn()) return;
    const MediaRefKind kind = ClassifyMediaRef(reference);
    if (IsMetaKind(kind))
        RecordPlaylist(reference);
    else
        RecordStream(reference, name, kind);
}

bool CmmsThread::EnterPlaylist(const std::string& reference) {
    const std::string key = PlaylistKey(reference);
    const std::string shown = ReferenceForNotice(reference);
    if (std::find(playlistChain_.begin(), playlistChain_.end(), key) != playlistChain_.end()) {
        Notice("skipped playlist that refers to itself: " + shown);
        return false;
    }
    if (static_cast<int>(playlistChain_.size()) >= kMaxPlaylistDepth) {
        Notice("skipped playlist nested more than " + std::to_string(kMaxPlaylistDepth) + " levels deep: " + shown);
        return false;
    }
    // Sibling entries naming one playlist would otherwise multiply with
    // every level of nesting.
    if (playlistsRead_.count(key) != 0) {
        Notice("skipped playlist already read in this job: " + shown);
        return false;
    }
    if (static_cast<int>(playlistsRead_.size()) >= kMaxJobPlaylists) {
        boundReached_ = true;
        Notice("stopped after reading " + std::to_string(kMaxJobPlaylists) + " playlists, the most one job reads");
        return false;
    }
    playlistsRead_.insert(key);
    playlistChain_.push_back(key);
    return true;
}

void CmmsThread::RecordPlaylist(const std::string& reference) {
    if (!EnterPlaylist(reference)) return;
    if (HoldsNetworkScheme(reference))
        DownloadPlaylist(reference);
    else
        ReadPlaylistFile(reference, false, reference);
    playlistChain_.pop_back();
}

void CmmsThread::DownloadPlaylist(const std::string& reference) {
    OutputFile file;
    OutputClaim claim;
    std::string path;
    OutputGuards guards;
    guards.claim = &claim;
    guards.written = runOutputs_.get();
    guards.stop = &stop_;
    const OutputOutcome outcome = OpenMetaDownload(job_.settings, reference, gate_, path, file, guards);
    if (!path.empty()) SetOutputPath(path);
    if (outcome == OutputOutcome::Cancelled) {
        stop_.store(true);
        return;
    }
    if (outcome != OutputOutcome::Opened) {
        ReportError("File Creation Error");
        return;
    }
    mmsh_.Fetch(&file, reference);
    CloseOutput(file, path);
    // Nothing downloaded leaves whatever was at the path before: never read
    // that instead.
    if (stop_.load() || !file.Committed()) return;
    ReadPlaylistFile(path, true, reference);
}

void CmmsThread::ReadPlaylistFile(const std::string& path, bool fromNetwork, const std::string& shownAs) {
    // Only a regular file is read: a pipe or a device would block the worker
    // beyond the reach of Stop, or never end.
    struct stat info {};
    const std::string skipped = "skipped " + ReferenceForNotice(shownAs) + ": ";
    if (::stat(path.c_str(), &info) != 0) {
        Notice(skipped + std::strerror(errno));
        return;
    }
    const std::string notRegular = skipped + "not a regular file";
    if (!S_ISREG(info.st_mode)) {
        Notice(notRegular);
        return;
    }
    // Without blocking, and checked again on what was opened: the path may
    // have been replaced by a pipe since the test above.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        Notice(skipped + std::strerror(errno));
        return;
    }
    std::vector<char> buffer;
    bool regular = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
    std::string unread;
    if (regular && info.st_size == 0) unread = "empty file";
    if (regular && info.st_size >= kMaxMetaFileSize)
        unread = "larger than " + std::to_string(kMaxMetaFileSize) + " bytes, the most a playlist may hold";
    if (regular && info.st_size > 0 && info.st_size < kMaxMetaFileSize) {
        buffer.resize(static_cast<size_t>(info.st_size));
        size_t got = 0;
        while (got < buffer.size()) {
            const ssize_t n = ::read(fd, buffer.data() + got, buffer.size() - got);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) unread = std::strerror(errno);
            if (n <= 0) break;
            got += static_cast<size_t>(n);
        }
        if (got != buffer.size()) {
            buffer.clear();
            if (unread.empty()) unread = "the file ended early";
        }
    }
    ::close(fd);
    if (!regular) {
        Notice(notRegular);
        return;
    }
    if (buffer.empty()) {
        Notice(skipped + unread);
        return;
    }

    const bool outerFromNetwork = parsingNetworkPlaylist_;
    std::string outerPlaylist = std::move(parsingPlaylist_);
    parsingNetworkPlaylist_ = fromNetwork;
    parsingPlaylist_ = shownAs;
    ParseAsx(buffer.data(), buffer.size(), *this);
    parsingNetworkPlaylist_ = outerFromNetwork;
    parsingPlaylist_ = std::move(outerPlaylist);
}

void CmmsThread::RecordStream(const std::string& reference, const std::string& name, MediaRefKind kind) {
    if (streamsStarted_ >= kMaxJobEntries) {
        boundReached_ = true;
        Notice("stopped after " + std::to_string(kMaxJobEntries) + " entries, the most one job records");
        return;
    }
    ++streamsStarted_;
    lastPullByMmsh_ = false;
    if (outputSink_) {
        bytesWritten_.store(0);
        progress_.store(0);
        streamTime_.store(0);
        PullStream(reference, kind, *outputSink_);
        return;
    }
    OutputFile file;
    OutputClaim claim;  // held until the file is closed
    std::string path;
    if (!OpenOutput(reference, name, file, claim, path)) return;
    bytesWritten_.store(0);
    progress_.store(0);
    streamTime_.store(0);
    PullStream(reference, kind, file);
    // The clients count what they received, which over MMSH includes the
    // header of the first request; standard output has no size to read
    // back, so its count is what actually went out.
    if (path == kStandardOutput)
        bytesWritten_.store(static_cast<std::uint32_t>(std::min<uint64_t>(file.Position(), UINT32_MAX)));
    CloseOutput(file, path);
    // A stream address that the server answered with a playlist: the file
    // holds that playlist, whose entries are recorded in turn.
    if (lastPullByMmsh_ && mmsh_.BodyWasPlaylist() && file.Committed() && path != kStandardOutput && !stop_.load() &&
        EnterPlaylist(reference)) {
        ReadPlaylistFile(path, true, reference);
        playlistChain_.pop_back();
    }
}

bool CmmsThread::OpenOutput(const std::string& reference, const std::string& name, OutputFile& file,
                            OutputClaim& claim, std::string& path) {
    if (fixedOutputPath_ == kStandardOutput) {
        path = fixedOutputPath_;
        SetOutputPath(path);
        file.AttachStandardOutput();
        return true;
    }
    OutputOutcome outcome;
    if (!fixedOutputPath_.empty()) {
        path = fixedOutputPath_;
        // A device or a pipe is written as it is, by as many entries as come.
        const bool special = SpecialFileAt(path);
        if (!special) path = claim.ClaimFreeVariant(path, runOutputs_.get());
        // A file already there is the user's to keep: the same question as
        // for a named recording.
        const OverwriteDecision decision = ConfirmOverwrite(job_.settings, path, gate_);
        if (decision == OverwriteDecision::Stop || stop_.load())
            outcome = OutputOutcome::Cancelled;
        else if (decision == OverwriteDecision::Skip)
            outcome = OutputOutcome::Skipped;
        else if (!special && !claim.Holds(path) && !claim.Claim(path))
            outcome = OutputOutcome::CreationError;  // the user chose a path another recording writes
        else
            outcome = CreateOutputFile(file, path) ? OutputOutcome::Opened : OutputOutcome::CreationError;
    } else {
        OutputGuards guards;
        guards.claim = &claim;
        guards.written = runOutputs_.get();
        guards.stop = &stop_;
        outcome = OpenStreamOutput(job_.settings, reference, name, gate_, path, file, guards);
    }
    if (!path.empty()) SetOutputPath(path);
    switch (outcome) {
    case OutputOutcome::Opened:
        return true;
    case OutputOutcome::Cancelled:
        stop_.store(true);
        break;
    case OutputOutcome::Skipped:
        Notice("kept existing " + path);
        break;
    case OutputOutcome::CreationError:
        ReportError("File Creation Error");
        break;
    }
    return false;
}

void CmmsThread::PullStream(const std::string& reference, MediaRefKind kind, ByteSink& sink) {
    // "https:" is HTTP over TLS: MMS has nothing to offer there.
    const int attempts = IsHttpsAddress(reference) ? 1 : 2;
    const bool httpFirst = attempts == 1 || (kind & refkind::SchemeHttp) != 0;
    std::string firstFailure;
    std::uint32_t got = 0;
    int ran = 0;
    for (int attempt = 0; attempt < attempts && !stop_.load(); ++attempt) {
        const bool useMmsh = (attempt == 0) == httpFirst;
        if (attempt == 1) {
            // The second client starts clean; the first one's failure is
            // shown beside its own should it fail too.
            firstFailure = ErrorFlag() ? GetErrorText() : std::string();
            ClearError();
        }
        ++ran;
        lastPullByMmsh_ = useMmsh;
        got = useMmsh ? mmsh_.Record(&sink, reference) : mms_.Record(&sink, reference);
        if (got != 0) break;
    }
    if (ran < 2 || got != 0 || stop_.load()) return;
    // Both failed: say how each did, the first attempt first. A client that
    // got nothing without a word is named too, once the other had a reason.
    const std::string secondFailure = ErrorFlag() ? GetErrorText() : std::string();
    if (firstFailure.empty() && secondFailure.empty()) return;
    auto part = [](bool mmsh, const std::string& text) {
        return std::string(ProtocolName(mmsh)) + ": " + (text.empty() ? "nothing recorded" : text);
    };
    ReportError(part(httpFirst, firstFailure) + "; " + part(!httpFirst, secondFailure));
}

void CmmsThread::CloseOutput(OutputFile& file, const std::string& path) {
    if (!file.Close()) {
        // A client that saw the failure has reported it already; give the
        // system's reason unless its text carries one.
        const std::string withCause = std::string(kWriteError) + ": ";
        if (!(ErrorFlag() && GetErrorText().compare(0, withCause.size(), withCause) == 0))
            ReportError(WithCause(kWriteError, file.ErrorText()));
    }
    // Later recordings of the run keep off a file this one wrote (while the
    // claim still holds it).
    if (file.Committed() && path != kStandardOutput && RegularFileAt(path)) runOutputs_->Add(path);
}

}  // namespace larkspan
