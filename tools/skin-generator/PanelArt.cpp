#include "PanelArt.h"

#include "SkinPalette.h"

#include <QFont>
#include <QImage>
#include <QPainterPath>

namespace larkspan::art {

namespace {

QFont labelFont(qreal pixelSize, bool bold = false)
{
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPointSizeF(pixelSize * 0.75); // the sheets are painted at 96 dots per inch
    font.setBold(bold);
    font.setHintingPreference(QFont::PreferNoHinting);
    font.setStyleStrategy(QFont::PreferAntialias);
    return font;
}

void drawLabel(QPainter& p, const QRectF& rect, const QString& text, Qt::Alignment align, qreal size = 6.5,
               const QColor& colour = palette::kLabel, bool bold = true)
{
    p.save();
    QFont font = labelFont(size, bold);
    font.setLetterSpacing(QFont::AbsoluteSpacing, 0.6);
    p.setFont(font);
    p.setPen(colour);
    p.drawText(rect, align, text);
    p.restore();
}

// The mark of the program: a small four-petal flower in the accent colour.
void drawLogo(QPainter& p, QPointF centre, qreal radius)
{
    p.save();
    p.setPen(Qt::NoPen);
    for (int i = 0; i < 4; ++i) {
        p.save();
        p.translate(centre);
        p.rotate(45 + i * 90);
        p.setBrush(i % 2 ? palette::kAccentDeep : palette::kAccent);
        p.drawEllipse(QRectF(-radius * 0.32, -radius, radius * 0.64, radius));
        p.restore();
    }
    p.setBrush(QColor(0xf5, 0xd0, 0x4c));
    p.drawEllipse(centre, radius * 0.22, radius * 0.22);
    p.restore();
}

void drawGroove(QPainter& p, const QRectF& rect, const QBrush& fill)
{
    p.save();
    const qreal r = rect.height() / 2;
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x3a, 0x44, 0x51, 110));
    p.drawRoundedRect(rect.adjusted(0, 0, 0, 0.8), r, r);
    p.setBrush(palette::kEdgeDark);
    p.drawRoundedRect(rect, r, r);
    p.setBrush(fill);
    p.drawRoundedRect(rect.adjusted(0.8, 0.8, -0.8, -0.8), r - 0.8, r - 0.8);
    p.restore();
}

QLinearGradient accentRamp(qreal from, qreal to)
{
    QLinearGradient g(from, 0, to, 0);
    g.setColorAt(0, palette::kAccentDeep);
    g.setColorAt(1, palette::kAccent);
    return g;
}

void paintMainBackground(QPainter& p, int w, int h)
{
    p.fillRect(QRectF(0, 0, w, h), palette::kEdgeDark);
    // Rounded at the top only: the banner strip docks under the bottom edge.
    drawRaisedPanel(p, QRectF(0, 0, w, h + 8), 7);
    drawLogo(p, QPointF(10.5, 9.5), 5);
    drawLabel(p, QRectF(19, 3, 150, 13), QStringLiteral("LARKSPAN RECORDER"), Qt::AlignLeft | Qt::AlignVCenter,
              7, QColor(0xa9, 0xb6, 0xc4));
    drawScreen(p, QRectF(19, 19, 240, 50), 4);
    drawLabel(p, QRectF(25, 27, 22, 13), QStringLiteral("TIME"), Qt::AlignLeft | Qt::AlignVCenter, 6);
    drawLabel(p, QRectF(110, 42, 82, 10), QStringLiteral("VOLUME"), Qt::AlignLeft | Qt::AlignVCenter, 6);
    drawLabel(p, QRectF(202, 42, 54, 10), QStringLiteral("L"), Qt::AlignLeft | Qt::AlignVCenter, 6);
    drawLabel(p, QRectF(202, 42, 54, 10), QStringLiteral("BAL"), Qt::AlignHCenter | Qt::AlignVCenter, 6);
    drawLabel(p, QRectF(202, 42, 54, 10), QStringLiteral("R"), Qt::AlignRight | Qt::AlignVCenter, 6);
    // Plates behind the three groups of keys.
    for (const QRectF& plate : {QRectF(13, 87, 86, 30), QRectF(105, 87, 59, 30), QRectF(170, 87, 93, 30)}) {
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0x3a, 0x44, 0x51, 90));
        p.drawRoundedRect(plate.adjusted(0, 0, 0, 0.8), 6, 6);
        p.setBrush(QColor(0x0e, 0x11, 0x15, 200));
        p.drawRoundedRect(plate, 6, 6);
    }
    // A hairline between the screen and the seek bar area.
    p.setPen(QPen(QColor(0x0a, 0x0c, 0x10, 160), 1));
    p.drawLine(QPointF(24, 83.5), QPointF(251, 83.5));
}

