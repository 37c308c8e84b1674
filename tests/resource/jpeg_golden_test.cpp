// Checksums of decoded pictures recorded from the decoder as it stood before it was made fast:
// any change to a single output pixel, to a result, or to where a damaged file fails shows here.
#include "resource/QdJpeg.h"
#include "support/jpeg_writer.h"

#include <gtest/gtest.h>

#ifdef KESTROVE_HAVE_TURBOJPEG
#include <turbojpeg.h>
#endif

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

using namespace testjpeg;

namespace {

struct Golden {
  const char* name;
  uint64_t input;  // checksum of the file bytes
  uint64_t output; // checksum of the decoded picture in every output format
};

uint64_t Fnv(uint64_t h, const void* data, size_t size) {
  const auto* p = static_cast<const uint8_t*>(data);
  for (size_t i = 0; i < size; ++i)
    h = (h ^ p[i]) * 0x100000001B3ull;
  return h;
}
constexpr uint64_t kFnvStart = 0xCBF29CE484222325ull;

// Fixed-sequence generator, so the pictures are the same everywhere.
struct Lcg {
  uint32_t s;
  uint32_t Next() {
    s = s * 1664525u + 1013904223u;
    return s >> 8;
  }
};

std::vector<uint8_t> Palette() {
  std::vector<uint8_t> p(1024);
  Lcg g{7};
  for (auto& b : p)
    b = static_cast<uint8_t>(g.Next());
  return p;
}

uint64_t DecodeChecksum(const std::vector<uint8_t>& file) {
  TQdJpeg jpeg;
  const bool ok = jpeg.LoadFromMemory(file.data(), file.size());
  const int w = jpeg.Width(), h = jpeg.Height();
  const uint8_t head[6] = {ok,         jpeg.HasPicture(), uint8_t(w), uint8_t(w >> 8),
                           uint8_t(h), uint8_t(h >> 8)};
  uint64_t sum = Fnv(kFnvStart, head, sizeof head);
  if (!jpeg.HasPicture()) return sum;
  static const std::vector<uint8_t> palette = Palette();
  for (int bits : {32, 24, 16, 15, 8}) {
    // The palette search is slow: big pictures skip it.
    if (bits == 8 && w * h > 100 * 100) continue;
    const int pitch = (bits + 7) / 8 * w + 5;
    std::vector<uint8_t> out(size_t(pitch) * h, 0xA5);
    EXPECT_TRUE(jpeg.CopyPixelsTo(out.data(), pitch, palette.data(), bits));
    sum = Fnv(sum, out.data(), out.size());
  }
  return sum;
}

void Check(const std::string& name, const std::vector<uint8_t>& file, const Golden* table,
           size_t count, int* skipped) {
  const uint64_t input = Fnv(kFnvStart, file.data(), file.size());
  const uint64_t output = DecodeChecksum(file);
  for (size_t i = 0; i < count; ++i) {
    if (name != table[i].name) continue;
    // Files from another encoder version are not the recorded ones: nothing to compare.
    if (input != table[i].input) {
      ++*skipped;
      return;
    }
    EXPECT_EQ(output, table[i].output) << name;
    return;
  }
  ADD_FAILURE() << "unrecorded: {\"" << name << "\", 0x" << std::hex << input << "ull, 0x" << output
                << "ull},";
}

// Ones' bits, zeroed bytes, a cut end and stray markers, at places spread over the scan data.
std::vector<std::pair<std::string, std::vector<uint8_t>>> Damaged(const std::vector<uint8_t>& f) {
  size_t scan = 0;
  for (size_t i = 0; i + 1 < f.size(); ++i)
    if (f[i] == 0xFF && f[i + 1] == 0xDA) scan = i;
  std::vector<std::pair<std::string, std::vector<uint8_t>>> out;
  const size_t data = f.size() - scan;
  for (int k = 1; k <= 3; ++k) {
    const size_t at = scan + data * k / 4;
    auto flip = f;
    flip[at] ^= 0x5A;
    out.emplace_back("flip" + std::to_string(k), flip);
    auto zero = f;
    std::fill(zero.begin() + at, zero.begin() + std::min(at + 8, f.size()), 0);
    out.emplace_back("zero" + std::to_string(k), zero);
    out.emplace_back("cut" + std::to_string(k), std::vector<uint8_t>(f.begin(), f.begin() + at));
    auto marker = f;
    if (at + 1 >= f.size()) continue;
    marker[at] = 0xFF;
    marker[at + 1] = static_cast<uint8_t>(0xD0 + k);
    out.emplace_back("rst" + std::to_string(k), marker);
  }
  auto ones = f;
  std::fill(ones.begin() + scan + data / 2, ones.end() - 2, 0xFF);
  out.emplace_back("ones", ones);
  out.emplace_back("noeoi", std::vector<uint8_t>(f.begin(), f.end() - 2));
  return out;
}

// Hand-made pictures, independent of any encoder: coefficients at the limits, layouts that
// libjpeg-turbo never writes.
const Golden kMade[] = {
    {"extreme 444", 0xf1cd54861ca758fdull, 0x478f52aeadca99f0ull},
    {"extreme 444 flip1", 0x52222d86d18c627bull, 0xe41c3884edbf93f5ull},
    {"extreme 444 zero1", 0x2dc597be0b299486ull, 0x557148225e797878ull},
    {"extreme 444 cut1", 0x9f4b406df01144e5ull, 0xd7e4fcfa299d713dull},
    {"extreme 444 rst1", 0x1898ddd9bd4ec39eull, 0xd7e4fcfa299d713dull},
    {"extreme 444 flip2", 0x3d4d8239c2c928e3ull, 0xd7e4fcfa299d713dull},
    {"extreme 444 zero2", 0x5d3ab748cc592022ull, 0xacd648724b9d91f3ull},
    {"extreme 444 cut2", 0x66dcb7df6a77bafdull, 0xd7e4fcfa299d713dull},
    {"extreme 444 rst2", 0x4bc8b33198ff3836ull, 0xd7e4fcfa299d713dull},
    {"extreme 444 flip3", 0xc08e894f4badaacfull, 0xd7e4fcfa299d713dull},
    {"extreme 444 zero3", 0x292515cebe7fe606ull, 0x965d36882197216dull},
    {"extreme 444 cut3", 0x12b1d251491bc85ull, 0xd7e4fcfa299d713dull},
    {"extreme 444 rst3", 0x946b0d1e705dbba2ull, 0xd7e4fcfa299d713dull},
    {"extreme 444 ones", 0x684a42082808ee67ull, 0xd7e4fcfa299d713dull},
    {"extreme 444 noeoi", 0x14d93130b0ec2dadull, 0x478f52aeadca99f0ull},
    {"wide 420", 0xe8d4d791776c6897ull, 0xfca56cec7b48731bull},
    {"wide 420 flip1", 0xb5375d699ef46d51ull, 0xd7e4fcfa299d713dull},
    {"wide 420 zero1", 0xd069381e560f34fbull, 0xd7e4fcfa299d713dull},
    {"wide 420 cut1", 0x9be2805695c68497ull, 0xd7e4fcfa299d713dull},
    {"wide 420 rst1", 0xea4f4e2a2e81a66ull, 0xd7e4fcfa299d713dull},
    {"wide 420 flip2", 0x695fa949891328e1ull, 0xd7e4fcfa299d713dull},
    {"wide 420 zero2", 0xf077c8a4a3057c5bull, 0xd7e4fcfa299d713dull},
    {"wide 420 cut2", 0xd87c7ee6342831e9ull, 0xd7e4fcfa299d713dull},
    {"wide 420 rst2", 0xec75a21f6853835eull, 0xd7e4fcfa299d713dull},
    {"wide 420 flip3", 0xd42d30bdecfeb195ull, 0xd7e4fcfa299d713dull},
    {"wide 420 zero3", 0xc06c8be812693494ull, 0x130baeb084227739ull},
    {"wide 420 cut3", 0xf2d7b78549b045d0ull, 0xd7e4fcfa299d713dull},
    {"wide 420 rst3", 0x263708021bf62d63ull, 0xd7e4fcfa299d713dull},
    {"wide 420 ones", 0x87e2c61e22ef6c48ull, 0xd7e4fcfa299d713dull},
    {"wide 420 noeoi", 0xab95102bc708dda3ull, 0xfca56cec7b48731bull},
    {"sparse 420", 0x2747d05b9818b86eull, 0xc07c971161fdcebull},
    {"sparse 420 flip1", 0x10e598418a78bdf8ull, 0x56a72fcf5bfbfb14ull},
    {"sparse 420 zero1", 0x9ca8184dfe82f6b8ull, 0xd7e4fcfa299d713dull},
    {"sparse 420 cut1", 0x79aa01b793ec04full, 0xd7e4fcfa299d713dull},
    {"sparse 420 rst1", 0x948ae033468cc23eull, 0xd7e4fcfa299d713dull},
    {"sparse 420 flip2", 0xabe73db31a7b2088ull, 0xd7e4fcfa299d713dull},
    {"sparse 420 zero2", 0x637dc3eac9cf9274ull, 0x6e038f6320ae5d23ull},
    {"sparse 420 cut2", 0x89af1102ad24380dull, 0xd7e4fcfa299d713dull},
    {"sparse 420 rst2", 0xecf46e330e5626c1ull, 0xd7e4fcfa299d713dull},
    {"sparse 420 flip3", 0x9fc44a87aa807cc0ull, 0xd7e4fcfa299d713dull},
    {"sparse 420 zero3", 0x6f3d7f7d326cbb2ull, 0xaf529dd8ce9b4dcfull},
    {"sparse 420 cut3", 0x4afef6a2b644a29bull, 0xd7e4fcfa299d713dull},
    {"sparse 420 rst3", 0x7a5da0fb6763fd56ull, 0xd7e4fcfa299d713dull},
    {"sparse 420 ones", 0x560e008c758069d3ull, 0xd7e4fcfa299d713dull},
    {"sparse 420 noeoi", 0x13c9a8f37ddf968eull, 0xc07c971161fdcebull},
    {"grey 2x2", 0x221d7cad802eadc9ull, 0x5cf16423ac18d4e4ull},
    {"grey 2x2 flip1", 0x59d05639a4a012f7ull, 0xd7e4fcfa299d713dull},
    {"grey 2x2 zero1", 0x5bbe77d6eeb2b36dull, 0x22b12973e3a4197aull},
    {"grey 2x2 cut1", 0xd2560cab06eeec3bull, 0xd7e4fcfa299d713dull},
    {"grey 2x2 rst1", 0x2943e88efd6f16cull, 0xd7e4fcfa299d713dull},
    {"grey 2x2 flip2", 0xba32506003be181full, 0xd7e4fcfa299d713dull},
    {"grey 2x2 zero2", 0x572102deec251726ull, 0xddd419034c574d23ull},
    {"grey 2x2 cut2", 0x3d1acec583ab6d06ull, 0xd7e4fcfa299d713dull},
    {"grey 2x2 rst2", 0xd36d88fef14583e8ull, 0xd7e4fcfa299d713dull},
    {"grey 2x2 flip3", 0xd0912f900092abdbull, 0xd7e4fcfa299d713dull},
    {"grey 2x2 zero3", 0xe17f29509e341d4aull, 0x5cf16423ac18d4e4ull},
    {"grey 2x2 cut3", 0xce25e5f2e1e13db2ull, 0xd7e4fcfa299d713dull},
    {"grey 2x2 rst3", 0x2f4953d0be84648aull, 0xd7e4fcfa299d713dull},
    {"grey 2x2 ones", 0x1dec851f12e72faaull, 0xd7e4fcfa299d713dull},
    {"grey 2x2 noeoi", 0x3635b1e61091c971ull, 0x5cf16423ac18d4e4ull},
    {"grey dense", 0x3a319dbe37f7b62full, 0x95b1aeed8c5102c8ull},
    {"grey dense flip1", 0x6ee1a31e203a2c0dull, 0xf875a79dc7854ccbull},
    {"grey dense zero1", 0x7b34a41b196a3fc6ull, 0x48f0c465a80145cbull},
    {"grey dense cut1", 0x92bda84b5b359511ull, 0xd7e4fcfa299d713dull},
    {"grey dense rst1", 0xefd07858ef9e48dbull, 0xd7e4fcfa299d713dull},
    {"grey dense flip2", 0x44d76a1c70be8cadull, 0x8edc2f9c9d5a95a6ull},
    {"grey dense zero2", 0xfe794b1e714d968cull, 0x781a2e83c7826c8full},
    {"grey dense cut2", 0x7f804e8be20fd057ull, 0xd7e4fcfa299d713dull},
    {"grey dense rst2", 0xc7b1a4358dbefed4ull, 0xd7e4fcfa299d713dull},
    {"grey dense flip3", 0x1bef35bd59e674d1ull, 0x95b1aeed8c5102c8ull},
    {"grey dense zero3", 0x137fa05e5dd91e08ull, 0x8db0cf6fd18a5facull},
    {"grey dense cut3", 0x11b7a88f0bf8b5adull, 0xd7e4fcfa299d713dull},
    {"grey dense rst3", 0x36b4820254e358eeull, 0xd7e4fcfa299d713dull},
    {"grey dense ones", 0xb876e3f93fa57248ull, 0xd7e4fcfa299d713dull},
    {"grey dense noeoi", 0x4dd7ed95322d717bull, 0x95b1aeed8c5102c8ull},
    {"3x1 with 2x1", 0xe4dfa0effbcde50cull, 0xfcd38cbc37f089d3ull},
    {"3x1 with 2x1 flip1", 0x575bc5ac8150ced2ull, 0xd7e4fcfa299d713dull},
    {"3x1 with 2x1 zero1", 0x770bf36afebf0d91ull, 0xc0e0c9b2fb1e2d37ull},
    {"3x1 with 2x1 cut1", 0x1cc545d58c9e65caull, 0xd7e4fcfa299d713dull},
    {"3x1 with 2x1 rst1", 0xacea74cbc74967d8ull, 0xd7e4fcfa299d713dull},
    {"3x1 with 2x1 flip2", 0xe233b337cf042ce2ull, 0xd7e4fcfa299d713dull},
    {"3x1 with 2x1 zero2", 0x18117a87a7e23a3eull, 0x8404177650408e9full},
    {"3x1 with 2x1 cut2", 0x1e67311c59173a00ull, 0xd7e4fcfa299d713dull},
    {"3x1 with 2x1 rst2", 0x6e0cc07cf6aa858aull, 0xd7e4fcfa299d713dull},
    {"3x1 with 2x1 flip3", 0x1e2f825718696daull, 0xd7e4fcfa299d713dull},
    {"3x1 with 2x1 zero3", 0x42012a356f35e815ull, 0x670f879567073399ull},
    {"3x1 with 2x1 cut3", 0xdff17a3a7e23795bull, 0xd7e4fcfa299d713dull},
    {"3x1 with 2x1 rst3", 0x43873dfa6d9f3195ull, 0xd7e4fcfa299d713dull},
    {"3x1 with 2x1 ones", 0x6b7a61daa565187dull, 0xd7e4fcfa299d713dull},
    {"3x1 with 2x1 noeoi", 0x1ecef4739041c610ull, 0xfcd38cbc37f089d3ull},
    {"luma 1x1 chroma 2x1", 0x2b15918a1a81d6f2ull, 0x44705d0fff7597ebull},
    {"luma 1x1 chroma 2x1 flip1", 0xaa026829cf95510cull, 0xd7e4fcfa299d713dull},
    {"luma 1x1 chroma 2x1 zero1", 0x3f5e2ffa8a308adaull, 0x66e3de5e5799b235ull},
    {"luma 1x1 chroma 2x1 cut1", 0x93eef0b2462750deull, 0xd7e4fcfa299d713dull},
    {"luma 1x1 chroma 2x1 rst1", 0x8a9ae655e1aa6021ull, 0xd7e4fcfa299d713dull},
    {"luma 1x1 chroma 2x1 flip2", 0xf7e6a5eaec492ff0ull, 0xd7e4fcfa299d713dull},
    {"luma 1x1 chroma 2x1 zero2", 0x24fc59a7245fc634ull, 0x8e84c848bb58426dull},
    {"luma 1x1 chroma 2x1 cut2", 0x5a49f69e6c178c61ull, 0xd7e4fcfa299d713dull},
    {"luma 1x1 chroma 2x1 rst2", 0x8ff2b4bd1dea813aull, 0xd7e4fcfa299d713dull},
    {"luma 1x1 chroma 2x1 flip3", 0x250df80f64b3bf74ull, 0xd7e4fcfa299d713dull},
    {"luma 1x1 chroma 2x1 zero3", 0xa69430924c925c60ull, 0xe1d27f4abd72cdc7ull},
    {"luma 1x1 chroma 2x1 cut3", 0xa6d47701b3fe40a6ull, 0xd7e4fcfa299d713dull},
    {"luma 1x1 chroma 2x1 rst3", 0x3e731c73fe61a322ull, 0xd7e4fcfa299d713dull},
    {"luma 1x1 chroma 2x1 ones", 0xbc113acee85c1840ull, 0xd7e4fcfa299d713dull},
    {"luma 1x1 chroma 2x1 noeoi", 0x45ce6f1e7129379aull, 0x44705d0fff7597ebull},
    {"one of three", 0x9838b86d8341a9cull, 0x42221f0fe3ab49c2ull},
    {"one of three flip1", 0x3c42d13bd61c76aeull, 0xd7e4fcfa299d713dull},
    {"one of three zero1", 0x7eabce1a3addbbe8ull, 0x78696862c9cf9eecull},
    {"one of three cut1", 0xa3d05159b1ff915ull, 0xd7e4fcfa299d713dull},
    {"one of three rst1", 0x5a8d3700a5e0bceull, 0xd7e4fcfa299d713dull},
    {"one of three flip2", 0x5b995eb065e1d1eeull, 0x64925c180f164db8ull},
    {"one of three zero2", 0x720f5361c4c23171ull, 0x30148149bb32b388ull},
    {"one of three cut2", 0x62938603e465e8d6ull, 0xd7e4fcfa299d713dull},
    {"one of three rst2", 0xe93b5a594cecd13dull, 0xd7e4fcfa299d713dull},
    {"one of three flip3", 0x973fdd2884c5edc2ull, 0xd7e4fcfa299d713dull},
    {"one of three zero3", 0xd99df14ea851bcfeull, 0x5cf24c75f85035beull},
    {"one of three cut3", 0x80bb7b522ccb55acull, 0xd7e4fcfa299d713dull},
    {"one of three rst3", 0x5ab7519b03361d4bull, 0xd7e4fcfa299d713dull},
    {"one of three ones", 0x4dd307828471e98full, 0xd7e4fcfa299d713dull},
    {"one of three noeoi", 0x851b38910226260ull, 0x42221f0fe3ab49c2ull},
    {"restart 420", 0xe49ade4e8211a60ull, 0x74ab02fc3f9b7544ull},
    {"restart 420 flip1", 0x37ec5fd07693adf6ull, 0xd7e4fcfa299d713dull},
    {"restart 420 zero1", 0x61354c1be02c44bfull, 0xd7e4fcfa299d713dull},
    {"restart 420 cut1", 0x5fc7442f15d82810ull, 0xd7e4fcfa299d713dull},
    {"restart 420 rst1", 0xee3521786c935f23ull, 0xd7e4fcfa299d713dull},
    {"restart 420 flip2", 0xbc7bfb94ebfb0a4aull, 0xd7e4fcfa299d713dull},
    {"restart 420 zero2", 0x55cf4fd4557f9d82ull, 0xd7e4fcfa299d713dull},
    {"restart 420 cut2", 0x8ab71edbe06f9ddbull, 0xd7e4fcfa299d713dull},
    {"restart 420 rst2", 0x58ab622fdeed4fb7ull, 0xd7e4fcfa299d713dull},
    {"restart 420 flip3", 0x14e20061d0bb50aull, 0xd7e4fcfa299d713dull},
    {"restart 420 zero3", 0xa4e0b5884d9b3517ull, 0xd7e4fcfa299d713dull},
    {"restart 420 cut3", 0xcc8130cf24e1b2ecull, 0xd7e4fcfa299d713dull},
    {"restart 420 rst3", 0xb2fefac2bb2c2b0bull, 0xd7e4fcfa299d713dull},
    {"restart 420 ones", 0xe9f0c3022d0ad581ull, 0xd7e4fcfa299d713dull},
    {"restart 420 noeoi", 0x44ad38f77f91a85cull, 0x74ab02fc3f9b7544ull},
};

std::vector<Coefs> RandomBlocks(size_t count, uint32_t seed, int limit, int density) {
  Lcg g{seed};
  std::vector<Coefs> blocks(count);
  for (auto& b : blocks) {
    b[0] = static_cast<int16_t>(int(g.Next() % (2 * limit + 1)) - limit);
    for (int k = 1; k < 64; ++k)
      if (int(g.Next() % 100) < density)
        b[k] = static_cast<int16_t>(int(g.Next() % (2 * limit + 1)) - limit);
  }
  return blocks;
}

std::vector<uint8_t> Made(uint16_t w, uint16_t h, const std::vector<Component>& comps,
                          const std::vector<Coefs>& blocks, const std::vector<int>& order,
                          uint8_t quant, int restart = 0) {
  Builder b;
  b.Soi();
  if (restart) b.Dri(static_cast<uint16_t>(restart));
  b.Dqt(0, quant).Sof0(w, h, comps).StandardTables();
  std::vector<uint8_t> ids;
  for (size_t i = 0; i < comps.size() && i < 3; ++i)
    ids.push_back(comps[i].id);
  std::vector<int> scanOrder = order;
  return b.Sos(ids).Append(EncodeScan(blocks, scanOrder, restart)).Eoi().data;
}

} // namespace

