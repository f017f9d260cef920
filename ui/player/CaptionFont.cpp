#include "ui/player/CaptionFont.h"

#include <algorithm>

#include "recorder/RecorderSettings.h"

namespace larkspan {

QFont CaptionFontFor(const RecorderSettings& settings, double preciseSize) {
    QFont font(QString::fromStdString(settings.captionFaceName));
    const int size = std::clamp(settings.captionSize, kSmallestCaptionSize, kLargestCaptionSize);
    if (preciseSize > 0.0 && static_cast<int>(preciseSize) == size)
        font.setPointSizeF(preciseSize);
    else
        font.setPointSize(size);
    font.setBold(settings.captionBold != 0);
    return font;
}

QColor ColorFromColorRef(int colorRef) {
    return QColor(colorRef & 0xFF, (colorRef >> 8) & 0xFF, (colorRef >> 16) & 0xFF);
}

int ColorRefFromColor(const QColor& color) { return color.red() | (color.green() << 8) | (color.blue() << 16); }

}  // namespace larkspan
