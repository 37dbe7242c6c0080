#include "app/option_values.h"

#include "platform/strings.h"

namespace {

bool IsHexDigit(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

}  // namespace

bool IsHexValueText(const char* text) {
  const char* p = text;
  if (p[0] == '0' && (p[1] == 'x' || p[1] == 'X')) p += 2;
  if (*p == '\0') return false;
  for (; *p != '\0'; ++p) {
    if (!IsHexDigit(*p)) return false;
  }
  return true;
}

ValueVerdict CheckOptionValue(const char* text, uint32_t largest, uint32_t* value) {
  if (!IsHexValueText(text)) return ValueVerdict::NotHexadecimal;
  // No sign can reach here, so the conversion is never negative; a value
  // too long for 31 bits saturates and is refused as out of range.
  const int32_t parsed = ParseHexValue(text);
  if (static_cast<uint32_t>(parsed) > largest) return ValueVerdict::OutOfRange;
  *value = static_cast<uint32_t>(parsed);
  return ValueVerdict::Accepted;
}
