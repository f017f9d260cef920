#include "ui/recorder/WorkerBridge.h"

#include <QCoreApplication>
#include <QEvent>
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

namespace {

// The event that makes the user-interface thread run what workers queued.
const QEvent::Type kRunQueuedEvent = static_cast<QEvent::Type>(QEvent::registerEventType());

}  // namespace

// Qt hands an event from one thread to another through locks the thread
// sanitizer cannot see; these two calls tell it that the wake event's
// allocation happens before its delivery. They do nothing in other builds.
#if defined(__SANITIZE_THREAD__)
#define LARKSPAN_THREAD_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define LARKSPAN_THREAD_SANITIZER 1
#endif
#endif
#ifdef LARKSPAN_THREAD_SANITIZER
extern "C" void __tsan_acquire(void* address);
extern "C" void __tsan_release(void* address);
static void MarkHandOver(void* token) { __tsan_release(token); }
static void MarkTakeOver(void* token) { __tsan_acquire(token); }
#else
static void MarkHandOver(void*) {}
static void MarkTakeOver(void*) {}
#endif

// What workers hand over is plain C++ (std::string, numbers): the QStrings
// are made on the user-interface thread.
template <typename F>
void WorkerBridge::Queue(F f) {
    // The work waits in the bridge's own list, under its own lock; one wake
    // event at a time tells the user-interface thread to run the list.
    bool wake = false;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (closed_) return;
        queued_.emplace_back(std::move(f));
        wake = !wakePosted_;
        wakePosted_ = true;
    }
    if (!wake) return;
    auto* event = new QEvent(kRunQueuedEvent);
    MarkHandOver(&wakeToken_);
    QCoreApplication::postEvent(this, event);
}

bool WorkerBridge::event(QEvent* event) {
    MarkTakeOver(&wakeToken_);
    if (event->type() != kRunQueuedEvent) return QObject::event(event);
    std::vector<std::function<void()>> batch;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        batch.swap(queued_);
        wakePosted_ = false;
    }
    for (auto& work : batch) {
        if (IsClosed()) break;
        work();
    }
    return true;
}

void WorkerBridge::PostStatus(RecordStatus status, std::uint16_t jobNumber) {
    Queue([this, status, jobNumber] { emit recordStatus(static_cast<int>(status), jobNumber); });
}

void WorkerBridge::PostFileInfo(const std::string& source, std::uint64_t probeId, const std::string& duration,
                                const std::string& size) {
    Queue([this, source, probeId, duration, size] {
        emit fileInfo(QString::fromStdString(source), probeId, QString::fromStdString(duration),
                      QString::fromStdString(size));
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
    Queue([this, source, name, recordTime] {
        emit rowDetected(QString::fromStdString(source), QString::fromStdString(name),
                         QString::fromStdString(recordTime));
    });
}

int WorkerBridge::SetRowName(const std::string& url, const std::string& title, const std::string& recordTime) {
    Queue([this, url, title, recordTime] {
        emit rowNamed(QString::fromStdString(url), QString::fromStdString(title), QString::fromStdString(recordTime));
    });
    return 0;
}

void WorkerBridge::ShowDetectionMessage(const std::string& text) {
    Queue([this, text] { emit detectionMessage(QString::fromStdString(text)); });
}

void WorkerBridge::OnDetectionStopped() {
    Queue([this] { emit detectionStopped(); });
}

void WorkerBridge::Close() {
    std::deque<std::shared_ptr<WorkerQuestion>> waiting;
    std::vector<std::function<void()>> dropped;  // events after the close are not delivered
    {
        std::lock_guard<std::mutex> lock(mutex_);
        closed_ = true;
        waiting.swap(waiting_);
        dropped.swap(queued_);
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
