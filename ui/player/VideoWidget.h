#pragma once
// The child widget in the player window that shows the video frames.
#include <QImage>
#include <QWidget>

namespace larkspan {

// Paints the latest frame stretched over its whole area (black before the
// first frame). Mouse input passes through to the player window, which moves
// and sizes the window and opens the context menu.
class VideoWidget : public QWidget {
    Q_OBJECT

public:
    explicit VideoWidget(QWidget* parent = nullptr);

    void ShowFrame(const QImage& frame);
    void Clear();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QImage frame_;
};

}  // namespace larkspan
