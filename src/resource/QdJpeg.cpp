// UQdJPEG front half: file, marker segments, tables, the scan loop and entropy decoding.
#include "resource/QdJpeg.h"

#include "resource/QdJpegPixels.h"
#include "resource/QdStream.h"

#include <algorithm>
#include <cstring>

#if defined(QDJPEG_SSE2)
#include <emmintrin.h>
#endif

namespace {

// Thrown wherever the file's contents would lead outside a buffer or table; LoadFromFile turns it
// into a false result with no picture.
struct TBadJpeg {};

[[noreturn]] void Bad() {
  throw TBadJpeg{};
}

constexpr int kMaxPasses = 51;
// A padded frame beyond this (64 Mpixel, 192 MB) is refused rather than allocated.
constexpr int64_t kMaxFramePixels = int64_t{1} << 26;

} // namespace

bool TQdJpeg::LoadFromFile(const std::string& fileName) {
  std::vector<uint8_t> data;
  {
    TQdFileStream file(fileName);
    if (!file.IsOpen) return false;
    const int32_t size = file.SetPosition(0, 2);
    if (size <= 0) return false;
    file.SetPosition(0, 0);
    data.resize(static_cast<size_t>(size));
    data.resize(static_cast<size_t>(std::max(file.ReadBytes(data.data(), size), 0)));
  }
  return LoadFromMemory(data.data(), data.size());
}

bool TQdJpeg::LoadFromMemory(const uint8_t* data, size_t size) {
  if (data == nullptr || size == 0) return false;
  FileData = data;
  FileSize = size;
  bool ok;
  try {
    ok = Decode();
  } catch (const TBadJpeg&) {
    DropPicture();
    FrameWidth = FrameHeight = 0;
    FrameComponents = 0;
    ok = false;
  }
  McuBuffer.clear();
  McuBuffer.shrink_to_fit();
  FileData = nullptr;
  FileSize = 0;
  return ok;
}

void TQdJpeg::DropPicture() {
  Pixels.clear();
  Pixels.shrink_to_fit();
}

bool TQdJpeg::Decode() {
  SawFrame = SawScan = false;
  ReadPos = 0;
  while (!IsMarker(ReadPos, 0xD8)) {
    if (ReadPos + 2 >= FileSize) Bad();
    ++ReadPos;
  }
  ReadPos += 2;
  Cursor = ReadPos;

  for (int pass = 0; pass < kMaxPasses; ++pass) {
    SkipSegment();
    RestartSegment();
    HuffmanSegment();
    QuantisationSegment();
    FrameSegment();
    ScanSegment();
    if (IsMarker(Cursor, 0xD9)) break;
  }
  // A frame whose scan never came has a size but no picture.
  return !(SawFrame && !SawScan);
}

bool TQdJpeg::IsMarker(size_t pos, uint8_t code) const {
  return pos < FileSize && FileSize - pos >= 2 && FileData[pos] == 0xFF &&
         FileData[pos + 1] == code;
}

uint8_t TQdJpeg::ByteAt(size_t pos) const {
  return pos < FileSize ? FileData[pos] : 0;
}

uint16_t TQdJpeg::WordAt(size_t pos) const {
  Need(pos, 2);
  return static_cast<uint16_t>(FileData[pos] << 8 | FileData[pos + 1]);
}

size_t TQdJpeg::Need(size_t pos, size_t count) const {
  if (pos > FileSize || FileSize - pos < count) Bad();
  return pos;
}

void TQdJpeg::SkipSegment() {
  if (ReadPos >= FileSize || FileSize - ReadPos < 2) return;
  if (FileData[ReadPos] != 0xFF || FileData[ReadPos + 1] < 0xE0) return;
  const size_t length = WordAt(ReadPos + 2);
  Need(ReadPos, 2 + length);
  ReadPos += 2 + length;
}

void TQdJpeg::RestartSegment() {
  if (!IsMarker(ReadPos, 0xDD)) return;
  Need(ReadPos, 6);
  RestartInterval = WordAt(ReadPos + 4);
  ReadPos += 6;
}

