// Text units to Johab codes for the Hangul font, and the measures the text windows lay out by.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// Johab 5-bit field codes per Unicode jamo order (initial 0-18, medial 0-20, final 0-27 where 0
// is "no final"); the unused tail of each table is -1.
extern const int32_t JohabInitialCode[32];
extern const int32_t JohabMedialCode[32];
extern const int32_t JohabFinalCode[32];

// One entry per compatibility jamo U+3131..U+3163, Johab code in the low 16 bits.
extern const uint32_t CompatJamoJohab[51];

// A 5-bit Johab field to the font's sequential jamo index (1-based, 0 = piece absent).
extern const uint8_t InitialIndex[31];
extern const uint8_t MedialIndex[31];
extern const uint8_t FinalIndex[31];

// ASCII unchanged, Hangul to its Johab code (bit 15 set), anything else 0.
uint32_t CharToJohab(char16_t unit);

// Width in 8-pixel cells: two for units from 0x100 up, none for the brace markup, one otherwise.
int32_t TextCells(std::u16string_view text);

// Whether text holds as many open as close units, in whatever order.
bool IsBalanced(std::u16string_view text, char16_t open, char16_t close);
