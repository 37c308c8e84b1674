#include "resource/QdJpeg.h"
#include "support/jpeg_writer.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

using namespace testjpeg;

namespace {

// DC coefficient whose flat block comes out at 128 + level (quantisation 1).
int Dc(int level) {
  return level >= 0 ? 8 * level + 4 : 8 * level - 4;
}

std::vector<uint8_t> Pixels24(const TQdJpeg& jpeg) {
  std::vector<uint8_t> out(size_t{3} * jpeg.Width() * jpeg.Height());
  EXPECT_TRUE(jpeg.CopyPixelsTo(out.data(), 3 * jpeg.Width(), nullptr, 24));
  return out;
}

bool Load(TQdJpeg& jpeg, const std::vector<uint8_t>& file) {
  return jpeg.LoadFromMemory(file.data(), file.size());
}

// Grey 16 by 8 picture of two flat blocks, from its parts, so one part can be broken at a time.
struct GreyParts {
  std::vector<uint8_t> dqt = Builder().Dqt(0, 1).data;
  std::vector<uint8_t> dht = Builder().StandardTables().data;
  std::vector<uint8_t> sof = Builder().Sof0(16, 8, {{1, 1, 1, 0}}).data;
  std::vector<uint8_t> sos = Builder().Sos({1}).data;
  std::vector<uint8_t> scan = EncodeScan({Coefs{static_cast<int16_t>(Dc(10))}, Coefs{}}, {0});
  std::vector<uint8_t> File() const {
    return Builder().Soi().Append(dqt).Append(dht).Append(sof).Append(sos).Append(scan).Eoi().data;
  }
};

} // namespace

TEST(JpegDecoder, GreyPictureFromFileAndOpeningRules) {
  TempDir dir;
  TQdJpeg jpeg;
  EXPECT_FALSE(jpeg.LoadFromFile(dir.file("missing.jpg")));
  EXPECT_FALSE(jpeg.LoadFromFile(dir.write("empty.jpg", "")));
  auto bytes = GreyParts().File();
  ASSERT_TRUE(jpeg.LoadFromFile(dir.write("grey.jpg", std::string(bytes.begin(), bytes.end()))));
  ASSERT_EQ(jpeg.Width(), 16);
  ASSERT_EQ(jpeg.Height(), 8);
  auto px = Pixels24(jpeg); // one component: blue = green = red = Y, 8 by 8 MCUs
  EXPECT_EQ(px[0], 138);
  EXPECT_EQ(px[3 * 7 + 2], 138);
  EXPECT_EQ(px[3 * 8], 128);
  EXPECT_EQ(px[3 * 8 + 1], 128);
  EXPECT_EQ(px[3 * 16 * 7 + 3 * 15 + 2], 128);

  // Tables persist across loads; a progressive frame is never handled (true, no picture).
  GreyParts noTables;
  noTables.dht.clear();
  noTables.dqt.clear();
  ASSERT_TRUE(Load(jpeg, noTables.File()));
  EXPECT_EQ(Pixels24(jpeg)[0], 138);
  TQdJpeg other;
  EXPECT_TRUE(
      Load(other, Builder().Soi().Segment(0xC2, {8, 0, 8, 0, 8, 1, 1, 0x11, 0}).Eoi().data));
  EXPECT_EQ(other.Width(), 0);
  EXPECT_FALSE(other.HasPicture());
}

