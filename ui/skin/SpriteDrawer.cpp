#include "ui/skin/SpriteDrawer.h"

#include "ui/skin/Skin.h"

#include <QBitmap>
#include <QPainter>

namespace larkspan {

SpriteDrawer::SpriteDrawer(const Skin& skin, const QString& backgroundPiece, const QString& spritePiece,
                           QColor keyColour)
    : m_skin(skin), m_backgroundPiece(backgroundPiece), m_spritePiece(spritePiece), m_keyColour(keyColour)
{
    reload();
}

void SpriteDrawer::reload()
{
    m_sprite = m_skin.cut(m_spritePiece);
    if (m_sprite.isNull())
        return;
    // MaskInColor: the pixels of the key colour become the transparent ones.
    m_sprite.setMask(m_sprite.createMaskFromColor(m_keyColour, Qt::MaskInColor));
}

void SpriteDrawer::draw(QPainter& painter, int x) const
{
    m_skin.draw(painter, QPoint(0, 0), m_backgroundPiece);
    if (!m_sprite.isNull())
        painter.drawPixmap(QPoint(x, 0), m_sprite);
}

} // namespace larkspan
