#include "ui/skin/SpectrumMeter.h"

#include "ui/skin/Skin.h"

#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPen>
#include <QWindow>

#include <algorithm>

namespace larkspan {

namespace {

const QString kBackground = QStringLiteral("meter-background.full");
const QColor kGraphFill(1, 37, 15);
const QColor kGraphLine(0, 253, 238);

} // namespace

SpectrumMeter::SpectrumMeter(Skin& skin, QWidget* parent)
    : SpectrumMeter(skin, std::make_unique<PerfCounterQuery>(), parent)
{
}

SpectrumMeter::SpectrumMeter(Skin& skin, std::unique_ptr<PerfCounterQuery> source, QWidget* parent)
    : QWidget(parent), m_skin(skin), m_source(std::move(source)), m_timer(this)
{
    m_points.fill(-1);
    setFixedSize(m_skin.piece(kBackground).source.size());
    setAttribute(Qt::WA_OpaquePaintEvent);
    connect(&m_skin, &Skin::changed, this, qOverload<>(&QWidget::update));
    connect(&m_timer, &QTimer::timeout, this, &SpectrumMeter::sample);
    if (!m_source || !m_source->open()) {
        m_source.reset(); // stays static
        return;
    }
    m_timer.start(wakePeriod());
}

int SpectrumMeter::graphY(int percent)
{
    const int p = std::clamp(percent, 0, 100);
    return 23 - p * 23 / 100 + 1;
}

void SpectrumMeter::sample()
{
    if (!m_source)
        return;
    const std::optional<int> percent = m_source->collect();
    if (!percent)
        return;
    // Below the shortest wake-up period one wake-up adds several points,
    // stepping from the last reading to this one.
    const int count = pointsPerWake();
    const int from = m_lastPercent < 0 ? *percent : m_lastPercent;
    for (int i = 1; i <= count; ++i) {
        std::copy(m_points.begin() + 1, m_points.end(), m_points.begin());
        m_points.back() = graphY(from + (*percent - from) * i / count);
    }
    m_lastPercent = *percent;
    // Drawn at once, inside this wake-up, rather than in a second pass of
    // the event loop.
    repaint();
}

int SpectrumMeter::pointsPerWake() const
{
    return m_interval >= kShortestWake ? 1 : (kShortestWake + m_interval - 1) / m_interval;
}

void SpectrumMeter::setInterval(int interval)
{
    m_interval = interval;
    if (m_timer.isActive())
        m_timer.start(wakePeriod());
}

void SpectrumMeter::faster() { setInterval(std::max(kFastestInterval, m_interval - kIntervalStep)); }

void SpectrumMeter::normalSpeed() { setInterval(kNormalInterval); }

void SpectrumMeter::slower() { setInterval(m_interval + kIntervalStep); }

void SpectrumMeter::togglePause()
{
    if (m_timer.isActive())
        m_timer.stop();
    else if (m_source)
        m_timer.start(wakePeriod());
}

std::unique_ptr<QMenu> SpectrumMeter::makeMenu()
{
    auto menu = std::make_unique<QMenu>();
    menu->addAction(tr("Fast"), this, &SpectrumMeter::faster);
    menu->addAction(tr("Normal speed"), this, &SpectrumMeter::normalSpeed);
    menu->addAction(tr("Slow"), this, &SpectrumMeter::slower);
    menu->addSeparator();
    QAction* pause = menu->addAction(tr("Pause"), this, &SpectrumMeter::togglePause);
    pause->setCheckable(true);
    pause->setChecked(!m_timer.isActive());
    return menu;
}

void SpectrumMeter::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) {
        if (QWindow* handle = window()->windowHandle())
            handle->startSystemMove();
    } else if (event->button() == Qt::RightButton) {
        makeMenu()->exec(event->globalPosition().toPoint());
    }
}

void SpectrumMeter::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    m_skin.draw(painter, QPoint(0, 0), kBackground);
    painter.fillRect(QRect(kGraphLeft, 0, width() - kGraphLeft, height()), kGraphFill);
    // Rows run from 1 (100 %) to 24 (0 %): shift them up one pixel so that
    // both ends lie inside the 24-pixel graph. Only measured points are drawn,
    // so the graph grows in from the right.
    painter.translate(0, -1);
    std::array<QPoint, kPointCount> line;
    int count = 0;
    for (int i = 0; i < kPointCount; ++i) {
        if (m_points[i] >= 0)
            line[count++] = QPoint(kGraphLeft + i, m_points[i]);
    }
    painter.setPen(QPen(kGraphLine, 0)); // cosmetic one-pixel line
    if (count == 1)
        painter.drawPoint(line[0]);
    else if (count > 1)
        painter.drawPolyline(line.data(), count);
}

} // namespace larkspan