TEST(JpegDecoder, SubsampledColourPictureIsPaddedToMcusAndCut) {
  // 100 by 75 with luminance 2x2 and chroma 1x1: 7 by 5 MCUs of 16 by 16. Each luminance block
  // of an MCU has its own level; red is raised by 28 in even-numbered MCUs.
  std::vector<Coefs> blocks;
  for (int m = 0; m < 35; ++m) {
    for (int b = 0; b < 4; ++b)
      blocks.push_back(Coefs{static_cast<int16_t>(Dc(10 * b - 20))});
    blocks.push_back(Coefs{});
    blocks.push_back(Coefs{static_cast<int16_t>(m % 2 == 0 ? Dc(20) : 0)});
  }
  auto file = Builder()
                  .Soi()
                  .Dqt(0, 1)
                  .Sof0(100, 75, {{1, 2, 2, 0}, {2, 1, 1, 0}, {3, 1, 1, 0}})
                  .StandardTables()
                  .Sos({1, 2, 3})
                  .Append(EncodeScan(blocks, {0, 0, 0, 0, 1, 2}))
                  .Eoi()
                  .data;
  TQdJpeg jpeg;
  ASSERT_TRUE(Load(jpeg, file));
  ASSERT_EQ(jpeg.Width(), 100);
  ASSERT_EQ(jpeg.Height(), 75);
  auto px = Pixels24(jpeg);
  for (int y = 0; y < 75; ++y) {
    for (int x = 0; x < 100; ++x) {
      const int b = (y / 8 % 2) * 2 + x / 8 % 2, m = (y / 16) * 7 + x / 16;
      const int grey = 128 + 10 * b - 20;
      const uint8_t* p = &px[3 * (y * 100 + x)];
      ASSERT_EQ(p[0], grey) << x << "," << y;
      ASSERT_EQ(p[2], m % 2 == 0 ? grey + 28 : grey) << x << "," << y; // 1.402 * 20 = 28.04
    }
  }
}

TEST(JpegDecoder, RestartIntervalResetsPredictorsOnlyAtMarkers) {
  std::vector<Coefs> blocks;
  std::vector<int> levels{5, 9, 13, 17, 21, 25, 29, 33, 37, 41};
  for (int l : levels)
    blocks.push_back(Coefs{static_cast<int16_t>(Dc(l))});
  auto check = [&](const std::vector<uint8_t>& file) {
    TQdJpeg jpeg;
    ASSERT_TRUE(Load(jpeg, file));
    ASSERT_EQ(jpeg.Width(), 80);
    auto px = Pixels24(jpeg);
    for (int i = 0; i < 10; ++i)
      EXPECT_EQ(px[3 * 8 * i], 128 + levels[i]) << i;
  };
  auto build = [&](int interval, bool markers) {
    return Builder()
        .Soi()
        .Dri(static_cast<uint16_t>(interval))
        .Dqt(0, 1)
        .Sof0(80, 8, {{1, 1, 1, 0}})
        .StandardTables()
        .Sos({1})
        .Append(EncodeScan(blocks, {0}, interval, markers))
        .Eoi()
        .data;
  };
  check(build(4, true)); // resets after MCUs 4 and 8
  {
    TQdJpeg jpeg;
    auto file = build(4, true);
    ASSERT_TRUE(Load(jpeg, file));
    EXPECT_EQ(jpeg.GetRestartInterval(), 4);
  }
  check(build(4, false)); // markers missing: decoding goes on without a reset
  check(build(5, true));  // the interval ends with the last MCU, in front of the end of image
}

TEST(JpegDecoder, StuffedZeroIsSkipped) {
  // DC 516 takes 18 bits; the next difference of 255 then puts eight one bits into a whole byte.
  GreyParts parts;
  parts.scan = EncodeScan({Coefs{516}, Coefs{771}}, {0});
  bool stuffed = false;
  for (size_t i = 0; i + 1 < parts.scan.size(); ++i)
    stuffed |= parts.scan[i] == 0xFF && parts.scan[i + 1] == 0;
  ASSERT_TRUE(stuffed);
  TQdJpeg jpeg;
  ASSERT_TRUE(Load(jpeg, parts.File()));
  auto px = Pixels24(jpeg);
  EXPECT_EQ(px[0], 192);
  EXPECT_EQ(px[3 * 8], 224);
}

