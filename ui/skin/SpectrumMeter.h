#pragma once

// A small line graph of the machine's processor usage over a skin background,
// one new point per timer tick. Dragging it with the left button moves the
// window it sits in; the right button opens a menu with the speeds fast,
// normal and slow, and pause. Without a readable usage source it shows its
// background and never animates.
//
// The graph moves by one point per interval. Intervals shorter than
// kShortestWake do not wake the program more often: each wake-up then adds
// several points at once (the same number of points per second), which keeps
// the meter's own processor cost low at its fastest speed.

#include "ui/skin/PerfCounterQuery.h"

#include <QTimer>
#include <QWidget>

#include <array>
#include <memory>

class QMenu;

namespace larkspan {

class Skin;

class SpectrumMeter : public QWidget {
    Q_OBJECT

public:
    static constexpr int kPointCount = 57;
    static constexpr int kGraphLeft = 21;
    static constexpr int kStartInterval = 500;
    static constexpr int kNormalInterval = 50;
    static constexpr int kIntervalStep = 50;
    static constexpr int kFastestInterval = 10;
    static constexpr int kShortestWake = 40;

    SpectrumMeter(Skin& skin, std::unique_ptr<PerfCounterQuery> source, QWidget* parent = nullptr);
    // Samples /proc/stat.
    explicit SpectrumMeter(Skin& skin, QWidget* parent = nullptr);

    // Graph row for a usage in per cent: 24 at 0 %, 13 at 50 %, 1 at 100 %;
    // values outside 0..100 are clamped.
    static int graphY(int percent);

    bool hasSource() const { return m_source != nullptr; }
    bool isRunning() const { return m_timer.isActive(); }
    int interval() const { return m_interval; }
    // Points added per wake-up, and the time between wake-ups.
    int pointsPerWake() const;
    int wakePeriod() const { return m_interval * pointsPerWake(); }
    // Row of each point, oldest first; -1 for a point not yet measured.
    const std::array<int, kPointCount>& points() const { return m_points; }

    // Menu commands.
    void faster();
    void normalSpeed();
    void slower();
    void togglePause();

    // Takes one sample and moves the graph on (what every wake-up does).
    void sample();

    // The right-button menu, built for the meter's current state.
    std::unique_ptr<QMenu> makeMenu();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    void setInterval(int interval);

    Skin& m_skin;
    std::unique_ptr<PerfCounterQuery> m_source;
    QTimer m_timer;
    int m_interval = kStartInterval;
    int m_lastPercent = -1;
    std::array<int, kPointCount> m_points;
};

} // namespace larkspan
