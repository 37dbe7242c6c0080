// The controller's registers: reset, enable/disable timing, registers that
// only take writes while disabled, FIFO depths, the AMD pad bytes.
#include <gtest/gtest.h>

#include "board_rig.h"

namespace {

using namespace sim::dw;
using sim::DwI2cController;
using sim::IgnoredBecause;
using simtest::AmdConfig;
using simtest::LoggingDevice;
using simtest::Rig;

TEST(DwI2cRegisters, IntelControllerIsInertUntilTheLpssResetIsReleased) {
  Rig rig;
  EXPECT_TRUE(rig.controller().inReset());
  EXPECT_EQ(rig.Read(kLpssResets), 0u);
  EXPECT_EQ(rig.Read(kCompType), 0u);
  rig.Write(kTar, 0x40);
  rig.Write(kEnable, 1);
  rig.Stall(100);
  EXPECT_EQ(rig.Read(kEnableStatus), 0u);
  ASSERT_EQ(rig.controller().record().ignoredWrites.size(), 2u);
  EXPECT_EQ(rig.controller().record().ignoredWrites[0].why, IgnoredBecause::InReset);

  // The reset field's reserved values 01 and 10 hold it as 00 does.
  for (const std::uint32_t reserved : {1u, 2u}) {
    rig.Write(kLpssResets, reserved);
    EXPECT_EQ(rig.Read(kLpssResets), reserved);
    EXPECT_EQ(rig.Read(kCompType), 0u) << reserved;
  }
  rig.Write(kLpssResets, 3);
  EXPECT_EQ(rig.Read(kLpssResets), 3u);
  EXPECT_EQ(rig.Read(kCompType), kCompTypeValue);
  EXPECT_EQ(rig.Read(kTar), kResetTar);
  EXPECT_EQ(rig.Read(kCon), kResetCon);
  EXPECT_EQ(rig.Read(kEnableStatus), 0u);

  // Back into reset: everything returns to its reset value.
  rig.Write(kTar, 0x40);
  rig.Write(kLpssResets, 0);
  rig.Write(kLpssResets, 3);
  EXPECT_EQ(rig.Read(kTar), kResetTar);
}

TEST(DwI2cRegisters, AmdControllerHasNoLpssResetRegister) {
  Rig rig(AmdConfig());
  EXPECT_EQ(rig.Read(kCompType), kCompTypeValue);
  rig.Write(kLpssResets, 3);
  EXPECT_EQ(rig.Read(kLpssResets), 0u);
  ASSERT_EQ(rig.controller().record().ignoredWrites.size(), 1u);
  EXPECT_EQ(rig.controller().record().ignoredWrites[0].why, IgnoredBecause::NoRegister);
}

TEST(DwI2cRegisters, EnableStatusFollowsAfterAShortDelay) {
  Rig rig;
  rig.Write(kLpssResets, 3);
  rig.Write(kEnable, 1);
  EXPECT_EQ(rig.Read(kEnable), 1u);
  EXPECT_EQ(rig.Read(kEnableStatus), 0u);  // 400 ns later
  rig.Stall(1);
  EXPECT_EQ(rig.Read(kEnableStatus), 1u);

  rig.Write(kEnable, 0);
  EXPECT_EQ(rig.Read(kEnableStatus), 1u);
  rig.Stall(1);
  EXPECT_EQ(rig.Read(kEnableStatus), 0u);
}

TEST(DwI2cRegisters, FaultsKeepTheStatusFromFollowing) {
  sim::BoardConfig config;
  config.controllerDead = true;
  Rig dead(config);
  dead.Write(kLpssResets, 3);
  EXPECT_FALSE(dead.SetEnabled(true));
  EXPECT_EQ(dead.Read(kEnable), 1u);

  config = {};
  config.controllerFaults.neverDisables = true;
  Rig stuck(config);
  stuck.Write(kLpssResets, 3);
  EXPECT_TRUE(stuck.SetEnabled(true));
  EXPECT_FALSE(stuck.SetEnabled(false));
}

TEST(DwI2cRegisters, SetUpRegistersOnlyTakeWritesWhileDisabled) {
  Rig rig;
  ASSERT_TRUE(rig.BringUp(0x40));
  struct Case {
    std::uint32_t offset;
    std::uint32_t value;
  };
  const Case cases[] = {{kTar, 0x41}, {kCon, 0x63},     {kFsSclHcnt, 0x10}, {kFsSclLcnt, 0x20},
                        {kFsSpklen, 2}, {kSdaHold, 0x5}, {kSsSclHcnt, 0x100}};
  std::vector<std::uint32_t> before;
  for (const Case& c : cases) before.push_back(rig.Read(c.offset));
  for (const Case& c : cases) rig.Write(c.offset, c.value);
  const auto& ignored = rig.controller().record().ignoredWrites;
  ASSERT_EQ(ignored.size(), std::size(cases));
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    EXPECT_EQ(rig.Read(cases[i].offset), before[i]) << std::hex << cases[i].offset;
    EXPECT_EQ(ignored[i].offset, cases[i].offset);
    EXPECT_EQ(ignored[i].value, cases[i].value);
    EXPECT_EQ(ignored[i].why, IgnoredBecause::Enabled);
  }
  // Thresholds and the mask may change at any time.
  rig.Write(kRxTl, 3);
  rig.Write(kIntrMask, 0x244);
  EXPECT_EQ(rig.Read(kRxTl), 3u);
  EXPECT_EQ(rig.Read(kIntrMask), 0x244u);