TEST(JpegDecoder, SegmentsWithSeveralTablesFillTheirSlots) {
  std::vector<uint8_t> dqt{0};
  dqt.insert(dqt.end(), 64, 3);
  dqt.push_back(1);
  dqt.insert(dqt.end(), 64, 5);
  auto file = Builder()
                  .Soi()
                  .Segment(0xE0, {'J', 'F', 'I', 'F', 0})
                  .Segment(0xDB, dqt)
                  .Dht({{0x00, DcTable()}, {0x10, AcTable()}, {0x01, DcTable()}, {0x11, AcTable()}})
                  .Segment(0xFE, {'h', 'i'})
                  .Dqt(7, 1)
                  .Sof0(8, 8, {{1, 1, 1, 7}})
                  .Sos({1})
                  .Append(EncodeScan({Coefs{static_cast<int16_t>(Dc(3))}}, {0}))
                  .Eoi()
                  .data;
  TQdJpeg jpeg;
  ASSERT_TRUE(Load(jpeg, file));
  EXPECT_EQ(jpeg.QuantTable(0)[0], 3);
  EXPECT_EQ(jpeg.QuantTable(1)[63], 5);
  for (int slot : {0, 1})
    EXPECT_EQ(jpeg.HuffTable(slot).CodeCount, 18);
  for (int slot : {16, 17})
    EXPECT_EQ(jpeg.HuffTable(slot).CodeCount, 256);
  EXPECT_EQ(jpeg.HuffTable(2).CodeCount, 0);
  EXPECT_EQ(jpeg.HuffTable(16).MaxCode[1], 0xFFFF);
  EXPECT_EQ(jpeg.HuffTable(16).MaxCode[2], 0);
  EXPECT_EQ(jpeg.HuffTable(16).MinCode[9], 1 << 7);
  EXPECT_EQ(jpeg.HuffTable(16).ValPtr[9], 1);
  EXPECT_EQ(Pixels24(jpeg)[0], 131); // destination 7 after the comment was used
}