TEST(JpegGolden, HandMadePictures) {
  struct Case {
    std::string name;
    std::vector<uint8_t> file;
  };
  const std::vector<Component> yuv420{{1, 2, 2, 0}, {2, 1, 1, 0}, {3, 1, 1, 0}};
  const std::vector<Component> yuv444{{1, 1, 1, 0}, {2, 1, 1, 0}, {3, 1, 1, 0}};
  std::vector<Case> cases;
  // Sums far beyond 16 bits after the transform; products that wrap in dequantisation.
  cases.push_back(
      {"extreme 444", Made(24, 16, yuv444, RandomBlocks(18, 1, 2047, 40), {0, 1, 2}, 255)});
  cases.push_back(
      {"wide 420", Made(37, 21, yuv420, RandomBlocks(36, 2, 300, 25), {0, 0, 0, 0, 1, 2}, 3)});
  cases.push_back(
      {"sparse 420", Made(48, 32, yuv420, RandomBlocks(36, 3, 60, 4), {0, 0, 0, 0, 1, 2}, 2)});
  cases.push_back(
      {"grey 2x2", Made(20, 20, {{1, 2, 2, 0}}, RandomBlocks(16, 4, 200, 10), {0, 0, 0, 0}, 1)});
  cases.push_back(
      {"grey dense", Made(16, 8, {{1, 1, 1, 0}}, RandomBlocks(2, 5, 1000, 100), {0}, 7)});
  // Chroma that covers only part of each MCU: the rest keeps what the previous MCU left there.
  cases.push_back({"3x1 with 2x1", Made(50, 8, {{1, 3, 1, 0}, {2, 2, 1, 0}, {3, 1, 1, 0}},
                                        RandomBlocks(18, 6, 100, 15), {0, 0, 0, 1, 1, 2}, 1)});
  // Luminance sampled below the chroma; one component scanned of three.
  cases.push_back({"luma 1x1 chroma 2x1", Made(32, 8, {{1, 1, 1, 0}, {2, 2, 1, 0}, {3, 2, 1, 0}},
                                               RandomBlocks(10, 7, 100, 15), {0, 1, 1, 2, 2}, 1)});
  {
    auto f = Made(32, 16, {{1, 2, 1, 0}, {2, 1, 1, 0}, {3, 1, 1, 0}}, RandomBlocks(8, 8, 100, 15),
                  {0, 0}, 1);
    // The scan header names one component of the frame's three.
    for (size_t i = 0; i + 5 < f.size(); ++i)
      if (f[i] == 0xFF && f[i + 1] == 0xDA) {
        f = Builder()
                .Append(std::vector<uint8_t>(f.begin(), f.begin() + i))
                .Sos({1})
                .Append(EncodeScan(RandomBlocks(8, 8, 100, 15), {0, 0}))
                .Eoi()
                .data;
        break;
      }
    cases.push_back({"one of three", f});
  }
  cases.push_back({"restart 420",
                   Made(64, 32, yuv420, RandomBlocks(48, 9, 150, 20), {0, 0, 0, 0, 1, 2}, 4, 3)});
  for (auto& c : cases) {
    int skipped = 0;
    Check(c.name, c.file, kMade, std::size(kMade), &skipped);
    for (auto& [what, file] : Damaged(c.file))
      Check(c.name + " " + what, file, kMade, std::size(kMade), &skipped);
    EXPECT_EQ(skipped, 0);
  }
}

