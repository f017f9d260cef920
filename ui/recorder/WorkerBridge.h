#pragma once
#include <QObject>
#include <QString>

#include <cstdint>
#include <deque>
#include <memory>
#include <functional>
#include <mutex>
#include <vector>
#include <string>

#include "detect/DetectionSink.h"
#include "recorder/RecordJob.h"
#include "ui/recorder/QuestionPresenter.h"

namespace larkspan {

// The one way from the engine's threads (recording workers, the capture
// thread, file probes) to the windows. Every call from those threads becomes
// a queued event handled on the user-interface thread, where the bridge
// lives and emits its signals; no call ever waits for that thread, except a
// worker's question, which waits for the user's answer while the
// user-interface thread shows the dialog without waiting for anyone.
//
// Shared ownership keeps the bridge alive for as long as any thread may
// call it (each worker's WorkerLink holds a share); the last share is let
// go on whatever thread, and the bridge is then deleted on its own thread.
// Close() is for the end of the program: it answers every question at once
// (Cancel, no path, declined) and drops whatever arrives afterwards.
class WorkerBridge : public QObject, public DetectionSink {
    Q_OBJECT

public:
    // On the user-interface thread.
    static std::shared_ptr<WorkerBridge> Create();
    ~WorkerBridge() override;

    // Not owned; null shows the built-in dialogs. User-interface thread.
    void SetPresenter(QuestionPresenter* presenter) { presenter_ = presenter; }

    // Any thread: queued to the user-interface thread.
    void PostStatus(RecordStatus status, std::uint16_t jobNumber);
    void PostFileInfo(const std::string& source, std::uint64_t probeId, const std::string& duration,
                      const std::string& size);
    // Worker thread: shows the question in turn and waits for its answer.
    // Returns at once, cancelled, when the bridge is closed.
    void Ask(const std::shared_ptr<WorkerQuestion>& question);
    // Any thread: cancels the question and takes it off the screen.
    void Withdraw(const std::shared_ptr<WorkerQuestion>& question);

    // DetectionSink, called on the capture thread. SetRowName cannot wait
    // for the list and returns 0; the row is named when the event arrives.
    void AddRow(const std::string& source, const std::string& name, const std::string& recordTime) override;
    int SetRowName(const std::string& url, const std::string& title, const std::string& recordTime) override;
    void ShowDetectionMessage(const std::string& text) override;
    void OnDetectionStopped() override;

    // Answers every pending question as cancelled and drops every later
    // event. Returns at once; safe to call more than once.
    void Close();
    bool IsClosed() const;
    // Questions waiting or on screen.
    int PendingQuestions() const;

signals:
    void recordStatus(int status, int jobNumber);
    void fileInfo(const QString& source, quint64 probeId, const QString& duration, const QString& size);
    void rowDetected(const QString& source, const QString& name, const QString& recordTime);
    void rowNamed(const QString& url, const QString& title, const QString& recordTime);
    void detectionMessage(const QString& text);
    void detectionStopped();

protected:
    bool event(QEvent* event) override;

private:
    WorkerBridge() = default;
    // Runs f on the user-interface thread unless the bridge is closed by then.
    template <typename F>
    void Queue(F f);
    void ShowNext();

    QuestionPresenter* presenter_ = nullptr;
    std::unique_ptr<QuestionPresenter> dialogs_;  // the built-in one, made when first needed

    mutable std::mutex mutex_;
    bool closed_ = false;
    std::deque<std::shared_ptr<WorkerQuestion>> waiting_;
    std::shared_ptr<WorkerQuestion> shown_;  // user-interface thread only
    std::vector<std::function<void()>> queued_;  // under mutex_
    bool wakePosted_ = false;                    // under mutex_
    char wakeToken_ = 0;                         // names the wake event's hand-over to the thread sanitizer
};

}  // namespace larkspan
