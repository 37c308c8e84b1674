#include "support/jpeg_writer.h"

#include <cstdlib>
#include <stdexcept>

namespace testjpeg {

HuffCodes DcTable() {
  HuffCodes t;
  t.bits[1] = 2;
  t.bits[2] = 2;
  t.bits[4] = 2;
  t.bits[5] = 12;
  for (int v = 0; v <= 17; ++v)
    t.values.push_back(static_cast<uint8_t>(v));
  return t;
}

HuffCodes AcTable() {
  HuffCodes t;
  t.bits[1] = 1;
  t.bits[8] = 255;
  for (int v = 0; v <= 255; ++v)
    t.values.push_back(static_cast<uint8_t>(v));
  return t;
}

void BitWriter::PutByte(uint8_t b) {
  bytes.push_back(b);
  if (b == 0xFF) bytes.push_back(0);
}

void BitWriter::Put(uint32_t value, int count) {
  for (int i = count - 1; i >= 0; --i) {
    acc_ = (acc_ << 1) | ((value >> i) & 1);
    if (++count_ == 8) {
      PutByte(static_cast<uint8_t>(acc_));
      acc_ = 0;
      count_ = 0;
    }
  }
}

void BitWriter::PutSymbol(const HuffCodes& table, uint8_t symbol) {
  uint32_t code = 0;
  size_t k = 0;
  for (int len = 1; len <= 16; ++len, code <<= 1) {
    for (int i = 0; i < table.bits[len - 1]; ++i, ++k, ++code) {
      if (table.values[k] == symbol) return Put(code, len);
    }
  }
  throw std::logic_error("symbol not in table");
}

int BitWriter::Category(int value) {
  int m = std::abs(value), c = 0;
  while (m) {
    ++c;
    m >>= 1;
  }
  return c;
}

void BitWriter::PutValue(int value) {
  const int c = Category(value);
  if (c) Put(static_cast<uint32_t>(value < 0 ? value + (1 << c) - 1 : value), c);
}

void BitWriter::Flush() {
  if (count_) Put(0xFF, 8 - count_);
}

Builder& Builder::Raw(std::initializer_list<uint8_t> bytes) {
  data.insert(data.end(), bytes);
  return *this;
}

Builder& Builder::Append(const std::vector<uint8_t>& bytes) {
  data.insert(data.end(), bytes.begin(), bytes.end());
  return *this;
}

Builder& Builder::Segment(uint8_t marker, const std::vector<uint8_t>& body) {
  const size_t len = body.size() + 2;
  Raw({0xFF, marker, static_cast<uint8_t>(len >> 8), static_cast<uint8_t>(len)});
  return Append(body);
}

Builder& Builder::Dqt(uint8_t destination, uint8_t value) {
  std::vector<uint8_t> body{destination};
  body.insert(body.end(), 64, value);
  return Segment(0xDB, body);
}

Builder& Builder::Dht(std::initializer_list<std::pair<uint8_t, HuffCodes>> tables) {
  std::vector<uint8_t> body;
  for (const auto& [slot, t] : tables) {
    body.push_back(slot);
    body.insert(body.end(), t.bits.begin(), t.bits.end());
    body.insert(body.end(), t.values.begin(), t.values.end());
  }
  return Segment(0xC4, body);
}

Builder& Builder::StandardTables() {
  return Dht({{0x00, DcTable()}, {0x10, AcTable()}});
}

Builder& Builder::Sof0(uint16_t width, uint16_t height, const std::vector<Component>& components) {
  std::vector<uint8_t> body{8,
                            static_cast<uint8_t>(height >> 8),
                            static_cast<uint8_t>(height),
                            static_cast<uint8_t>(width >> 8),
                            static_cast<uint8_t>(width),
                            static_cast<uint8_t>(components.size())};
  for (const auto& c : components) {
    body.push_back(c.id);
    body.push_back(static_cast<uint8_t>(c.h << 4 | c.v));
    body.push_back(c.tq);
  }
  return Segment(0xC0, body);
}

Builder& Builder::Sos(const std::vector<uint8_t>& ids) {
  std::vector<uint8_t> body{static_cast<uint8_t>(ids.size())};
  for (uint8_t id : ids) {
    body.push_back(id);
    body.push_back(0x00);
  }
  body.insert(body.end(), {0, 63, 0});
  return Segment(0xDA, body);
}

Builder& Builder::Dri(uint16_t interval) {
  return Segment(0xDD, {static_cast<uint8_t>(interval >> 8), static_cast<uint8_t>(interval)});
}

std::vector<uint8_t> EncodeScan(const std::vector<Coefs>& blocks,
                                const std::vector<int>& blockComponents, int restartInterval,
                                bool writeMarkers) {
  const HuffCodes dc = DcTable(), ac = AcTable();
  BitWriter w;
  int pred[3] = {};
  const size_t perMcu = blockComponents.size();
  int mcu = 0, marker = 0;
  for (size_t b = 0; b < blocks.size(); ++b) {
    if (b % perMcu == 0 && b > 0) {
      ++mcu;
      if (restartInterval > 0 && mcu % restartInterval == 0 && writeMarkers) {
        w.Flush();
        w.bytes.push_back(0xFF);
        w.bytes.push_back(static_cast<uint8_t>(0xD0 + marker));
        marker = (marker + 1) & 7;
        pred[0] = pred[1] = pred[2] = 0;
      }
    }
    const int comp = blockComponents[b % perMcu];
    const Coefs& c = blocks[b];
    const int diff = c[0] - pred[comp];
    pred[comp] = c[0];
    w.PutSymbol(dc, static_cast<uint8_t>(BitWriter::Category(diff)));
    w.PutValue(diff);
    int run = 0;
    for (int k = 1; k < 64; ++k) {
      if (c[k] == 0) {
        ++run;
        continue;
      }
      for (; run > 15; run -= 16)
        w.PutSymbol(ac, 0xF0);
      const int s = BitWriter::Category(c[k]);
      w.PutSymbol(ac, static_cast<uint8_t>(run << 4 | s));
      w.PutValue(c[k]);
      run = 0;
    }
    if (run > 0) w.PutSymbol(ac, 0x00);
  }
  w.Flush();
  return w.bytes;
}

std::vector<uint8_t> GreyPicture(uint16_t width, uint16_t height, const std::vector<int>& dc) {
  std::vector<Coefs> blocks;
  for (int v : dc) {
    Coefs c{};
    c[0] = static_cast<int16_t>(v);
    blocks.push_back(c);
  }
  Builder b;
  b.Soi().Dqt(0, 1).Sof0(width, height, {{1, 1, 1, 0}}).StandardTables().Sos({1});
  return b.Append(EncodeScan(blocks, {0})).Eoi().data;
}

} // namespace testjpeg