// Every input that would take the decoder outside its buffers ends in false with no picture
// (size 0 by 0), each case on a fresh decoder.
TEST(JpegBadInput, EachFaultEndsInFalseWithoutPicture) {
  std::vector<std::pair<const char*, std::vector<uint8_t>>> cases;
  auto add = [&](const char* name, const std::vector<uint8_t>& file) {
    cases.emplace_back(name, file);
  };
  auto variant = [&](const char* name, auto change) {
    GreyParts p;
    change(p);
    add(name, p.File());
  };
  auto scanBits = [](auto write) {
    BitWriter w;
    write(w, DcTable(), AcTable());
    w.Flush();
    return w.bytes;
  };
  const auto good = GreyParts().File();

  auto noSoi = good;
  noSoi[1] = 0xD7;
  add("no start of image", noSoi);
  add("lone FF", {0xFF});
  add("D8 before FF", {0xD8, 0xFF});

  add("skipped segment longer than the file", Builder().Soi().Raw({0xFF, 0xE1, 0x40, 0, 1}).data);
  add("skipped segment length cut", Builder().Soi().Raw({0xFF, 0xE1, 0x40}).data);
  add("restart interval cut", Builder().Soi().Raw({0xFF, 0xDD, 0, 4, 0}).data);
  const size_t dqtEnd = 2 + 69, dhtEnd = dqtEnd + GreyParts().dht.size();
  for (size_t cut : {size_t{10}, dqtEnd - 1, dqtEnd + 30, dhtEnd - 5, dhtEnd + 12, dhtEnd + 22})
    add("segment cut short", std::vector<uint8_t>(good.begin(), good.begin() + ptrdiff_t(cut)));
  variant("symbol count past the end", [](GreyParts& p) {
    p.dht = Builder().Segment(0xC4, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 200}).data;
    p.sof = p.sos = p.scan = {};
  });
  variant("frame components past the end", [](GreyParts& p) {
    p.sof = Builder().Raw({0xFF, 0xC0, 0, 8, 8, 0, 8, 0, 16, 3, 1, 0x11}).data;
    p.sos = p.scan = {};
  });
  auto noEnd = GreyParts();
  noEnd.scan.resize(1);
  auto truncated = noEnd.File();
  truncated.resize(truncated.size() - 2);
  add("entropy data past the end", truncated);

  variant("code longer than 16 bits", [](GreyParts& p) {
    HuffCodes longOnly;
    longOnly.bits[15] = 1;
    longOnly.values = {0};
    p.dht = Builder().Dht({{0x00, longOnly}, {0x10, AcTable()}}).data;
    p.scan = {0xFE, 0xFE, 0xFE, 0xFE, 0xFE};
  });
  for (uint8_t last : {uint8_t{0x21}, uint8_t{0xF0}}) {
    variant("AC run past 63", [&](GreyParts& p) {
      p.scan = scanBits([&](BitWriter& w, const HuffCodes& dc, const HuffCodes& ac) {
        w.PutSymbol(dc, 0);
        for (int i = 0; i < 3; ++i)
          w.PutSymbol(ac, 0xF0); // k = 49
        w.PutSymbol(ac, 0xD1);   // k = 62
        w.Put(1, 1);
        w.PutSymbol(ac, last); // a run of 2, or 16 zeros
        w.Put(1, 1);
        w.PutSymbol(ac, 0);
      });
    });
  }
  variant("DC difference of 17 bits", [&](GreyParts& p) {
    p.scan = scanBits([](BitWriter& w, const HuffCodes& dc, const HuffCodes&) {
      w.PutSymbol(dc, 17);
      w.Put(0, 17);
    });
  });

  for (uint8_t slot : {uint8_t{0x04}, uint8_t{0x14}, uint8_t{0x20}}) {
    variant("Huffman destination out of range", [&](GreyParts& p) {
      p.dht = Builder().Dht({{0x00, DcTable()}, {0x10, AcTable()}, {slot, DcTable()}}).data;
    });
  }
  variant("scan AC table 4", [](GreyParts& p) {
    p.sos = Builder().Segment(0xDA, {1, 1, 0x04, 0, 63, 0}).data;
  });
  variant("frame quantisation table 16", [](GreyParts& p) {
    p.sof = Builder().Sof0(16, 8, {{1, 1, 1, 16}}).data;
  });
  variant("Huffman table without codes", [](GreyParts& p) {
    p.dht = Builder().Dht({{0x00, DcTable()}, {0x10, HuffCodes{}}}).data;
  });
  variant("AC table never defined", [](GreyParts& p) {
    p.dht = Builder().Dht({{0x00, DcTable()}}).data;
  });
  variant("DC table 1 never defined", [](GreyParts& p) {
    p.sos = Builder().Segment(0xDA, {1, 1, 0x10, 0, 63, 0}).data;
  });

  for (uint8_t n : {0, 4}) {
    variant("frame component count", [&](GreyParts& p) {
      std::vector<uint8_t> body{8, 0, 8, 0, 16, n};
      for (int i = 0; i < n; ++i)
        body.insert(body.end(), {uint8_t(i + 1), 0x11, 0});
      p.sof = Builder().Segment(0xC0, body).data;
    });
  }
  for (uint8_t n : {0, 2, 4}) {
    variant("scan component count", [&](GreyParts& p) {
      p.sof = Builder().Sof0(16, 8, {{1, 1, 1, 0}, {2, 1, 1, 0}, {3, 1, 1, 0}}).data;
      std::vector<uint8_t> body{n};
      for (int i = 0; i < n; ++i)
        body.insert(body.end(), {uint8_t(i + 1), 0});
      body.insert(body.end(), {0, 63, 0});
      p.sos = Builder().Segment(0xDA, body).data;
    });
  }
  variant("scan with more components than the frame", [](GreyParts& p) {
    p.sos = Builder().Sos({1, 2, 3}).data;
  });
  variant("scan without a frame", [](GreyParts& p) { p.sof.clear(); });
  for (uint8_t hv : {0x01, 0x10}) {
    variant("sampling factor 0", [&](GreyParts& p) {
      p.sof = Builder().Segment(0xC0, {8, 0, 8, 0, 16, 1, 1, hv, 0}).data;
    });
  }
  for (auto [w, h] : {std::pair{0, 8}, std::pair{16, 0}, std::pair{65535, 65535},
                      std::pair{65535, 8}, std::pair{60000, 60000}, std::pair{4096, 4096}}) {
    // Empty, beyond 16 bits once padded, beyond 64 Mpixel, more blocks than the data can hold.
    variant("frame size", [&](GreyParts& p) {
      p.sof = Builder().Sof0(uint16_t(w), uint16_t(h), {{1, 1, 1, 0}}).data;
    });
  }

  for (const auto& [name, file] : cases) {
    TQdJpeg jpeg;
    EXPECT_FALSE(Load(jpeg, file)) << name;
    EXPECT_FALSE(jpeg.HasPicture()) << name;
    EXPECT_EQ(jpeg.Width() + jpeg.Height(), 0) << name;
  }
}