  // Between disable and the disabled status the lock still holds.
  rig.Write(kEnable, 0);
  rig.Write(kTar, 0x41);
  EXPECT_EQ(rig.Read(kTar), 0x40u);
  ASSERT_TRUE(rig.WaitFor(kEnableStatus, 1, 0));
  rig.Write(kTar, 0x41);
  EXPECT_EQ(rig.Read(kTar), 0x41u);
}

TEST(DwI2cRegisters, WrittenValuesAreKeptWithinTheBlocksLimits) {
  Rig rig(AmdConfig());
  struct Case {
    std::uint32_t offset;
    std::uint32_t written;
    std::uint32_t readBack;
  };
  const Case cases[] = {
      {kTar, 0xFFFFE040, 0x40},      // bits 31..13 do not exist
      {kCon, 0x65, 0x65},            //
      {kCon, 0x67, 0x65},            // high speed falls back to fast
      {kFsSclHcnt, 2, 6},            // minimum counts
      {kFsSclLcnt, 3, 8},            //
      {kFsSpklen, 0, 1},             //
      {kTxTl, 0x3F, 31},             // thresholds stop at the FIFO depth
      {kRxTl, 0x1, 0x1},             //
      {kSdaHold, 0x00200010, 0x00200010},
  };
  for (const Case& c : cases) {
    rig.Write(c.offset, c.written);
    EXPECT_EQ(rig.Read(c.offset), c.readBack) << std::hex << c.offset << " " << c.written;
  }
}

TEST(DwI2cRegisters, FifoDepthsPerPlatform) {
  struct Case {
    sim::BoardConfig config;
    unsigned depth;
  };
  const Case cases[] = {{sim::BoardConfig{}, 64}, {AmdConfig(), 32}};
  for (const Case& c : cases) {
    sim::BoardConfig config = c.config;
    config.controllerFaults.sclHeld = true;  // nothing leaves
    Rig rig(config);
    ASSERT_TRUE(rig.BringUp(0x40));
    const std::uint32_t param = rig.Read(kCompParam1);
    EXPECT_EQ(((param >> 16) & 0xFF) + 1, c.depth);
    EXPECT_EQ(((param >> 8) & 0xFF) + 1, c.depth);
    for (unsigned i = 0; i < c.depth; ++i) {
      EXPECT_NE(rig.Read(kStatus) & kStatusTfnf, 0u) << i;
      rig.Write(kDataCmd, i);
    }
    EXPECT_EQ(rig.Read(kStatus) & (kStatusTfnf | kStatusTfe), 0u);
    EXPECT_EQ(rig.Read(kTxflr), c.depth);
    rig.Write(kDataCmd, 0x99);  // overflows
    EXPECT_EQ(rig.Read(kTxflr), c.depth);
    EXPECT_NE(rig.Read(kRawIntrStat) & kIntrTxOver, 0u);
    ASSERT_FALSE(rig.controller().record().ignoredWrites.empty());
    EXPECT_EQ(rig.controller().record().ignoredWrites.back().why, IgnoredBecause::TxFifoFull);
    rig.Read(kClrTxOver);
    EXPECT_EQ(rig.Read(kRawIntrStat) & kIntrTxOver, 0u);
    // A disable drops what was queued.
    rig.Write(kEnable, 0);
    EXPECT_EQ(rig.Read(kTxflr), 0u);
    EXPECT_EQ(rig.controller().record().flushedCommands, c.depth);
  }
}

