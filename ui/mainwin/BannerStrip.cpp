#include "ui/mainwin/BannerStrip.h"

#include "ui/mainwin/WindowPlacement.h"
#include "ui/skin/Skin.h"

#include <QPainter>

namespace larkspan {

BannerStrip::BannerStrip(Skin& skin, QWidget* panel)
    : QWidget(panel, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowDoesNotAcceptFocus), skin_(skin) {
    setFixedSize(kPanelWidth, kBannerHeight);
    connect(&skin_, &Skin::changed, this, qOverload<>(&QWidget::update));
}

void BannerStrip::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    skin_.draw(painter, QPoint(0, 0), QStringLiteral("banner.full"));
}

}  // namespace larkspan
