#include "ui/skin/SkinSlider.h"

#include "ui/skin/Skin.h"

#include <QMouseEvent>
#include <QPainter>

#include <algorithm>

namespace larkspan {

namespace {

const QString kLevelEmpty = QStringLiteral("level-track.empty");
const QString kLevelFilled = QStringLiteral("level-track.filled");
const QString kLevelThumb = QStringLiteral("level-thumb.full");

// The balance thumb snaps to the middle within this many pixels.
constexpr int kSnapDistance = 3;
// A click at least this far right of the thumb's left edge steps up.
constexpr int kStepUpFrom = 3;
// The level thumb hangs below the track.
constexpr int kLevelThumbTop = 9;

} // namespace

SkinSlider::SkinSlider(Skin& skin, Kind kind, QWidget* parent) : QWidget(parent), m_skin(skin), m_kind(kind)
{
    if (m_kind == Kind::Position)
        m_drawer = std::make_unique<SpriteDrawer>(m_skin, QStringLiteral("seek-track.full"),
                                                  QStringLiteral("seek-thumb.full"));
    connect(&m_skin, &Skin::changed, this, [this] {
        if (m_drawer)
            m_drawer->reload();
        update();
    });
}

int SkinSlider::thumbForValue(qint64 value, qint64 minimum, qint64 maximum, int travel)
{
    if (travel <= 0 || maximum <= minimum)
        return 0;
    // 64-bit: a long medium in milliseconds times a few hundred pixels does
    // not fit in 32 bits.
    const qint64 x = (std::clamp(value, minimum, maximum) - minimum) * travel / (maximum - minimum);
    return static_cast<int>(x);
}

int SkinSlider::valueForThumb(int thumbX, qint64 minimum, qint64 maximum, int travel, int current)
{
    if (travel <= 0)
        return current;
    if (maximum <= minimum)
        return static_cast<int>(minimum);
    const qint64 x = std::clamp(thumbX, 0, travel);
    return static_cast<int>(minimum + x * (maximum - minimum) / travel);
}

void SkinSlider::setRange(int minimum, int maximum)
{
    m_minimum = minimum;
    m_maximum = std::max(minimum, maximum);
    setValue(m_value);
}

void SkinSlider::setValue(int value)
{
    m_value = std::clamp(value, m_minimum, m_maximum);
    placeThumb();
}

void SkinSlider::setText(const QString& text)
{
    m_text = text;
    update();
}

void SkinSlider::placeThumb()
{
    m_thumbX = thumbForValue(m_value, m_minimum, m_maximum, travel());
    update();
}

void SkinSlider::resizeEvent(QResizeEvent*) { placeThumb(); }

void SkinSlider::step(int delta, Change change)
{
    // The value itself moves by one even when the thumb stays on its pixel,
    // so a click on a long-range track is never lost.
    setValue(m_value + delta);
    emit changed(change, m_value);
}

void SkinSlider::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return;
    const QPoint at = event->position().toPoint();
    if (QRect(m_thumbX, 0, thumbWidth(), thumbHitHeight()).contains(at)) {
        m_grabOffset = at.x() - m_thumbX;
        m_dragging = true;
    } else if (at.x() >= m_thumbX + kStepUpFrom) {
        step(+1, StepUp);
    } else {
        step(-1, StepDown);
    }
}

void SkinSlider::mouseMoveEvent(QMouseEvent* event)
{
    if (!m_dragging)
        return;
    const int limit = std::max(0, travel());
    int x = std::clamp(qRound(event->position().x()) - m_grabOffset, 0, limit);
    if (m_kind == Kind::Balance && std::abs(x - limit / 2) <= kSnapDistance)
        x = limit / 2;
    m_value = valueForThumb(x, m_minimum, m_maximum, travel(), m_value);
    m_thumbX = travel() > 0 ? x : 0;
    update();
    emit changed(Dragging, m_value);
}

void SkinSlider::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || !m_dragging)
        return;
    m_dragging = false;
    emit changed(DragEnded, m_value);
}

void SkinSlider::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    if (m_drawer)
        m_drawer->draw(painter, m_thumbX);
    else
        paintLevel(painter);
}

void SkinSlider::paintLevel(QPainter& painter)
{
    const int w = width();
    const int rowHeight = m_skin.piece(kLevelEmpty).source.height();
    const int pieceWidth = m_skin.piece(kLevelEmpty).source.width();
    const int fill = travel() > 0 ? w * m_thumbX / travel() : 0;
    // A track narrower than the sheet takes its left half from the sheet's
    // left end and its right half from the sheet's right end, so both ends
    // of the groove show; nothing is cut beyond the sheet.
    const int middle = w / 2;
    const int rightShift = std::max(0, pieceWidth - w);
    auto row = [&](const QString& piece, int from, int to) {
        const int spans[2][3] = {{from, std::min(to, middle), 0}, {std::max(from, middle), to, rightShift}};
        for (const auto& span : spans) {
            const int start = std::clamp(span[0] + span[2], 0, pieceWidth) - span[2];
            const int end = std::clamp(span[1] + span[2], 0, pieceWidth) - span[2];
            if (end > start)
                m_skin.drawPart(painter, QRect(start, 0, end - start, rowHeight), piece,
                                QRect(start + span[2], 0, end - start, rowHeight));
        }
    };
    if (m_kind == Kind::Balance) {
        row(kLevelEmpty, 0, w);
        row(kLevelFilled, std::min(fill, middle), std::max(fill, middle));
    } else {
        row(kLevelFilled, 0, fill);
        row(kLevelEmpty, fill, w);
    }
    m_skin.draw(painter, QPoint(m_thumbX, kLevelThumbTop), kLevelThumb);
}

} // namespace larkspan