void TQdJpeg::HuffmanSegment() {
  if (!IsMarker(ReadPos, 0xC4)) return;
  const size_t length = WordAt(ReadPos + 2);
  Need(ReadPos, 2 + length);
  size_t p = ReadPos + 4;
  for (;;) {
    Need(p, 17);
    const uint8_t slot = FileData[p];
    if ((slot >> 4) > 1 || (slot & 15) > 3) Bad();
    int bits[17] = {};
    int count = 0;
    for (int l = 1; l <= 16; ++l)
      count += bits[l] = FileData[p + l];
    if (count == 0) Bad();
    Need(p + 17, static_cast<size_t>(count));

    TQdHuffTable t;
    t.CodeCount = count;
    t.Symbols.assign(FileData + p + 17, FileData + p + 17 + count);
    t.Symbols.push_back(0);
    t.CodeLengths.reserve(static_cast<size_t>(count) + 1);
    for (int l = 1; l <= 16; ++l)
      t.CodeLengths.insert(t.CodeLengths.end(), bits[l], l);
    t.CodeLengths.push_back(0);

    // Canonical codes; a table that claims more codes than a length allows wraps round, which
    // only makes its codes wrong, never its lookups unsafe (DecodeHuffman checks the index).
    t.Codes.assign(static_cast<size_t>(count) + 1, 0);
    uint16_t code = 0;
    size_t k = 0;
    int size = t.CodeLengths[0];
    for (;;) {
      while (t.CodeLengths[k] == size) {
        t.Codes[k++] = code;
        code = static_cast<uint16_t>(code + 1);
      }
      if (t.CodeLengths[k] == 0) break;
      do {
        code = static_cast<uint16_t>(code << 1);
        ++size;
      } while (t.CodeLengths[k] != size);
    }

    int j = 0;
    for (int l = 1; l <= 16; ++l) {
      if (bits[l] == 0) {
        t.MaxCode[l] = 0xFFFF;
        continue;
      }
      t.ValPtr[l] = j;
      t.MinCode[l] = t.Codes[static_cast<size_t>(j)];
      j += bits[l] - 1;
      t.MaxCode[l] = t.Codes[static_cast<size_t>(j)];
      ++j;
    }
    // DC symbols count their extra bits themselves, AC symbols in their low nibble.
    const bool dc = slot < 16;
    constexpr int look = TQdHuffTable::kLookBits;
    t.Fast.assign(size_t{1} << look, 0);
    for (unsigned prefix = 0; prefix < (1u << look); ++prefix) {
      for (int l = 1; l <= look; ++l) {
        const unsigned c = prefix >> (look - l);
        if (t.MaxCode[l] < c || t.MaxCode[l] == 0xFFFF) continue;
        const int64_t index = int64_t{t.ValPtr[l]} + c - t.MinCode[l];
        if (index < 0 || index >= count) break;
        const uint8_t symbol = t.Symbols[static_cast<size_t>(index)];
        uint32_t entry = uint32_t{symbol} << 8 | static_cast<uint32_t>(l);
        const int extra = dc ? symbol : symbol & 15;
        if (extra > 0 && l + extra <= look) {
          unsigned v = (prefix >> (look - l - extra)) & ((1u << extra) - 1);
          if (v < (1u << (extra - 1))) v = v + (0xFFFFu << extra) + 1;
          entry = (v & 0xFFFF) << 16 | uint32_t{symbol} << 8 | static_cast<uint32_t>(l + extra);
        }
        t.Fast[prefix] = entry;
        break;
      }
    }
    HuffTables[slot] = std::move(t);

    p += 17 + static_cast<size_t>(count);
    if (Need(p, 1), FileData[p] == 0xFF) break;
  }
  ReadPos += length + 2;
}

void TQdJpeg::QuantisationSegment() {
  if (!IsMarker(ReadPos, 0xDB)) return;
  const size_t length = WordAt(ReadPos + 2);
  Need(ReadPos, 2 + length);
  size_t p = ReadPos + 4;
  for (;;) {
    Need(p, 65);
    std::copy(FileData + p + 1, FileData + p + 65, QuantTables[FileData[p] & 15]);
    p += 65;
    if (Need(p, 1), FileData[p] == 0xFF) break;
  }
  ReadPos += length + 2;
}

