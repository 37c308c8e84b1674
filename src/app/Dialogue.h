// What the two characters say: keyword tables, the normalisation of a typed line, and the
// generator that picks deflections.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace dialogue {

struct TReply {
  std::vector<std::u16string> lines;
  bool ends = false; // the partner says goodbye and the conversation ends
  bool unknownPartner = false;
};

// Spaces removed, ASCII letters lowered through the 8-bit code page, at most four units kept.
std::u16string Normalise(std::u16string_view text);

// The reply of partner 1 or 2 to a normalised line; a deflection takes one draw.
TReply Reply(int32_t partner, const std::u16string& normalised);

// The deflection generator: seed 0 at start, seed = seed * 134775813 + 1, value (seed * 3) >> 32.
uint32_t NextDeflection();
void ResetDeflections();

} // namespace dialogue
