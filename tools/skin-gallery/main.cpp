// A window that shows every skinned control laid out as in the recorder's
// main window, the list window's and the player's frames, and every sheet of
// the skin. With --screenshot FILE it saves a picture of itself and quits.
//
//   skin-gallery [--screenshot FILE]
//   QT_SCALE_FACTOR=2 skin-gallery --screenshot FILE     (the @2x sheets)

#include "ui/skin/Skin.h"
#include "ui/skin/SkinButton.h"
#include "ui/skin/SkinCatalog.h"
#include "ui/skin/SkinSlider.h"
#include "ui/skin/SpectrumMeter.h"

#include <QApplication>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QTimer>
#include <QVBoxLayout>

#include <cstdio>

using namespace larkspan;

namespace {

const QColor kPageColour(0x0d, 0x10, 0x14);
const QColor kCaptionColour(0x9a, 0xa6, 0xb4);
const QColor kTitleText(250, 241, 5);

QLabel* caption(const QString& text)
{
    auto* label = new QLabel(text);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, kCaptionColour);
    label->setPalette(palette);
    QFont font = label->font();
    font.setPixelSize(11);
    font.setBold(true);
    label->setFont(font);
    return label;
}

// The recorder's main window face: background, title, time and every control.
class MainFace : public QWidget {
public:
    explicit MainFace(Skin& skin) : m_skin(skin)
    {
        setFixedSize(275, 116);
        struct ButtonPlace {
            const char* sheet;
            int x, y;
            bool enabled;
        };
        const ButtonPlace places[] = {
            {"button-play", 16, 90, true},    {"button-pause", 44, 90, true},
            {"button-stop", 72, 90, true},    {"button-record", 108, 90, true},
            {"button-record-cancel", 137, 90, false}, {"button-open", 173, 90, true},
            {"button-menu", 208, 90, true},   {"button-minimise", 239, 4, true},
            {"button-spare", 249, 4, false},  {"button-close", 259, 4, true},
        };
        for (const ButtonPlace& place : places) {
            auto* button = new SkinButton(skin, QLatin1String(place.sheet), SkinButton::Kind::Plain, this);
            button->move(place.x, place.y);
            button->setEnabled(place.enabled);
        }
        auto* repeat = new SkinButton(skin, QStringLiteral("button-repeat"), SkinButton::Kind::Latching, this);
        repeat->move(236, 90);
        repeat->setLatched(true);

        auto* seek = new SkinSlider(skin, SkinSlider::Kind::Position, this);
        seek->setGeometry(16, 72, 243, 6);
        seek->setRange(0, 3600);
        seek->setValue(1260);
        auto* volume = new SkinSlider(skin, SkinSlider::Kind::Level, this);
        volume->setGeometry(110, 53, 82, 14);
        volume->setRange(0, 5000);
        volume->setValue(3600);
        auto* balance = new SkinSlider(skin, SkinSlider::Kind::Balance, this);
        balance->setGeometry(202, 53, 54, 14);
        balance->setRange(0, 200);
        balance->setValue(140);
        auto* meter = new SpectrumMeter(skin, this);
        meter->move(24, 41);
        meter->normalSpeed();
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        m_skin.draw(painter, QPoint(0, 0), QStringLiteral("main-background.full"));
        m_skin.draw(painter, QPoint(110, 22), QStringLiteral("title-area.full"));
        QFont font = painter.font();
        font.setPixelSize(11);
        painter.setFont(font);
        painter.setPen(kTitleText);
        const QRect titleRect(112, 22, 142, 17);
        painter.drawText(titleRect, Qt::AlignCenter,
                         QFontMetrics(font).elidedText(QStringLiteral("Evening Concert (live)"), Qt::ElideRight,
                                                       titleRect.width()));
        const QString time = QString::asprintf("%3d:%02d", 21, 7);
        for (int i = 0; i < time.size(); ++i) {
            const QChar c = time.at(i);
            const QString glyph = c.isDigit() ? QString(c) : c == QLatin1Char(':') ? QStringLiteral("colon")
                                                                                   : QStringLiteral("blank");
            m_skin.draw(painter, QPoint(49 + 9 * i, 27), QStringLiteral("time-digits.") + glyph);
        }
    }

private:
    Skin& m_skin;
};