void TQdJpeg::FrameSegment() {
  if (!IsMarker(ReadPos, 0xC0)) return;
  const size_t length = WordAt(ReadPos + 2);
  Need(ReadPos, 2 + length);
  Need(ReadPos, 10);
  // A new frame makes any earlier picture meaningless, whatever happens next.
  DropPicture();
  SawFrame = true;
  FrameComponents = 0;
  FrameHeight = WordAt(ReadPos + 5);
  FrameWidth = WordAt(ReadPos + 7);
  const uint8_t count = FileData[ReadPos + 9];
  if (count == 0 || count > 3 || FrameWidth == 0 || FrameHeight == 0) Bad();
  Need(ReadPos + 10, size_t{3} * count);
  for (int i = 0; i < count; ++i) {
    const uint8_t* c = FileData + ReadPos + 10 + 3 * i;
    ComponentId[i] = c[0];
    HSamp[i] = c[1] >> 4;
    VSamp[i] = c[1] & 15;
    QuantIndex[i] = c[2];
    if (HSamp[i] == 0 || VSamp[i] == 0 || QuantIndex[i] > 15) Bad();
  }
  // Only a frame that passed every check is there for a scan to use.
  FrameComponents = count;
  ReadPos += length + 2;
}

void TQdJpeg::ScanSegment() {
  if (!IsMarker(ReadPos, 0xDA)) return;
  const size_t length = WordAt(ReadPos + 2);
  Need(ReadPos, 2 + length);
  Need(ReadPos, 5);
  ScanComponents = FileData[ReadPos + 4];
  // Two components give no colours; more than the frame has would have no sampling factors.
  if (ScanComponents == 0 || ScanComponents == 2 || ScanComponents > 3 ||
      ScanComponents > FrameComponents || FrameWidth == 0 || FrameHeight == 0)
    Bad();
  Need(ReadPos + 5, size_t{2} * ScanComponents + 3);
  const uint8_t* s = FileData + ReadPos + 5;
  for (int i = 0; i < ScanComponents; ++i, s += 2) {
    ScanComponentId[i] = s[0];
    DcTableIndex[i] = s[1] >> 4;
    AcTableIndex[i] = s[1] & 15;
    if (DcTableIndex[i] > 3 || AcTableIndex[i] > 3) Bad();
    if (HuffTables[DcTableIndex[i]].CodeCount == 0 ||
        HuffTables[16 + AcTableIndex[i]].CodeCount == 0)
      Bad();
  }
  SpectralStart = s[0];
  SpectralEnd = s[1];
  ApproxHigh = s[2] >> 4;
  ApproxLow = s[2] & 15;
  ReadPos += length + 2;
  SawScan = true;

  MaxH = MaxV = 0;
  for (int i = 0; i < FrameComponents; ++i) {
    MaxH = std::max(MaxH, HSamp[i]);
    MaxV = std::max(MaxV, VSamp[i]);
  }
  ImageWidth = FrameWidth;
  ImageHeight = FrameHeight;
  const int32_t mcuWidth = 8 * MaxH, mcuHeight = 8 * MaxV;
  const int32_t paddedWidth = (ImageWidth + mcuWidth - 1) / mcuWidth * mcuWidth;
  const int32_t paddedHeight = (ImageHeight + mcuHeight - 1) / mcuHeight * mcuHeight;
  if (paddedWidth > 0xFFFF || paddedHeight > 0xFFFF) Bad();
  if (int64_t{paddedWidth} * paddedHeight > kMaxFramePixels) Bad();
  // Every block takes at least two bits (a DC code and an end of block), so a frame with more
  // blocks than that is refused before its picture is allocated: it would run out of data anyway.
  int64_t blocksPerMcu = 0;
  for (int i = 0; i < ScanComponents; ++i)
    blocksPerMcu += HSamp[i] * VSamp[i];
  const int64_t blocks =
      int64_t{paddedWidth / mcuWidth} * (paddedHeight / mcuHeight) * blocksPerMcu;
  if (ReadPos > FileSize || blocks > int64_t{4} * static_cast<int64_t>(FileSize - ReadPos)) Bad();
  FrameWidth = static_cast<uint16_t>(paddedWidth);
  FrameHeight = static_cast<uint16_t>(paddedHeight);

  DecodeScan();
}

