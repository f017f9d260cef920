#include "SkinPalette.h"

namespace larkspan::art {

QLinearGradient verticalGradient(const QRectF& rect, const QColor& top, const QColor& bottom)
{
    QLinearGradient gradient(rect.topLeft(), rect.bottomLeft());
    gradient.setColorAt(0, top);
    gradient.setColorAt(1, bottom);
    return gradient;
}

void drawScreen(QPainter& painter, const QRectF& rect, qreal radius)
{
    painter.save();
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0x3a, 0x44, 0x51, 120));
    painter.drawRoundedRect(rect.adjusted(0, 0, 0, 1), radius, radius); // lower highlight
    painter.setBrush(palette::kEdgeDark);
    painter.drawRoundedRect(rect, radius, radius);
    painter.setBrush(verticalGradient(rect, QColor(0x05, 0x07, 0x0a), palette::kScreen));
    painter.drawRoundedRect(rect.adjusted(1, 1, -1, -1), qMax<qreal>(0, radius - 1), qMax<qreal>(0, radius - 1));
    painter.restore();
}

void drawRaisedPanel(QPainter& painter, const QRectF& rect, qreal radius)
{
    painter.save();
    painter.setPen(Qt::NoPen);
    painter.setBrush(palette::kEdgeDark);
    painter.drawRoundedRect(rect, radius, radius);
    painter.setBrush(verticalGradient(rect, palette::kEdgeLight, QColor(0x1c, 0x21, 0x28)));
    painter.drawRoundedRect(rect.adjusted(1, 1, -1, -1), radius - 1, radius - 1);
    painter.setBrush(verticalGradient(rect, palette::kWindowTop, palette::kWindowBottom));
    painter.drawRoundedRect(rect.adjusted(1, 2, -1, -1), radius - 1, radius - 1);
    painter.restore();
}

} // namespace larkspan::art
