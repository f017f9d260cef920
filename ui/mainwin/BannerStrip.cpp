#include "ui/mainwin/BannerStrip.h"

#include "ui/mainwin/WindowPlacement.h"
#include "ui/skin/Skin.h"

#include <QPainter>

namespace larkspan {

BannerStrip::BannerStrip(Skin& skin, QWidget* panel)
    : QWidget(panel, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowDoesNotAcceptFocus), m_skin(skin)
{
    setFixedSize(kPanelWidth, kBannerHeight);
    connect(&m_skin, &Skin::changed, this, qOverload<>(&QWidget::update));
}

void BannerStrip::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    m_skin.draw(painter, QPoint(0, 0), QStringLiteral("banner.full"));
}

} // namespace larkspan
