// Small helpers shared by the data generators.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace datagen {

// Any problem with a source file or an output ends the generator with this message.
struct Error : std::runtime_error {
  using std::runtime_error::runtime_error;
};

std::string ReadText(const std::string& path);
std::vector<uint8_t> ReadBytes(const std::string& path);
void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes);

// Splits text into lines without their line ends; a '#' starts a comment only where a
// caller asks for it, because several grids use '#' as a pixel.
std::vector<std::string> SplitLines(const std::string& text);
std::string Trim(const std::string& s);

inline void PutLe16(std::vector<uint8_t>& out, unsigned v) {
  out.push_back(static_cast<uint8_t>(v & 0xFF));
  out.push_back(static_cast<uint8_t>((v >> 8) & 0xFF));
}

} // namespace datagen
