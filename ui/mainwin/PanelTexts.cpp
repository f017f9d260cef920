#include "ui/mainwin/PanelTexts.h"

#include <algorithm>

namespace larkspan {

QString TitleFileName(const QString& title) {
    qsizetype slash = title.lastIndexOf(QLatin1Char('\\'));
    if (slash < 0)
        slash = title.lastIndexOf(QLatin1Char('/'));
    QString name = title.mid(slash + 1);
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    if (dot >= 0)
        name.truncate(dot);
    return name;
}

QString TimeDisplayText(int seconds) {
    const int shown = std::max(0, seconds);
    return QString::asprintf("%3d:%02d", shown / 60, shown % 60);
}

QString TimeGlyphPiece(QChar character) {
    static const QString kPrefix = QStringLiteral("time-digits.");
    if (character >= QLatin1Char('0') && character <= QLatin1Char('9'))
        return kPrefix + character;
    if (character == QLatin1Char(':'))
        return kPrefix + QStringLiteral("colon");
    return kPrefix + QStringLiteral("blank");
}

QString RecentMenuText(int index, const QString& entry) {
    QString shown = entry;
    shown.replace(QLatin1Char('&'), QStringLiteral("&&"));
    if (index < 10)
        return QStringLiteral("&%1 - %2").arg(index).arg(shown);
    return shown;
}

int PlayerVolumeForSlider(int position) {
    const int volume = position - kVolumeSliderMax;
    if (volume < -4990)
        return kVolumeSilence;
    return std::min(volume, 0);
}

}  // namespace larkspan
