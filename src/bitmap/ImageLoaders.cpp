#include "bitmap/ImageLoaders.h"

#include "bitmap/QdBitmap.h"
#include "resource/QdStream.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

uint16_t Le16(const uint8_t* p) {
  return static_cast<uint16_t>(p[0] | p[1] << 8);
}
uint32_t Le32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

uint8_t Rol8(uint8_t v, int n) {
  n &= 7;
  return n == 0 ? v : static_cast<uint8_t>(v << n | v >> (8 - n));
}

// Reads ahead in large blocks so the byte-at-a-time run-length decoder does not cost a system
// call per byte. Positions are those of the underlying stream as if read unbuffered.
class TBufferedStream : public TQdStream {
public:
  explicit TBufferedStream(TQdStream& inner) : inner_(inner) { IsOpen = inner.IsOpen; }

  int32_t ReadBytes(void* buffer, int32_t count) override {
    auto* out = static_cast<uint8_t*>(buffer);
    int32_t done = 0;
    while (done < count) {
      if (next_ == end_) {
        if (count - done >= int32_t(sizeof buf_))
          return done + inner_.ReadBytes(out + done, count - done);
        next_ = 0;
        end_ = std::max(inner_.ReadBytes(buf_, sizeof buf_), 0);
        if (end_ == 0) break;
      }
      const int32_t n = std::min(count - done, end_ - next_);
      std::memcpy(out + done, buf_ + next_, static_cast<size_t>(n));
      next_ += n;
      done += n;
    }
    return done;
  }

  int32_t SetPosition(int32_t offset, uint16_t origin) override {
    if (origin == 1) {
      offset = GetPosition() + offset;
      origin = 0;
    }
    next_ = end_ = 0;
    return inner_.SetPosition(offset, origin);
  }

  int32_t GetPosition() override { return inner_.GetPosition() - (end_ - next_); }

private:
  TQdStream& inner_;
  uint8_t buf_[16384];
  int32_t next_ = 0;
  int32_t end_ = 0;
};

// Writes a 32-bit colour into a row of the bitmap's own format; formats it does not know get
// nothing, so no row is ever overrun.
using TPixelWriter = void (*)(uint8_t* row, int32_t x, uint32_t colour);

void Write32(uint8_t* row, int32_t x, uint32_t c) {
  std::memcpy(row + x * 4, &c, 4);
}
void Write16(uint8_t* row, int32_t x, uint32_t c) {
  const uint16_t v = ColorTo16(c);
  std::memcpy(row + x * 2, &v, 2);
}
void Write15(uint8_t* row, int32_t x, uint32_t c) {
  const uint16_t v = ColorTo15(c);
  std::memcpy(row + x * 2, &v, 2);
}

TPixelWriter WriterFor(int32_t bitCount) {
  switch (bitCount) {
  case 32:
    return Write32;
  case 16:
    return Write16;
  case 15:
    return Write15;
  default:
    return nullptr;
  }
}

void ClearRows(TQdBitmap& b) {
  const int32_t bytes = b.BitCount == 32 ? 4 : (b.BitCount == 15 || b.BitCount == 16) ? 2 : 0;
  for (int32_t y = 0; y < b.Height; ++y)
    if (uint8_t* row = b.GetScanLine(y)) std::memset(row, 0, static_cast<size_t>(b.Width) * bytes);
}

} // namespace

int Unscramble(uint8_t* buffer, int32_t count, uint8_t key, int rotation) {
  for (int32_t i = 0; i < count; ++i) {
    buffer[i] = Rol8(buffer[i], rotation) ^ key;
    rotation = (rotation + 1) & 7;
  }
  return rotation;
}

namespace {

// One decoder for both kinds: key and rotation are ignored when not scrambled.
template <bool Scrambled>
bool DecodeLine(uint8_t* buffer, int32_t count, TQdStream& stream, int& rotation, uint8_t key) {
  auto next = [&](uint8_t& b) {
    if (stream.ReadBytes(&b, 1) != 1) return false;
    if constexpr (Scrambled) rotation = Unscramble(&b, 1, key, rotation);
    return true;
  };
  int32_t i = 0;
  while (i < count) {
    uint8_t b;
    if (!next(b)) break;
    if (b < 0xC0) {
      buffer[i++] = b;
      continue;
    }
    uint8_t v;
    if (!next(v)) break;
    const int32_t n = std::min<int32_t>(b & 0x3F, count - i);
    std::memset(buffer + i, v, static_cast<size_t>(n));
    i += n;
  }
  if (i >= count) return true;
  std::memset(buffer + i, 0, static_cast<size_t>(count - i));
  return false;
}

} // namespace

bool DecodeRleLine(uint8_t* buffer, int32_t count, TQdStream& stream) {
  int rotation = 0;
  return DecodeLine<false>(buffer, count, stream, rotation, 0);
}

