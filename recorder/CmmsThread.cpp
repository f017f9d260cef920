#include "recorder/CmmsThread.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "asf/OutputFile.h"
#include "media/AsxParser.h"
#include "media/MediaRefKind.h"
#include "recorder/OutputCreation.h"
#include "recorder/OutputNaming.h"

namespace larkspan {

namespace {
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
}  // namespace

CmmsThread::CmmsThread(RecordJob job, QuestionAsker* asker, CredentialsPrompt* credentials)
    : job_(std::move(job)),
      asker_(asker),
      mmsh_(job_.jobNumber, job_.settings, this, credentials),
      mms_(job_.jobNumber, job_.settings, this) {}

CmmsThread::~CmmsThread() {
    Stop();
    Join();
}

void CmmsThread::Start() { thread_ = std::thread([this] { Run(); }); }

void CmmsThread::Stop() {
    stop_.store(true);
    mmsh_.Stop();
    mms_.Stop();
}

void CmmsThread::Join() {
    if (thread_.joinable()) thread_.join();
}

void CmmsThread::Run() {
    RecordReference(job_.sourceRef, job_.requestedName);
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

void CmmsThread::Post(RecordStatus status) {
    if (job_.notifyWindow) job_.notifyWindow->PostRecordStatus(status, job_.jobNumber);
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
    bytesWritten_.store(bytesWritten);
    progress_.store(progress);
    streamTime_.store(streamTimeMs);
    // At most one progress report waits for the owner, who reads the latest
    // counters anyway.
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

void CmmsThread::RecordEntries(int count, const std::string_view* references) {
    // The parser's texts live only during this call, and recording an entry
    // may parse another playlist: copy them first.
    std::vector<std::string> entries;
    for (int i = 0; i < count; ++i) entries.push_back(TrimBlanks(references[i]));
    if (entries.size() == 1) {
        if (!stop_.load()) RecordReference(entries[0], job_.requestedName);
        return;
    }
    for (int i = 0; i < count && !stop_.load(); ++i)
        RecordReference(entries[static_cast<size_t>(i)], EntryName(job_.requestedName, count, i));
}

void CmmsThread::RecordReference(const std::string& reference, const std::string& name) {
    if (stop_.load()) return;
    const MediaRefKind kind = ClassifyMediaRef(reference);
    if (!IsMetaKind(kind)) {
        RecordStream(reference, name, kind);
        return;
    }

    if (std::find(playlistChain_.begin(), playlistChain_.end(), reference) != playlistChain_.end()) {
        ReportError("playlist refers to itself: " + reference);
        return;
    }
    if (static_cast<int>(playlistChain_.size()) >= kMaxPlaylistDepth) {
        ReportError("playlists nested too deeply (more than " + std::to_string(kMaxPlaylistDepth) + " levels)");
        return;
    }
    playlistChain_.push_back(reference);
    if (HoldsNetworkScheme(reference)) {
        OutputFile file;
        OutputClaim claim;
        std::string path;
        OutputOutcome outcome = OpenMetaDownload(job_.settings, reference, *asker_, path, file, &claim);
        if (!path.empty()) SetOutputPath(path);
        if (outcome != OutputOutcome::Opened) {
            if (outcome == OutputOutcome::Cancelled) stop_.store(true);
            else ReportError("File Creation Error");
            playlistChain_.pop_back();
            return;
        }
        mmsh_.Record(&file, reference);
        if (!file.Close()) ReportError("File Write Error");
        if (!stop_.load()) ReadPlaylistFile(path);
    } else {
        ReadPlaylistFile(reference);
    }
    playlistChain_.pop_back();
}

void CmmsThread::RecordStream(const std::string& reference, const std::string& name, MediaRefKind kind) {
    OutputFile file;
    OutputClaim claim;  // held until the file is closed
    std::string path;
    if (!fixedOutputPath_.empty()) {
        path = fixedOutputPath_;
        // A file already there is the user's to keep: the same question as
        // for a named recording.
        const bool goOn = ConfirmOverwrite(job_.settings, path, *asker_);
        SetOutputPath(path);
        if (!goOn) {
            stop_.store(true);
            return;
        }
        if (!claim.Claim(path) || !file.Create(path)) {
            ReportError("File Creation Error");
            return;
        }
    } else {
        OutputOutcome outcome = OpenStreamOutput(job_.settings, reference, name, *asker_, path, file, &claim);
        if (!path.empty()) SetOutputPath(path);
        if (outcome == OutputOutcome::Cancelled) {
            stop_.store(true);
            return;
        }
        if (outcome != OutputOutcome::Opened) {
            ReportError("File Creation Error");
            return;
        }
    }
    bytesWritten_.store(0);
    progress_.store(0);
    streamTime_.store(0);

    const bool httpFirst = (kind & refkind::SchemeHttp) != 0;
    for (int attempt = 0; attempt < 2 && !stop_.load(); ++attempt) {
        const bool useMmsh = (attempt == 0) == httpFirst;
        if (attempt == 1) ClearError();  // only the last client's failure is shown
        std::uint32_t got = useMmsh ? mmsh_.Record(&file, reference) : mms_.Record(&file, reference);
        if (got != 0) break;
    }
    if (!file.Close()) ReportError("File Write Error");
}

void CmmsThread::ReadPlaylistFile(const std::string& path) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return;
    std::vector<char> buffer;
    if (std::fseek(f, 0, SEEK_END) == 0) {
        long length = std::ftell(f);
        if (length >= 0 && length < kMaxMetaFileSize && std::fseek(f, 0, SEEK_SET) == 0) {
            buffer.resize(static_cast<size_t>(length));
            if (length > 0 && std::fread(buffer.data(), 1, buffer.size(), f) != buffer.size()) buffer.clear();
            else if (length == 0) buffer.clear();
        }
    }
    std::fclose(f);
    if (buffer.empty()) return;
    ParseAsx(buffer.data(), buffer.size(), *this);
}

}  // namespace larkspan