TEST(JpegBadInput, NeighboursOfTheFaultsAreAccepted) {
  // Sixteen zeros that reach coefficient 63 exactly, then end of block; quantisation table 15.
  GreyParts edge;
  BitWriter w;
  w.PutSymbol(DcTable(), 0);
  for (int i = 0; i < 3; ++i)
    w.PutSymbol(AcTable(), 0xF0);
  w.PutSymbol(AcTable(), 0xE1); // k = 63
  w.Put(1, 1);
  w.PutSymbol(DcTable(), 0);
  w.PutSymbol(AcTable(), 0);
  w.Flush();
  edge.scan = w.bytes;
  edge.dqt = Builder().Dqt(15, 1).data;
  edge.sof = Builder().Sof0(16, 8, {{1, 1, 1, 15}}).data;
  TQdJpeg jpeg;
  EXPECT_TRUE(Load(jpeg, edge.File()));
  EXPECT_TRUE(jpeg.HasPicture());
}

TEST(JpegBadInput, FrameWithoutScanReportsItsSizeButNoPicture) {
  GreyParts p;
  auto file = Builder().Soi().Append(p.dqt).Append(p.sof).Eoi().data;
  TQdJpeg jpeg;
  ASSERT_TRUE(Load(jpeg, GreyParts().File()));
  EXPECT_FALSE(Load(jpeg, file));
  EXPECT_EQ(jpeg.Width(), 16);
  EXPECT_EQ(jpeg.Height(), 8);
  EXPECT_FALSE(jpeg.HasPicture());
  std::vector<uint8_t> dest(16 * 8 * 4, 0xAB);
  EXPECT_FALSE(jpeg.CopyPixelsTo(dest.data(), 64, nullptr, 32));
  EXPECT_TRUE(std::all_of(dest.begin(), dest.end(), [](uint8_t b) { return b == 0xAB; }));
}

TEST(JpegBadInput, RandomDamageNeverLeavesTheBuffers) {
  // A colour picture with AC detail and restarts, damaged at random; decoding must stay inside
  // its buffers (the sanitizer build checks) and a picture, when there is one, must be whole.
  std::vector<Coefs> blocks;
  uint32_t seed = 12345;
  auto rnd = [&seed] { return seed = seed * 1664525u + 1013904223u, seed >> 8; };
  for (int i = 0; i < 6 * 6; ++i) {
    Coefs c{};
    for (int k = 0; k < 64; k += 1 + int(rnd() % 9))
      c[k] = int16_t(int(rnd() % 81) - 40);
    blocks.push_back(c);
  }
  auto good = Builder()
                  .Soi()
                  .Dri(2)
                  .Dqt(0, 2)
                  .Sof0(30, 20, {{1, 2, 2, 0}, {2, 1, 1, 0}, {3, 1, 1, 0}})
                  .StandardTables()
                  .Sos({1, 2, 3})
                  .Append(EncodeScan(blocks, {0, 0, 0, 0, 1, 2}, 2))
                  .Eoi()
                  .data;
  TQdJpeg check;
  ASSERT_TRUE(Load(check, good));
  int pictures = 0;
  for (int round = 0; round < 3000; ++round) {
    auto file = good;
    const int damage = 1 + int(rnd() % 4);
    for (int d = 0; d < damage; ++d)
      file[rnd() % file.size()] = uint8_t(rnd());
    if (round % 5 == 0) file.resize(rnd() % file.size() + 1);
    TQdJpeg jpeg;
    const bool ok = Load(jpeg, file);
    std::vector<uint8_t> out(size_t{4} * jpeg.Width() * jpeg.Height() + 1);
    const bool copied = jpeg.CopyPixelsTo(out.data(), 4 * jpeg.Width(), nullptr, 32);
    if (ok) {
      EXPECT_TRUE(copied);
      pictures += jpeg.HasPicture();
    }
  }
  EXPECT_GT(pictures, 300); // most damage still leaves a decodable file
}