int DecodeScrambledRleLine(uint8_t* buffer, int32_t count, TQdStream& stream, int rotation,
                           uint8_t key, bool* complete) {
  const bool ok = DecodeLine<true>(buffer, count, stream, rotation, key);
  if (complete != nullptr) *complete = ok;
  return rotation;
}

void TQdBitmap::LoadFromFile(const std::string& fileName, int32_t bitCount) {
  TQdFileStream stream(fileName);
  const std::string ext = AsciiToLower(FileExtension(fileName));
  if (ext == ".bmp")
    LoadBmp(stream, bitCount);
  else if (ext == ".pcx")
    LoadPcx(stream, bitCount, 0);
  else if (ext == ".kv0")
    LoadPcx(stream, bitCount, Kv0Key);
}

bool TQdBitmap::LoadBmp(TQdStream& input, int32_t bitCount) {
  TBufferedStream stream(input);
  uint8_t header[54];
  if (stream.ReadBytes(header, sizeof header) != int32_t(sizeof header)) return false;
  const int32_t width = static_cast<int32_t>(Le32(header + 18));
  const int32_t height = static_cast<int32_t>(Le32(header + 22));
  const int32_t bits = Le16(header + 28);
  const uint32_t compression = Le32(header + 30);
  const uint32_t coloursUsed = Le32(header + 46);
  if (compression == 3) {
    uint8_t masks[12];
    stream.ReadBytes(masks, sizeof masks);
  }

  // Top-down files (negative height) and colour tables the 8-bit indices cannot reach are
  // refused before anything is allocated.
  const uint32_t entries = coloursUsed != 0 ? coloursUsed : bits == 4 ? 16 : bits == 8 ? 256 : 0;
  if (width <= 0 || height <= 0 || entries > 256) return false;
  // Indices past a short table read as 0; so do entries a truncated file does not hold.
  uint32_t table[256] = {};
  if (entries > 0) {
    uint8_t raw[1024] = {};
    stream.ReadBytes(raw, static_cast<int32_t>(entries * 4));
    for (uint32_t i = 0; i < entries; ++i)
      table[i] =
          OpaqueAlpha | uint32_t(raw[i * 4 + 2]) << 16 | uint32_t(raw[i * 4 + 1]) << 8 | raw[i * 4];
  }

  int64_t rowSize = bits >= 8 ? int64_t(width) * ((bits + 7) / 8) : (int64_t(bits) * width + 7) / 8;
  rowSize = (rowSize + 3) / 4 * 4;
  if (rowSize <= 0 || rowSize > MaxStorageBytes) return false;
  // The line buffer only once the bitmap exists: a header alone must not cost a row of up to
  // 256 MiB for a picture that is then refused.
  if (!Allocate(width, height, bitCount)) return false;
  std::vector<uint8_t> line(static_cast<size_t>(rowSize));
  TQdLockGuard lock(*this);
  const TPixelWriter write = WriterFor(BitCount);
  const bool known = bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32;
  if (!known || write == nullptr) {
    // Nothing to decode: the picture is transparent rather than whatever the memory held.
    ClearRows(*this);
    return true;
  }
  bool ended = false;
  for (int32_t r = 0; r < height; ++r) {
    // A truncated file reads as zeros from where it ends.
    std::fill(line.begin(), line.end(), 0);
    if (!ended) ended = stream.ReadBytes(line.data(), static_cast<int32_t>(rowSize)) != rowSize;
    uint8_t* row = GetScanLine(height - 1 - r);
    if (row == nullptr) continue;
    const uint8_t* p = line.data();
    for (int32_t x = 0; x < width; ++x) {
      uint32_t c;
      switch (bits) {
      case 32:
        c = Le32(p + x * 4);
        break;
      case 24:
        c = OpaqueAlpha | uint32_t(p[x * 3 + 2]) << 16 | uint32_t(p[x * 3 + 1]) << 8 | p[x * 3];
        if (c == 0xFF0000FFu) c = 0; // pure blue marks transparent pixels
        break;
      case 16: {
        const uint32_t v = Le16(p + x * 2);
        c = compression == 3
                ? OpaqueAlpha | ((v >> 11) & 0x1F) << 19 | ((v >> 5) & 0x3F) << 10 | (v & 0x1F) << 3
                : OpaqueAlpha | ((v >> 10) & 0x1F) << 19 | ((v >> 5) & 0x1F) << 11 |
                      (v & 0x1F) << 3;
        break;
      }
      case 8:
        c = table[p[x]];
        break;
      default:
        c = table[(x & 1) ? p[x / 2] & 0x0F : p[x / 2] >> 4];
        break;
      }
      write(row, x, c);
    }
  }
  return true;
}

