#pragma once

// A horizontal slider drawn from skin pieces. The value is the slider's state;
// the thumb follows it. Kinds:
//  - Position: a track with a sprite thumb (16 pixels wide) drawn over it;
//  - Level: a two-row track filled from the left up to the thumb (12 pixels);
//  - Balance: a level slider filled from the middle, whose thumb snaps to the
//    middle when dragged within 3 pixels of it.
// Every change is reported by changed(kind, value) with a Change kind.

#include "ui/skin/SpriteDrawer.h"

#include <QString>
#include <QWidget>

#include <memory>

namespace larkspan {

class Skin;

class SkinSlider : public QWidget {
    Q_OBJECT

public:
    enum class Kind { Position, Level, Balance };
    // The numbers are the ones the main window has always received.
    enum Change { StepUp = 0, StepDown = 1, Dragging = 4, DragEnded = 8 };

    SkinSlider(Skin& skin, Kind kind, QWidget* parent = nullptr);

    Kind kind() const { return m_kind; }
    int thumbWidth() const { return m_kind == Kind::Position ? 16 : 12; }

    // An empty or reversed range holds a single value, the minimum.
    void setRange(int minimum, int maximum);
    int minimum() const { return m_minimum; }
    int maximum() const { return m_maximum; }

    int value() const { return m_value; }
    // Clamped to the range.
    void setValue(int value);

    int thumbX() const { return m_thumbX; }

    // Stored for the owner; not drawn.
    void setText(const QString& text);
    QString text() const { return m_text; }

    // Pure mapping used by the widget: thumb position for a value and back, on
    // a track where the thumb can move `travel` pixels. A travel of 0 or less
    // (a track not wider than its thumb, e.g. before layout) puts the thumb at
    // 0 and keeps the value.
    static int thumbForValue(qint64 value, qint64 minimum, qint64 maximum, int travel);
    static int valueForThumb(int thumbX, qint64 minimum, qint64 maximum, int travel, int current);

signals:
    void changed(int kind, int value);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    int travel() const { return width() - thumbWidth(); }
    int thumbHitHeight() const { return m_kind == Kind::Position ? 10 : 14; }
    void placeThumb();
    void step(int delta, Change change);
    void paintLevel(QPainter& painter);

    Skin& m_skin;
    Kind m_kind;
    std::unique_ptr<SpriteDrawer> m_drawer;
    int m_minimum = 0;
    int m_maximum = 100;
    int m_value = 0;
    int m_thumbX = 0;
    int m_grabOffset = 0;
    bool m_dragging = false;
    QString m_text;
};

} // namespace larkspan
