#include <gtest/gtest.h>

#include <cstdint>

#include "platform/strings.h"

namespace {

struct HexCase {
  const char* text;
  uint32_t expected;  // the result's 32 bits
};

TEST(ParseHexValue, ReadsOptionValues) {
  const HexCase cases[] = {
      {"80", 0x80},
      {"84", 0x84},
      {"0x84", 0x84},
      {"0X84", 0x84},
      {"5251", 0x5251},
      {"10", 0x10},  // hexadecimal, never decimal
      {"aBcD", 0xABCD},
      {"0000000000000012", 0x12},  // leading zeros never overflow
      {"0x0012", 0x12},
      {"7FFFFFFF", 0x7FFFFFFF},
      {"0", 0},
      {"-0", 0},
  };
  for (const HexCase& c : cases) {
    EXPECT_EQ(static_cast<uint32_t>(ParseHexValue(c.text)), c.expected) << '"' << c.text << '"';
  }
}

TEST(ParseHexValue, WhiteSpaceAndSigns) {
  const HexCase cases[] = {
      {" \t\n\v\f\r84", 0x84},
      {"+1F", 0x1F},
      {"-1", 0xFFFFFFFF},
      {"-0x10", 0xFFFFFFF0},
      {"  -7FFFFFFF", 0x80000001},
      {"+-5", 0},   // one sign only
      {"- 5", 0},   // no blank after the sign
      {"0x-5", 0},  // the sign comes before the prefix
  };
  for (const HexCase& c : cases) {
    EXPECT_EQ(static_cast<uint32_t>(ParseHexValue(c.text)), c.expected) << '"' << c.text << '"';
  }
}

TEST(ParseHexValue, StopsAtTheFirstNonDigitWithoutError) {
  const HexCase cases[] = {
      {"", 0},        {"xyz", 0},     {"g1", 0},       {"12g4", 0x12},
      {"0x", 0},      {"0xg", 0},     {"0x0x5", 0},    {"4E/0x4F", 0x4E},
      {"/v", 0},      {"12 34", 0x12}, {"1.5", 0x1},   {"ff\n", 0xFF},
  };
  for (const HexCase& c : cases) {
    EXPECT_EQ(static_cast<uint32_t>(ParseHexValue(c.text)), c.expected) << '"' << c.text << '"';
  }
}

TEST(ParseHexValue, SaturatesWhenTheValueStopsGrowing) {
  const HexCase cases[] = {
      {"80000000", 0x7FFFFFFF},
      {"-80000000", 0x80000000},
      {"FFFFFFFF", 0x7FFFFFFF},
      {"-FFFFFFFF", 0x80000000},
      {"FFFFFFFFFFFF", 0x7FFFFFFF},
      {"100000000", 0x7FFFFFFF},
      {"8000000", 0x08000000},
      // Only a step that does not grow counts: 0x12345678 x 16 + 9 wraps to
      // 0x23456789, which is still greater, so the digits go on.
      {"123456789", 0x23456789},
      // ...and stop at the first step that does not grow, ignoring the rest.
      {"800000001", 0x7FFFFFFF},
  };
  for (const HexCase& c : cases) {
    EXPECT_EQ(static_cast<uint32_t>(ParseHexValue(c.text)), c.expected) << '"' << c.text << '"';
  }
}

}  // namespace
