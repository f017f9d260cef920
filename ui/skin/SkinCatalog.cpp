#include "ui/skin/SkinCatalog.h"

#include <cstring>

namespace larkspan {
namespace {

// Button strips hold four 24 x 24 (or 10 x 10) pictures side by side:
// normal, hover, pressed, disabled.
#define LK_BUTTON_STRIP(sheet, size)                                 \
    {sheet ".normal", sheet, 0, 0, size, size},                      \
        {sheet ".hover", sheet, size, 0, size, size},                \
        {sheet ".pressed", sheet, 2 * (size), 0, size, size},        \
        {sheet ".disabled", sheet, 3 * (size), 0, size, size},       \
        {sheet ".latched-hover", sheet, 2 * (size), 0, size, size}

constexpr SkinSheetEntry kSheets[] = {
    {"main-background", 275, 116},
    {"list-frame", 30, 30},
    {"banner", 275, 27},
    {"time-digits", 96, 13},
    {"level-thumb", 12, 5},
    {"level-track", 82, 28},
    {"button-close", 40, 10},
    {"button-minimise", 40, 10},
    {"button-spare", 40, 10},
    {"button-menu", 96, 24},
    {"player-sides", 26, 259},
    {"player-inner", 30, 30},
    {"player-bars", 367, 32},
    {"meter-background", 78, 24},
    {"button-play", 96, 24},
    {"button-open", 96, 24},
    {"button-pause", 96, 24},
    {"button-stop", 96, 24},
    {"button-record", 96, 24},
    {"button-record-cancel", 96, 24},
    {"seek-track", 243, 6},
    {"seek-thumb", 16, 6},
    {"title-area", 146, 17},
    {"button-repeat", 96, 24},
};

constexpr SkinPieceEntry kPieces[] = {
    {"main-background.full", "main-background", 0, 0, 275, 116},
    // The list window's frame: bands stretched along the window's edges.
    {"list-frame.top", "list-frame", 0, 0, 30, 6},
    {"list-frame.left", "list-frame", 0, 6, 9, 17},
    {"list-frame.right", "list-frame", 21, 6, 9, 17},
    {"list-frame.divider", "list-frame", 9, 12, 12, 5},
    {"list-frame.bottom", "list-frame", 0, 23, 30, 7},
    {"banner.full", "banner", 0, 0, 275, 27},
    // Time display glyphs, 8 x 13 cells: digits 0-9, colon, blank.
    {"time-digits.0", "time-digits", 0, 0, 8, 13},
    {"time-digits.1", "time-digits", 8, 0, 8, 13},
    {"time-digits.2", "time-digits", 16, 0, 8, 13},
    {"time-digits.3", "time-digits", 24, 0, 8, 13},
    {"time-digits.4", "time-digits", 32, 0, 8, 13},
    {"time-digits.5", "time-digits", 40, 0, 8, 13},
    {"time-digits.6", "time-digits", 48, 0, 8, 13},
    {"time-digits.7", "time-digits", 56, 0, 8, 13},
    {"time-digits.8", "time-digits", 64, 0, 8, 13},
    {"time-digits.9", "time-digits", 72, 0, 8, 13},
    {"time-digits.colon", "time-digits", 80, 0, 8, 13},
    {"time-digits.blank", "time-digits", 88, 0, 8, 13},
    {"level-thumb.full", "level-thumb", 0, 0, 12, 5},
    // Level track: the empty row above, the filled row below.
    {"level-track.empty", "level-track", 0, 0, 82, 14},
    {"level-track.filled", "level-track", 0, 14, 82, 14},
    LK_BUTTON_STRIP("button-close", 10),
    LK_BUTTON_STRIP("button-minimise", 10),
    LK_BUTTON_STRIP("button-spare", 10),
    LK_BUTTON_STRIP("button-menu", 24),
    // Player frame: side strips (caps and a repeated middle) ...
    {"player-sides.left-top", "player-sides", 0, 0, 13, 12},
    {"player-sides.right-top", "player-sides", 13, 0, 13, 12},
    {"player-sides.left-middle", "player-sides", 0, 12, 13, 235},
    {"player-sides.right-middle", "player-sides", 13, 12, 13, 235},
    {"player-sides.left-bottom", "player-sides", 0, 247, 13, 12},
    {"player-sides.right-bottom", "player-sides", 13, 247, 13, 12},
    // ... the inner bevel around the picture (corners and stretched edges) ...
    {"player-inner.top-left", "player-inner", 0, 0, 10, 10},
    {"player-inner.top", "player-inner", 10, 0, 10, 10},
    {"player-inner.top-right", "player-inner", 20, 0, 10, 10},
    {"player-inner.right", "player-inner", 20, 10, 10, 10},
    {"player-inner.bottom-right", "player-inner", 20, 20, 10, 10},
    {"player-inner.bottom", "player-inner", 10, 20, 10, 10},
    {"player-inner.bottom-left", "player-inner", 0, 20, 10, 10},
    {"player-inner.left", "player-inner", 0, 10, 10, 10},
    // ... and the top and bottom bars.
    {"player-bars.top-left", "player-bars", 0, 0, 63, 16},
    {"player-bars.top-middle", "player-bars", 63, 0, 241, 16},
    {"player-bars.top-right", "player-bars", 304, 0, 63, 16},
    {"player-bars.bottom-stretch", "player-bars", 0, 16, 259, 16},
    {"player-bars.bottom-right", "player-bars", 259, 16, 108, 16},
    {"meter-background.full", "meter-background", 0, 0, 78, 24},
    LK_BUTTON_STRIP("button-play", 24),
    LK_BUTTON_STRIP("button-open", 24),
    LK_BUTTON_STRIP("button-pause", 24),
    LK_BUTTON_STRIP("button-stop", 24),
    LK_BUTTON_STRIP("button-record", 24),
    LK_BUTTON_STRIP("button-record-cancel", 24),
    {"seek-track.full", "seek-track", 0, 0, 243, 6},
    {"seek-thumb.full", "seek-thumb", 0, 0, 16, 6},
    {"title-area.full", "title-area", 0, 0, 146, 17},
    LK_BUTTON_STRIP("button-repeat", 24),
};

#undef LK_BUTTON_STRIP

} // namespace

std::span<const SkinSheetEntry> skinSheets() { return kSheets; }

std::span<const SkinPieceEntry> skinPieces() { return kPieces; }

const SkinSheetEntry* findSkinSheet(const char* name)
{
    for (const SkinSheetEntry& sheet : kSheets) {
        if (std::strcmp(sheet.name, name) == 0)
            return &sheet;
    }
    return nullptr;
}

} // namespace larkspan
