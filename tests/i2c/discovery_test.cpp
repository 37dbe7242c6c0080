// Platform identification and controller discovery against the simulated
// board's PCI configuration space.
#include <gtest/gtest.h>

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "i2c/discovery.h"
#include "i2c/i2c_host.h"
#include "support/board_fixture.h"

namespace vexa_test {
namespace {

sim::BoardConfig IntelBoard(std::uint64_t bar0, unsigned function = 0) {
  sim::BoardConfig config;
  config.platform = sim::PlatformType::Intel;
  config.intelBar0[function] = bar0;
  return config;
}

sim::BoardConfig AmdBoard() {
  sim::BoardConfig config;
  config.platform = sim::PlatformType::Amd;
  return config;
}

// The debug line of the input clock on the default board, whose LPSS
// functions run at 100 MHz, the clock of the tool's own timing.
std::string DefaultClockLine(unsigned channel, unsigned function) {
  char line[96];
  std::snprintf(line, sizeof line,
                "I2C%u Device ID = %04X, Input Clock = 100 MHz, Bus Rate = 390.6 kHz\r\n", channel,
                sim::FindLpssGeneration(sim::kDefaultLpss)->firstDeviceId + function);
  return line;
}

// The configuration cycles of a run, as "out32 0CF8 ..." / "in16 0CFC ..." lines
// without the values read.
std::vector<std::string> ConfigCycles(BoardFixture& fixture) {
  std::vector<std::string> cycles;
  for (const IoEvent& event : fixture.Trace()) {
    if (event.op == "out32") {
      char text[32];
      std::snprintf(text, sizeof text, "out32 %08llX", static_cast<unsigned long long>(event.value));
      cycles.push_back(text);
    } else if (event.op == "in16" || event.op == "in32") {
      cycles.push_back(event.op);
    }
  }
  return cycles;
}

TEST(Discovery, IntelOrderBridgeLpcBarHighLowThenPowerAndDecode) {
  BoardFixture fixture(IntelBoard(0xFE010004));
  ASSERT_TRUE(LocateI2cController(0, false));

  // A function in D0 that decodes is only read.
  const std::vector<std::string> expected = {
      "out32 80000000", "in16",  // host bridge vendor
      "out32 8000F800", "in32",  // 0:31.0
      "out32 8000A800", "in32",  // 0:21.0 vendor and device ID, present?
      "out32 8000A814", "in32",  // BAR0 upper half
      "out32 8000A810", "in32",  // BAR0 lower half
      "out32 8000A804", "in32",  // command and status: a capability list
      "out32 8000A834", "in32",  // its first capability: power management
      "out32 8000A880", "in32",  //
      "out32 8000A884", "in32",  // PMCSR: D0
  };
  EXPECT_EQ(ConfigCycles(fixture), expected);
  EXPECT_EQ(fixture.Console(), "INTEL\r\n\r\n");
  EXPECT_EQ(gI2cHost.kind, PlatformKind::Intel);
  EXPECT_EQ(gI2cHost.base, 0xFE010000u);
  EXPECT_TRUE(fixture.MmioAccesses().empty());
}

struct BarCase {
  std::uint64_t bar0;
  std::uint64_t base;
  const char* debugLine;
};

class IntelBar : public testing::TestWithParam<BarCase> {};

TEST_P(IntelBar, FlagsClearedDebugLineHighThenLow) {
  const BarCase& c = GetParam();
  BoardFixture fixture(IntelBoard(c.bar0));
  ASSERT_TRUE(LocateI2cController(0, true));
  EXPECT_EQ(gI2cHost.base, c.base);
  EXPECT_EQ(fixture.Console(), std::string("INTEL\r\n\r\n") + c.debugLine + DefaultClockLine(0, 0));
}

INSTANTIATE_TEST_SUITE_P(
    Bar, IntelBar,
    testing::Values(BarCase{0xFE010004, 0xFE010000, "I2C0 MMIO Address = 0x0FE010000\r\n"},
                    BarCase{0xFE0100F4, 0xFE010000, "I2C0 MMIO Address = 0x0FE010000\r\n"},
                    BarCase{0x00000040000A1004, 0x40000A1000, "I2C0 MMIO Address = 0x40000A1000\r\n"},
                    BarCase{0x0000000000001000, 0x1000, "I2C0 MMIO Address = 0x000001000\r\n"},
                    // A 32-bit BAR: the register after it is another BAR (here an
                    // I/O BAR reading 0x6001), not an upper address half.
                    BarCase{0x00006001C1011000, 0xC1011000, "I2C0 MMIO Address = 0x0C1011000\r\n"}),
    [](const testing::TestParamInfo<BarCase>& info) {
      char name[24];
      std::snprintf(name, sizeof name, "%llX", static_cast<unsigned long long>(info.param.bar0));
      return std::string(name);
    });

TEST(Discovery, IntelChannelWrapsOntoFunctionButDebugLineKeepsChannel) {
  struct Case {
    std::uint8_t channel;
    unsigned function;
  };
  for (const Case c : {Case{9, 1}, Case{11, 3}}) {
    SCOPED_TRACE(c.channel);
    BoardFixture fixture(IntelBoard(0xFE020004, c.function));
    ASSERT_TRUE(LocateI2cController(c.channel, true));

    const std::vector<std::string> cycles = ConfigCycles(fixture);
    ASSERT_EQ(cycles.size(), 18u);
    const std::uint32_t device = 0x8000A800 | (c.function << 8);
    char text[3][32];
    std::snprintf(text[0], sizeof text[0], "out32 %08X", device);
    std::snprintf(text[1], sizeof text[1], "out32 %08X", device | 0x14);
    std::snprintf(text[2], sizeof text[2], "out32 %08X", device | 0x10);
    EXPECT_EQ(cycles[4], text[0]);
    EXPECT_EQ(cycles[6], text[1]);
    EXPECT_EQ(cycles[8], text[2]);
    EXPECT_EQ(gI2cHost.base, 0xFE020000u);
    EXPECT_EQ(fixture.Console(), "INTEL\r\n\r\nI2C" + std::to_string(c.channel) +
                                     " MMIO Address = 0x0FE020000\r\n" +
                                     DefaultClockLine(c.channel, c.function));
  }
}

TEST(Discovery, AmdBasesComeFromTheFixedTable) {
  const std::uint64_t expected[6] = {0xFEDC2000, 0xFEDC3000, 0xFEDC4000,
                                     0xFEDC5000, 0xFEDC6000, 0xFEDCB000};
  for (std::uint8_t channel = 0; channel < 6; ++channel) {
    SCOPED_TRACE(channel);
    BoardFixture fixture(AmdBoard());
    ASSERT_TRUE(LocateI2cController(channel, true));
    EXPECT_EQ(gI2cHost.kind, PlatformKind::Amd);
    EXPECT_EQ(gI2cHost.base, expected[channel]);
    char line[64];
    std::snprintf(line, sizeof line, "AMD\r\n\r\nI2C%u MMIO Address = 0x%08llX\r\n", channel,
                  static_cast<unsigned long long>(expected[channel]));
    EXPECT_EQ(fixture.Console(), line);
    const std::vector<std::string> cycles = {"out32 80000000", "in16", "out32 80400000", "in32"};
    EXPECT_EQ(ConfigCycles(fixture), cycles);
  }
}

// Boards where no controller can be used: the platform text comes first, then
// why, and not one MMIO access happens.
struct NoControllerCase {
  const char* name;
  sim::BoardConfig config;
  std::uint8_t channel;
  PlatformKind kind;
  std::string console;
  const char* deviceNode = nullptr;  // a Linux device node named instead of the channel
};

class NoController : public testing::TestWithParam<NoControllerCase> {};

TEST_P(NoController, RefusedTouchingNoRegister) {
  const NoControllerCase& c = GetParam();
  BoardFixture fixture(c.config);
  EXPECT_FALSE(LocateI2cController(c.channel, false, c.deviceNode));
  EXPECT_EQ(fixture.Console(), c.console);
  EXPECT_EQ(gI2cHost.kind, c.kind);
  EXPECT_EQ(gI2cHost.base, 0u);
  EXPECT_TRUE(fixture.MmioAccesses().empty());
}

sim::BoardConfig IntelWithout(unsigned function) {
  sim::BoardConfig config;
  config.intelBar0[function] = std::nullopt;
  return config;
}

sim::BoardConfig UnknownBoard() {
  sim::BoardConfig config;
  config.platform = sim::PlatformType::Unknown;
  return config;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, NoController,
    testing::Values(
        NoControllerCase{"Unknown", UnknownBoard(), 0, PlatformKind::Unknown,
                         "Unknow\r\nNo Supported I2C Controller (Host Bridge Vendor ID = FFFF)!!\r\n"},
        NoControllerCase{"AmdChannel6", AmdBoard(), 6, PlatformKind::Amd,
                         "AMD\r\n\r\nI2C6 Controller Not Available (AMD Channels 0 to 5)!!\r\n"},
        NoControllerCase{"AmdChannel255", AmdBoard(), 255, PlatformKind::Amd,
                         "AMD\r\n\r\nI2C255 Controller Not Available (AMD Channels 0 to 5)!!\r\n"},
        NoControllerCase{"IntelFunctionAbsent", IntelWithout(2), 10, PlatformKind::Intel,
                         "INTEL\r\n\r\nI2C10 Controller Not Found (PCI Bus 0, Device 21, "
                         "Function 2)!!\r\n"},
        NoControllerCase{"IntelBarZero", IntelBoard(0x0000000000000004), 0, PlatformKind::Intel,
                         "INTEL\r\n\r\nI2C0 Controller Has No MMIO Address (BAR0 Not "
                         "Assigned)!!\r\n"},
        NoControllerCase{"IntelBarIoSpace", IntelBoard(0x000000000000E001), 0, PlatformKind::Intel,
                         "INTEL\r\n\r\nI2C0 Controller Has No MMIO Address (BAR0 Not "
                         "Assigned)!!\r\n"},
        NoControllerCase{"IntelBarLowHalfAllOnes", IntelBoard(0x00000000FFFFFFF4), 0, PlatformKind::Intel,
                         "INTEL\r\n\r\nI2C0 Controller Has No MMIO Address (BAR0 Not "
                         "Assigned)!!\r\n"},
        NoControllerCase{"IntelBarAllOnes", IntelBoard(0xFFFFFFFFFFFFFFFF), 0, PlatformKind::Intel,
                         "INTEL\r\n\r\nI2C0 Controller Has No MMIO Address (BAR0 Not "
                         "Assigned)!!\r\n"},
        NoControllerCase{"DeviceNodeOutsideLinux", IntelBoard(0x00000000FE028004), 0, PlatformKind::Unknown,
                         "/dev/i2c-0\r\n\r\nI2C Device Node /dev/i2c-0 Exists Only under Linux: Use "
                         "vexa-linux There!!\r\n",
                         "/dev/i2c-0"}),
    [](const testing::TestParamInfo<NoControllerCase>& info) { return std::string(info.param.name); });

TEST(Discovery, AbsentIntelFunctionIsNotAskedForItsBar) {
  BoardFixture fixture(IntelWithout(3));
  ASSERT_FALSE(LocateI2cController(3, false));
  const std::vector<std::string> expected = {"out32 80000000", "in16", "out32 8000F800",
                                             "in32",           "out32 8000AB00", "in32"};
  EXPECT_EQ(ConfigCycles(fixture), expected);
}

}  // namespace
}  // namespace vexa_test
