// Makes the game's data files from the sources in assets/ (and GNU Unifont for the fonts).
#include "datagen/background.h"
#include "datagen/common.h"
#include "datagen/fonts.h"
#include "datagen/map.h"
#include "datagen/preview.h"
#include "datagen/sheets.h"

#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

namespace {

int Usage() {
  std::cerr << "usage: kestrove_datagen fonts UNIFONT_HEX OUT_DIR\n"
               "       kestrove_datagen sheets ART_DIR OUT_DIR\n"
               "       kestrove_datagen map MAP_SOURCE OUT_DIR\n"
               "       kestrove_datagen background OUT_DIR\n"
               "       kestrove_datagen all ASSETS_DIR UNIFONT_HEX OUT_DIR\n"
               "       kestrove_datagen preview DATA_DIR OUT_DIR\n";
  return 2;
}

} // namespace

int main(int argc, char** argv) {
  std::vector<std::string> a(argv + 1, argv + argc);
  if (a.empty()) return Usage();
  try {
    const std::string& cmd = a[0];
    const std::string out = a.back();
    if (a.size() >= 2) std::filesystem::create_directories(out);
    if (cmd == "fonts" && a.size() == 3) {
      datagen::GenerateFonts(a[1], out, std::cout);
    } else if (cmd == "sheets" && a.size() == 3) {
      datagen::GenerateSheets(a[1], out, std::cout);
    } else if (cmd == "map" && a.size() == 3) {
      datagen::GenerateMap(a[1], out, std::cout);
    } else if (cmd == "background" && a.size() == 2) {
      datagen::GenerateBackground(out);
    } else if (cmd == "all" && a.size() == 4) {
      datagen::GenerateFonts(a[2], out, std::cout);
      datagen::GenerateSheets(a[1] + "/sheets", out, std::cout);
      datagen::GenerateMap(a[1] + "/map/H3.txt", out, std::cout);
      datagen::GenerateBackground(out);
    } else if (cmd == "preview" && a.size() == 3) {
      datagen::GeneratePreview(a[1], out, std::cout);
    } else {
      return Usage();
    }
  } catch (const std::exception& e) {
    std::cerr << "kestrove_datagen: " << e.what() << "\n";
    return 1;
  }
  return 0;
}
