// A 640 x 480 x 32 display with a device on the software DirectDraw, for tests that draw through
// it.
#pragma once

#include "display/UDxDraw.h"
#include "platform/substitute/device/soft_display.h"

#include <gtest/gtest.h>

#include <cstring>

// The pre-transformed vertex the game's quads use (format 0x1C4).
struct QuadVertex {
  float x, y, z, rhw;
  DWORD diffuse, specular;
  float u, v;
};
static_assert(sizeof(QuadVertex) == 32);

class SoftDisplayFixture : public ::testing::Test {
protected:
  void SetUp() override {
    soft::ResetSettings();
    soft::SetPresenter(nullptr);
    LoadDirectDrawBinding();
    fb = new TFrameBuffer(reinterpret_cast<HWND>(1));
    ASSERT_TRUE(fb->SetDisplayMode(640, 480, 32));
    ASSERT_TRUE(fb->Device);
  }
  void TearDown() override {
    soft::ResetSettings();
    fb->Destroy();
    FreeDirectDrawBinding();
  }
  // Runs f over the locked pixels of s (rows top-down, pitch in pixels).
  template <class F> void WithPixels(IDirectDrawSurface7* s, F f) {
    DDSURFACEDESC2 d;
    std::memset(&d, 0, sizeof d);
    d.dwSize = sizeof d;
    ASSERT_EQ(s->Lock(nullptr, &d, DDLOCK_WAIT, nullptr), DD_OK);
    f(static_cast<uint32_t*>(d.lpSurface), static_cast<int>(d.lPitch / 4));
    s->Unlock(nullptr);
  }

  TFrameBuffer* fb = nullptr;
};
