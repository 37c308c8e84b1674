// Pieces of the PCX reader that the data tools and tests use on their own. A ".kv0" file is a
// PCX file whose byte at offset p is stored as ror8(plain xor K, (p + S) mod 8).
#pragma once

#include <cstdint>

class TQdStream;

constexpr uint8_t Kv0Key = 0xC5;

// Unscrambles count bytes in place, the first with the given rotation; returns the rotation for
// the byte after them.
int Unscramble(uint8_t* buffer, int32_t count, uint8_t key, int rotation);

// Decodes one run-length coded line of count bytes. A run that would cross the end of the line
// is cut there. When the stream runs dry the rest of the line is zero and the result is false.
bool DecodeRleLine(uint8_t* buffer, int32_t count, TQdStream& stream);
// The same for a scrambled file: every byte is unscrambled as it is read. Returns the rotation for
// the next byte; *complete (when given) tells whether the line was read in full.
int DecodeScrambledRleLine(uint8_t* buffer, int32_t count, TQdStream& stream, int rotation,
                           uint8_t key, bool* complete = nullptr);