bool TQdBitmap::LoadPcx(TQdStream& input, int32_t bitCount, uint32_t scrambleParam) {
  TBufferedStream stream(input);
  const bool scrambled = scrambleParam != 0;
  const uint8_t key = static_cast<uint8_t>(scrambleParam & 0xFF);
  const int start = static_cast<int>((scrambleParam >> 8) & 7);

  uint8_t header[128];
  if (stream.ReadBytes(header, sizeof header) != int32_t(sizeof header)) return false;
  if (scrambled) Unscramble(header, sizeof header, key, start);
  const int32_t width = int32_t(int16_t(Le16(header + 8))) - int32_t(int16_t(Le16(header + 4))) + 1;
  const int32_t height =
      int32_t(int16_t(Le16(header + 10))) - int32_t(int16_t(Le16(header + 6))) + 1;
  const int32_t planes = header[65];
  const int32_t bytesPerLine = Le16(header + 66);
  if (width <= 0 || height <= 0) return false;
  if (header[0] != 10 || header[3] != 8 || (planes != 1 && planes != 3)) return false;
  // Each plane of a line must hold a byte for every pixel, or pixels would come from the next
  // plane or past the line.
  if (width > bytesPerLine) return false;

  uint8_t palette[768] = {};
  bool havePalette = false;
  if (planes == 1) {
    // The palette sits 769 bytes before the end; a file too short to hold it after the header has
    // none (and must not make the stream move before its start).
    const int32_t size = stream.SetPosition(0, 2);
    if (size >= 128 + 769) {
      const int32_t at = stream.SetPosition(-769, 2);
      uint8_t marker = 0;
      if (stream.ReadBytes(&marker, 1) == 1) {
        int rotation = (at + start) & 7;
        if (scrambled) rotation = Unscramble(&marker, 1, key, rotation);
        if (marker == 12) {
          stream.ReadBytes(palette, sizeof palette);
          if (scrambled) Unscramble(palette, sizeof palette, key, rotation);
          havePalette = true;
        }
      }
    }
    stream.SetPosition(128, 0);
  }

  const int32_t lineBytes = bytesPerLine * planes;
  std::vector<uint8_t> line(static_cast<size_t>(lineBytes));
  if (!Allocate(width, height, bitCount)) return false;
  TQdLockGuard lock(*this);

  // The table is made for the storage actually obtained, which for a surface may differ from the
  // bit count asked for.
  uint32_t table[256];
  for (int i = 0; i < 256; ++i) {
    const uint32_t r = palette[i * 3], g = palette[i * 3 + 1], b = palette[i * 3 + 2];
    if (BitCount == 15)
      table[i] = 0x8000u | (r >> 3) << 10 | (g >> 3) << 5 | (b >> 3);
    else if (BitCount == 16)
      table[i] = (r >> 3) << 11 | (g >> 2) << 5 | (b >> 3);
    else
      table[i] = OpaqueAlpha | r << 16 | g << 8 | b;
  }
  // Without a palette every index gives 0, transparent black in 32 bits.
  if (planes == 1 && !havePalette) std::fill(table, table + 256, 0u);

  int rotation = (128 + start) & 7;
  bool ended = false, cleared = false;
  for (int32_t y = 0; y < height; ++y) {
    if (ended) {
      // Cleared once: a short file may promise 65535 lines of 196605 bytes each.
      if (!cleared) std::fill(line.begin(), line.end(), 0);
      cleared = true;
    } else if (scrambled) {
      bool complete = true;
      rotation = DecodeScrambledRleLine(line.data(), lineBytes, stream, rotation, key, &complete);
      ended = !complete;
    } else {
      ended = !DecodeRleLine(line.data(), lineBytes, stream);
    }
    uint8_t* row = GetScanLine(y);
    if (row == nullptr) continue;
    const uint8_t* red = line.data();
    const uint8_t* green = red + bytesPerLine;
    const uint8_t* blue = green + bytesPerLine;
    for (int32_t x = 0; x < width; ++x) {
      if (planes == 1) {
        if (BitCount == 32) {
          std::memcpy(row + x * 4, &table[red[x]], 4);
        } else if (BitCount == 15 || BitCount == 16) {
          const uint16_t v = static_cast<uint16_t>(table[red[x]]);
          std::memcpy(row + x * 2, &v, 2);
        }
      } else {
        const uint32_t r = red[x], g = green[x], b = blue[x];
        if (BitCount == 32) {
          const uint32_t v = OpaqueAlpha | r << 16 | g << 8 | b;
          std::memcpy(row + x * 4, &v, 4);
        } else if (BitCount == 16) {
          const uint16_t v = static_cast<uint16_t>((r & 0xF8) << 8 | (g & 0xFC) << 3 | b >> 3);
          std::memcpy(row + x * 2, &v, 2);
        } else if (BitCount == 15) {
          const uint16_t v = static_cast<uint16_t>((r & 0xF8) << 7 | (g & 0xF8) << 2 | b >> 3);
          std::memcpy(row + x * 2, &v, 2);
        }
      }
    }
  }
  return true;
}
