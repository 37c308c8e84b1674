// No window: time is virtual and advances one 60 Hz refresh per flip, so runs repeat exactly.
#pragma once

#include "platform/substitute/device/soft_display.h"

namespace soft {

// timeGetTime starts at 10000 ms and the n-th flip happens at 10000 + n * 1000 / 60.
class HeadlessPresenter : public Presenter {
public:
  void Present(const uint32_t*, int, int, int) override { ++flips_; }
  DWORD Now() override {
    return static_cast<DWORD>(10000 + static_cast<uint64_t>(flips_) * 1000 / 60);
  }
  uint64_t Flips() const { return flips_; }

private:
  uint64_t flips_ = 0;
};

} // namespace soft
