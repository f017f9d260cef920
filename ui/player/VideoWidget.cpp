#include "ui/player/VideoWidget.h"

#include <QPainter>

namespace larkspan {

VideoWidget::VideoWidget(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void VideoWidget::ShowFrame(const QImage& frame) {
    frame_ = frame;
    update();
}

void VideoWidget::Clear() {
    frame_ = QImage();
    update();
}

void VideoWidget::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (frame_.isNull() || width() <= 0 || height() <= 0) {
        painter.fillRect(rect(), Qt::black);
        return;
    }
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(rect(), frame_);
}

}  // namespace larkspan
