// A 640 x 480 x 32 display with a device on the software DirectDraw, for tests that draw through
// it.
#pragma once

#include "platform/substitute/device/soft_display.h"
#include "support/display.h"

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
  void SetUp() override { ASSERT_TRUE(testsupport::StartDisplay(fb, reinterpret_cast<HWND>(1))); }
  void TearDown() override { testsupport::StopDisplay(fb); }
  // Runs f over the locked pixels of s (rows top-down, pitch in pixels).
  template <class F> void WithPixels(IDirectDrawSurface7* s, F f) {
    ASSERT_TRUE(testsupport::WithLockedPixels(s, f));
  }

  TFrameBuffer* fb = nullptr;
};
