#include "ui/recorder/WorkerBridge.h"

#include <QPointer>
#include <QThread>

#include "ui/recorder/QuestionDialogs.h"

namespace larkspan {

std::shared_ptr<WorkerBridge> WorkerBridge::Create() {
    // The last share may go on a worker's thread: the object is then deleted
    // on its own thread, where its queued events are handled.
    return std::shared_ptr<WorkerBridge>(new WorkerBridge, [](WorkerBridge* bridge) {
        if (QThread::currentThread() == bridge->thread())
            delete bridge;
        else
            bridge->deleteLater();
    });
}

WorkerBridge::~WorkerBridge() { Close(); }

template <typename F>
void WorkerBridge::Queue(F f) {
    if (IsClosed()) return;
    QMetaObject::invokeMethod(
        this,
        [this, f = std::move(f)]() mutable {
            if (!IsClosed()) f();
        },
        Qt::QueuedConnection);
}

void WorkerBridge::PostStatus(RecordStatus status, std::uint16_t jobNumber) {
    Queue([this, status, jobNumber] { emit recordStatus(static_cast<int>(status), jobNumber); });
}

void WorkerBridge::PostFileInfo(const std::string& source, std::uint64_t probeId, const QString& duration,
                                const QString& size) {
    Queue([this, source = QString::fromStdString(source), probeId, duration, size] {
        emit fileInfo(source, probeId, duration, size);
    });
}

void WorkerBridge::Ask(const std::shared_ptr<WorkerQuestion>& question) {
    // A user's answer lets the next question onto the screen.
    QPointer<WorkerBridge> self(this);
    question->SetAnsweredHandler([self] {
        if (self) QMetaObject::invokeMethod(self.data(), [self] { self->ShowNext(); }, Qt::QueuedConnection);
    });
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!closed_) waiting_.push_back(question);
    }
    if (IsClosed()) {
        question->Cancel();
        return;
    }
    Queue([this] { ShowNext(); });
}

void WorkerBridge::Withdraw(const std::shared_ptr<WorkerQuestion>& question) {
    question->Cancel();
    Queue([this, question] {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            std::erase(waiting_, question);
        }
        if (shown_ != question) return;
        shown_.reset();
        if (presenter_) presenter_->Withdraw(question);
        ShowNext();
    });
}

void WorkerBridge::ShowNext() {
    if (shown_ && !shown_->IsAnswered()) return;
    shown_.reset();
    std::shared_ptr<WorkerQuestion> next;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        while (!waiting_.empty() && !next) {
            if (!waiting_.front()->IsAnswered()) next = waiting_.front();
            waiting_.pop_front();
        }
    }
    if (!next) return;
    shown_ = next;
    if (!presenter_) {
        if (!dialogs_) dialogs_ = std::make_unique<DialogQuestionPresenter>();
        presenter_ = dialogs_.get();
    }
    presenter_->Present(next);
}

void WorkerBridge::AddRow(const std::string& source, const std::string& name, const std::string& recordTime) {
    Queue([this, s = QString::fromStdString(source), n = QString::fromStdString(name),
           t = QString::fromStdString(recordTime)] { emit rowDetected(s, n, t); });
}

int WorkerBridge::SetRowName(const std::string& url, const std::string& title, const std::string& recordTime) {
    Queue([this, u = QString::fromStdString(url), n = QString::fromStdString(title),
           t = QString::fromStdString(recordTime)] { emit rowNamed(u, n, t); });
    return 0;
}

void WorkerBridge::ShowDetectionMessage(const std::string& text) {
    Queue([this, t = QString::fromStdString(text)] { emit detectionMessage(t); });
}

void WorkerBridge::OnDetectionStopped() {
    Queue([this] { emit detectionStopped(); });
}

void WorkerBridge::Close() {
    std::deque<std::shared_ptr<WorkerQuestion>> waiting;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        closed_ = true;
        waiting.swap(waiting_);
    }
    for (const auto& question : waiting) question->Cancel();
    if (shown_) {
        shown_->Cancel();
        if (presenter_) presenter_->Withdraw(shown_);
        shown_.reset();
    }
}

bool WorkerBridge::IsClosed() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return closed_;
}

int WorkerBridge::PendingQuestions() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return static_cast<int>(waiting_.size()) + (shown_ && !shown_->IsAnswered() ? 1 : 0);
}

}  // namespace larkspan
