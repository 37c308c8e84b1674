#include "support/taken_keys.h"

#include "platform/platform.h"

namespace testsupport {

std::vector<std::string> TakenKeys() {
  std::vector<std::string> taken;
  MSG m{};
  while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) {
    const char* what = m.message == WM_KEYDOWN ? "down " : m.message == WM_KEYUP ? "up " : "? ";
    taken.push_back(what + std::to_string(m.wParam));
  }
  return taken;
}

} // namespace testsupport
