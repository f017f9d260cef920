#pragma once

// A button drawn from a strip of four pictures of one skin sheet: normal,
// hover, pressed and disabled (the latching kind also shows a latched hover
// picture). A left click inside emits clicked(), a right click inside emits
// rightClicked(); a press that ends outside emits nothing. The latching kind
// flips its latch on every left click and shows the pressed picture while
// latched.

#include <QPoint>
#include <QPolygon>
#include <QString>
#include <QWidget>

namespace larkspan {

class Skin;

class SkinButton : public QWidget {
    Q_OBJECT

public:
    enum class Kind { Plain, Latching };

    // `sheet` names the strip, e.g. "button-play"; the pictures are the
    // pieces "<sheet>.normal", ".hover", ".pressed", ".disabled" and
    // ".latched-hover". The button takes the size of one picture and the
    // shape of the skin's region data for the sheet, when there is one.
    SkinButton(Skin& skin, const QString& sheet, Kind kind = Kind::Plain, QWidget* parent = nullptr);

    Kind kind() const { return m_kind; }
    bool isLatched() const { return m_latched; }
    void setLatched(bool latched);

    // Shapes the button from polygon data: points of two signed 32-bit
    // little-endian integers (x, then y), any trailing partial point ignored,
    // filled with the winding rule. Fewer than three points leave the button
    // rectangular: an empty mask would make it invisible and unclickable.
    void setShape(const QByteArray& regionData);
    static QPolygon polygonFromRegionData(const QByteArray& regionData);

    // Name of the piece the button shows now.
    QString currentPicture() const;

signals:
    void clicked();
    void rightClicked();

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    bool contains(QPoint point) const;
    void adoptSkinSize();

    Skin& m_skin;
    QString m_sheet;
    Kind m_kind;
    bool m_hovered = false;
    bool m_leftPressed = false;
    bool m_rightPressed = false;
    bool m_latched = false;
};

} // namespace larkspan
