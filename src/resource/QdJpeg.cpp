// UQdJPEG front half: file, marker segments, tables, the scan loop and entropy decoding.
#include "resource/QdJpeg.h"

#include "resource/QdJpegPixels.h"
#include "resource/QdStream.h"

#include <algorithm>

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
    for (unsigned prefix = 0; prefix < 256; ++prefix) {
      for (int l = 1; l <= 8; ++l) {
        const unsigned c = prefix >> (8 - l);
        if (t.MaxCode[l] < c || t.MaxCode[l] == 0xFFFF) continue;
        const int64_t index = int64_t{t.ValPtr[l]} + c - t.MinCode[l];
        if (index >= 0 && index < count)
          t.Fast[prefix] = static_cast<uint16_t>(l << 8 | t.Symbols[static_cast<size_t>(index)]);
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
  DropPicture();
  Pixels.assign(size_t{FrameWidth} * FrameHeight * 3, 0);
  for (int i = 0; i < ScanComponents; ++i)
    DcPred[i] = 0;
  McuBuffer.assign(size_t{MaxH} * MaxV * 192, 0);
  Cursor = ReadPos;

  unsigned counter = 0;
  for (int row = 0; row < rows; ++row) {
    for (int column = 0; column < columns; ++column) {
      DecodeMcu(column, row);
      if (++counter == RestartInterval) {
        counter = 0;
        if (ByteAt(Cursor) == 0xFF && (ByteAt(Cursor + 1) >> 4) == 0xD) {
          Cursor += 2;
          BitsLeft = 0;
          DcPred[0] = DcPred[1] = DcPred[2] = 0;
        }
      }
    }
  }
  McuBuffer.clear();
  ConvertColours();
}

void TQdJpeg::DecodeMcu(int column, int row) {
  const int mcuWidth = 8 * MaxH;
  uint8_t samples[64];
  for (int i = 0; i < ScanComponents; ++i) {
    const int h = HSamp[i], v = VSamp[i];
    const int hs = MaxH / h, vs = MaxV / v;
    for (int by = 0; by < v; ++by) {
      for (int bx = 0; bx < h; ++bx) {
        DecodeBlockCoefficients(i);
        qdjpeg::TransformBlock(Block, QuantTables[QuantIndex[i]], samples);
        for (int y = 0; y < 8; ++y) {
          const uint8_t* src = samples + 8 * y;
          for (int dy = 0; dy < vs; ++dy) {
            const size_t line = static_cast<size_t>((8 * by + y) * vs + dy);
            uint8_t* dest = McuBuffer.data() + (line * mcuWidth + size_t{8} * bx * hs) * 3 + i;
            if (hs == 1) {
              for (int x = 0; x < 8; ++x)
                dest[3 * x] = src[x];
            } else if (hs == 2) {
              for (int x = 0; x < 8; ++x)
                dest[6 * x] = dest[6 * x + 3] = src[x];
            } else {
              for (int x = 0; x < 8 * hs; ++x)
                dest[3 * x] = src[x / hs];
            }
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

void TQdJpeg::DecodeBlockCoefficients(int component) {
  const int t = DecodeHuffman(DcTableIndex[component]);
  // A difference wider than 16 bits cannot be held; baseline files stay within 11.
  if (t > 16) Bad();
  uint16_t diff = ReceiveBits(t);
  if (t > 0 && diff < (1u << (t - 1))) diff = static_cast<uint16_t>(diff + (0xFFFFu << t) + 1);
  Block[0] = static_cast<int16_t>(diff);

  std::fill(Block + 1, Block + 64, int16_t{0});
  const int acSlot = 16 + AcTableIndex[component];
  for (int k = 1;;) {
    const uint8_t rs = DecodeHuffman(acSlot);
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
    uint16_t v = ReceiveBits(s);
    if (v < (1u << (s - 1))) v = static_cast<uint16_t>(v + (0xFFFFu << s) + 1);
    Block[k] = static_cast<int16_t>(v);
    if (k == 63) break;
    ++k;
  }

  Block[0] = static_cast<int16_t>(Block[0] + DcPred[component]);
  DcPred[component] = Block[0];
}

uint8_t TQdJpeg::NextByte() {
  if (Cursor >= FileSize) Bad();
  return FileData[Cursor++];
}

void TQdJpeg::LoadByte() {
  CurrentByte = NextByte();
  BitsLeft = 8;
  // The stuffed zero behind a data byte FF is skipped unseen.
  if (CurrentByte == 0xFF) ++Cursor;
}

int TQdJpeg::NextBit() {
  if (BitsLeft == 0) LoadByte();
  const int bit = CurrentByte >> 7;
  CurrentByte = static_cast<uint8_t>(CurrentByte << 1);
  --BitsLeft;
  return bit;
}

// ReceiveBits and SkipBits take whole runs of the current byte at a time; the bits and bytes they
// consume are exactly those of calling NextBit count times.
uint16_t TQdJpeg::ReceiveBits(int count) {
  unsigned v = 0;
  while (count > 0) {
    if (BitsLeft == 0) LoadByte();
    const int take = std::min(count, BitsLeft);
    v = v << take | static_cast<unsigned>(CurrentByte >> (8 - take));
    CurrentByte = static_cast<uint8_t>(CurrentByte << take);
    BitsLeft -= take;
    count -= take;
  }
  return static_cast<uint16_t>(v);
}

void TQdJpeg::SkipBits(int count) {
  while (count > 0) {
    if (BitsLeft == 0) LoadByte();
    const int take = std::min(count, BitsLeft);
    CurrentByte = static_cast<uint8_t>(CurrentByte << take);
    BitsLeft -= take;
    count -= take;
  }
}

uint8_t TQdJpeg::DecodeHuffman(int slot) {
  const TQdHuffTable& t = HuffTables[slot];
  // The next 8 bits, when the data holds them: the rest of the current byte and the next byte.
  if (BitsLeft == 8 || Cursor < FileSize) {
    // A restart leaves stale bits in CurrentByte behind BitsLeft = 0: take only the live ones.
    const unsigned live = CurrentByte & (0xFF00u >> BitsLeft) & 0xFF;
    const unsigned window = BitsLeft == 8 ? live : (live | FileData[Cursor] >> BitsLeft) & 0xFF;
    if (const uint16_t hit = t.Fast[window]) {
      SkipBits(hit >> 8);
      return static_cast<uint8_t>(hit);
    }
  }
  unsigned code = static_cast<unsigned>(NextBit());
  int l = 1;
  while (t.MaxCode[l] < code || t.MaxCode[l] == 0xFFFF) {
    if (l == 16) Bad();
    code = 2 * code + static_cast<unsigned>(NextBit());
    ++l;
  }
  const int64_t index = int64_t{t.ValPtr[l]} + code - t.MinCode[l];
  if (index < 0 || index >= t.CodeCount) Bad();
  return t.Symbols[static_cast<size_t>(index)];
}
