#include "sim/board_options.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

namespace {

using sim::BoardConfig;
using sim::OptionResult;
using sim::PlatformType;

struct Parsed {
  OptionResult result;
  int index;
  std::string error;
};

// Parses every board option of `args` in turn, as the runner does, until
// one is not taken.
Parsed ParseAll(BoardConfig& config, std::vector<const char*> args) {
  args.insert(args.begin(), "vexa-sim");
  int index = 1;
  std::string error;
  OptionResult result = OptionResult::Taken;
  while (index < static_cast<int>(args.size())) {
    result = sim::ParseBoardOption(config, static_cast<int>(args.size()), args.data(), index, error);
    if (result != OptionResult::Taken) break;
  }
  return {result, index, error};
}

TEST(BoardOptions, ValuesGoIntoTheConfiguration) {
  BoardConfig config;
  const Parsed parsed = ParseAll(config, {"--platform", "amd", "--pd-channel", "5", "--trace",
                                          "bus.txt", "--fault", "controller-dead", "--fault",
                                          "clock-fail", "--fault", "scl-held", "--lpss", "cnl-h"});
  EXPECT_EQ(parsed.result, OptionResult::Taken);
  EXPECT_EQ(parsed.index, 15);
  EXPECT_EQ(config.lpss, "cnl-h");
  EXPECT_EQ(config.platform, PlatformType::Amd);
  EXPECT_EQ(config.pdChannel, 5u);
  EXPECT_EQ(config.busTracePath, "bus.txt");
  EXPECT_TRUE(config.controllerDead);
  EXPECT_TRUE(config.clockFail);
  EXPECT_TRUE(config.controllerFaults.sclHeld);
  EXPECT_FALSE(config.controllerFaults.rxDataLost);
}

TEST(BoardOptions, DefaultsAndEachPlatform) {
  const BoardConfig defaults;
  EXPECT_EQ(defaults.platform, PlatformType::Intel);
  EXPECT_EQ(defaults.pdChannel, 0u);
  EXPECT_FALSE(defaults.controllerDead);
  EXPECT_FALSE(defaults.clockFail);
  EXPECT_TRUE(defaults.busTracePath.empty());
  for (const auto& [name, platform] :
       {std::pair{"intel", PlatformType::Intel}, std::pair{"amd", PlatformType::Amd},
        std::pair{"unknown", PlatformType::Unknown}}) {
    BoardConfig config;
    config.platform = platform == PlatformType::Intel ? PlatformType::Amd : PlatformType::Intel;
    EXPECT_EQ(ParseAll(config, {"--platform", name}).result, OptionResult::Taken);
    EXPECT_EQ(config.platform, platform) << name;
  }
}

TEST(BoardOptions, EveryControllerFaultHasItsName) {
  using Faults = sim::DwI2cFaults;
  const std::pair<const char*, bool Faults::*> cases[] = {
      {"disable-stuck", &Faults::neverDisables},   {"scl-held", &Faults::sclHeld},
      {"tx-abort-stuck", &Faults::txAbortStuck},   {"tx-fifo-full", &Faults::txFifoFull},
      {"rx-full-stuck", &Faults::rxFullStuck},     {"master-busy", &Faults::masterActivityStuck},
      {"rx-lost", &Faults::rxDataLost},
  };
  for (const auto& [name, member] : cases) {
    BoardConfig config;
    ASSERT_EQ(ParseAll(config, {"--fault", name}).result, OptionResult::Taken) << name;
    EXPECT_TRUE(config.controllerFaults.*member) << name;
    int set = 0;
    for (const auto& [other, otherMember] : cases) set += (config.controllerFaults.*otherMember) ? 1 : 0;
    EXPECT_EQ(set, 1) << name;
    EXPECT_NE(sim::BoardOptionsHelp().find(name), std::string::npos) << name;
  }
}

TEST(BoardOptions, BadValuesAreErrors) {
  struct Case {
    std::vector<const char*> args;
    const char* errorMentions;
  };
  const Case cases[] = {
      {{"--platform", "arm"}, "arm"},
      {{"--platform", "Intel"}, "Intel"},
      {{"--platform"}, "--platform needs a value"},
      {{"--pd-channel", "x1"}, "x1"},
      {{"--pd-channel", "256"}, "256"},
      {{"--pd-channel", "-1"}, "-1"},
      {{"--pd-channel", ""}, "--pd-channel"},
      {{"--pd-channel", "0x1"}, "0x1"},
      {{"--fault", "controller-deaf"}, "controller-deaf"},
      {{"--fault"}, "--fault needs a value"},
      {{"--trace", ""}, "--trace"},
      {{"--lpss", "cnl"}, "cnl"},
      // A value that begins with "--" is the next option: the value is missing.
      {{"--flash", "--"}, "--flash needs a value, not the option '--'"},
      {{"--trace", "--fault", "scl-held"}, "--trace needs a value, not the option '--fault'"},
      {{"--chip", "--flash"}, "--chip needs a value"},
  };
  for (const Case& c : cases) {
    BoardConfig config;
    const Parsed parsed = ParseAll(config, c.args);
    EXPECT_EQ(parsed.result, OptionResult::Error) << c.errorMentions;
    EXPECT_NE(parsed.error.find(c.errorMentions), std::string::npos) << parsed.error;
  }
  BoardConfig config;
  ParseAll(config, {"--pd-channel", "255"});
  EXPECT_EQ(config.pdChannel, 255u);
}

// The PD controller can only hang on a controller the platform has; the
// refusal names the range.
TEST(BoardOptions, PdChannelIsOneOfThePlatformsControllers) {
  const struct {
    std::vector<const char*> platform;
    const char* last;
    const char* beyond;
    const char* range;
  } cases[] = {
      {{}, "3", "4", "0 to 3"},
      {{"--lpss", "spt-h"}, "2", "3", "0 to 2"},
      {{"--platform", "amd"}, "5", "6", "0 to 5"},
  };
  for (const auto& c : cases) {
    for (const char* channel : {c.last, c.beyond}) {
      BoardConfig config;
      std::vector<const char*> args = c.platform;
      args.insert(args.end(), {"--pd-channel", channel});
      ASSERT_EQ(ParseAll(config, args).result, OptionResult::Taken);
      std::string error;
      try {
        sim::Board board(config);
      } catch (const std::runtime_error& e) {
        error = e.what();
      }
      if (channel == c.last) {
        EXPECT_EQ(error, "") << c.range;
      } else {
        EXPECT_NE(error.find(c.range), std::string::npos) << error;
      }
    }
  }
}

TEST(BoardOptions, OtherOptionsAreLeftAlone) {
  for (const char* option : {"--help", "--platforms", "--trace-io", "--"}) {
    BoardConfig config;
    const Parsed parsed = ParseAll(config, {option, "amd"});
    EXPECT_EQ(parsed.result, OptionResult::Unknown) << option;
    EXPECT_EQ(parsed.index, 1) << option;
    EXPECT_TRUE(parsed.error.empty()) << option;
    EXPECT_EQ(config.platform, PlatformType::Intel);
  }
}

TEST(BoardOptions, HelpDocumentsEveryOption) {
  const std::string help = sim::BoardOptionsHelp();
  for (const char* text : {"--platform intel|amd|unknown", "--pd-channel N", "--trace FILE",
                           "--fault NAME", "controller-dead", "clock-fail", "default intel"}) {
    EXPECT_NE(help.find(text), std::string::npos) << text;
  }
}

}  // namespace