TEST(DwI2cRegisters, CommandsWhileDisabledAndNarrowAccessesGoNowhere) {
  Rig rig;
  rig.Write(kLpssResets, 3);
  rig.Write(kDataCmd, 0xFF);
  EXPECT_EQ(rig.Read(kTxflr), 0u);
  rig.board.MmioWrite8(rig.base + kTar, 0x40);
  EXPECT_EQ(rig.Read(kTar), kResetTar);
  const auto& ignored = rig.controller().record().ignoredWrites;
  ASSERT_EQ(ignored.size(), 2u);
  EXPECT_EQ(ignored[0].why, IgnoredBecause::Disabled);
  EXPECT_EQ(ignored[1].why, IgnoredBecause::Narrow);
  // Narrow reads are refused too: all ones, and counted.
  EXPECT_EQ(rig.board.MmioRead8(rig.base + kCompType + 3), 0xFFu);
  EXPECT_EQ(rig.Read16(kCompType + 2), 0xFFFFu);
  EXPECT_EQ(rig.controller().record().narrowReads, 2u);
}

TEST(DwI2cRegisters, TimingRegistersGiveTheBusRate) {
  // 100 MHz with 63/179/6 and 150 MHz with 135/240/6: (HCNT + SPKLEN + 7)
  // high plus (LCNT + 1) low clock periods per SCL period.
  Rig intel;
  ASSERT_TRUE(intel.BringUp(0x40));
  EXPECT_EQ(intel.controller().SclPeriodPs(), 2'560'000u);
  Rig amd(AmdConfig());
  ASSERT_TRUE(amd.BringUp(0x40));
  EXPECT_EQ(amd.controller().SclPeriodPs(), 389'000'000'000'000ull / 150'000'000);
  // Standard mode takes the SS counts (reset values).
  Rig standard;
  ASSERT_TRUE(standard.BringUp(0x40, 0x63));
  EXPECT_EQ(standard.controller().SclPeriodPs(), (0x190 + 6 + 7 + 0x1D6 + 1) * 10'000ull);
}

// The pads: both bytes must select function 1 with their other bits kept.
TEST(AmdPads, BusWorksOnlyWithBothPadsSetUpExactly) {
  struct Case {
    const char* name;
    std::uint8_t scl;
    std::uint8_t sda;
    bool works;
  };
  const Case cases[] = {
      {"reset values", 0xA2, 0x48, false},
      {"set bit 0 only", 0xA3, 0x49, false},
      {"clear bit 1 only", 0xA0, 0x48, false},
      {"upper bits lost", 0x01, 0x01, false},
      {"only the first pad", 0xA1, 0x48, false},
      {"both pads", 0xA1, 0x49, true},
  };
  for (const Case& c : cases) {
    Rig rig(AmdConfig(), 2);  // GPIO113/114 are I2C2's pads
    LoggingDevice device;
    rig.board.AttachDevice(2, 0x40, &device);
    ASSERT_TRUE(rig.BringUp(0x40));
    rig.board.MmioWrite8(0xFED80D71, c.scl);
    rig.board.MmioWrite8(0xFED80D72, c.sda);
    EXPECT_EQ(rig.SendCommand(0x2FF), c.works) << c.name;
    EXPECT_EQ(device.log.empty(), !c.works) << c.name;
    EXPECT_EQ(rig.controller().record().addressNacks, c.works ? 0u : 1u) << c.name;
  }
}

TEST(AmdPads, ResetValuesAndWriteRecord) {
  sim::Board board(AmdConfig());
  const std::uint8_t scl = board.MmioRead8(0xFED80D71);
  const std::uint8_t sda = board.MmioRead8(0xFED80D72);
  EXPECT_NE(scl & 3, 1);
  EXPECT_NE(sda & 3, 1);
  EXPECT_NE(scl & 0xFC, 0);
  EXPECT_NE(sda & 0xFC, 0);
  EXPECT_NE(scl, sda);
  board.MmioWrite8(0xFED80D71, 0xA1);
  board.MmioWrite8(0xFED80D72, 0x49);
  ASSERT_NE(board.Iomux(), nullptr);
  EXPECT_TRUE(board.Iomux()->I2cRouted(2));
  ASSERT_EQ(board.Iomux()->writes().size(), 2u);
  EXPECT_EQ(board.Iomux()->writes()[1].offset, 0x72u);
  EXPECT_EQ(board.Iomux()->writes()[1].value, 0x49);
  EXPECT_EQ(board.MmioRead32(0xFED80D70), 0x0049A100u);
}

}  // namespace
