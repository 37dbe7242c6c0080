#include "platform/uefi/argument_text.h"

namespace {

bool IsHighSurrogate(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLowSurrogate(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

// Steps over one character of `text` (one or two code units) and gives its
// narrow byte.
char NextNarrowByte(const char16_t*& text) {
  const char16_t c = *text++;
  if (c <= 0xFF) return static_cast<char>(c);
  if (IsHighSurrogate(c) && IsLowSurrogate(*text)) ++text;
  return kUnmappableCharacter;
}

}  // namespace

size_t NarrowTextSize(const char16_t* text) {
  size_t size = 1;
  while (*text != 0) {
    NextNarrowByte(text);
    ++size;
  }
  return size;
}

char* NarrowText(const char16_t* text, char* out) {
  while (*text != 0) *out++ = NextNarrowByte(text);
  *out++ = 0;
  return out;
}

size_t WideTextSize(const char* text) {
  size_t size = 1;
  while (text[size - 1] != 0) ++size;
  return size;
}

void WidenText(const char* text, char16_t* out) {
  const unsigned char* bytes = reinterpret_cast<const unsigned char*>(text);
  while (*bytes != 0) *out++ = static_cast<char16_t>(*bytes++);
  *out = 0;
}
