#pragma once
// The look of captions from the settings: font and colour.
#include <QColor>
#include <QFont>

namespace larkspan {

struct RecorderSettings;

inline constexpr int kSmallestCaptionSize = 1;
inline constexpr int kLargestCaptionSize = 200;

// "Caption Face Name" at "Caption Size" points (kept between 1 and 200),
// bold when "Caption Bold" is set. preciseSize, when it truncates to the
// stored size, is used instead: the stored size is whole points, while a font
// dialog may give fractions.
QFont CaptionFontFor(const RecorderSettings& settings, double preciseSize = 0.0);

// The stored caption colour is 0x00BBGGRR.
QColor ColorFromColorRef(int colorRef);
int ColorRefFromColor(const QColor& color);

}  // namespace larkspan
