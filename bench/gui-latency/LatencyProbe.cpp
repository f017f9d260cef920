#include "bench/gui-latency/LatencyProbe.h"

#include <QCoreApplication>
#include <QEvent>

#include <algorithm>
#include <cmath>
#include <ctime>

namespace larkspan::bench {

namespace {

using Clock = std::chrono::steady_clock;

const QEvent::Type kStampedEvent = static_cast<QEvent::Type>(QEvent::registerEventType());

class StampedEvent : public QEvent {
public:
    StampedEvent() : QEvent(kStampedEvent), posted(Clock::now()) {}
    const Clock::time_point posted;
};

double ThreadCpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + t.tv_nsec / 1e9;
}

}  // namespace

LatencyProbe::LatencyProbe(std::chrono::microseconds period, QObject* parent) : QObject(parent), period_(period) {}

LatencyProbe::~LatencyProbe() { Stop(); }

void LatencyProbe::Start() {
    Stop();
    delaysMs_.clear();
    delaysMs_.reserve(1 << 16);
    running_ = true;
    poster_ = std::thread([this] { Post(); });
}

void LatencyProbe::Stop() {
    running_ = false;
    if (poster_.joinable()) poster_.join();
}

void LatencyProbe::Post() {
    const double cpuStart = ThreadCpuSeconds();
    // Ticks on an absolute schedule: a late wake-up of this thread does not
    // move the later ones, and each event is stamped when really posted.
    Clock::time_point next = Clock::now() + period_;
    while (running_) {
        std::this_thread::sleep_until(next);
        next += period_;
        QCoreApplication::postEvent(this, new StampedEvent);
    }
    posterCpuSeconds_ = ThreadCpuSeconds() - cpuStart;
}

bool LatencyProbe::event(QEvent* event) {
    if (event->type() != kStampedEvent) return QObject::event(event);
    if (running_) {
        const auto delay = Clock::now() - static_cast<StampedEvent*>(event)->posted;
        delaysMs_.push_back(std::chrono::duration<double, std::milli>(delay).count());
    }
    return true;
}

double Percentile(std::vector<double> values, double share) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const auto rank = static_cast<size_t>(std::ceil(share * static_cast<double>(values.size())));
    return values[std::clamp<size_t>(rank, 1, values.size()) - 1];
}

}  // namespace larkspan::bench