// Draws a frame from pieces, the way the list window and the player do.
class FramePreview : public QWidget {
public:
    enum class Kind { Banner, List, Player };
    FramePreview(Skin& skin, Kind kind, QSize size) : m_skin(skin), m_kind(kind) { setFixedSize(size); }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        const int w = width(), h = height();
        auto piece = [&](const QRect& target, const char* name) {
            const QSize size = m_skin.piece(QLatin1String(name)).source.size();
            m_skin.drawPart(p, target, QLatin1String(name), QRect(QPoint(0, 0), size));
        };
        if (m_kind == Kind::Banner) {
            piece(QRect(0, 0, w, h), "banner.full");
            p.setPen(QColor(0x7d, 0x8a, 0x99));
            QFont font = p.font();
            font.setPixelSize(10);
            p.setFont(font);
            p.drawText(rect().adjusted(0, -1, 0, -1), Qt::AlignCenter, QStringLiteral("banner strip"));
            return;
        }
        if (m_kind == Kind::List) {
            p.fillRect(QRect(9, 6, w - 18, h - 82), QColor(0x10, 0x13, 0x17));
            p.fillRect(QRect(9, h - 71, w - 18, 64), QColor(0x14, 0x18, 0x1d));
            piece(QRect(0, 0, w, 6), "list-frame.top");
            piece(QRect(0, 6, 9, h - 13), "list-frame.left");
            piece(QRect(w - 9, 6, 9, h - 13), "list-frame.right");
            piece(QRect(9, h - 76, w - 18, 5), "list-frame.divider");
            piece(QRect(0, h - 7, w, 7), "list-frame.bottom");
            QFont font = p.font();
            font.setPixelSize(10);
            p.setFont(font);
            const char* rows[][2] = {{"File", "Status"},
                                     {"mms://media.example/evening", "Recording"},
                                     {"http://127.0.0.1:8080/news.asf", "Completed"},
                                     {"mmst://radio.example/live", "Error"}};
            for (int i = 0; i < 4; ++i) {
                const QRect row(9, 6 + i * 17, w - 18, 17);
                if (i == 0)
                    p.fillRect(row, QColor(0x1c, 0x22, 0x29));
                if (i == 1)
                    p.fillRect(row, QColor(0x1b, 0x8f, 0x9b, 90));
                p.setPen(i == 0 ? QColor(0x9a, 0xa6, 0xb4) : QColor(0xd8, 0xde, 0xe6));
                p.drawText(row.adjusted(5, 0, -70, 0), Qt::AlignVCenter | Qt::AlignLeft, QLatin1String(rows[i][0]));
                p.drawText(row.adjusted(0, 0, -6, 0), Qt::AlignVCenter | Qt::AlignRight, QLatin1String(rows[i][1]));
            }
            return;
        }
        // The player frame: sides, bars and the inner bevel around a black picture.
        p.fillRect(QRect(23, 26, w - 46, h - 52), Qt::black);
        piece(QRect(0, 16, 13, 12), "player-sides.left-top");
        piece(QRect(w - 13, 16, 13, 12), "player-sides.right-top");
        for (int y0 = 0; y0 < h - 24; y0 += 235) {
            const int height = std::min(235, h - 28 - (y0 + 28));
            if (height > 0) {
                m_skin.drawPart(p, QRect(0, y0 + 28, 13, height), QStringLiteral("player-sides.left-middle"),
                                QRect(0, 0, 13, height));
                m_skin.drawPart(p, QRect(w - 13, y0 + 28, 13, height), QStringLiteral("player-sides.right-middle"),
                                QRect(0, 0, 13, height));
            }
        }
        piece(QRect(0, h - 28, 13, 12), "player-sides.left-bottom");
        piece(QRect(w - 13, h - 28, 13, 12), "player-sides.right-bottom");
        piece(QRect(0, 0, 63, 16), "player-bars.top-left");
        for (int x0 = 0; x0 < w - 126; x0 += 241) {
            const int width = std::min(241, w - 63 - (x0 + 63));
            m_skin.drawPart(p, QRect(x0 + 63, 0, width, 16), QStringLiteral("player-bars.top-middle"),
                            QRect(0, 0, width, 16));
        }
        piece(QRect(w - 63, 0, 63, 16), "player-bars.top-right");
        piece(QRect(0, h - 16, w - 108, 16), "player-bars.bottom-stretch");
        piece(QRect(w - 108, h - 16, 108, 16), "player-bars.bottom-right");
        piece(QRect(13, 16, 10, 10), "player-inner.top-left");
        piece(QRect(w - 23, 16, 10, 10), "player-inner.top-right");
        piece(QRect(w - 23, h - 26, 10, 10), "player-inner.bottom-right");
        piece(QRect(13, h - 26, 10, 10), "player-inner.bottom-left");
        piece(QRect(23, 16, w - 46, 10), "player-inner.top");
        piece(QRect(w - 23, 26, 10, h - 52), "player-inner.right");
        piece(QRect(23, h - 26, w - 46, 10), "player-inner.bottom");
        piece(QRect(13, 26, 10, h - 52), "player-inner.left");
        QFont font = p.font();
        font.setPixelSize(11);
        p.setFont(font);
        p.setPen(kTitleText);
        p.drawText(QRect(63, 3, w - 126, 11), Qt::AlignCenter, QStringLiteral("news.asf"));
        QLinearGradient sky(0, 26, 0, h - 26);
        sky.setColorAt(0, QColor(0x1d, 0x3b, 0x55));
        sky.setColorAt(1, QColor(0x0b, 0x14, 0x1d));
        p.fillRect(QRect(27, 30, w - 54, h - 60), sky);
        p.setPen(Qt::white);
        p.drawText(QRect(27, h - 60, w - 54, 24), Qt::AlignCenter, QStringLiteral("Caption text appears here"));
    }

