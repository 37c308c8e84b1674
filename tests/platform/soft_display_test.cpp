#include "support/soft_display_fixture.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

class SoftDisplayTest : public SoftDisplayFixture {
protected:
  ComRef<IDirectDrawSurface7> Plain(int w, int h) {
    DDSURFACEDESC2 d;
    std::memset(&d, 0, sizeof d);
    d.dwSize = sizeof d;
    d.dwFlags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT;
    d.ddsCaps.dwCaps = DDSCAPS_OFFSCREENPLAIN;
    d.dwWidth = static_cast<DWORD>(w);
    d.dwHeight = static_cast<DWORD>(h);
    ComRef<IDirectDrawSurface7> s;
    EXPECT_EQ(fb->DirectDraw->CreateSurface(&d, s.Out(), nullptr), DD_OK);
    return s;
  }
  void Fill(IDirectDrawSurface7* s, RECT* r, uint32_t colour) {
    DDBLTFX fx;
    std::memset(&fx, 0, sizeof fx);
    fx.dwSize = sizeof fx;
    fx.dwFillColor = colour;
    ASSERT_EQ(s->Blt(r, nullptr, nullptr, DDBLT_COLORFILL | DDBLT_WAIT, &fx), DD_OK);
  }
};

uint8_t Blend(int src, int dst, int a) {
  return static_cast<uint8_t>((src * a + dst * (255 - a) + 127) / 255);
}

} // namespace

TEST_F(SoftDisplayTest, TexturedQuadBlendsBySourceAlphaPixelExact) {
  const uint32_t background = 0xFF204060;
  fb->Clear(background);

  const int W = 5, H = 3; // a texture larger than what is drawn (8 x 4)
  ComRef<IDirectDrawSurface7> tex;
  fb->CreateTexture(fb->Device.Get(), W, H, tfA8R8G8B8, tex);
  ASSERT_TRUE(tex);
  WithPixels(tex.Get(), [&](uint32_t* p, int pitch) {
    for (int y = 0; y < 4; ++y)
      for (int x = 0; x < 8; ++x)
        p[y * pitch + x] = 0xFF000000u | (x * 40) << 16 | (y * 70) << 8 | 0x99;
    p[1 * pitch + 2] = 0x00FFFFFF; // transparent texel
    p[2 * pitch + 4] = 0x80F0F0F0; // half transparent texel
  });

  const int X = 10, Y = 20, alpha = 220;
  const float U = static_cast<float>(W) / 8, V = static_cast<float>(H) / 4;
  const DWORD diffuse = (static_cast<DWORD>(alpha) << 24) | 0x00FFFFFF;
  QuadVertex q[4] = {
      {X - 0.5f, Y - 0.5f, 0, 1, diffuse, 0, 0, 0},
      {X + W - 0.5f, Y - 0.5f, 0, 1, diffuse, 0, U, 0},
      {X - 0.5f, Y + H - 0.5f, 0, 1, diffuse, 0, 0, V},
      {X + W - 0.5f, Y + H - 0.5f, 0, 1, diffuse, 0, U, V},
  };
  IDirect3DDevice7* dev = fb->Device.Get();
  ASSERT_EQ(dev->BeginScene(), D3D_OK);
  dev->SetRenderState(D3DRENDERSTATE_SRCBLEND, D3DBLEND_SRCALPHA);
  dev->SetRenderState(D3DRENDERSTATE_DESTBLEND, D3DBLEND_INVSRCALPHA);
  dev->SetTexture(0, tex.Get());
  ASSERT_EQ(dev->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0x1C4, q, 4, 0), D3D_OK);
  dev->EndScene();

  WithPixels(fb->BackBuffer.Get(), [&](uint32_t* p, int pitch) {
    for (int y = Y - 2; y < Y + H + 2; ++y) {
      for (int x = X - 2; x < X + W + 2; ++x) {
        uint32_t got = p[y * pitch + x] & 0x00FFFFFF;
        bool inside = x >= X && x < X + W && y >= Y && y < Y + H;
        if (!inside) {
          EXPECT_EQ(got, background & 0x00FFFFFF) << x << "," << y;
          continue;
        }
        int tx = x - X, ty = y - Y;
        uint32_t t = 0xFF000000u | (tx * 40) << 16 | (ty * 70) << 8 | 0x99;
        if (tx == 2 && ty == 1) t = 0x00FFFFFF;
        if (tx == 4 && ty == 2) t = 0x80F0F0F0;
        int a = ((t >> 24) * alpha + 127) / 255; // texture alpha times diffuse alpha
        uint32_t want = static_cast<uint32_t>(Blend((t >> 16) & 0xFF, 0x20, a)) << 16 |
                        static_cast<uint32_t>(Blend((t >> 8) & 0xFF, 0x40, a)) << 8 |
                        Blend(t & 0xFF, 0x60, a);
        EXPECT_EQ(got, want) << x << "," << y;
      }
    }
    EXPECT_EQ(p[(Y + 1) * pitch + X + 2] & 0xFFFFFF, background & 0xFFFFFF); // alpha 0 vanishes
  });
}

