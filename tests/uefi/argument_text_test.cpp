#include "platform/uefi/argument_text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::string Narrow(const std::u16string& wide) {
  std::vector<char> out(NarrowTextSize(wide.c_str()) + 8, '#');
  char* end = NarrowText(wide.c_str(), out.data());
  // The returned pointer is just past the NUL, which the size counted.
  EXPECT_EQ(end - out.data(), static_cast<long>(NarrowTextSize(wide.c_str())));
  EXPECT_EQ(end[-1], '\0');
  return std::string(out.data());
}

struct NarrowCase {
  const char* what;
  std::u16string wide;
  std::string narrow;
};

TEST(NarrowText, MapsEachCharacterToOneByte) {
  const NarrowCase cases[] = {
      {"empty", u"", ""},
      {"ASCII as it is", u"fs0:\\fw.bin /sa 84", "fs0:\\fw.bin /sa 84"},
      {"Latin-1 keeps its value", u"f\u00fcr-\u00e9\u00ff.bin", "f\xfcr-\xe9\xff.bin"},
      {"first character past Latin-1", u"a\u0100b", "a?b"},
      {"euro sign and CJK", u"\u20ac\u4e2d.bin", "??.bin"},
      {"surrogate pair is one character", u"x\U0001F600y", "x?y"},
      {"two pairs in a row", u"\U0001F600\U00010000", "??"},
      {"lone high surrogate before ASCII", std::u16string(u"a") + char16_t(0xD83D) + u"b", "a?b"},
      {"lone high surrogate at the end", std::u16string(u"a") + char16_t(0xD83D), "a?"},
      {"lone low surrogate", std::u16string(1, char16_t(0xDE00)) + u"z", "?z"},
      {"two high surrogates then a low one", std::u16string{0xD83D, 0xD83D, 0xDE00}, "??"},
  };
  for (const NarrowCase& c : cases) {
    EXPECT_EQ(Narrow(c.wide), c.narrow) << c.what;
    EXPECT_EQ(NarrowTextSize(c.wide.c_str()), c.narrow.size() + 1) << c.what;
  }
}

TEST(NarrowText, PacksConsecutiveArguments) {
  const std::u16string args[] = {u"VEXA", u"\u00fc\u4e2d", u"", u"/db"};
  size_t total = 0;
  for (const auto& a : args) total += NarrowTextSize(a.c_str());
  std::vector<char> block(total, '#');
  char* next = block.data();
  for (const auto& a : args) next = NarrowText(a.c_str(), next);
  EXPECT_EQ(next, block.data() + total);
  EXPECT_EQ(std::string(block.begin(), block.end()), std::string("VEXA\0\xfc?\0\0/db\0", 13));
}

TEST(WidenText, EveryByteBecomesTheCharacterOfItsValue) {
  std::string all;
  for (int byte = 1; byte <= 0xFF; ++byte) all += static_cast<char>(byte);
  ASSERT_EQ(WideTextSize(all.c_str()), 256u);
  std::vector<char16_t> wide(256, u'#');
  WidenText(all.c_str(), wide.data());
  for (int byte = 1; byte <= 0xFF; ++byte) EXPECT_EQ(wide[byte - 1], char16_t(byte)) << byte;
  EXPECT_EQ(wide[255], 0);

  EXPECT_EQ(WideTextSize(""), 1u);
}

TEST(WidenText, LatinOneNamesSurviveTheRoundTrip) {
  const std::u16string names[] = {u"f\u00fcr-image.bin", u"sub\\\u00c4\u00d6\u00dc\u00df.bin", u"fs1:\\fw.bin"};
  for (const auto& name : names) {
    const std::string narrow = Narrow(name);
    std::vector<char16_t> back(WideTextSize(narrow.c_str()), u'#');
    WidenText(narrow.c_str(), back.data());
    EXPECT_EQ(std::u16string(back.data()), name);
  }
}

}  // namespace
