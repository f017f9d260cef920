#pragma once
// A frameless top-level window in the player's skin: the 11-pixel border
// sizes it, the body moves it, and on desktops that let programs place
// their windows it snaps to the edges of the screen's free area.
#include <QWidget>

namespace larkspan {

class Skin;

class SkinnedWindow : public QWidget {
    Q_OBJECT

public:
    // owner may be null: the window then stands alone.
    SkinnedWindow(Skin& skin, QWidget* owner);

    void SetOnTop(bool onTop);
    // Whether this desktop lets a program place its windows (X11, Windows).
    static bool CanPlaceWindows();

protected:
    Skin& skin() const { return skin_; }
    // False while moving and sizing are off (the player in full screen).
    virtual bool FrameInteractive() const { return true; }
    virtual void ShowContextMenu(const QPoint& globalPos) { (void)globalPos; }

    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void moveEvent(QMoveEvent* event) override;

private:
    Skin& skin_;
    bool snapping_ = false;
};

}  // namespace larkspan