void TQdJpeg::DecodeScan() {
  const int columns = (FrameWidth / 8) / MaxH;
  const int rows = (FrameHeight / 8) / MaxV;
  BitsLeft = 0;
  BitBuffer = 0;
  DropPicture();
  Pixels.assign(size_t{FrameWidth} * FrameHeight * 3, 0);
  for (int i = 0; i < ScanComponents; ++i)
    DcPred[i] = 0;
  Cursor = ReadPos;

  // Where every component's blocks cover the whole MCU, nothing of one MCU survives into the
  // next: each component gets a plane of its own and the MCU goes to the picture in its final
  // colours. Elsewhere a shared MCU buffer keeps what earlier MCUs left in its uncovered parts.
  bool whole = true;
  for (int i = 0; i < ScanComponents; ++i)
    whole = whole && MaxH % HSamp[i] == 0 && MaxV % VSamp[i] == 0;
  std::vector<uint8_t> planes;
  if (whole)
    planes.assign(size_t{ScanComponents} * MaxH * MaxV * 64, 0);
  else
    McuBuffer.assign(size_t{MaxH} * MaxV * 192, 0);

  unsigned counter = 0;
  for (int row = 0; row < rows; ++row) {
    for (int column = 0; column < columns; ++column) {
      if (whole)
        DecodeMcuWhole(column, row, planes.data());
      else
        DecodeMcu(column, row);
      if (++counter == RestartInterval) {
        counter = 0;
        const size_t at = RestartCursor();
        if (ByteAt(at) == 0xFF && (ByteAt(at + 1) >> 4) == 0xD) {
          Cursor = at + 2;
          BitsLeft = 0;
          BitBuffer = 0;
          DcPred[0] = DcPred[1] = DcPred[2] = 0;
        }
      }
    }
  }
  McuBuffer.clear();
  ConvertColours(whole);
}

void TQdJpeg::DecodeMcuWhole(int column, int row, uint8_t* planes) {
  const int mcuWidth = 8 * MaxH, mcuHeight = 8 * MaxV;
  const size_t planeSize = size_t{MaxH} * MaxV * 64;
  alignas(16) uint8_t samples[64];
  for (int i = 0; i < ScanComponents; ++i) {
    const int h = HSamp[i], v = VSamp[i];
    const int hs = MaxH / h, vs = MaxV / v;
    uint8_t* plane = planes + i * planeSize;
    for (int by = 0; by < v; ++by) {
      for (int bx = 0; bx < h; ++bx) {
        uint8_t* corner = plane + size_t{8} * by * vs * mcuWidth + size_t{8} * bx * hs;
        if (hs == 1 && vs == 1) {
          DecodeBlock(i, corner, mcuWidth);
          continue;
        }
        DecodeBlock(i, samples, 8);
        for (int y = 0; y < 8; ++y) {
          const uint8_t* src = samples + 8 * y;
          for (int dy = 0; dy < vs; ++dy) {
            uint8_t* dest = corner + static_cast<size_t>(y * vs + dy) * mcuWidth;
            if (hs == 1) {
              std::memcpy(dest, src, 8);
            } else if (hs == 2) {
#if defined(QDJPEG_SSE2)
              const __m128i x = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(src));
              _mm_storeu_si128(reinterpret_cast<__m128i*>(dest), _mm_unpacklo_epi8(x, x));
#else
              for (int x = 0; x < 8; ++x)
                dest[2 * x] = dest[2 * x + 1] = src[x];
#endif
            } else {
              for (int x = 0; x < 8 * hs; ++x)
                dest[x] = src[x / hs];
            }
          }
        }
      }
    }
  }

  const size_t rowBytes = size_t{3} * FrameWidth;
  uint8_t* topLeft = Pixels.data() + static_cast<size_t>(row) * mcuHeight * rowBytes +
                     size_t{3} * column * mcuWidth;
  if (ScanComponents == 1) {
    for (int y = 0; y < mcuHeight; ++y) {
      uint8_t* out = topLeft + y * rowBytes;
      const uint8_t* luma = planes + static_cast<size_t>(y) * mcuWidth;
      for (int x = 0; x < mcuWidth; ++x)
        out[3 * x] = out[3 * x + 1] = out[3 * x + 2] = luma[x];
    }
    return;
  }
  // Chroma repeated over row pairs is turned into products once for both rows.
  const bool pairs = (MaxV / VSamp[1]) % 2 == 0 && (MaxV / VSamp[2]) % 2 == 0;
  for (int y = 0; y < mcuHeight; y += pairs ? 2 : 1) {
    uint8_t* out = topLeft + y * rowBytes;
    const uint8_t* luma = planes + static_cast<size_t>(y) * mcuWidth;
    const uint8_t* cb = luma + planeSize;
    const uint8_t* cr = luma + 2 * planeSize;
    if (pairs)
      qdjpeg::YCbCrRowPairToBgr(luma, luma + mcuWidth, cb, cr, out, out + rowBytes, mcuWidth);
    else
      qdjpeg::YCbCrRowToBgr(luma, cb, cr, out, mcuWidth);
  }
}

