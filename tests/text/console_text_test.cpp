#include "platform/console_text.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "support/console_capture.h"

namespace {

std::u16string Format16(const char16_t* format, ...) {
  va_list args;
  va_start(args, format);
  char16_t buffer[1024];
  const size_t length = FormatConsoleText(buffer, 1024, format, args);
  va_end(args);
  EXPECT_EQ(length, std::u16string(buffer).size());
  return buffer;
}

std::u16string Format8(const char* format, ...) {
  va_list args;
  va_start(args, format);
  char16_t buffer[1024];
  const size_t length = FormatStdText(buffer, 1024, format, args);
  va_end(args);
  EXPECT_EQ(length, std::u16string(buffer).size());
  return buffer;
}

size_t Length16(char16_t* out, size_t capacity, const char16_t* format, ...) {
  va_list args;
  va_start(args, format);
  const size_t length = FormatConsoleText(out, capacity, format, args);
  va_end(args);
  return length;
}

TEST(ConsoleFormat, HexConversions) {
  EXPECT_EQ(Format16(u"%X", 0u), u"0");
  EXPECT_EQ(Format16(u"%X", 0xABu), u"AB");
  EXPECT_EQ(Format16(u"%X", 0xDEADBEEFu), u"DEADBEEF");
  EXPECT_EQ(Format16(u"%0X", 5u), u"5");
  EXPECT_EQ(Format16(u"%0X%0X", 0x52u, 0x3u), u"523");
  // %2X pads with zeros even without the flag; wider values are not cut.
  EXPECT_EQ(Format16(u"%2X", 5u), u"05");
  EXPECT_EQ(Format16(u"%02X", 0xFu), u"0F");
  EXPECT_EQ(Format16(u"%02X", 0x2Eu), u"2E");
  EXPECT_EQ(Format16(u"0x%2X", 0x1234u), u"0x1234");
  EXPECT_EQ(Format16(u"%4X", 0xAu), u"000A");
  EXPECT_EQ(Format16(u"FW Version: %02X%02X", 0x01u, 0xA0u), u"FW Version: 01A0");
}

TEST(ConsoleFormat, DecimalStringAndCharacterConversions) {
  EXPECT_EQ(Format16(u"%d", 0), u"0");
  EXPECT_EQ(Format16(u"%d sec.", 1234), u"1234 sec.");
  EXPECT_EQ(Format16(u"%d", -5), u"-5");
  EXPECT_EQ(Format16(u"%d", INT_MIN), u"-2147483648");
  EXPECT_EQ(Format16(u"%d", INT_MAX), u"2147483647");
  EXPECT_EQ(Format16(u"[%5d]", 42), u"[   42]");
  EXPECT_EQ(Format16(u"[%05d]", -42), u"[-0042]");
  EXPECT_EQ(Format16(u"v%s thru ", u"1.0.0.b3"), u"v1.0.0.b3 thru ");
  EXPECT_EQ(Format16(u"[%s]", u""), u"[]");
  EXPECT_EQ(Format16(u"%c%c", 0x2588, u'x'), u"\u2588x");
  EXPECT_EQ(Format16(u"100%%"), u"100%");
}

TEST(ConsoleFormat, UnknownConversionsStandAsWritten) {
  // No argument is taken, so the %d after them still gets the first one.
  EXPECT_EQ(Format16(u"%q %d", 7), u"%q 7");
  EXPECT_EQ(Format16(u"%5q %d", 7), u"%5q 7");
  EXPECT_EQ(Format16(u"%x%X", 0xABu), u"%xAB");
  EXPECT_EQ(Format16(u"end%"), u"end%");
  EXPECT_EQ(Format16(u"end%0"), u"end%0");
  EXPECT_EQ(Format8("%u|%d", 3), u"%u|3");
}

TEST(ConsoleFormat, LineDisciplineOfTheFormatText) {
  const struct {
    const char16_t* format;
    const char16_t* expected;
  } cases[] = {
      {u"a\nb", u"a\r\nb"},
      {u"a\n\rb", u"a\r\nb"},
      {u"a\r\nb", u"a\r\nb"},
      {u"a\rb", u"a\rb"},
      {u"\n\n", u"\r\n\r\n"},
      {u"\n\r\n\rUpdate Success!\n", u"\r\n\r\nUpdate Success!\r\n"},
      {u"\n\r\n", u"\r\n\r\n"},
      {u"\r\r\n", u"\r\r\n"},
      {u"\r\n\r", u"\r\n\r"},
      {u"\n\n\r", u"\r\n\r\n"},
      {u"end\r", u"end\r"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Format16(c.format), c.expected) << "format index " << (&c - cases);
  }
}

TEST(ConsoleFormat, ArgumentsAreInsertedAsTheyAre) {
  EXPECT_EQ(Format16(u"%s", u"a\nb\rc"), u"a\nb\rc");
  EXPECT_EQ(Format16(u"%c", u'\n'), u"\n");
  // A conversion between "\n" and "\r" keeps them apart.
  EXPECT_EQ(Format16(u"\n%s\r", u""), u"\r\n\r");
}

TEST(StdFormat, ConversionsOfTheEightBitText) {
  EXPECT_EQ(Format8("I2C%01D MMIO Address = 0x%X%08X\n", 9, 0x1u, 0xFE010000u),
            u"I2C9 MMIO Address = 0x1FE010000\r\n");
  EXPECT_EQ(Format8("0x%X%08X", 0u, 0x10u), u"0x000000010");
  EXPECT_EQ(Format8("%01D", 12), u"12");
  EXPECT_EQ(Format8("%d", -7), u"-7");
  EXPECT_EQ(Format8("File: %s, Size: %d KBytes", "fw.bin", 256), u"File: fw.bin, Size: 256 KBytes");
  // Without the flag an 8-bit width pads with blanks, as printf does.
  EXPECT_EQ(Format8("[%5X]", 0x1Fu), u"[   1F]");
  EXPECT_EQ(Format8("[%05X]", 0x1Fu), u"[0001F]");
  EXPECT_EQ(Format8("[%4s]", "ab"), u"[  ab]");
}

TEST(StdFormat, EveryPrintedLineFeedBecomesCrLf) {
  EXPECT_EQ(Format8("a\nb"), u"a\r\nb");
  EXPECT_EQ(Format8("\n\rFile"), u"\r\n\rFile");
  EXPECT_EQ(Format8("a\r\nb"), u"a\r\r\nb");
  EXPECT_EQ(Format8("%s|", "x\ny\r"), u"x\r\ny\r|");
}

TEST(StdFormat, BytesAboveAsciiAreLatin1) {
  EXPECT_EQ(Format8("caf\xE9 %s", "\xFF\x80"), u"caf\u00E9 \u00FF\u0080");
}

TEST(FormatContract, TruncatesButReportsTheFullLength) {
  char16_t small[6];
  EXPECT_EQ(Length16(small, 6, u"%s\n", u"abcdef"), 8u);
  EXPECT_EQ(std::u16string(small), u"abcde");

  // The line discipline is counted in the length and cut like any text.
  EXPECT_EQ(Length16(small, 6, u"abcd\n"), 6u);
  EXPECT_EQ(std::u16string(small), u"abcd\r");

  EXPECT_EQ(Length16(nullptr, 0, u"%d", -123), 4u);

  char16_t one[1] = {u'z'};
  EXPECT_EQ(Length16(one, 1, u"abc"), 3u);
  EXPECT_EQ(one[0], 0);
}

std::string PrintedBy(const std::u16string& argument, const char16_t* format) {
  vexa_test::ConsoleCapture console;
  ConsolePrint(format, argument.c_str());
  return console.text();
}

TEST(ConsolePrint, SendsAtMost320Characters) {
  EXPECT_EQ(PrintedBy(std::u16string(400, u'a'), u"%s"), std::string(320, 'a'));
  // Exactly the limit arrives whole.
  EXPECT_EQ(PrintedBy(std::u16string(320, u'b'), u"%s"), std::string(320, 'b'));
  // The cut falls on the finished text: the LF of the CR LF is lost.
  EXPECT_EQ(PrintedBy(std::u16string(319, u'c'), u"%s\nnext"), std::string(319, 'c') + "\r");
}

TEST(ConsolePrint, OneOutputPerCallAndNoneForEmptyText) {
  vexa_test::ConsoleCapture console;
  ConsolePrint(u"");
  ConsolePrint(u"%s", u"");
  ConsolePrint(u"A%cB\n", 0x2588);
  const std::vector<std::string> lines = console.TraceLines();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0], "text \"A\xE2\x96\x88" "B\\r\\n\"");
  EXPECT_EQ(console.text(), "A\xE2\x96\x88" "B\r\n");
}

TEST(StdPrintf, HasNoLengthLimit) {
  vexa_test::ConsoleCapture console;
  std::string longLine(5000, 'x');
  longLine[1234] = '\n';
  StdPrintf("<%s>\n", longLine.c_str());
  std::string expected = "<" + longLine + ">\n";
  expected.replace(1 + 1234, 1, "\r\n");
  expected.replace(expected.size() - 1, 1, "\r\n");
  EXPECT_EQ(console.text(), expected);
}

}  // namespace