TEST_F(SoftDisplayTest, DrawingNeedsASceneAndAValidVertexFormat) {
  QuadVertex q[3] = {};
  IDirect3DDevice7* dev = fb->Device.Get();
  EXPECT_EQ(dev->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0x1C4, q, 3, 0), D3DERR_SCENE_NOT_IN_SCENE);
  dev->BeginScene();
  EXPECT_EQ(dev->BeginScene(), D3DERR_SCENE_IN_SCENE);
  EXPECT_EQ(dev->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0x002, q, 3, 0), D3DERR_INVALIDVERTEXFORMAT);
  EXPECT_EQ(dev->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0x1C4, nullptr, 3, 0), D3DERR_INVALIDCALL);
  EXPECT_EQ(dev->DrawPrimitive(D3DPT_LINELIST, 0x1C4, q, 3, 0), D3DERR_INVALIDPRIMITIVETYPE);
  EXPECT_EQ(dev->EndScene(), D3D_OK);
}

TEST_F(SoftDisplayTest, BltFastCopiesWithAWholePixelColourKeyAndRefusesWhatDoesNotFit) {
  ComRef<IDirectDrawSurface7> src = Plain(4, 1), dst = Plain(6, 2);
  WithPixels(src.Get(), [](uint32_t* p, int) {
    p[0] = 0xFF000000;
    p[1] = 0x00000000; // differs from the key only in alpha: copied
    p[2] = 0xFF112233;
    p[3] = 0xFF000000;
  });
  RECT all{0, 0, 6, 2};
  Fill(dst.Get(), &all, 0xFFAAAAAA);
  DDCOLORKEY key{0xFF000000, 0xFF000000};
  src->SetColorKey(DDCKEY_SRCBLT, &key);
  ASSERT_EQ(dst->BltFast(1, 1, src.Get(), nullptr, DDBLTFAST_SRCCOLORKEY | DDBLTFAST_WAIT), DD_OK);
  WithPixels(dst.Get(), [](uint32_t* p, int pitch) {
    const uint32_t row1[6] = {0xFFAAAAAA, 0xFFAAAAAA, 0x00000000,
                              0xFF112233, 0xFFAAAAAA, 0xFFAAAAAA};
    for (int x = 0; x < 6; ++x)
      EXPECT_EQ(p[pitch + x], row1[x]) << x;
    EXPECT_EQ(p[0], 0xFFAAAAAAu);
  });
  EXPECT_EQ(dst->BltFast(3, 0, src.Get(), nullptr, DDBLTFAST_WAIT), DDERR_INVALIDRECT);
  EXPECT_EQ(dst->BltFast(0, 2, src.Get(), nullptr, DDBLTFAST_WAIT), DDERR_INVALIDRECT);
  RECT outside{2, 0, 5, 1};
  EXPECT_EQ(dst->BltFast(0, 0, src.Get(), &outside, DDBLTFAST_WAIT), DDERR_INVALIDRECT);
  RECT bad{0, 0, 7, 1};
  EXPECT_EQ(dst->Blt(&bad, nullptr, nullptr, DDBLT_COLORFILL, nullptr), DDERR_INVALIDPARAMS);
}

