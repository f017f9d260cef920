#pragma once

// What the main panel shows, as pure functions: the title's file-name part,
// the time display's characters and glyphs, the recent-menu entry texts and
// the volume slider's mapping to the player's volume.

#include <QString>

namespace larkspan {

// The file-name part of a title: the text after the last "\" or, when there
// is none, after the last "/", with everything from its last "." removed.
QString TitleFileName(const QString& title);

// "%3d:%02d" of minutes and seconds; negative positions show as 0.
QString TimeDisplayText(int seconds);

// The skin piece that draws one character of the time display: a digit, the
// colon, or the blank cell for anything else.
QString TimeGlyphPiece(QChar character);

// Where character `index` of the time display is drawn.
constexpr int kTimeDisplayLeft = 49;
constexpr int kTimeDisplayTop = 27;
constexpr int kTimeGlyphAdvance = 9;

// Text of recent-list entry `index` in the menu: "&%d - %s" below 10, the
// entry alone from 10 on. An "&" of the entry is doubled so that it shows as
// itself and not as a mnemonic.
QString RecentMenuText(int index, const QString& entry);

// The volume slider runs 0..5000; the player's volume is the position minus
// 5000 in hundredths of a decibel, and silence below -49.9 dB.
constexpr int kVolumeSliderMax = 5000;
constexpr int kVolumeSilence = -10000;
int PlayerVolumeForSlider(int position);

}  // namespace larkspan
