#pragma once
#include <QItemSelectionModel>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <vector>

#include "recorder/CmmsThread.h"
#include "recorder/RecorderSettings.h"
#include "ui/recorder/RecordListModel.h"
#include "ui/recorder/RowPlayer.h"
#include "ui/recorder/WorkerBridge.h"

namespace larkspan {

// The record list's rows and the recordings attached to them: adding
// sources, starting, following, cancelling and chaining recordings, deleting
// rows and handing rows to the player. Lives on the user-interface thread;
// the workers reach it only through the bridge. The buttons it enables live
// in the main window, which follows buttonsChanged.
class RecordList : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool recordEnabled READ RecordEnabled NOTIFY buttonsChanged)
    Q_PROPERTY(bool recordCancelEnabled READ RecordCancelEnabled NOTIFY buttonsChanged)
    Q_PROPERTY(bool playEnabled READ PlayEnabled NOTIFY buttonsChanged)

public:
    static constexpr int kPlayCommand = 11102;
    static constexpr int kRecordCommand = 11109;
    static constexpr int kRecordCancelCommand = 11122;
    // The timer that moves playback on to the next row.
    static constexpr int kPlaybackTimerId = 999;
    static constexpr std::chrono::milliseconds kPlaybackTick{1000};
    // A file probe that has not answered by then is abandoned.
    static constexpr std::chrono::milliseconds kProbeTimeout{3000};
    // How long the end of the program waits for stopped recordings to
    // finish their files.
    static constexpr std::chrono::milliseconds kShutdownBound{2000};

    // Asked on the user-interface thread; true for Yes.
    using ConfirmHook = std::function<bool(const QString& question)>;

    explicit RecordList(QObject* parent = nullptr);
    ~RecordList() override;

    RecordListModel* Model() { return model_; }
    QItemSelectionModel* Selection() { return selection_; }
    const std::shared_ptr<WorkerBridge>& Bridge() const { return bridge_; }

    void SetSettings(const RecorderSettings& settings) { settings_ = settings; }
    const RecorderSettings& Settings() const { return settings_; }
    // Not owned; may be null.
    void SetPlayer(RowPlayer* player) { player_ = player; }
    // Replaces the Yes/No message box of the delete question.
    void SetConfirmHook(ConfirmHook hook) { confirm_ = std::move(hook); }

    // Adds a source (a local playlist gives a row per entry); the first row
    // added, the old row count when a playlist's rows were all there
    // already, or -1 when nothing was added.
    int AddEntry(const QString& source, const QString& name, const QString& recordTime);
    // The row of source, added at the end when it is not listed yet.
    int AddRow(const QString& source, const QString& name, const QString& recordTime);
    // Shows a local file's duration and size in the row whose source is path
    // once a probe off this thread has read them. Addresses are not opened.
    void FillRowFileInfo(int row, const QString& path);
    static bool IsRecordable(const QString& source);
    bool StartRecording(int row);
    void RecordNext();
    void UpdateRecordButtons();

    // The first selected row, or -1.
    int SelectedRow() const;
    // Selects only row r and makes it current; r, or -1 when out of range.
    int SelectRow(int row);

    // The sources added through AddEntry, most recent first.
    const QStringList& RecentList() const { return recent_; }
    // The record sequence (-1, -1 when none runs) and the row last played.
    int SequenceCurrent() const { return sequenceCurrent_; }
    int SequenceStart() const { return sequenceStart_; }
    int PlayRow() const { return playRow_; }
    std::uint16_t LastJobNumber() const { return lastJob_; }
    // Workers attached to rows.
    int WorkerCount() const { return static_cast<int>(workers_.size()); }
    const CmmsThread* WorkerOf(std::uint16_t job) const;

    // The detector's title for an address detected earlier: names the first
    // row whose source is url; that row, or -1.
    int SetRowName(const QString& url, const QString& title);

    bool RecordEnabled() const { return recordEnabled_; }
    bool RecordCancelEnabled() const { return recordCancelEnabled_; }
    bool PlayEnabled() const { return playEnabled_; }

    // The end of the program: answers every question Cancel, stops and lets
    // go of every worker, and waits up to bound for them to finish their
    // files. True when all did. Later status events are dropped.
    bool Shutdown(std::chrono::milliseconds bound = kShutdownBound);

public slots:
    void Record();
    void RecordCancel();
    // Asks first; a recording row is not deleted. True when deleted.
    bool DeleteSelectedRow();
    // The Play command: resumes a paused player, or plays the selected row.
    bool PlaySelectedRow();
    void OnListClicked();
    void OnListDoubleClicked();
    void StartPlaybackTimer();
    void StopPlaybackTimer();
    // One tick of the playback timer: repeats or moves on when the player
    // has stopped.
    void OnPlaybackTick();

signals:
    void buttonsChanged();
    // A text for the user (a refused record time, a playlist without entries,
    // a worker's notice).
    void message(const QString& text);
    void recentListChanged();
    // A recording started: the address detector is to be switched off.
    void recordingStarted(std::uint16_t jobNumber);
    // The player accepted a row's media.
    void playStarted(const QString& media);
    // A worker's status has been shown in row.
    void rowStatusShown(int row, int status);

private slots:
    void OnRecordStatus(int status, int jobNumber);
    void OnFileInfo(const QString& source, quint64 probeId, const QString& duration, const QString& size);

private:
    struct Worker {
        std::uint16_t job = 0;
        std::unique_ptr<CmmsThread> thread;
    };
    CmmsThread* FindWorker(std::uint16_t job) const;
    void ReleaseWorker(std::uint16_t job);
    void SetButtons(bool record, bool recordCancel, bool play);
    void RemoveRow(int row);
    bool PlayRowAt(int row);

    RecordListModel* model_;
    QItemSelectionModel* selection_;
    std::shared_ptr<WorkerBridge> bridge_;
    RecorderSettings settings_;
    RowPlayer* player_ = nullptr;
    ConfirmHook confirm_;
    std::vector<Worker> workers_;  // in creation order
    std::uint16_t lastJob_ = 0;
    int sequenceCurrent_ = -1;
    int sequenceStart_ = -1;
    int playRow_ = -1;
    QStringList recent_;
    QTimer playbackTimer_;
    std::uint64_t lastProbe_ = 0;
    std::map<std::uint64_t, QString> probes_;  // waiting probes and their sources
    bool recordEnabled_ = true;
    bool recordCancelEnabled_ = false;
    bool playEnabled_ = false;
    bool shutDown_ = false;
};

}  // namespace larkspan
