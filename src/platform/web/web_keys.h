// The browser's physical key codes (KeyboardEvent.code) as Windows virtual keys, with the
// desktop's rules: right Alt and the Hangul key are the Hangul/English key.
#pragma once

#include <string_view>

namespace web {

// 0 for a key the game never sees.
int VirtualKeyFromCode(std::string_view code);

} // namespace web