void paintListFrame(QPainter& p, int w, int h)
{
    // Each band is stretched along its edge, so the top, divider and bottom
    // bands carry horizontal lines only and the side bands vertical ones.
    const QColor base(0x1a, 0x1f, 0x26), light(0x2d, 0x35, 0x40), shadow(0x0d, 0x10, 0x14);
    p.fillRect(QRectF(0, 0, w, h), base);
    // Top band (rows 0-5).
    p.fillRect(QRectF(0, 0, w, 1), palette::kEdgeDark);
    p.fillRect(QRectF(0, 1, w, 1), light);
    p.fillRect(QRectF(0, 5, w, 1), shadow);
    // Side bands (rows 6-22): rim, highlight, and the shadow next to the list.
    p.fillRect(QRectF(0, 6, 1, 17), palette::kEdgeDark);
    p.fillRect(QRectF(1, 6, 1, 17), light);
    p.fillRect(QRectF(8, 6, 1, 17), shadow);
    p.fillRect(QRectF(21, 6, 1, 17), light);
    p.fillRect(QRectF(w - 1, 6, 1, 17), palette::kEdgeDark);
    // Divider between the list and the banner pane (rows 12-16 of the middle).
    p.fillRect(QRectF(9, 12, 12, 1), light);
    p.fillRect(QRectF(9, 14, 12, 1), shadow);
    p.fillRect(QRectF(9, 16, 12, 1), light);
    // Bottom band (rows 23-29).
    p.fillRect(QRectF(0, 23, w, 1), light);
    p.fillRect(QRectF(0, 28, w, 1), QColor(0x14, 0x18, 0x1d));
    p.fillRect(QRectF(0, 29, w, 1), palette::kEdgeDark);
}

void paintBanner(QPainter& p, int w, int h)
{
    p.fillRect(QRectF(0, 0, w, h), verticalGradient(QRectF(0, 0, w, h), palette::kWindowBottom,
                                                    QColor(0x11, 0x14, 0x19)));
    drawScreen(p, QRectF(5, 3, w - 10, h - 7), 4);
    p.save();
    p.setClipRect(QRectF(7, 5, w - 14, h - 11));
    p.setPen(QPen(QColor(0x3d, 0xdc, 0xd4, 14), 1));
    for (int x = -h; x < w; x += 6)
        p.drawLine(QPointF(x, h), QPointF(x + h, 0));
    p.restore();
}

// Seven-segment glyphs: segments a-g as bits 0-6.
constexpr int kDigitSegments[10] = {0x3f, 0x06, 0x5b, 0x4f, 0x66, 0x6d, 0x7d, 0x07, 0x7f, 0x6f};

void drawSegments(QPainter& p, qreal x0, int lit)
{
    const qreal t = 1.5;
    // Left, right, top, middle, bottom of the glyph box.
    const qreal l = x0 + 1.2, r = x0 + 6.8, top = 1.2, mid = 6.5, bottom = 11.8;
    auto horizontal = [&](qreal y) {
        return QPolygonF({QPointF(l + 0.6, y), QPointF(l + 0.6 + t / 2, y - t / 2), QPointF(r - 0.6 - t / 2, y - t / 2),
                          QPointF(r - 0.6, y), QPointF(r - 0.6 - t / 2, y + t / 2),
                          QPointF(l + 0.6 + t / 2, y + t / 2)});
    };
    auto vertical = [&](qreal x, qreal y1, qreal y2) {
        return QPolygonF({QPointF(x, y1 + 0.6), QPointF(x + t / 2, y1 + 0.6 + t / 2),
                          QPointF(x + t / 2, y2 - 0.6 - t / 2),
                          QPointF(x, y2 - 0.6), QPointF(x - t / 2, y2 - 0.6 - t / 2),
                          QPointF(x - t / 2, y1 + 0.6 + t / 2)});
    };
    const QPolygonF segments[7] = {horizontal(top),          vertical(r, top, mid),  vertical(r, mid, bottom),
                                   horizontal(bottom),       vertical(l, mid, bottom), vertical(l, top, mid),
                                   horizontal(mid)};
    p.setPen(Qt::NoPen);
    for (int i = 0; i < 7; ++i) {
        const bool on = lit & (1 << i);
        p.setBrush(on ? palette::kAccent : QColor(0x3d, 0xdc, 0xd4, 22));
        p.drawPolygon(segments[i]);
    }
}

