// A world view on plain bitmaps, with sheets whose every pixel names its own position.
#pragma once

#include "bitmap/bitmap_support.h"
#include "world/Vesk3_world.h"

#include <map>
#include <string>
#include <vector>

constexpr uint32_t TileTag = 0xF1000000u;
constexpr uint32_t SpriteTag = 0xF2000000u;

struct TestBitmaps : TViewBitmapSource {
  TestBitmaps() {
    auto tiles = std::make_unique<TQdBitmap>(301, 301, 32);
    FillWithCoordinates(*tiles, TileTag);
    auto sprites = std::make_unique<TQdBitmap>(680, 480, 32);
    FillWithCoordinates(*sprites, SpriteTag);
    Sheets["deja1.kv0"] = std::move(tiles);
    Sheets["deja2.kv0"] = std::move(sprites);
  }
  std::unique_ptr<TQdBitmap> MakeLayer(int32_t width, int32_t height) override {
    return std::make_unique<TQdBitmap>(width, height, 32);
  }
  std::unique_ptr<TQdBitmap> LoadSheet(const std::string& fileName) override {
    Loaded.push_back(fileName);
    auto it = Sheets.find(fileName);
    if (it == Sheets.end()) return std::make_unique<TQdBitmap>();
    return std::move(it->second);
  }
  std::map<std::string, std::unique_ptr<TQdBitmap>> Sheets;
  std::vector<std::string> Loaded;
};
