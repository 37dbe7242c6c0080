// Console text, formatted by the tool itself so that the host and the UEFI
// builds send identical characters to the console. Portable code: the
// platform layer only ever receives finished characters.
#pragma once

#include <stdarg.h>
#include <stddef.h>
#include <stdint.h>

// Most characters one ConsolePrint call sends to the console.
inline constexpr size_t kConsolePrintLimit = 320;

// 16-bit console text. Conversions: %X %0X (upper-case hex, no padding),
// %2X %02X (two digits, zero-padded), %d (signed decimal), %s (16-bit
// string), %c (one 16-bit character). In the format text each "\n", "\n\r"
// and "\r\n" becomes one CR LF; any other "\r" stays. Output beyond
// kConsolePrintLimit characters is dropped.
void ConsolePrint(const char16_t* format, ...);

// 8-bit text to standard output, which reaches the same console. Conversions:
// %s (8-bit string), %d and %01D (decimal), %X, %08X. Every "\n" that is
// printed becomes CR LF. No length limit.
void StdPrintf(const char* format, ...);

// The formatters behind the two prints, usable on their own. Each writes at
// most capacity - 1 characters and a terminating NUL (nothing when capacity
// is 0) and returns the full length the text has, like vsnprintf.
size_t FormatConsoleText(char16_t* out, size_t capacity, const char16_t* format, va_list args);
size_t FormatStdText(char16_t* out, size_t capacity, const char* format, va_list args);
