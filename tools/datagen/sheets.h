// The tile sheet and the sprite sheet, composed from the text art in assets/sheets.
#pragma once

#include "pcx.h"

#include <ostream>
#include <string>
#include <vector>

namespace datagen {

constexpr int kCell = 24, kPitch = 25;
constexpr int kTileSheetWidth = 12 * kPitch + 1, kTileSheetHeight = 12 * kPitch + 1;
constexpr int kSpriteSheetWidth = 451 + 9 * kPitch, kSpriteSheetHeight = 176 + 12 * kPitch;

// Top-left corners of the cells as the world view addresses them.
struct CellOrigin {
  int x, y;
};
CellOrigin TileCell(int value);                // layer-0 value, 0 to 143
CellOrigin ObjectCell(int value);              // layer-1 value, 1 to 255
CellOrigin AnimatedCell(int value, int phase); // layer-2 value, phase 0 or 1
CellOrigin FigureCell(int index);              // look × 9 + direction × 2 + step

struct Sheets {
  IndexedPicture tiles, sprites;
};

// Reads every "*.txt" under dir (in name order) as one art source.
Sheets BuildSheets(const std::string& dir, std::ostream& report);

void GenerateSheets(const std::string& artDir, const std::string& outDir, std::ostream& report);

} // namespace datagen