void TQdJpeg::DecodeMcu(int column, int row) {
  const int mcuWidth = 8 * MaxH;
  alignas(16) uint8_t samples[64];
  for (int i = 0; i < ScanComponents; ++i) {
    const int h = HSamp[i], v = VSamp[i];
    const int hs = MaxH / h, vs = MaxV / v;
    for (int by = 0; by < v; ++by) {
      for (int bx = 0; bx < h; ++bx) {
        DecodeBlock(i, samples, 8);
        for (int y = 0; y < 8; ++y) {
          const uint8_t* src = samples + 8 * y;
          for (int dy = 0; dy < vs; ++dy) {
            const size_t line = static_cast<size_t>((8 * by + y) * vs + dy);
            uint8_t* dest = McuBuffer.data() + (line * mcuWidth + size_t{8} * bx * hs) * 3 + i;
            for (int x = 0; x < 8 * hs; ++x)
              dest[3 * x] = src[x / hs];
          }
        }
      }
    }
  }

  const int nc = ScanComponents;
  const size_t left = static_cast<size_t>(column) * mcuWidth;
  for (int y = 0; y < 8 * MaxV; ++y) {
    const size_t line = static_cast<size_t>(row) * 8 * MaxV + y;
    uint8_t* out = Pixels.data() + (line * FrameWidth + left) * nc;
    const uint8_t* in = McuBuffer.data() + static_cast<size_t>(y) * mcuWidth * 3;
    if (nc == 3) {
      std::copy(in, in + mcuWidth * 3, out);
    } else {
      for (int x = 0; x < mcuWidth; ++x)
        out[x] = in[3 * x];
    }
  }
}

namespace {

// Reads bytes in behind the unconsumed bits, each FF's stuffed byte skipped unseen, until at
// least 57 bits wait or the data ends; bits behind the end are never taken (the takers check).
inline void FillBits(uint64_t& buffer, int32_t& left, size_t& cursor, const uint8_t* data,
                     size_t size) {
  if (cursor <= size && size - cursor >= 8) {
    uint64_t word;
    std::memcpy(&word, data + cursor, 8);
    word = __builtin_bswap64(word);
    const uint64_t inverse = ~word;
    // Eight bytes none of which is FF: as many whole ones as fit go in at once. The bits of a
    // part byte behind them are that next byte's own, so reading it in again later changes none.
    if (((inverse - 0x0101010101010101ull) & word & 0x8080808080808080ull) == 0) {
      const int bytes = (64 - left) >> 3;
      buffer |= word >> left;
      left += 8 * bytes;
      cursor += static_cast<size_t>(bytes);
      return;
    }
  }
  while (left <= 56 && cursor < size) {
    const uint8_t b = data[cursor];
    cursor += b == 0xFF ? 2 : 1;
    buffer |= uint64_t{b} << (56 - left);
    left += 8;
  }
}

} // namespace

