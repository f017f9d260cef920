#pragma once

// The skin: owns the sheets (bitmaps compiled in as Qt resources under
// ":/skin") and hands out named pieces of them. Widgets ask for pieces by
// name; the rectangles live in one table (SkinCatalog). Sheets are loaded at
// scale 1 or at scale 2 (the "@2x" files) for high-density screens; piece
// rectangles stay in logical pixels either way.

#include <QByteArray>
#include <QHash>
#include <QObject>
#include <QPixmap>
#include <QRect>
#include <QString>

class QPainter;

namespace larkspan {

struct SkinPiece {
    QString sheet;
    QRect source; // logical pixels inside the sheet; empty for an unknown name
};

class Skin : public QObject {
    Q_OBJECT

public:
    explicit Skin(int scale = 1, QObject* parent = nullptr);

    // 2 for a device pixel ratio of 1.5 and above, otherwise 1.
    static int scaleFor(qreal devicePixelRatio);

    int scale() const { return m_scale; }
    // Reloads every sheet at the new scale and tells the widgets to repaint.
    void setScale(int scale);

    SkinPiece piece(const QString& name) const;
    // The sheet at the current scale (device pixel ratio set); null when unknown.
    QPixmap sheet(const QString& name) const;
    // A copy of one piece at the current scale.
    QPixmap cut(const QString& pieceName) const;

    // Draws the whole piece with its top-left corner at `at`.
    void draw(QPainter& painter, QPoint at, const QString& pieceName) const;
    // Draws `part` (in the piece's own coordinates, clipped to the piece) into
    // `target`, stretching when the sizes differ.
    void drawPart(QPainter& painter, const QRect& target, const QString& pieceName, const QRect& part) const;

    // The polygon data that shapes a button drawn from `sheetName`
    // (":/skin/<sheet>.rgn"), empty when the skin has none.
    QByteArray regionData(const QString& sheetName) const;

signals:
    void changed();

private:
    void load();

    int m_scale;
    QHash<QString, SkinPiece> m_pieces;
    QHash<QString, QPixmap> m_sheets;
};

} // namespace larkspan
