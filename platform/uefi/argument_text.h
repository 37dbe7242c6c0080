// Conversion between the Shell's 16-bit text and the tool's narrow text.
//
// The tool works on 8-bit strings and prints them as Latin-1, so the
// narrow form keeps every character from U+0001 to U+00FF as the byte of
// the same value. Anything above U+00FF has no such byte and becomes '?'
// (a surrogate pair is one character and gives one '?', a lone surrogate
// gives one '?' too). Widening maps each byte back to the character of the
// same value, so a Latin-1 file name survives the round trip and opens.
#pragma once

#include <stddef.h>

inline constexpr char kUnmappableCharacter = '?';

// Bytes the narrow form of `text` takes, its terminating NUL included.
size_t NarrowTextSize(const char16_t* text);

// Writes the narrow form of `text` and its NUL to `out`, which holds at
// least NarrowTextSize(text) bytes. Returns the byte after the NUL.
char* NarrowText(const char16_t* text, char* out);

// Characters the wide form of `text` takes, its terminating NUL included.
size_t WideTextSize(const char* text);

// Writes the wide form of `text` and its NUL to `out`, which holds at
// least WideTextSize(text) characters.
void WidenText(const char* text, char16_t* out);
