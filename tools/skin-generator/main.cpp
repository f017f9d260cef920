// Draws every skin sheet listed in the skin catalog at 1x and 2x and writes
// them, with the resource list skin.qrc, into the folder given (normally
// res/skin of the source tree). The output is the same on every run: no
// random numbers, no clock, fixed resolution and fonts.
//
//   skin-generator <output folder>

#include "ButtonArt.h"
#include "PanelArt.h"

#include "ui/skin/SkinCatalog.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QTextStream>

#include <cstdio>

namespace {

constexpr int kDotsPerMeter = 3780; // 96 dots per inch

QImage paintSheet(const larkspan::SkinSheetEntry& entry, int scale, bool* known)
{
    QImage image(entry.width * scale, entry.height * scale, QImage::Format_ARGB32_Premultiplied);
    image.setDotsPerMeterX(kDotsPerMeter);
    image.setDotsPerMeterY(kDotsPerMeter);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.scale(scale, scale);
    const QString name = QLatin1String(entry.name);
    const int cell = entry.height;
    *known = larkspan::art::paintButtonStrip(painter, name, cell) ||
             larkspan::art::paintPanelSheet(painter, name, entry.width, entry.height);
    painter.end();
    if (name == QLatin1String("seek-thumb"))
        larkspan::art::applyColourKey(image, qRgb(255, 0, 0));
    return image;
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: skin-generator <output folder>\n");
        return 2;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));
    if (!out.exists() && !QDir().mkpath(out.path())) {
        std::fprintf(stderr, "skin-generator: cannot create %s\n", argv[1]);
        return 1;
    }
    QStringList files;
    for (const larkspan::SkinSheetEntry& entry : larkspan::skinSheets()) {
        for (int scale : {1, 2}) {
            bool known = false;
            const QImage image = paintSheet(entry, scale, &known);
            if (!known) {
                std::fprintf(stderr, "skin-generator: no painter for sheet %s\n", entry.name);
                return 1;
            }
            const QString file =
                QLatin1String(entry.name) + (scale == 2 ? QStringLiteral("@2x.png") : QStringLiteral(".png"));
            if (!image.save(out.filePath(file), "PNG")) {
                std::fprintf(stderr, "skin-generator: cannot write %s\n", qPrintable(out.filePath(file)));
                return 1;
            }
            files << file;
        }
    }
    QFile qrc(out.filePath(QStringLiteral("skin.qrc")));
    if (!qrc.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text)) {
        std::fprintf(stderr, "skin-generator: cannot write skin.qrc\n");
        return 1;
    }
    QTextStream qrcText(&qrc);
    qrcText << "<!DOCTYPE RCC>\n<RCC version=\"1.0\">\n<qresource prefix=\"/skin\">\n";
    for (const QString& file : files)
        qrcText << "    <file>" << file << "</file>\n";
    qrcText << "</qresource>\n</RCC>\n";
    std::printf("skin-generator: %lld sheets written to %s\n", static_cast<long long>(files.size()), argv[1]);
    return 0;
}
