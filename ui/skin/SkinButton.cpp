#include "ui/skin/SkinButton.h"

#include "ui/skin/Skin.h"

#include <QEnterEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QRegion>
#include <QtEndian>

namespace larkspan {

SkinButton::SkinButton(Skin& skin, const QString& sheet, Kind kind, QWidget* parent)
    : QWidget(parent), m_skin(skin), m_sheet(sheet), m_kind(kind)
{
    adoptSkinSize();
    setShape(m_skin.regionData(m_sheet));
    connect(&m_skin, &Skin::changed, this, [this] {
        adoptSkinSize();
        update();
    });
}

void SkinButton::adoptSkinSize() { setFixedSize(m_skin.piece(m_sheet + QStringLiteral(".normal")).source.size()); }

void SkinButton::setLatched(bool latched)
{
    if (m_kind != Kind::Latching || latched == m_latched)
        return;
    m_latched = latched;
    update();
}

QPolygon SkinButton::polygonFromRegionData(const QByteArray& regionData)
{
    QPolygon polygon;
    const auto* bytes = reinterpret_cast<const uchar*>(regionData.constData());
    for (qsizetype at = 0; at + 8 <= regionData.size(); at += 8)
        polygon << QPoint(qFromLittleEndian<qint32>(bytes + at), qFromLittleEndian<qint32>(bytes + at + 4));
    return polygon;
}

void SkinButton::setShape(const QByteArray& regionData)
{
    const QPolygon polygon = polygonFromRegionData(regionData);
    if (polygon.size() < 3) {
        clearMask();
        return;
    }
    setMask(QRegion(polygon, Qt::WindingFill));
}

bool SkinButton::contains(QPoint point) const
{
    return rect().contains(point) && (mask().isEmpty() || mask().contains(point));
}

QString SkinButton::currentPicture() const
{
    const char* state = "normal";
    if (!isEnabled())
        state = "disabled";
    else if ((m_leftPressed || m_rightPressed) && m_hovered)
        state = "pressed";
    else if (m_hovered)
        state = m_latched ? "latched-hover" : "hover";
    else if (m_latched)
        state = "pressed";
    return m_sheet + QLatin1Char('.') + QLatin1String(state);
}

void SkinButton::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    m_skin.draw(painter, QPoint(0, 0), currentPicture());
}

void SkinButton::enterEvent(QEnterEvent*)
{
    m_hovered = true;
    update();
}

void SkinButton::leaveEvent(QEvent*)
{
    m_hovered = false;
    update();
}

void SkinButton::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        m_leftPressed = true;
    else if (event->button() == Qt::RightButton)
        m_rightPressed = true;
    m_hovered = contains(event->position().toPoint());
    update();
}

void SkinButton::mouseMoveEvent(QMouseEvent* event)
{
    // While a button is held the widget keeps the mouse and sees no enter or
    // leave, so follow the pointer here.
    const bool inside = contains(event->position().toPoint());
    if (inside != m_hovered) {
        m_hovered = inside;
        update();
    }
}

void SkinButton::mouseReleaseEvent(QMouseEvent* event)
{
    const bool inside = contains(event->position().toPoint());
    m_hovered = inside;
    if (event->button() == Qt::LeftButton && m_leftPressed) {
        m_leftPressed = false;
        if (inside && m_kind == Kind::Latching)
            m_latched = !m_latched;
        update();
        if (inside)
            emit clicked();
    } else if (event->button() == Qt::RightButton && m_rightPressed) {
        m_rightPressed = false;
        update();
        if (inside)
            emit rightClicked();
    }
}

void SkinButton::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::EnabledChange) {
        m_leftPressed = m_rightPressed = false;
        update();
    }
    QWidget::changeEvent(event);
}

} // namespace larkspan
