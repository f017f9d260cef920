#include "ui/skin/Skin.h"
#include "ui/skin/SkinCatalog.h"
#include "ui/skin/SpriteDrawer.h"

#include <QBitmap>

#include <gtest/gtest.h>

namespace larkspan {
namespace {

// Every sheet is compiled in at its size, and every piece the controls cut
// lies inside its sheet, at both scales.
TEST(SkinSheets, EveryPieceLiesInsideItsSheetAtBothScales)
{
    for (int scale : {1, 2}) {
        const Skin skin(scale);
        for (const SkinSheetEntry& entry : skinSheets()) {
            SCOPED_TRACE(std::string(entry.name) + " at " + std::to_string(scale) + "x");
            const QPixmap sheet = skin.sheet(QLatin1String(entry.name));
            ASSERT_FALSE(sheet.isNull());
            EXPECT_EQ(sheet.size(), QSize(entry.width * scale, entry.height * scale));
        }
        for (const SkinPieceEntry& entry : skinPieces()) {
            SCOPED_TRACE(std::string(entry.name) + " at " + std::to_string(scale) + "x");
            const SkinPiece piece = skin.piece(QLatin1String(entry.name));
            ASSERT_EQ(piece.sheet, QLatin1String(entry.sheet));
            const QRect device(piece.source.topLeft() * scale, piece.source.size() * scale);
            EXPECT_FALSE(device.isEmpty());
            EXPECT_TRUE(QRect(QPoint(0, 0), skin.sheet(piece.sheet).size()).contains(device));
        }
    }
}

TEST(SkinSheets, SeekThumbKeyColourIsSeeThrough)
{
    for (int scale : {1, 2}) {
        SCOPED_TRACE(scale);
        const Skin skin(scale);
        const SpriteDrawer drawer(skin, QStringLiteral("seek-track.full"), QStringLiteral("seek-thumb.full"));
        const QImage mask = drawer.sprite().mask().toImage();
        EXPECT_EQ(mask.pixelIndex(0, 0), 0);                 // key-coloured corner: not drawn
        EXPECT_EQ(mask.pixelIndex(8 * scale, 3 * scale), 1); // body: drawn
    }
}

} // namespace
} // namespace larkspan