private:
    Skin& m_skin;
    Kind m_kind;
};

// Every sheet at its own size with its name: a flow of the short sheets and,
// on the right, the tall ones.
class SheetBoard : public QWidget {
public:
    explicit SheetBoard(Skin& skin) : m_skin(skin) { setFixedSize(kFlowWidth + 90, 350); }

protected:
    void paintEvent(QPaintEvent*) override
    {
        static const char* const kOrder[] = {
            "main-background", "banner", "title-area", "player-bars", "seek-track", "meter-background",
            "button-play", "button-pause", "button-stop", "button-record", "button-record-cancel", "button-open",
            "button-menu", "button-repeat", "level-track", "time-digits", "button-minimise", "button-spare",
            "button-close", "level-thumb", "seek-thumb", "list-frame", "player-inner", "player-sides",
        };
        QPainter p(this);
        QFont font = p.font();
        font.setPixelSize(10);
        p.setFont(font);
        int x = 0, y = 0, rowHeight = 0;
        for (const char* name : kOrder) {
            const SkinSheetEntry* entry = findSkinSheet(name);
            if (entry->height > 200) {
                drawSheet(p, *entry, QPoint(kFlowWidth + 10, 0));
                continue;
            }
            const int cellWidth = std::max(entry->width, 96) + 14;
            if (x + cellWidth > kFlowWidth) {
                x = 0;
                y += rowHeight + 8;
                rowHeight = 0;
            }
            drawSheet(p, *entry, QPoint(x, y));
            x += cellWidth;
            rowHeight = std::max(rowHeight, entry->height + 15);
        }
    }

private:
    static constexpr int kFlowWidth = 790;

    void drawSheet(QPainter& p, const SkinSheetEntry& entry, QPoint at)
    {
        p.setPen(QColor(0x7d, 0x8a, 0x99));
        p.drawText(QRect(at.x(), at.y(), 120, 13), Qt::AlignLeft | Qt::AlignVCenter,
                   QString::fromLatin1(entry.name).remove(QStringLiteral("button-")));
        const QRect area(at.x(), at.y() + 15, entry.width, entry.height);
        p.fillRect(area.adjusted(-1, -1, 1, 1), QColor(0x1a, 0x1f, 0x26));
        p.drawPixmap(area.topLeft(), m_skin.sheet(QLatin1String(entry.name)));
    }

    Skin& m_skin;
};

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QString screenshot;
    for (int i = 1; i + 1 < argc; ++i) {
        if (QLatin1String(argv[i]) == QLatin1String("--screenshot"))
            screenshot = QString::fromLocal8Bit(argv[i + 1]);
    }
    Skin skin(Skin::scaleFor(app.devicePixelRatio()));

    QWidget window;
    window.setWindowTitle(QStringLiteral("Skin gallery"));
    QPalette palette = window.palette();
    palette.setColor(QPalette::Window, kPageColour);
    window.setPalette(palette);
    window.setAutoFillBackground(true);

    auto* recorder = new QVBoxLayout;
    recorder->setSpacing(0);
    recorder->addWidget(caption(QStringLiteral("Main window, banner and list")));
    recorder->addSpacing(6);
    recorder->addWidget(new MainFace(skin));
    recorder->addWidget(new FramePreview(skin, FramePreview::Kind::Banner, QSize(275, 27)));
    recorder->addWidget(new FramePreview(skin, FramePreview::Kind::List, QSize(275, 257)));
    recorder->addStretch();

    auto* right = new QVBoxLayout;
    right->setSpacing(6);
    right->addWidget(caption(QStringLiteral("Player and caption window frame")));
    right->addWidget(new FramePreview(skin, FramePreview::Kind::Player, QSize(560, 180)));
    right->addSpacing(10);
    right->addWidget(caption(QStringLiteral("Sheets")));
    right->addWidget(new SheetBoard(skin));
    right->addStretch();

    auto* columns = new QHBoxLayout(&window);
    columns->setContentsMargins(18, 14, 18, 14);
    columns->setSpacing(28);
    columns->addLayout(recorder);
    columns->addLayout(right);

    window.show();
    if (!screenshot.isEmpty()) {
        // Give the meter a few ticks so the graph shows, then save.
        QTimer::singleShot(1500, &app, [&] {
            const bool saved = window.grab().save(screenshot, "PNG");
            std::printf("skin-gallery: %s %s\n", saved ? "saved" : "could not save", qPrintable(screenshot));
            app.exit(saved ? 0 : 1);
        });
    }
    return app.exec();
}