// Entropy decoding, dequantisation and the transform of one block of scan component i. The bit
// reader's state lives in locals here, written back around the rare slow decodes.
void TQdJpeg::DecodeBlock(int component, uint8_t* samples, ptrdiff_t stride) {
  constexpr int look = TQdHuffTable::kLookBits;
  const uint8_t* quant = QuantTables[QuantIndex[component]];
  uint64_t buffer = BitBuffer;
  int32_t left = BitsLeft;
  size_t cursor = Cursor;
  const auto fill = [&] {
    if (left < 32) FillBits(buffer, left, cursor, FileData, FileSize);
  };
  const auto take = [&](int count) {
    if (count > left) Bad();
    buffer <<= count;
    left -= count;
  };
  const auto receive = [&](int count) -> uint16_t {
    if (count == 0) return 0;
    if (left < count) {
      FillBits(buffer, left, cursor, FileData, FileSize);
      if (left < count) Bad();
    }
    const auto v = static_cast<uint16_t>(buffer >> (64 - count));
    buffer <<= count;
    left -= count;
    return v;
  };
  const auto slow = [&](const TQdHuffTable& t) -> int {
    BitBuffer = buffer;
    BitsLeft = left;
    Cursor = cursor;
    const int symbol = DecodeHuffmanSlow(t);
    buffer = BitBuffer;
    left = BitsLeft;
    cursor = Cursor;
    return symbol;
  };
  int count = 0;
  const auto put = [&](int k, int16_t value) {
    Block[count] = static_cast<int16_t>(value * quant[k]);
    BlockPositions[count++] = qdjpeg::ZigZagToRow[k];
  };

  const TQdHuffTable& dcTable = HuffTables[DcTableIndex[component]];
  fill();
  uint32_t entry = dcTable.Fast[buffer >> (64 - look)];
  uint16_t diff;
  if (entry >> 16) {
    take(entry & 0xFF);
    diff = static_cast<uint16_t>(entry >> 16);
  } else {
    int t;
    if (entry) {
      take(entry & 0xFF);
      t = (entry >> 8) & 0xFF;
    } else {
      t = slow(dcTable);
    }
    // A difference wider than 16 bits cannot be held; baseline files stay within 11.
    if (t > 16) Bad();
    diff = receive(t);
    if (t > 0 && diff < (1u << (t - 1))) diff = static_cast<uint16_t>(diff + (0xFFFFu << t) + 1);
  }
  const auto dc = static_cast<int16_t>(static_cast<int16_t>(diff) + DcPred[component]);
  DcPred[component] = dc;
  if (static_cast<int16_t>(dc * quant[0]) != 0) put(0, dc);

  const TQdHuffTable& acTable = HuffTables[16 + AcTableIndex[component]];
  const uint32_t* fast = acTable.Fast.data();
  for (int k = 1;;) {
    fill();
    entry = fast[buffer >> (64 - look)];
    if (entry >> 16) {
      // Run, size and the coefficient's bits in one.
      take(entry & 0xFF);
      k += (entry >> 12) & 15;
      if (k > 63) Bad();
      put(k, static_cast<int16_t>(entry >> 16));
      if (k == 63) break;
      ++k;
      continue;
    }
    int rs;
    if (entry) {
      take(entry & 0xFF);
      rs = (entry >> 8) & 0xFF;
    } else {
      rs = slow(acTable);
    }
    const int r = rs >> 4, s = rs & 15;
    if (s == 0) {
      if (r != 15) break;
      // Sixteen zeros may reach the end of the block, but no further.
      k += 16;
      if (k > 64) Bad();
      continue;
    }
    k += r;
    if (k > 63) Bad();
    uint16_t v = receive(s);
    if (v < (1u << (s - 1))) v = static_cast<uint16_t>(v + (0xFFFFu << s) + 1);
    put(k, static_cast<int16_t>(v));
    if (k == 63) break;
    ++k;
  }
  BitBuffer = buffer;
  BitsLeft = left;
  Cursor = cursor;

  qdjpeg::InverseDct(Block, BlockPositions, count, samples, stride);
}

// Where the one-bit-at-a-time reader would stand: behind the byte whose bits are being consumed.
size_t TQdJpeg::RestartCursor() const {
  size_t at = Cursor;
  for (int j = 0; j < BitsLeft / 8; ++j) {
    const unsigned b = (BitBuffer >> (64 - BitsLeft + 8 * j)) & 0xFF;
    at -= b == 0xFF ? 2 : 1;
  }
  return at;
}

