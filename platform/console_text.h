// Console text, formatted by the tool itself so that the host and the UEFI
// builds send identical characters to the console. Portable code: the
// platform layer only ever receives finished characters.
//
// Both formatters know the same conversions: %d and %D (signed decimal),
// %X (upper-case hexadecimal), %s (string of the format's own width), %c
// (one character) and %% (a percent sign), each with an optional "0" flag
// and a decimal field width. Integer arguments are int / unsigned int (the
// promoted types of the tool's u8, u16 and u32 values). Any other
// conversion, and a "%" at the end of the format, is printed as it stands
// and takes no argument.
#pragma once

#include <stdarg.h>
#include <stddef.h>
#include <stdint.h>

// Most characters one ConsolePrint call sends to the console.
inline constexpr size_t kConsolePrintLimit = 320;

// 16-bit console text. %X pads to its width with zeros whether or not the
// "0" flag is given (%2X and %02X both give at least two digits); %d pads
// with blanks unless the flag is given. Line discipline applies to the
// format text only: each "\n", "\n\r" and "\r\n" becomes one CR LF, any
// other "\r" stays a CR; characters coming from arguments are inserted as
// they are.
//
// The finished text (after conversions and line discipline) is cut after
// kConsolePrintLimit characters: the rest of that call's text never reaches
// the console. Nothing is sent for an empty text.
void ConsolePrint(const char16_t* format, ...);

// 8-bit text to standard output, which reaches the same console, as C's
// printf does in text mode: every "\n" that is printed, in the format or in
// a %s argument, becomes CR LF; "\r" stays. Bytes above 0x7F become the
// characters of the same value (Latin-1). Field widths pad with blanks
// unless the "0" flag is given. No length limit: long text reaches the
// console in several pieces.
void StdPrintf(const char* format, ...);

// The formatters behind the two prints, usable on their own. Each writes at
// most capacity - 1 characters and a terminating NUL (nothing when capacity
// is 0) and returns the full length the text has, like vsnprintf. `args` is
// used through a copy, so the caller still owns it (and va_ends it).
size_t FormatConsoleText(char16_t* out, size_t capacity, const char16_t* format, va_list args);
size_t FormatStdText(char16_t* out, size_t capacity, const char* format, va_list args);