#ifdef KESTROVE_HAVE_TURBOJPEG

namespace {

const Golden kTurbo[] = {
    {"420 640x480 q85", 0x29b1267805aa39cfull, 0xd79516496efbf9cull},
    {"444 75x53 q20", 0x7f256133bf3781dcull, 0x291fb862feef65eull},
    {"444 75x53 q75", 0x6d5cec3de6a4a215ull, 0xc5835f5607457608ull},
    {"444 75x53 q100", 0x6285d7cded383c44ull, 0x70a1679f20c6d610ull},
    {"444 33x17 q20", 0x2652dadd2435b541ull, 0xf1af0b06ba68b006ull},
    {"444 33x17 q75", 0xbc4db54d0aebf103ull, 0xdb1c1662d32c194ull},
    {"444 33x17 q100", 0x97812983a80fcb0eull, 0xdac284c272137d32ull},
    {"444 8x8 q20", 0x201da9c59ea48261ull, 0xfd794005f5f3fd9full},
    {"444 8x8 q75", 0x3a4b6de668a8d3ddull, 0x6bab47be37b0e577ull},
    {"444 8x8 q100", 0xafa9c4cb5332bf6full, 0xf66ff343471d550bull},
    {"422 75x53 q20", 0x29cc180d4f7ad482ull, 0xfd7c99efa2b9f6afull},
    {"422 75x53 q75", 0x6d87eabb5db7769aull, 0x81b0e772545315e8ull},
    {"422 75x53 q100", 0xaa7de7762a7bfa7cull, 0x9fecb14208904325ull},
    {"422 33x17 q20", 0x984d8f8a529c45aaull, 0xe2b60cd024432766ull},
    {"422 33x17 q75", 0xac9ae4485f5fcbcfull, 0x467de4650a650597ull},
    {"422 33x17 q100", 0x1766bdadf1e20a79ull, 0x598c10ba7d5ea223ull},
    {"422 8x8 q20", 0x8d1cffa34a84045bull, 0xfd794005f5f3fd9full},
    {"422 8x8 q75", 0x4af121a3de0266c3ull, 0x6bab47be37b0e577ull},
    {"422 8x8 q100", 0xa0894ecec83941cull, 0xc8324b3fb4e011d0ull},
    {"420 75x53 q20", 0x1f6e9a6fc853225dull, 0x2403115acc079efdull},
    {"420 75x53 q75", 0xaa30f3084fcb3b2eull, 0x1d34c9b748a9dfc5ull},
    {"420 75x53 q100", 0x653e86e5b45ce484ull, 0x37019f3cd97e1171ull},
    {"420 33x17 q20", 0x65fb27fc68fd8e3cull, 0x2306d5347fdfbcb6ull},
    {"420 33x17 q75", 0x5b093fc9bcc7cd04ull, 0x2813671ead34b707ull},
    {"420 33x17 q100", 0x308f2725a1d2d8a5ull, 0xde0cf7323d7a9ee6ull},
    {"420 8x8 q20", 0x8d212ce6de9730b2ull, 0xfd794005f5f3fd9full},
    {"420 8x8 q75", 0x888aa4e1c4322b3aull, 0x845cbf650ab5f907ull},
    {"420 8x8 q100", 0xcb28a4af7cdcc249ull, 0xa137f37bf04da191ull},
    {"440 75x53 q20", 0x4773188a50099242ull, 0xbe2c793cd1263f42ull},
    {"440 75x53 q75", 0x1ce7f2cb6f0ae72bull, 0xc9b9cdf734991461ull},
    {"440 75x53 q100", 0x212434b106cf5a86ull, 0x946e82616ded3206ull},
    {"440 33x17 q20", 0x5d8ffa32991fd12cull, 0x7c19a2d81fdb42cfull},
    {"440 33x17 q75", 0x8208605cc6fd3c3aull, 0x9e9460a42610586aull},
    {"440 33x17 q100", 0x22f9112ea150d366ull, 0x90b65d9310b40771ull},
    {"440 8x8 q20", 0xda960efb168bafceull, 0xfd794005f5f3fd9full},
    {"440 8x8 q75", 0xfc1598e9c87d06d5ull, 0x40306f4dbdb3d0a9ull},
    {"440 8x8 q100", 0x491a0e6decc93382ull, 0x9f9c57d94b5f9856ull},
    {"411 75x53 q20", 0x48fe30710783acdbull, 0x34757ef6316647a6ull},
    {"411 75x53 q75", 0x8ded4b73505dcd77ull, 0x49c1290ca52e97ecull},
    {"411 75x53 q100", 0x3f5cd92215843adcull, 0x58e9daaae484eb37ull},
    {"411 33x17 q20", 0xfcb497488a3878c5ull, 0xb9f632f1cb6be6aull},
    {"411 33x17 q75", 0x41ecbd4929e979f8ull, 0x9a0fb26c6c01dd1eull},
    {"411 33x17 q100", 0x7cc790f9982e7bd4ull, 0xcecaecba8b7b2f1bull},
    {"411 8x8 q20", 0x1ca5de08d58aa3f5ull, 0xfd794005f5f3fd9full},
    {"411 8x8 q75", 0xe35a1277a9f71e76ull, 0xe949c2a8a72ebbbbull},
    {"411 8x8 q100", 0xdb4450fba02ef5ffull, 0x8821e24ba55e6484ull},
    {"grey 75x53 q20", 0x31a64cd40aa039eaull, 0xfa518ea13a609e94ull},
    {"grey 75x53 q75", 0x5dd95a2f7698a831ull, 0x4aa03b1ba918698aull},
    {"grey 75x53 q100", 0x2488a6f00f4747f2ull, 0x6fa5d0b52f015797ull},
    {"grey 33x17 q20", 0x5ef429ee5dfb789dull, 0x57e91791ec1b7ea1ull},
    {"grey 33x17 q75", 0x9c34bd2f3952af11ull, 0x714ca47dc31ef696ull},
    {"grey 33x17 q100", 0x6b9bf475f6486000ull, 0x53c0937e7f2c90a6ull},
    {"grey 8x8 q20", 0x8c5b5bcab3d34b2dull, 0xc612244e9cce9bffull},
    {"grey 8x8 q75", 0x8f98d28f5d8493c3ull, 0xcc25350f22530ca3ull},
    {"grey 8x8 q100", 0x9af4c20c1ba70033ull, 0x1635973c6af4fe4full},
    {"444 160x120 q95 restart 2", 0xac05aa8f6827f800ull, 0x4158b5b88e8f5c1cull},
    {"420 75x53 q90 restart 1", 0x8970e3a5ea2ff0cdull, 0xeca1a76aec83026eull},
    {"420 75x53 q90 restart 1 flip1", 0x6dbbbff58bc6d2dbull, 0xd7e4fcfa299d713dull},
    {"420 75x53 q90 restart 1 zero1", 0xb847f2f38bd2a636ull, 0xd7e4fcfa299d713dull},
    {"420 75x53 q90 restart 1 cut1", 0x674f8c226920a4f1ull, 0xd7e4fcfa299d713dull},
    {"420 75x53 q90 restart 1 rst1", 0xbb9d7880b0e0e7eeull, 0xd7e4fcfa299d713dull},
    {"420 75x53 q90 restart 1 flip2", 0x544f56da98f0c9efull, 0xd7e4fcfa299d713dull},
    {"420 75x53 q90 restart 1 zero2", 0x6de9ead1aa1ecfaeull, 0xd7e4fcfa299d713dull},
    {"420 75x53 q90 restart 1 cut2", 0xd9ec4400f29aa9d0ull, 0xd7e4fcfa299d713dull},
    {"420 75x53 q90 restart 1 rst2", 0x291e0cb7c4c7b11full, 0xd7e4fcfa299d713dull},
    {"420 75x53 q90 restart 1 flip3", 0x8b6a81352e40d2afull, 0xbdfab781fa966f62ull},
    {"420 75x53 q90 restart 1 zero3", 0x67711aa986885ee8ull, 0xb1817c8bd49cea4aull},
    {"420 75x53 q90 restart 1 cut3", 0xc8556d9d34942ed4ull, 0xd7e4fcfa299d713dull},
    {"420 75x53 q90 restart 1 rst3", 0x5b75ebb2c916afcbull, 0x59e11f844fdf3666ull},
    {"420 75x53 q90 restart 1 ones", 0x528c5ae0f4f9b0d0ull, 0xd7e4fcfa299d713dull},
    {"420 75x53 q90 restart 1 noeoi", 0x8ee24f6315bf5e3dull, 0xeca1a76aec83026eull},
    {"420 640x480 q85 flip1", 0xe662ecef02b04ae9ull, 0xf5dfd16bcbfa8682ull},
    {"420 640x480 q85 zero1", 0x7501eeba42388655ull, 0x3c0b54d68781b5faull},
    {"420 640x480 q85 cut1", 0x5783ab2ec860833bull, 0xd7e4fcfa299d713dull},
    {"420 640x480 q85 rst1", 0x3b5ac38a033566c6ull, 0x7822147c0c88f207ull},
    {"420 640x480 q85 flip2", 0x1989d563f92987a1ull, 0x48470f1355c5dc7full},
    {"420 640x480 q85 zero2", 0x2c9960e2b9f3f02eull, 0x39a344ef729b3eb4ull},
    {"420 640x480 q85 cut2", 0x62c03259946a68b8ull, 0xd7e4fcfa299d713dull},
    {"420 640x480 q85 rst2", 0x1155f9229e1ca73eull, 0x625ae45260ddec6ull},
    {"420 640x480 q85 flip3", 0xd559e925a8ef7df5ull, 0x5078563b8cbe7f4aull},
    {"420 640x480 q85 zero3", 0x4612275f41e38e03ull, 0x77788233ba38f582ull},
    {"420 640x480 q85 cut3", 0x808007b6705bbecdull, 0xd7e4fcfa299d713dull},
    {"420 640x480 q85 rst3", 0x45462b465f7bbba4ull, 0xd7e4fcfa299d713dull},
    {"420 640x480 q85 ones", 0x9a8879694ed850b1ull, 0xd7e4fcfa299d713dull},
    {"420 640x480 q85 noeoi", 0xec2ea4198b63a95bull, 0xd79516496efbf9cull},
};

std::vector<uint8_t> Picture(int w, int h) {
  // Gradients, ripples, hard edges and a little noise: every kind of block.
  std::vector<uint8_t> bgr(size_t{3} * w * h);
  Lcg g{11};
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      uint8_t* p = &bgr[3 * (size_t(y) * w + x)];
      double r = 128 + 90 * std::sin(x / 7.0) * std::cos(y / 11.0);
      double gr = 255.0 * x / w;
      double b = 255.0 * y / h;
      if ((x / 13 + y / 9) % 5 == 0) r = 240, gr = 30, b = 60;
      if ((x / 29 + y / 31) % 3 == 0) r += int(g.Next() % 41) - 20;
      p[0] = uint8_t(std::clamp(b, 0.0, 255.0));
      p[1] = uint8_t(std::clamp(gr, 0.0, 255.0));
      p[2] = uint8_t(std::clamp(r, 0.0, 255.0));
    }
  }
  return bgr;
}