// The canonical search, one code length after another, on the next 16 bits.
uint8_t TQdJpeg::DecodeHuffmanSlow(const TQdHuffTable& t) {
  if (BitsLeft < 16) FillBits(BitBuffer, BitsLeft, Cursor, FileData, FileSize);
  const auto next = static_cast<unsigned>(BitBuffer >> 48);
  int l = 1;
  unsigned code = next >> 15;
  while (t.MaxCode[l] < code || t.MaxCode[l] == 0xFFFF) {
    if (l == 16) Bad();
    ++l;
    code = next >> (16 - l);
  }
  if (l > BitsLeft) Bad();
  const int64_t index = int64_t{t.ValPtr[l]} + code - t.MinCode[l];
  if (index < 0 || index >= t.CodeCount) Bad();
  BitBuffer <<= l;
  BitsLeft -= l;
  return t.Symbols[static_cast<size_t>(index)];
}

// converted: the scan wrote its pixels in their final colours already.
void TQdJpeg::ConvertColours(bool converted) {
  const size_t count = size_t{FrameWidth} * FrameHeight;
  uint8_t* p = Pixels.data();
  if (converted) {
  } else if (ScanComponents == 3) {
    for (size_t i = 0; i < count; ++i, p += 3)
      qdjpeg::YCbCrToBgr(p[0], p[1], p[2], p);
  } else if (ScanComponents == 1) {
    // Backwards, so each grey byte is read before its three output bytes cover it.
    for (size_t i = count; i-- > 0;) {
      const uint8_t y = p[i];
      p[3 * i] = p[3 * i + 1] = p[3 * i + 2] = y;
    }
  }

  const int32_t stride = qdjpeg::PictureStride(ImageWidth);
  if (FrameWidth == ImageWidth && FrameHeight == ImageHeight) return;
  std::vector<uint8_t> cut(static_cast<size_t>(stride) * ImageHeight);
  const size_t paddedRow = size_t{3} * FrameWidth;
  for (int32_t y = 0; y < ImageHeight; ++y)
    std::memcpy(cut.data() + static_cast<size_t>(y) * stride, Pixels.data() + y * paddedRow,
                static_cast<size_t>(stride));
  Pixels.swap(cut);
  FrameWidth = static_cast<uint16_t>(ImageWidth);
  FrameHeight = static_cast<uint16_t>(ImageHeight);
}

bool TQdJpeg::HasPicture() const {
  return !Pixels.empty() &&
         Pixels.size() >= static_cast<size_t>(qdjpeg::PictureStride(FrameWidth)) * FrameHeight;
}

bool TQdJpeg::CopyPixelsTo(void* dest, int32_t pitch, const uint8_t* palette, int bits) const {
  if (bits != 8 && bits != 15 && bits != 16 && bits != 24 && bits != 32) return false;
  if (bits == 8 && palette == nullptr) return false;
  const int32_t w = FrameWidth, h = FrameHeight;
  if (w == 0 || h == 0) return true;
  if (!HasPicture()) return false;

  const int32_t stride = qdjpeg::PictureStride(w);
  auto* base = static_cast<uint8_t*>(dest);
  for (int32_t y = 0; y < h; ++y) {
    const uint8_t* s = Pixels.data() + static_cast<size_t>(y) * stride;
    uint8_t* d = base + static_cast<ptrdiff_t>(y) * pitch;
    switch (bits) {
    case 32:
      qdjpeg::BgrRowToPixel32(s, d, w);
      break;
    case 24:
      std::memcpy(d, s, static_cast<size_t>(3) * w);
      break;
    case 16:
    case 15:
      for (int32_t x = 0; x < w; ++x, s += 3) {
        const uint16_t v = bits == 16 ? qdjpeg::PackPixel16(s[0], s[1], s[2])
                                      : qdjpeg::PackPixel15(s[0], s[1], s[2]);
        d[2 * x] = static_cast<uint8_t>(v);
        d[2 * x + 1] = static_cast<uint8_t>(v >> 8);
      }
      break;
    default:
      for (int32_t x = 0; x < w; ++x, s += 3)
        d[x] = qdjpeg::NearestPaletteIndex(s[0], s[1], s[2], palette);
      break;
    }
  }
  return true;
}