TEST_F(SoftDisplayTest, CopyOntoItselfScrollsInEitherDirection) {
  ComRef<IDirectDrawSurface7> s = Plain(2, 5);
  auto number = [&] {
    WithPixels(s.Get(), [](uint32_t* p, int pitch) {
      for (int y = 0; y < 5; ++y)
        p[y * pitch] = p[y * pitch + 1] = static_cast<uint32_t>(y);
    });
  };
  auto column = [&] {
    std::vector<uint32_t> c;
    WithPixels(s.Get(), [&](uint32_t* p, int pitch) {
      for (int y = 0; y < 5; ++y)
        c.push_back(p[y * pitch]);
    });
    return c;
  };
  number();
  RECT up{0, 2, 2, 5};
  ASSERT_EQ(s->BltFast(0, 0, s.Get(), &up, DDBLTFAST_WAIT), DD_OK);
  EXPECT_EQ(column(), (std::vector<uint32_t>{2, 3, 4, 3, 4}));
  number();
  RECT down{0, 0, 2, 3};
  ASSERT_EQ(s->BltFast(0, 2, s.Get(), &down, DDBLTFAST_WAIT), DD_OK);
  EXPECT_EQ(column(), (std::vector<uint32_t>{0, 1, 0, 1, 2}));
}

TEST_F(SoftDisplayTest, LocksDoNotNestAndBlockBlits) {
  ComRef<IDirectDrawSurface7> s = Plain(4, 4), t = Plain(4, 4);
  DDSURFACEDESC2 d;
  std::memset(&d, 0, sizeof d);
  d.dwSize = sizeof d;
  ASSERT_EQ(s->Lock(nullptr, &d, DDLOCK_WAIT, nullptr), DD_OK);
  EXPECT_EQ(d.lPitch, 16);
  EXPECT_NE(d.lpSurface, nullptr);
  EXPECT_EQ(s->Lock(nullptr, &d, DDLOCK_WAIT, nullptr), DDERR_SURFACEBUSY);
  EXPECT_EQ(t->BltFast(0, 0, s.Get(), nullptr, DDBLTFAST_WAIT), DDERR_SURFACEBUSY);
  EXPECT_EQ(s->Unlock(nullptr), DD_OK);
  EXPECT_EQ(s->Unlock(nullptr), DDERR_NOTLOCKED);
  d.dwSize = 12;
  EXPECT_EQ(s->Lock(nullptr, &d, DDLOCK_WAIT, nullptr), DDERR_INVALIDPARAMS);
}

TEST_F(SoftDisplayTest, SurfacesTakeTheDisplayFormatAndRefuseAbsurdSizes) {
  ComRef<IDirectDrawSurface7> s = Plain(3, 3);
  DDPIXELFORMAT f;
  std::memset(&f, 0, sizeof f);
  f.dwSize = sizeof f;
  ASSERT_EQ(s->GetPixelFormat(&f), DD_OK);
  EXPECT_EQ(f.dwRGBBitCount, 32u);
  EXPECT_EQ(f.dwRBitMask, 0xFF0000u);
  DDSURFACEDESC2 d;
  std::memset(&d, 0, sizeof d);
  d.dwSize = sizeof d;
  d.dwFlags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT;
  d.ddsCaps.dwCaps = DDSCAPS_OFFSCREENPLAIN;
  d.dwWidth = 100000;
  d.dwHeight = 100000;
  ComRef<IDirectDrawSurface7> big;
  EXPECT_EQ(fb->DirectDraw->CreateSurface(&d, big.Out(), nullptr), DDERR_INVALIDPARAMS);
  EXPECT_FALSE(big);
  d.dwWidth = 0;
  EXPECT_EQ(fb->DirectDraw->CreateSurface(&d, big.Out(), nullptr), DDERR_INVALIDPARAMS);
}