void paintTimeDigits(QPainter& p, int, int)
{
    for (int d = 0; d < 10; ++d)
        drawSegments(p, d * 8, kDigitSegments[d]);
    p.setPen(Qt::NoPen);
    p.setBrush(palette::kAccent);
    p.drawEllipse(QPointF(84, 4.5), 0.9, 0.9);
    p.drawEllipse(QPointF(84, 9), 0.9, 0.9);
    drawSegments(p, 88, 0);
}

void paintLevelThumb(QPainter& p, int, int)
{
    p.setPen(QPen(QColor(0, 0, 0, 150), 0.6));
    p.setBrush(verticalGradient(QRectF(0, 0, 12, 5), Qt::white, QColor(0xb8, 0xc2, 0xcd)));
    p.drawPolygon(QPolygonF({QPointF(6, 0.3), QPointF(10.8, 4.7), QPointF(1.2, 4.7)}));
}

void paintLevelTrack(QPainter& p, int w, int)
{
    const QRectF groove(0.5, 3.5, w - 1, 5);
    drawGroove(p, groove, QColor(0x05, 0x07, 0x0a));
    // Ticks every tenth under the empty row.
    p.setPen(QPen(QColor(0x7d, 0x8a, 0x99, 70), 0.8));
    for (int i = 1; i < 10; ++i)
        p.drawLine(QPointF(6 + i * (w - 12) / 10.0, 10.5), QPointF(6 + i * (w - 12) / 10.0, 12));
    p.translate(0, 14);
    drawGroove(p, groove, accentRamp(0, w));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 255, 255, 60));
    p.drawRoundedRect(QRectF(2, 4.4, w - 4, 1.2), 0.6, 0.6);
    p.setPen(QPen(QColor(0x3d, 0xdc, 0xd4, 110), 0.8));
    for (int i = 1; i < 10; ++i)
        p.drawLine(QPointF(6 + i * (w - 12) / 10.0, 10.5), QPointF(6 + i * (w - 12) / 10.0, 12));
}

void paintPlayerSides(QPainter& p, int w, int h)
{
    for (int column = 0; column < 2; ++column) {
        const qreal x = column * 13;
        QLinearGradient g(x, 0, x + 13, 0);
        g.setColorAt(0, column == 0 ? palette::kEdgeLight : QColor(0x1c, 0x21, 0x28));
        g.setColorAt(column == 0 ? 0.15 : 0.85, palette::kWindowTop);
        g.setColorAt(column == 0 ? 1 : 0, palette::kWindowBottom);
        p.fillRect(QRectF(x, 0, 13, h), g);
        p.fillRect(QRectF(column == 0 ? 0 : w - 1, 0, 1, h), palette::kEdgeDark);
        // Rivets on the caps.
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0x0a, 0x0c, 0x10, 180));
        p.drawEllipse(QPointF(x + 6.5, 6), 1.6, 1.6);
        p.drawEllipse(QPointF(x + 6.5, h - 6), 1.6, 1.6);
    }
}

void paintPlayerInner(QPainter& p, int w, int h)
{
    p.fillRect(QRectF(0, 0, w, h), palette::kWindowBottom);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x3a, 0x44, 0x51, 120));
    p.drawRoundedRect(QRectF(3, 3, w - 6, h - 5.2), 6, 6);
    p.setBrush(palette::kEdgeDark);
    p.drawRoundedRect(QRectF(3, 3, w - 6, h - 6), 6, 6);
    p.setBrush(Qt::black);
    p.drawRoundedRect(QRectF(4, 4, w - 8, h - 8), 5, 5);
}

void paintPlayerBars(QPainter& p, int w, int)
{
    const QRectF top(0, 0, w, 16);
    p.fillRect(top, verticalGradient(top, palette::kEdgeLight, palette::kWindowTop));
    p.fillRect(QRectF(0, 2, w, 14), verticalGradient(QRectF(0, 2, w, 14), palette::kWindowTop,
                                                     QColor(0x1c, 0x21, 0x28)));
    p.fillRect(QRectF(0, 0, w, 1), palette::kEdgeDark);
    drawLogo(p, QPointF(10, 8.5), 5);
    drawLabel(p, QRectF(18, 2, 44, 13), QStringLiteral("PLAYER"), Qt::AlignLeft | Qt::AlignVCenter, 6.5,
              QColor(0xa9, 0xb6, 0xc4));
    // Grip lines on the right cap.
    p.setPen(QPen(QColor(0x0a, 0x0c, 0x10, 170), 1));
    for (int i = 0; i < 4; ++i)
        p.drawLine(QPointF(w - 52 + i * 4, 5), QPointF(w - 52 + i * 4, 11));
    const QRectF bottom(0, 16, w, 16);
    p.fillRect(bottom, verticalGradient(bottom, QColor(0x1c, 0x21, 0x28), QColor(0x11, 0x14, 0x19)));
    p.fillRect(QRectF(0, 31, w, 1), palette::kEdgeDark);
    // A sizing grip in the bottom-right corner.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x7d, 0x8a, 0x99, 150));
    for (int row = 0; row < 3; ++row) {
        for (int col = 0; col <= row; ++col)
            p.drawEllipse(QPointF(w - 4 - col * 3, 28 - (2 - row) * 3), 0.8, 0.8);
    }
}

