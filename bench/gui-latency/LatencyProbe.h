#pragma once
// Measures how late the GUI thread gets to its posted events: a thread of its
// own posts an event every period, stamped with the steady clock when
// posted; the object's event() (on the thread that owns it) notes how long
// each took to arrive. A status posted by a recording worker waits exactly as
// long before the windows can show it.
#include <QObject>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

namespace larkspan::bench {

class LatencyProbe : public QObject {
public:
    explicit LatencyProbe(std::chrono::microseconds period, QObject* parent = nullptr);
    ~LatencyProbe() override;

    // Starts posting; the samples of an earlier run are dropped.
    void Start();
    // Stops posting and waits for the posting thread (it ends within one
    // period). Events still queued are not counted.
    void Stop();

    // Delivery delays in milliseconds, in arrival order.
    const std::vector<double>& DelaysMs() const { return delaysMs_; }
    // Processor time the posting thread used during the last run, so that it
    // can be taken out of the process's figure.
    double PosterCpuSeconds() const { return posterCpuSeconds_.load(); }

protected:
    bool event(QEvent* event) override;

private:
    void Post();

    std::chrono::microseconds period_;
    std::thread poster_;
    std::atomic<bool> running_{false};
    std::atomic<double> posterCpuSeconds_{0};
    std::vector<double> delaysMs_;
};

// The value below which share of the sorted values lies (nearest rank);
// 0 for none.
double Percentile(std::vector<double> values, double share);

}  // namespace larkspan::bench
