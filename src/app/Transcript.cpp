#include "app/Transcript.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace transcript {
namespace {

FILE* g_file = nullptr;
std::string g_name;
bool g_failed = false;

void AppendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

} // namespace

bool Open(const std::string& path, const std::string& name) {
  Close();
  g_file = std::fopen(path.c_str(), "wb");
  g_name = name.empty() ? path : name;
  g_failed = false;
  return g_file != nullptr;
}

bool Failed() {
  return g_failed;
}

void Close() {
  if (g_file) std::fclose(g_file);
  g_file = nullptr;
}

bool Active() {
  return g_file != nullptr;
}

void Write(std::u16string_view line) {
  if (!g_file) return;
  std::string out;
  for (size_t i = 0; i < line.size(); ++i) {
    char32_t c = line[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < line.size() && line[i + 1] >= 0xDC00 &&
        line[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (line[++i] - 0xDC00);
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      c = 0xFFFD; // a lone surrogate cannot be written as UTF-8
    }
    AppendUtf8(out, c);
  }
  out += '\n';
  if (std::fwrite(out.data(), 1, out.size(), g_file) == out.size() && std::fflush(g_file) == 0)
    return;
  std::fprintf(stderr, "kestrove: cannot write transcript %s: %s\n", g_name.c_str(),
               std::strerror(errno ? errno : EIO));
  g_failed = true;
  Close();
}

} // namespace transcript