std::vector<uint8_t> Encode(int w, int h, int samp, int quality, const char* restart) {
  const auto bgr = Picture(w, h);
  if (restart) setenv("TJ_RESTART", restart, 1);
  tjhandle tj = tjInitCompress();
  unsigned char* out = nullptr;
  unsigned long size = 0;
  const int rc = tjCompress2(tj, bgr.data(), w, 0, h, TJPF_BGR, &out, &size, samp, quality, 0);
  unsetenv("TJ_RESTART");
  std::vector<uint8_t> bytes;
  if (rc == 0) bytes.assign(out, out + size);
  tjFree(out);
  tjDestroy(tj);
  return bytes;
}

} // namespace

TEST(JpegGolden, LibjpegTurboPictures) {
  struct Sampling {
    int samp;
    const char* name;
  };
  const Sampling samplings[] = {{TJSAMP_444, "444"}, {TJSAMP_422, "422"}, {TJSAMP_420, "420"},
                                {TJSAMP_440, "440"}, {TJSAMP_411, "411"}, {TJSAMP_GRAY, "grey"}};
  const std::pair<int, int> sizes[] = {{75, 53}, {33, 17}, {8, 8}};
  int skipped = 0, checked = 0;
  auto check = [&](const std::string& name, const std::vector<uint8_t>& file) {
    ASSERT_FALSE(file.empty()) << name;
    Check(name, file, kTurbo, std::size(kTurbo), &skipped);
    ++checked;
  };
  for (const Sampling& s : samplings)
    for (auto [w, h] : sizes)
      for (int q : {20, 75, 100})
        check(std::string(s.name) + " " + std::to_string(w) + "x" + std::to_string(h) + " q" +
                  std::to_string(q),
              Encode(w, h, s.samp, q, nullptr));
  const auto big = Encode(640, 480, TJSAMP_420, 85, nullptr);
  check("420 640x480 q85", big);
  check("444 160x120 q95 restart 2", Encode(160, 120, TJSAMP_444, 95, "2"));
  const auto small = Encode(75, 53, TJSAMP_420, 90, "1");
  check("420 75x53 q90 restart 1", small);
  for (auto& [what, file] : Damaged(small))
    check("420 75x53 q90 restart 1 " + what, file);
  for (auto& [what, file] : Damaged(big))
    check("420 640x480 q85 " + what, file);
  if (skipped == checked) GTEST_SKIP() << "libjpeg-turbo encodes other files than recorded";
}

#endif
