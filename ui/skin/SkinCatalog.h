#pragma once

// The table of every skin sheet and of every named piece cut from one.
// Sizes and rectangles are in logical (1x) pixels; a sheet drawn for a
// high-density screen is the same picture at twice the size.
//
// Plain data without Qt so that the sheet generator, the Skin object and the
// tests read one table.

#include <span>

namespace larkspan {

struct SkinSheetEntry {
    const char* name; // file name in res/skin without ".png"
    int width;
    int height;
};

struct SkinPieceEntry {
    const char* name; // "<sheet>.<part>"
    const char* sheet;
    int x;
    int y;
    int width;
    int height;
};

std::span<const SkinSheetEntry> skinSheets();
std::span<const SkinPieceEntry> skinPieces();

// The sheet of that name, or nullptr.
const SkinSheetEntry* findSkinSheet(const char* name);

} // namespace larkspan
