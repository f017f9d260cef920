#include "ui/skin/Skin.h"

#include "ui/skin/SkinCatalog.h"

#include <QFile>
#include <QPainter>

// The resources live in a static library: register them before first use.
static void initialiseSkinResources() { Q_INIT_RESOURCE(skin); }

namespace larkspan {

Skin::Skin(int scale, QObject* parent) : QObject(parent), m_scale(scale >= 2 ? 2 : 1)
{
    initialiseSkinResources();
    for (const SkinPieceEntry& entry : skinPieces())
        m_pieces.insert(QLatin1String(entry.name),
                        {QLatin1String(entry.sheet), QRect(entry.x, entry.y, entry.width, entry.height)});
    load();
}

int Skin::scaleFor(qreal devicePixelRatio) { return devicePixelRatio >= 1.5 ? 2 : 1; }

void Skin::setScale(int scale)
{
    const int wanted = scale >= 2 ? 2 : 1;
    if (wanted == m_scale)
        return;
    m_scale = wanted;
    load();
    emit changed();
}

void Skin::load()
{
    m_sheets.clear();
    const QString suffix = m_scale == 2 ? QStringLiteral("@2x.png") : QStringLiteral(".png");
    for (const SkinSheetEntry& entry : skinSheets()) {
        QPixmap pixmap(QStringLiteral(":/skin/") + QLatin1String(entry.name) + suffix);
        pixmap.setDevicePixelRatio(m_scale);
        m_sheets.insert(QLatin1String(entry.name), pixmap);
    }
}

SkinPiece Skin::piece(const QString& name) const { return m_pieces.value(name); }

QPixmap Skin::sheet(const QString& name) const { return m_sheets.value(name); }

QPixmap Skin::cut(const QString& pieceName) const
{
    const SkinPiece found = piece(pieceName);
    const QPixmap whole = sheet(found.sheet);
    if (whole.isNull() || found.source.isEmpty())
        return {};
    const QRect r = found.source;
    QPixmap part = whole.copy(r.x() * m_scale, r.y() * m_scale, r.width() * m_scale, r.height() * m_scale);
    part.setDevicePixelRatio(m_scale);
    return part;
}

void Skin::draw(QPainter& painter, QPoint at, const QString& pieceName) const
{
    const SkinPiece found = piece(pieceName);
    drawPart(painter, QRect(at, found.source.size()), pieceName, QRect(QPoint(0, 0), found.source.size()));
}

void Skin::drawPart(QPainter& painter, const QRect& target, const QString& pieceName, const QRect& part) const
{
    const SkinPiece found = piece(pieceName);
    const QPixmap whole = sheet(found.sheet);
    // Never cut outside the piece, whatever the caller computed.
    const QRect source = part.translated(found.source.topLeft()).intersected(found.source);
    if (whole.isNull() || source.isEmpty() || target.isEmpty())
        return;
    const QRectF device(source.x() * m_scale, source.y() * m_scale, source.width() * m_scale,
                        source.height() * m_scale);
    painter.drawPixmap(QRectF(target), whole, device);
}

QByteArray Skin::regionData(const QString& sheetName) const
{
    QFile file(QStringLiteral(":/skin/") + sheetName + QStringLiteral(".rgn"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

} // namespace larkspan
