// Pictures for people: contact sheets of both sheets, the whole map, and a text sample.
#pragma once

#include <ostream>
#include <string>

namespace datagen {

// Reads the generated files from dataDir and writes PNG files into outDir.
void GeneratePreview(const std::string& dataDir, const std::string& outDir, std::ostream& report);

} // namespace datagen
