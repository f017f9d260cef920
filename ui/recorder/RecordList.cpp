#include "ui/recorder/RecordList.h"

#include <QCoreApplication>
#include <QMessageBox>

#include <cstdio>
#include <thread>

#include "media/MediaRefKind.h"
#include "recorder/ListEntries.h"
#include "recorder/PlaylistReferences.h"
#include "ui/recorder/FileProbe.h"
#include "ui/recorder/RecordTime.h"
#include "ui/recorder/WorkerLink.h"

namespace larkspan {

namespace {

using Column = RecordListModel::Column;

QString FromStd(const std::string& text) { return QString::fromStdString(text); }

// The one "entry" of a playlist in which the parser found none is the file's
// whole text; it counts only when it is a single line (a file holding just
// an address), blanks around it removed. Empty when it is not.
std::string SingleLineReference(const std::string& text) {
    size_t b = 0, e = text.size();
    while (b < e && static_cast<unsigned char>(text[b]) <= ' ') ++b;
    while (e > b && static_cast<unsigned char>(text[e - 1]) <= ' ') --e;
    const std::string line = text.substr(b, e - b);
    for (char c : line)
        if (static_cast<unsigned char>(c) < ' ' || c == '<' || c == '\x7f') return {};
    return line;
}

}  // namespace

RecordList::RecordList(QObject* parent)
    : QObject(parent),
      model_(new RecordListModel(this)),
      selection_(new QItemSelectionModel(model_, this)),
      bridge_(WorkerBridge::Create()) {
    connect(bridge_.get(), &WorkerBridge::recordStatus, this, &RecordList::OnRecordStatus);
    connect(bridge_.get(), &WorkerBridge::fileInfo, this, &RecordList::OnFileInfo);
    // Addresses the detector found become rows, kept out of the recent list.
    connect(bridge_.get(), &WorkerBridge::rowDetected, this,
            [this](const QString& source, const QString& name, const QString& recordTime) {
                AddRow(source, name, recordTime);
            });
    connect(bridge_.get(), &WorkerBridge::rowNamed, this,
            [this](const QString& url, const QString& title) { SetRowName(url, title); });
    playbackTimer_.setInterval(kPlaybackTick);
    connect(&playbackTimer_, &QTimer::timeout, this, &RecordList::OnPlaybackTick);
}

RecordList::~RecordList() { Shutdown(); }

int RecordList::AddEntry(const QString& source, const QString& name, const QString& recordTime) {
    if (source.isEmpty()) return -1;
    const std::string src = source.toStdString();
    ListAddition addition = ListEntriesFor(src, name.toStdString(), recordTime.toStdString());
    const MediaRefKind kind = ClassifyMediaRef(src);
    const bool playlistRead = IsMetaKind(kind) && (kind & refkind::LocalFile) != 0 && addition.entersRecentList;
    if (playlistRead && addition.rows.size() == 1) {
        addition.rows[0].source = SingleLineReference(addition.rows[0].source);
        if (addition.rows[0].source.empty()) addition.rows.clear();
    }
    if (playlistRead && addition.rows.empty()) {
        emit message(tr("no entries in %1").arg(source));
        return -1;
    }
    int result = playlistRead ? model_->Count() : -1;
    for (const ListRow& row : addition.rows) {
        const int added = AddRow(FromStd(row.source), FromStd(row.name), FromStd(row.recordTime));
        if (!playlistRead) result = added;
    }
    if (addition.playlistCut)
        emit message(tr("%1 holds more entries than are listed; the first %2 were added")
                         .arg(source)
                         .arg(addition.rows.size()));
    if (addition.entersRecentList) {
        recent_.removeAll(source);
        recent_.prepend(source);
        emit recentListChanged();
    }
    return result;
}

int RecordList::AddRow(const QString& source, const QString& name, const QString& recordTime) {
    const int existing = model_->FindSource(source);
    if (existing >= 0) return existing;
    const int row = model_->Append(source, name, recordTime);
    FillRowFileInfo(row, source);
    return row;
}

int RecordList::SetRowName(const QString& url, const QString& title) {
    const int row = model_->FindSource(url);
    if (row >= 0) model_->SetText(row, Column::kName, title);
    return row;
}

void RecordList::FillRowFileInfo(int, const QString& path) {
    const std::string file = path.toStdString();
    if (file.empty() || IsNetworkAddress(file) || file.find("://") != std::string::npos) return;
    const std::uint64_t id = ++lastProbe_;
    probes_[id] = path;
    // The probe shares the bridge, which drops its answer once the list has
    // shut down; an answer after the time-out is ignored.
    // The probe's thread uses no Qt: its texts become QStrings on this thread.
    std::thread([bridge = bridge_, file, id] {
        const LocalFileInfo info = ProbeLocalFile(file);
        const std::string duration = info.durationSeconds ? ClockText(*info.durationSeconds) : std::string();
        char size[32] = "";
        if (info.sizeBytes) std::snprintf(size, sizeof size, "%6d", static_cast<int>(*info.sizeBytes / 1024));
        bridge->PostFileInfo(file, id, duration, size);
    }).detach();
    QTimer::singleShot(kProbeTimeout, this, [this, id] { probes_.erase(id); });
}

void RecordList::OnFileInfo(const QString& source, quint64 probeId, const QString& duration, const QString& size) {
    if (probes_.erase(probeId) == 0) return;
    // The row is found by its source: rows before it may have gone since.
    const int row = model_->FindSource(source);
    if (row < 0 || model_->Job(row) != 0) return;
    if (!duration.isEmpty()) model_->SetText(row, Column::kTime, duration);
    if (!size.isEmpty()) model_->SetText(row, Column::kKByte, size);
}

bool RecordList::IsRecordable(const QString& source) { return larkspan::IsRecordable(source.toStdString()); }

bool RecordList::StartRecording(int row) {
    if (shutDown_ || row < 0 || row >= model_->Count() || model_->Job(row) != 0) return false;
    const QString source = model_->Text(row, Column::kSource);
    if (!IsRecordable(source)) return false;
    const QString recordTime = model_->Text(row, Column::kRecTime);
    const std::optional<int> limit = ParseRecordTime(recordTime.toStdString());
    if (!limit) {
        emit message(tr("The record time \"%1\" is neither a number of minutes nor hours:minutes.").arg(recordTime));
        return false;
    }
    RecorderSettings settings = settings_;
    if (*limit > 0) {
        settings.timePolicy = 1;
        settings.sizePolicy = 0;
        settings.maxTime = *limit;
    }
    const std::uint16_t job = NextJobNumber(lastJob_, [this](std::uint16_t j) { return FindWorker(j) != nullptr; });
    if (job == 0) return false;

    auto link = std::make_shared<WorkerLink>(bridge_);
    RecordJob recordJob;
    recordJob.notifyWindow = link.get();
    recordJob.jobNumber = job;
    recordJob.settings = settings;
    recordJob.sourceRef = source.toStdString();
    recordJob.requestedName = model_->Text(row, Column::kName).toStdString();
    auto worker = std::make_unique<CmmsThread>(std::move(recordJob), link.get(), link.get());
    worker->KeepWhileAlive(link);
    try {
        if (!worker->Start()) return false;
    } catch (const std::system_error&) {
        return false;  // no thread could be made: the row stays idle
    }
    workers_.push_back({job, std::move(worker)});
    model_->SetJob(row, job);
    lastJob_ = job;
    emit recordingStarted(job);
    SetButtons(false, true, playEnabled_);
    return true;
}

void RecordList::Record() {
    const int row = SelectedRow();
    if (row < 0 || !StartRecording(row)) return;
    sequenceCurrent_ = row;
    sequenceStart_ = row;
}

void RecordList::RecordCancel() {
    const int row = SelectedRow();
    if (row < 0) return;
    CmmsThread* worker = FindWorker(model_->Job(row));
    if (!worker) return;
    worker->Stop();
    SetButtons(true, false, playEnabled_);
    sequenceCurrent_ = -1;
    sequenceStart_ = -1;
}

void RecordList::RecordNext() {
    if (sequenceCurrent_ < 0) return;
    // One pass at most: from the row after the current one round to the
    // start row, however rows were deleted meanwhile.
    const int count = model_->Count();
    for (int step = 0; step < count; ++step) {
        sequenceCurrent_ = (sequenceCurrent_ + 1) % count;
        if (sequenceCurrent_ == sequenceStart_) break;
        if (IsRecordable(model_->Text(sequenceCurrent_, Column::kSource)) && StartRecording(sequenceCurrent_)) return;
    }
    sequenceCurrent_ = -1;
    sequenceStart_ = -1;
}

void RecordList::UpdateRecordButtons() {
    const int row = SelectedRow();
    if (row < 0) return;
    const bool cancel =
        IsRecordable(model_->Text(row, Column::kSource)) && FindWorker(model_->Job(row)) != nullptr;
    SetButtons(!model_->AnyRecording(), cancel, true);
}

void RecordList::OnRecordStatus(int status, int jobNumber) {
    const auto job = static_cast<std::uint16_t>(jobNumber);
    const int row = model_->FindJob(job);
    CmmsThread* worker = FindWorker(job);
    if (row < 0 || !worker) return;
    switch (static_cast<RecordStatus>(status)) {
    case RecordStatus::Connecting:
        model_->SetText(row, Column::kTime, tr("Connecting"));
        model_->SetText(row, Column::kPercent, QStringLiteral(" "));
        break;
    case RecordStatus::HeaderReceived:
        model_->SetText(row, Column::kTime, tr("Received Head"));
        model_->SetText(row, Column::kPercent, QStringLiteral(" "));
        model_->SetText(row, Column::kPlayFile, FromStd(worker->OutputPath()));
        break;
    case RecordStatus::Progress: {
        const ProgressSnapshot progress = worker->TakeProgress();
        model_->SetText(row, Column::kTime, FromStd(ClockText(progress.streamTimeMs / 1000)));
        model_->SetText(row, Column::kKByte, QString::number(progress.bytesWritten / 1024));
        model_->SetText(row, Column::kPercent, QString::asprintf("%d %%", progress.progress / 100));
        break;
    }
    case RecordStatus::Notice:
        for (const std::string& text : worker->TakeNotices()) emit message(FromStd(text));
        break;
    case RecordStatus::Finished: {
        if (worker->ErrorFlag()) {
            model_->SetText(row, Column::kTime, FromStd(worker->GetErrorText()));
            model_->SetText(row, Column::kPercent, tr("Error"));
        } else if (worker->StopFlag()) {
            model_->SetText(row, Column::kPercent, tr("Cancelled"));
        } else {
            const QString output = FromStd(worker->OutputPath());
            if (!output.isEmpty()) model_->SetText(row, Column::kSource, output);
            model_->SetText(row, Column::kPercent, tr("Completed"));
        }
        // Done with the worker: it is let go now, not kept until the end.
        ReleaseWorker(job);
        model_->SetJob(row, 0);
        SetButtons(true, false, playEnabled_);
        emit rowStatusShown(row, status);
        if (sequenceStart_ >= 0) RecordNext();
        return;
    }
    }
    emit rowStatusShown(row, status);
}

int RecordList::SelectedRow() const {
    int first = -1;
    for (const QModelIndex& index : selection_->selectedRows())
        if (first < 0 || index.row() < first) first = index.row();
    return first;
}

int RecordList::SelectRow(int row) {
    if (row < 0 || row >= model_->Count()) return -1;
    const QModelIndex index = model_->index(row, 0);
    selection_->select(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    selection_->setCurrentIndex(index, QItemSelectionModel::NoUpdate);
    return row;
}

const CmmsThread* RecordList::WorkerOf(std::uint16_t job) const { return FindWorker(job); }

CmmsThread* RecordList::FindWorker(std::uint16_t job) const {
    for (const Worker& worker : workers_)
        if (job != 0 && worker.job == job) return worker.thread.get();
    return nullptr;
}

void RecordList::ReleaseWorker(std::uint16_t job) {
    for (auto it = workers_.begin(); it != workers_.end(); ++it) {
        if (it->job != job) continue;
        std::unique_ptr<CmmsThread> thread = std::move(it->thread);
        workers_.erase(it);
        CmmsThread::Release(std::move(thread));
        return;
    }
}

void RecordList::SetButtons(bool record, bool recordCancel, bool play) {
    if (record == recordEnabled_ && recordCancel == recordCancelEnabled_ && play == playEnabled_) return;
    recordEnabled_ = record;
    recordCancelEnabled_ = recordCancel;
    playEnabled_ = play;
    emit buttonsChanged();
}

void RecordList::OnListClicked() {
    if (SelectedRow() < 0) {
        SetButtons(false, recordCancelEnabled_, false);
        return;
    }
    UpdateRecordButtons();
}

void RecordList::OnListDoubleClicked() {
    const int row = SelectedRow();
    if (row < 0) {
        SetButtons(false, recordCancelEnabled_, false);
        return;
    }
    if (!IsRecordable(model_->Text(row, Column::kSource))) return;
    if (model_->Job(row) == 0)
        Record();
    else
        RecordCancel();
}

bool RecordList::DeleteSelectedRow() {
    const int row = SelectedRow();
    if (row < 0 || model_->Job(row) != 0) return false;
    const QString question = tr("Are you sure you want to delete this item ?");
    const bool yes = confirm_ ? confirm_(question)
                              : QMessageBox::question(nullptr, QCoreApplication::applicationName(), question,
                                                      QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
    // The row may have started recording while the question was open.
    if (!yes || row >= model_->Count() || model_->Job(row) != 0) return false;
    RemoveRow(row);
    return true;
}

void RecordList::RemoveRow(int row) {
    model_->Remove(row);
    const int count = model_->Count();
    // A stored row after the deleted one moves up; the deleted one itself is
    // replaced by the row before it (round to the last), so that the next
    // step lands on the row that followed it.
    auto follow = [&](int& stored) {
        if (stored > row)
            --stored;
        else if (stored == row)
            stored = row > 0 ? row - 1 : count - 1;
    };
    if (sequenceCurrent_ >= 0) {
        const bool startDeleted = sequenceStart_ == row;
        follow(sequenceCurrent_);
        // The pass still ends where it began: at the row that followed the
        // deleted start row.
        if (startDeleted)
            sequenceStart_ = row < count ? row : 0;
        else if (sequenceStart_ > row)
            --sequenceStart_;
        if (count == 0) sequenceCurrent_ = sequenceStart_ = -1;
    }
    if (playRow_ > row)
        --playRow_;
    else if (playRow_ == row)
        playRow_ = row - 1;
}

bool RecordList::PlaySelectedRow() {
    if (!player_) return false;
    if (player_->IsPaused()) {
        player_->Play();
        return true;
    }
    playRow_ = SelectedRow();
    if (playRow_ < 0) return false;
    return PlayRowAt(playRow_);
}

bool RecordList::PlayRowAt(int row) {
    QString media = model_->Job(row) != 0 ? model_->Text(row, Column::kPlayFile) : QString();
    if (media.isEmpty()) media = model_->Text(row, Column::kSource);
    StopPlaybackTimer();
    if (!player_->Open(media.toStdString(), model_->Text(row, Column::kName).toStdString())) return false;
    player_->Play();
    emit playStarted(media);
    return true;
}

void RecordList::StartPlaybackTimer() { playbackTimer_.start(); }

void RecordList::StopPlaybackTimer() { playbackTimer_.stop(); }

void RecordList::OnPlaybackTick() {
    if (!player_ || player_->State() != RowPlayerState::Stopped) return;
    if (settings_.repeat != 0) {
        player_->Seek(0);
        player_->Play();
        return;
    }
    int next = playRow_ + 1;
    if (next >= model_->Count()) {
        if (model_->Count() < 2) {
            StopPlaybackTimer();
            return;
        }
        next = 0;
    }
    playRow_ = next;
    if (SelectRow(next) < 0) {
        StopPlaybackTimer();
        return;
    }
    PlayRowAt(next);
}

bool RecordList::Shutdown(std::chrono::milliseconds bound) {
    if (shutDown_) return true;
    shutDown_ = true;
    StopPlaybackTimer();
    // Questions on screen end as cancelled, and no status arrives any more.
    bridge_->Close();
    for (Worker& worker : workers_) {
        const int row = model_->FindJob(worker.job);
        if (row >= 0) model_->SetJob(row, 0);
        CmmsThread::Release(std::move(worker.thread));
    }
    workers_.clear();
    return CmmsThread::WaitForReleasedWorkers(bound);
}

}  // namespace larkspan
