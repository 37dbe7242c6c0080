#include "platform/console_text.h"

#include "platform/platform.h"

namespace {

// Where formatted characters go. A sink that streams hands every full
// buffer to the console and carries on; any other sink keeps the first
// capacity - 1 characters and only counts the rest.
struct TextSink {
  char16_t* buffer;
  size_t capacity;  // characters, including room for the NUL
  size_t used;      // characters now in buffer
  size_t total;     // characters the whole text has
  bool stream;
};

void Flush(TextSink& sink) {
  if (sink.used == 0) return;
  sink.buffer[sink.used] = 0;
  PlatformConsoleOutput(sink.buffer);
  sink.used = 0;
}

void Put(TextSink& sink, char16_t c) {
  if (sink.stream && sink.used + 1 >= sink.capacity) Flush(sink);
  if (sink.used + 1 < sink.capacity) sink.buffer[sink.used++] = c;
  ++sink.total;
}

void Terminate(TextSink& sink) {
  if (sink.capacity > 0) sink.buffer[sink.used] = 0;
}

// How the two kinds of console text differ.
//  - 16-bit text: line discipline on the format text only, "\n", "\n\r" and
//    "\r\n" each become CR LF; %X always pads with zeros.
//  - 8-bit text: every "\n" printed becomes CR LF, arguments included; bytes
//    are Latin-1.
void PutNarrow(TextSink& sink, char c) {
  if (c == '\n') Put(sink, u'\r');
  Put(sink, static_cast<char16_t>(static_cast<unsigned char>(c)));
}

void PutArgumentChar(TextSink& sink, char16_t c) { Put(sink, c); }
void PutArgumentChar(TextSink& sink, char c) { PutNarrow(sink, c); }

// Copies the format's own characters from `p` up to the next "%" (or the
// end) with the line discipline; returns where it stopped.
const char16_t* PutFormatText(TextSink& sink, const char16_t* p) {
  while (*p != 0 && *p != u'%') {
    if ((p[0] == u'\n' && p[1] == u'\r') || (p[0] == u'\r' && p[1] == u'\n')) {
      Put(sink, u'\r');
      Put(sink, u'\n');
      p += 2;
    } else if (*p == u'\n') {
      Put(sink, u'\r');
      Put(sink, u'\n');
      ++p;
    } else {
      Put(sink, *p++);
    }
  }
  return p;
}

const char* PutFormatText(TextSink& sink, const char* p) {
  while (*p != 0 && *p != '%') PutNarrow(sink, *p++);
  return p;
}

bool HexAlwaysZeroPadded(const char16_t*) { return true; }
bool HexAlwaysZeroPadded(const char*) { return false; }

void PutPadding(TextSink& sink, char16_t c, size_t count) {
  for (size_t i = 0; i < count; ++i) Put(sink, c);
}

// Digits of `value` in `base`, most significant first, into digits[];
// returns their count (at least one).
size_t Digits(uint32_t value, uint32_t base, char16_t digits[16]) {
  static const char16_t kDigitChars[] = u"0123456789ABCDEF";
  char16_t reversed[16];
  size_t count = 0;
  do {
    reversed[count++] = kDigitChars[value % base];
    value /= base;
  } while (value != 0);
  for (size_t i = 0; i < count; ++i) digits[i] = reversed[count - 1 - i];
  return count;
}

void PutNumber(TextSink& sink, bool negative, uint32_t magnitude, uint32_t base, size_t width,
               bool zeroPad) {
  char16_t digits[16];
  const size_t count = Digits(magnitude, base, digits);
  const size_t length = count + (negative ? 1 : 0);
  const size_t padding = width > length ? width - length : 0;
  if (!zeroPad) PutPadding(sink, u' ', padding);
  if (negative) Put(sink, u'-');
  if (zeroPad) PutPadding(sink, u'0', padding);
  for (size_t i = 0; i < count; ++i) Put(sink, digits[i]);
}

template <typename Char>
void PutString(TextSink& sink, const Char* text, size_t width) {
  static const Char kNull[] = {'(', 'n', 'u', 'l', 'l', ')', 0};
  if (text == nullptr) text = kNull;
  size_t length = 0;
  while (text[length] != 0) ++length;
  if (width > length) PutPadding(sink, u' ', width - length);
  for (size_t i = 0; i < length; ++i) PutArgumentChar(sink, text[i]);
}

// Field widths beyond this are taken as this; no message needs more.
constexpr size_t kMaxFieldWidth = 64;

template <typename Char>
void FormatInto(TextSink& sink, const Char* format, va_list& args) {
  const Char* p = format;
  while (*p != 0) {
    p = PutFormatText(sink, p);
    if (*p == 0) break;

    // p is at "%": read the flag, the width and the conversion.
    const Char* start = p++;
    bool zeroFlag = false;
    if (*p == '0') {
      zeroFlag = true;
      ++p;
    }
    size_t width = 0;
    while (*p >= '0' && *p <= '9') {
      width = width * 10 + static_cast<size_t>(*p - '0');
      if (width > kMaxFieldWidth) width = kMaxFieldWidth;
      ++p;
    }

    switch (*p) {
      case 'd':
      case 'D': {
        const int value = va_arg(args, int);
        const bool negative = value < 0;
        const uint32_t magnitude =
            negative ? 0u - static_cast<uint32_t>(value) : static_cast<uint32_t>(value);
        PutNumber(sink, negative, magnitude, 10, width, zeroFlag);
        break;
      }
      case 'X':
        PutNumber(sink, false, va_arg(args, unsigned int), 16, width,
                  zeroFlag || HexAlwaysZeroPadded(format));
        break;
      case 's':
        PutString(sink, va_arg(args, const Char*), width);
        break;
      case 'c': {
        const Char c = static_cast<Char>(va_arg(args, int));
        if (width > 1) PutPadding(sink, u' ', width - 1);
        PutArgumentChar(sink, c);
        break;
      }
      case '%':
        Put(sink, u'%');
        break;
      default:
        // Not a conversion: the "%" stands as written and the characters
        // after it are format text again.
        Put(sink, u'%');
        p = start + 1;
        continue;
    }
    ++p;
  }
}

template <typename Char>
size_t FormatText(char16_t* out, size_t capacity, const Char* format, va_list args) {
  TextSink sink = {out, capacity, 0, 0, false};
  va_list copy;
  va_copy(copy, args);
  FormatInto(sink, format, copy);
  va_end(copy);
  Terminate(sink);
  return sink.total;
}

// Pieces of this many characters carry StdPrintf's text to the console.
constexpr size_t kStdChunk = 256;

}  // namespace

size_t FormatConsoleText(char16_t* out, size_t capacity, const char16_t* format, va_list args) {
  return FormatText(out, capacity, format, args);
}

size_t FormatStdText(char16_t* out, size_t capacity, const char* format, va_list args) {
  return FormatText(out, capacity, format, args);
}

void ConsolePrint(const char16_t* format, ...) {
  char16_t text[kConsolePrintLimit + 1];
  va_list args;
  va_start(args, format);
  FormatConsoleText(text, kConsolePrintLimit + 1, format, args);
  va_end(args);
  if (text[0] != 0) PlatformConsoleOutput(text);
}

void StdPrintf(const char* format, ...) {
  char16_t chunk[kStdChunk + 1];
  TextSink sink = {chunk, kStdChunk + 1, 0, 0, true};
  va_list args;
  va_start(args, format);
  FormatInto(sink, format, args);
  va_end(args);
  Flush(sink);
}
