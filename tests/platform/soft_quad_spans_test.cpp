// The direct quad path against the general rasteriser on textures made of runs of one texel value
// (as a window's background is) mixed with opaque and clear texels, under several diffuse colours
// and at every alignment of the runs to groups of four pixels.
#include "support/soft_display_fixture.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

class SoftQuadSpansTest : public SoftDisplayFixture {};

} // namespace

TEST_F(SoftQuadSpansTest, RunsOfOneTexelBlendExactlyAsTheRasteriserDoes) {
  ComRef<IDirectDrawSurface7> tex;
  fb->CreateTexture(fb->Device.Get(), 61, 30, tfA8R8G8B8, tex);
  ASSERT_TRUE(tex);
  uint32_t seed = 4321;
  auto next = [&] { return seed = seed * 1664525u + 1013904223u; };
  WithPixels(tex.Get(), [&](uint32_t* p, int pitch) {
    for (int y = 0; y < 30; ++y) {
      uint32_t value = 0;
      int left = 0;
      for (int x = 0; x < 61; ++x) {
        if (left-- == 0) {
          const uint32_t v = next();
          const uint32_t alphas[] = {0, 255, 0xB0, v >> 24};
          value = alphas[(v >> 3) % 4] << 24 | (next() & 0xFFFFFF);
          left = static_cast<int>((v >> 8) % 13);
        }
        p[y * pitch + x] = value;
      }
    }
  });
  const DWORD diffuses[] = {0xFFFFFFFF, 0xB0FFFFFF, 0xFF808080, 0x80C08040, 0x00FFFFFF};
  auto render = [&](bool fast) {
    soft::Settings().fastQuads = fast;
    uint32_t fillSeed = 77;
    WithPixels(fb->BackBuffer.Get(), [&](uint32_t* p, int pitch) {
      for (int y = 0; y < 480; ++y)
        for (int x = 0; x < 640; ++x)
          p[y * pitch + x] = fillSeed = fillSeed * 1664525u + 1013904223u;
    });
    IDirect3DDevice7* dev = fb->Device.Get();
    dev->BeginScene();
    dev->SetTexture(0, tex.Get());
    dev->SetRenderState(D3DRENDERSTATE_SRCBLEND, D3DBLEND_SRCALPHA);
    dev->SetRenderState(D3DRENDERSTATE_DESTBLEND, D3DBLEND_INVSRCALPHA);
    int n = 0;
    for (DWORD diffuse : diffuses)
      for (int shift = 0; shift < 4; ++shift, ++n) {
        const float x = static_cast<float>(10 + shift + 70 * (n % 8)), y = 5.0f + 35 * (n / 8);
        const float U = 61.0f / 64, V = 30.0f / 32;
        QuadVertex q[4] = {{x - 0.5f, y - 0.5f, 0, 1, diffuse, 0, 0, 0},
                           {x + 60.5f, y - 0.5f, 0, 1, diffuse, 0, U, 0},
                           {x - 0.5f, y + 29.5f, 0, 1, diffuse, 0, 0, V},
                           {x + 60.5f, y + 29.5f, 0, 1, diffuse, 0, U, V}};
        dev->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0x1C4, q, 4, 0);
      }
    dev->EndScene();
    std::vector<uint32_t> out;
    WithPixels(fb->BackBuffer.Get(), [&](uint32_t* p, int pitch) {
      for (int y = 0; y < 480; ++y)
        out.insert(out.end(), p + y * pitch, p + y * pitch + 640);
    });
    return out;
  };
  const std::vector<uint32_t> general = render(false), fast = render(true);
  size_t differing = 0;
  for (size_t i = 0; i < general.size(); ++i) {
    if (general[i] != fast[i] && differing < 5)
      ADD_FAILURE() << "at " << i % 640 << "," << i / 640 << std::hex << " general " << general[i]
                    << " fast " << fast[i];
    differing += general[i] != fast[i];
  }
  EXPECT_EQ(differing, 0u);
}
