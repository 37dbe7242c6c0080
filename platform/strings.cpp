#include "platform/strings.h"

size_t StrLength8(const char* text) {
  size_t length = 0;
  while (text[length] != '\0') ++length;
  return length;
}

int StrCompareN8(const char* a, const char* b, size_t count) {
  for (size_t i = 0; i < count; ++i) {
    const unsigned char left = static_cast<unsigned char>(a[i]);
    const unsigned char right = static_cast<unsigned char>(b[i]);
    if (left != right) return left < right ? -1 : 1;
    if (left == '\0') break;
  }
  return 0;
}

void MemFill(void* buffer, uint8_t value, size_t count) {
  uint8_t* bytes = static_cast<uint8_t*>(buffer);
  for (size_t i = 0; i < count; ++i) bytes[i] = value;
}

void MemCopy(void* destination, const void* source, size_t count) {
  uint8_t* to = static_cast<uint8_t*>(destination);
  const uint8_t* from = static_cast<const uint8_t*>(source);
  for (size_t i = 0; i < count; ++i) to[i] = from[i];
}

namespace {

bool IsSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// Value of c as a hexadecimal digit, or 16 and above when it is none.
uint32_t DigitValue(char c) {
  if (c >= '0' && c <= '9') return static_cast<uint32_t>(c - '0');
  if (c >= 'a' && c <= 'z') return static_cast<uint32_t>(c - 'a') + 10;
  if (c >= 'A' && c <= 'Z') return static_cast<uint32_t>(c - 'A') + 10;
  return 16;
}

}  // namespace

int32_t ParseHexValue(const char* text) {
  const char* p = text;
  while (IsSpace(*p)) ++p;

  bool negative = false;
  if (*p == '+') {
    ++p;
  } else if (*p == '-') {
    negative = true;
    ++p;
  }
  if (p[0] == '0' && (p[1] == 'x' || p[1] == 'X')) p += 2;
  while (*p == '0') ++p;

  uint32_t value = 0;
  for (; DigitValue(*p) < 16; ++p) {
    const uint32_t next = value * 16u + DigitValue(*p);
    // A value that stops growing has overflowed: saturate.
    if (static_cast<int32_t>(next) <= static_cast<int32_t>(value)) {
      return negative ? INT32_MIN : INT32_MAX;
    }
    value = next;
  }
  return negative ? static_cast<int32_t>(0u - value) : static_cast<int32_t>(value);
}
