#pragma once

// Draws a sprite over a background piece of the skin. The sprite's pixels of
// the key colour are see-through: the sprite carries a mask made from that
// colour.

#include <QColor>
#include <QPixmap>
#include <QString>

class QPainter;

namespace larkspan {

class Skin;

class SpriteDrawer {
public:
    SpriteDrawer(const Skin& skin, const QString& backgroundPiece, const QString& spritePiece,
                 QColor keyColour = QColor(255, 0, 0));

    // Cuts the sprite again (after the skin changed scale).
    void reload();

    // Background at (0, 0), sprite with its left edge at x.
    void draw(QPainter& painter, int x) const;

    const QPixmap& sprite() const { return m_sprite; }

private:
    const Skin& m_skin;
    QString m_backgroundPiece;
    QString m_spritePiece;
    QColor m_keyColour;
    QPixmap m_sprite;
};

} // namespace larkspan