TEST_F(SoftDisplayTest, FlipShowsTheBackBufferAndAdvancesTheVirtualClock) {
  EXPECT_EQ(timeGetTime(), 10000u);
  fb->Clear(0xFF123456);
  ASSERT_EQ(fb->Flip(0, 0), DD_OK);
  EXPECT_EQ(timeGetTime(), 10016u);
  WithPixels(fb->PrimarySurface.Get(), [](uint32_t* p, int) { EXPECT_EQ(p[0], 0xFF123456u); });
  for (int n = 2; n <= 60; ++n)
    fb->Flip(0, 0);
  EXPECT_EQ(timeGetTime(), 11000u); // the 60th flip is one second in
  fb->Flip(0, 0);
  EXPECT_EQ(timeGetTime(), 11016u);
}

TEST_F(SoftDisplayTest, AlignedQuadShortcutDrawsExactlyWhatTheRasteriserDraws) {
  ComRef<IDirectDrawSurface7> tex;
  fb->CreateTexture(fb->Device.Get(), 37, 21, tfA8R8G8B8, tex); // 64 x 32 underneath
  ASSERT_TRUE(tex);
  uint32_t seed = 12345;
  auto next = [&] { return seed = seed * 1664525u + 1013904223u; };
  WithPixels(tex.Get(), [&](uint32_t* p, int pitch) {
    for (int y = 0; y < 32; ++y)
      for (int x = 0; x < 64; ++x) {
        uint32_t v = next();
        uint32_t a = (v >> 24) % 4 == 0 ? 0 : (v >> 24) % 4 == 1 ? 255 : v >> 24;
        p[y * pitch + x] = a << 24 | (v & 0xFFFFFF);
      }
  });
  struct Case {
    float x, y;
    DWORD diffuse, src, dst;
  } cases[] = {{10, 20, 0xDCFFFFFF, D3DBLEND_SRCALPHA, D3DBLEND_INVSRCALPHA},
               {-5, -3, 0xFFFFFFFF, D3DBLEND_SRCALPHA, D3DBLEND_INVSRCALPHA},
               {620, 470, 0x80C08040, D3DBLEND_SRCALPHA, D3DBLEND_INVSRCALPHA},
               {100, 100, 0xFFFFFFFF, D3DBLEND_ONE, D3DBLEND_ONE},
               {200, 50, 0x40FFFFFF, D3DBLEND_SRCALPHA, D3DBLEND_ONE}};
  auto render = [&](bool fast) {
    soft::Settings().fastQuads = fast;
    seed = 99;
    WithPixels(fb->BackBuffer.Get(), [&](uint32_t* p, int pitch) {
      for (int y = 0; y < 480; ++y)
        for (int x = 0; x < 640; ++x)
          p[y * pitch + x] = next();
    });
    IDirect3DDevice7* dev = fb->Device.Get();
    dev->BeginScene();
    dev->SetTexture(0, tex.Get());
    for (const Case& c : cases) {
      const float U = 37.0f / 64, V = 21.0f / 32;
      QuadVertex q[4] = {{c.x - 0.5f, c.y - 0.5f, 0, 1, c.diffuse, 0, 0, 0},
                         {c.x + 36.5f, c.y - 0.5f, 0, 1, c.diffuse, 0, U, 0},
                         {c.x - 0.5f, c.y + 20.5f, 0, 1, c.diffuse, 0, 0, V},
                         {c.x + 36.5f, c.y + 20.5f, 0, 1, c.diffuse, 0, U, V}};
      dev->SetRenderState(D3DRENDERSTATE_SRCBLEND, c.src);
      dev->SetRenderState(D3DRENDERSTATE_DESTBLEND, c.dst);
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
  std::vector<uint32_t> general = render(false), fast = render(true);
  ASSERT_EQ(general.size(), fast.size());
  size_t differing = 0;
  for (size_t i = 0; i < general.size(); ++i) {
    if (general[i] != fast[i] && differing < 5)
      ADD_FAILURE() << "at " << i % 640 << "," << i / 640 << std::hex << " general " << general[i]
                    << " fast " << fast[i];
    differing += general[i] != fast[i];
  }
  EXPECT_EQ(differing, 0u);
}