void paintMeterBackground(QPainter& p, int w, int h)
{
    p.fillRect(QRectF(0, 0, w, h), QColor(0x06, 0x08, 0x0b));
    // A processor chip.
    p.setPen(QPen(palette::kAccentDeep, 0.8));
    p.setBrush(QColor(0x0f, 0x2a, 0x2d));
    p.drawRoundedRect(QRectF(5.5, 7.5, 9, 9), 1.2, 1.2);
    for (int i = 0; i < 3; ++i) {
        const qreal c = 8.5 + i * 1.5 * 1.33;
        p.drawLine(QPointF(c, 5.5), QPointF(c, 7.5));
        p.drawLine(QPointF(c, 16.5), QPointF(c, 18.5));
        p.drawLine(QPointF(3.5, c), QPointF(5.5, c));
        p.drawLine(QPointF(14.5, c), QPointF(16.5, c));
    }
    p.fillRect(QRectF(20, 0, 1, h), palette::kScreenEdge);
}

void paintSeekTrack(QPainter& p, int w, int h)
{
    const QRectF groove(0.5, 0.5, w - 1, h - 1);
    p.setPen(Qt::NoPen);
    p.setBrush(verticalGradient(groove, palette::kEdgeDark, palette::kEdgeLight));
    p.drawRoundedRect(groove, 2.5, 2.5);
    p.setBrush(verticalGradient(groove, QColor(0x02, 0x03, 0x04), QColor(0x0b, 0x0f, 0x13)));
    p.drawRoundedRect(groove.adjusted(1, 1, -1, -1), 1.5, 1.5);
}

void paintSeekThumb(QPainter& p, int w, int h)
{
    const QRectF pill(0.5, 0.3, w - 1, h - 0.6);
    p.setPen(Qt::NoPen);
    p.setBrush(verticalGradient(pill, QColor(0xc8, 0xfb, 0xf7), palette::kAccentDeep));
    p.drawRoundedRect(pill, 2.6, 2.6);
    p.setBrush(QColor(255, 255, 255, 170));
    p.drawRoundedRect(QRectF(7.2, 1.4, 1.6, h - 2.8), 0.8, 0.8);
}

void paintTitleArea(QPainter& p, int w, int h)
{
    p.setPen(QPen(QColor(0x1d, 0x24, 0x2c), 1));
    p.setBrush(QColor(0x02, 0x03, 0x04));
    p.drawRoundedRect(QRectF(0.5, 0.5, w - 1, h - 1), 3, 3);
}

} // namespace

bool paintPanelSheet(QPainter& p, const QString& sheet, int w, int h)
{
    using Painter = void (*)(QPainter&, int, int);
    static const struct {
        const char* name;
        Painter paint;
    } kPainters[] = {
        {"main-background", paintMainBackground}, {"list-frame", paintListFrame},
        {"banner", paintBanner},                  {"time-digits", paintTimeDigits},
        {"level-thumb", paintLevelThumb},         {"level-track", paintLevelTrack},
        {"player-sides", paintPlayerSides},       {"player-inner", paintPlayerInner},
        {"player-bars", paintPlayerBars},         {"meter-background", paintMeterBackground},
        {"seek-track", paintSeekTrack},           {"seek-thumb", paintSeekThumb},
        {"title-area", paintTitleArea},
    };
    for (const auto& entry : kPainters) {
        if (sheet == QLatin1String(entry.name)) {
            entry.paint(p, w, h);
            return true;
        }
    }
    return false;
}

void applyColourKey(QImage& image, QRgb key)
{
    image = image.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const QRgb pixel = line[x];
            line[x] = qAlpha(pixel) < 128 ? key : qRgb(qRed(pixel), qGreen(pixel), qBlue(pixel));
        }
    }
}

} // namespace larkspan::art
