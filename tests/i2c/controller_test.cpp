// Controller set-up: register traffic of I2cInit per platform, the target
// address, and the bounded waits.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "i2c/controller.h"
#include "i2c/discovery.h"
#include "i2c/i2c_host.h"
#include "i2c/transfer.h"
#include "sim/dw_i2c_controller.h"
#include "support/board_fixture.h"

namespace vexa_test {
namespace {

using Write = std::pair<std::uint32_t, std::uint32_t>;  // offset, value

// The controller register writes since the last mark, as offset/value pairs.
std::vector<Write> ControllerWrites(BoardFixture& fixture) {
  std::vector<Write> writes;
  for (const IoEvent& event : fixture.ControllerAccesses()) {
    if (event.op == "mmio-w32") {
      writes.emplace_back(static_cast<std::uint32_t>(event.address - gI2cHost.base),
                          static_cast<std::uint32_t>(event.value));
    }
  }
  return writes;
}

// Value of the first read of the register at `offset` in `events`.
std::uint32_t FirstReadValue(const std::vector<IoEvent>& events, std::uint32_t offset) {
  for (const IoEvent& event : events) {
    if (event.op == "mmio-r32" && event.address == gI2cHost.base + offset) {
      return static_cast<std::uint32_t>(event.value);
    }
  }
  ADD_FAILURE() << "no read of register " << std::hex << offset;
  return 0;
}

std::vector<Write> TimingWrites(PlatformKind kind) {
  if (kind == PlatformKind::Intel) {
    return {{reg::kFsSclHcnt, 0x3F}, {reg::kFsSclLcnt, 0xB3}, {reg::kTxTl, 0x3F},
            {reg::kSdaHold, 0x00200010}, {reg::kFsSpklen, 0x6}, {reg::kRxTl, 0x3F},
            {reg::kIntrMask, 0x2FFF}};
  }
  if (kind == PlatformKind::Amd) {
    return {{reg::kFsSclHcnt, 0x87}, {reg::kFsSclLcnt, 0xF0}, {reg::kTxTl, 0x3F},
            {reg::kSdaHold, 0x48}, {reg::kFsSpklen, 0x6}, {reg::kRxTl, 0x1}, {reg::kIntrMask, 0x244}};
  }
  return {};
}

void Append(std::vector<Write>& to, const std::vector<Write>& more) {
  to.insert(to.end(), more.begin(), more.end());
}

// Every register write of I2cInit after the platform-specific first step.
std::vector<Write> InitWrites(PlatformKind kind, std::uint32_t tarRead) {
  std::vector<Write> writes = {{reg::kEnable, 0},
                               {reg::kTar, tarRead & 0xFFFFE000},
                               {reg::kIntrMask, 0},
                               {reg::kRxTl, 0},
                               {reg::kTxTl, 0},
                               {reg::kTxTl, 0x3F},
                               {reg::kSdaHold, 0x8},
                               {reg::kCon, 0x65},
                               {reg::kEnable, 0}};
  Append(writes, TimingWrites(kind));
  Append(writes, {{reg::kEnable, 1}, {reg::kEnable, 1}, {reg::kEnable, 0}});
  Append(writes, TimingWrites(kind));
  writes.emplace_back(reg::kEnable, 1);
  return writes;
}

sim::BoardConfig Board(sim::PlatformType platform) {
  sim::BoardConfig config;
  config.platform = platform;
  return config;
}

TEST(ControllerInit, IntelReleaseResetCheckIdentityTimingTwice) {
  BoardFixture fixture(Board(sim::PlatformType::Intel));
  ASSERT_TRUE(LocateI2cController(0, false));
  fixture.Mark();
  ASSERT_TRUE(I2cInit());
  EXPECT_EQ(fixture.Console(), "");

  const std::vector<IoEvent> accesses = fixture.ControllerAccesses();
  ASSERT_GE(accesses.size(), 4u);
  // The block's type (I2C) before anything is written to its reset register.
  EXPECT_EQ(accesses[0].op, "mmio-r32");
  EXPECT_EQ(accesses[0].address, gI2cHost.base + sim::dw::kLpssCapabilities);
  EXPECT_EQ(accesses[1].op, "mmio-r32");
  EXPECT_EQ(accesses[1].address, gI2cHost.base + reg::kLpssResets);
  EXPECT_EQ(accesses[2].op, "mmio-w32");
  EXPECT_EQ(accesses[2].address, gI2cHost.base + reg::kLpssResets);
  EXPECT_EQ(accesses[2].value, accesses[1].value | 3);  // the reset field reads 11: out of reset
  EXPECT_EQ(accesses[3].op, "mmio-r32");
  EXPECT_EQ(accesses[3].address, gI2cHost.base + reg::kCompType);
  // Nothing outside the controller's block (no AMD pad bytes).
  EXPECT_EQ(fixture.MmioAccesses().size(), accesses.size());

  std::vector<Write> writes = ControllerWrites(fixture);
  writes.erase(writes.begin());  // the reset register, checked above
  EXPECT_EQ(writes, InitWrites(PlatformKind::Intel, FirstReadValue(accesses, reg::kTar)));

  // The pending-abort clear comes after the enable and before the idle wait.
  EXPECT_EQ(fixture.RegisterReads(reg::kClrTxAbrt), 1u);
}

// The identity comes first; only channel 2 has pads the tool knows, and
// they are set before any controller register is written.
TEST(ControllerInit, AmdChecksIdentityThenRoutesOnlyChannel2Pads) {
  for (const unsigned channel : {0u, 2u}) {
    SCOPED_TRACE(channel);
    sim::BoardConfig config = Board(sim::PlatformType::Amd);
    config.pdChannel = channel;
    BoardFixture fixture(config);
    ASSERT_TRUE(LocateI2cController(static_cast<std::uint8_t>(channel), false));
    fixture.Mark();
    ASSERT_TRUE(I2cInit());

    const std::vector<IoEvent> mmio = fixture.MmioAccesses();
    ASSERT_GE(mmio.size(), 5u);
    EXPECT_EQ(mmio[0].address, gI2cHost.base + reg::kCompType);
    std::vector<IoEvent> pads;
    for (const IoEvent& event : mmio) {
      if (event.op == "mmio-r8" || event.op == "mmio-w8") pads.push_back(event);
    }
    if (channel != 2) {
      EXPECT_TRUE(pads.empty());
    } else {
      ASSERT_EQ(pads.size(), 4u);
      const char* ops[4] = {"mmio-r8", "mmio-w8", "mmio-r8", "mmio-w8"};
      const std::uint64_t addresses[4] = {0xFED80D71, 0xFED80D71, 0xFED80D72, 0xFED80D72};
      for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(mmio[1 + i].op, ops[i]) << i;
        EXPECT_EQ(mmio[1 + i].address, addresses[i]) << i;
      }
      // Function bits 1..0 become 01, the other six bits stay.
      EXPECT_EQ(pads[1].value, (pads[0].value & ~0x03u) | 0x01u);
      EXPECT_EQ(pads[3].value, (pads[2].value & ~0x03u) | 0x01u);
    }

    const std::vector<IoEvent> accesses = fixture.ControllerAccesses();
    EXPECT_EQ(accesses.size() + pads.size(), mmio.size());
    EXPECT_EQ(fixture.RegisterReads(reg::kLpssResets), 0u);
    EXPECT_EQ(ControllerWrites(fixture), InitWrites(PlatformKind::Amd, FirstReadValue(accesses, reg::kTar)));
  }
}

// A kind other than Intel and Amd gets neither platform step nor timing.
TEST(ControllerInit, OtherKindOnlyDisablesAndEnables) {
  BoardFixture fixture(Board(sim::PlatformType::Intel));
  ASSERT_TRUE(fixture.BringUpController());
  gI2cHost.kind = static_cast<PlatformKind>(1);

  ASSERT_TRUE(I2cConfigureTiming());
  EXPECT_EQ(ControllerWrites(fixture), (std::vector<Write>{{reg::kEnable, 0}, {reg::kEnable, 1}}));

  fixture.Mark();
  ASSERT_TRUE(I2cInit());
  EXPECT_EQ(fixture.RegisterReads(reg::kLpssResets), 0u);
  EXPECT_EQ(fixture.MmioAccesses().size(), fixture.ControllerAccesses().size());
  EXPECT_EQ(ControllerWrites(fixture),
            InitWrites(PlatformKind::Unknown, FirstReadValue(fixture.Trace(), reg::kTar)));
}

// ---- Target address ----

struct TargetCase {
  std::uint8_t before;   // 8-bit address set first (after I2cInit: target 0)
  std::uint8_t address;  // then this one
  bool changes;
};

class TargetAddress : public testing::TestWithParam<TargetCase> {};

TEST_P(TargetAddress, IcTarWrittenOnlyForANewAddress) {
  const TargetCase& c = GetParam();
  BoardFixture fixture;
  ASSERT_TRUE(fixture.BringUpController());
  ASSERT_TRUE(I2cSetSlaveAddress(c.before));
  fixture.Mark();

  ASSERT_TRUE(I2cSetSlaveAddress(c.address));
  const std::vector<IoEvent> trace = fixture.Trace();
  const std::vector<std::uint32_t> tarWrites = fixture.RegisterWrites(reg::kTar);
  const std::vector<std::uint32_t> enableWrites = fixture.RegisterWrites(reg::kEnable);
  if (c.changes) {
    ASSERT_EQ(tarWrites.size(), 1u);
    // The read after the disable supplies the upper bits.
    std::uint32_t lastTarRead = 0;
    for (const IoEvent& event : trace) {
      if (event.op == "mmio-w32" && event.address == gI2cHost.base + reg::kTar) break;
      if (event.op == "mmio-r32" && event.address == gI2cHost.base + reg::kTar) {
        lastTarRead = static_cast<std::uint32_t>(event.value);
      }
    }
    EXPECT_EQ(tarWrites[0], (lastTarRead & 0xFFFFFC00u) | (c.address >> 1));
    EXPECT_EQ(enableWrites, (std::vector<std::uint32_t>{0, 1}));
    EXPECT_EQ(fixture.RegisterReads(reg::kTar), 2u);
  } else {
    EXPECT_TRUE(tarWrites.empty());
    EXPECT_EQ(enableWrites, (std::vector<std::uint32_t>{1}));
    EXPECT_EQ(fixture.RegisterReads(reg::kTar), 1u);
  }
  EXPECT_GE(fixture.RegisterReads(reg::kEnableStatus), 1u);
  EXPECT_EQ(fixture.Console(), "");
}

INSTANTIATE_TEST_SUITE_P(Cases, TargetAddress,
                         testing::Values(TargetCase{0x00, 0x00, false}, TargetCase{0x00, 0x01, false},
                                         TargetCase{0x00, 0x80, true}, TargetCase{0x80, 0x80, false},
                                         TargetCase{0x80, 0x81, false}, TargetCase{0x80, 0x98, true},
                                         TargetCase{0x98, 0x80, true}),
                         [](const testing::TestParamInfo<TargetCase>& info) {
                           char name[16];
                           std::snprintf(name, sizeof name, "From%02XTo%02X", info.param.before,
                                         info.param.address);
                           return std::string(name);
                         });

// The address really reaches the wire: each transfer goes to the device
// selected last.
TEST(TargetAddress, TransfersGoToTheSelectedDevice) {
  BoardFixture fixture;
  ScriptedDevice first;
  ScriptedDevice second;
  fixture.Attach(0x40, &first);
  fixture.Attach(0x4C, &second);
  ASSERT_TRUE(fixture.BringUpController());

  ASSERT_TRUE(I2cSetSlaveAddress(0x81));
  ASSERT_TRUE(I2cSendByte(0x11, ByteEnd::Stop, PollPace::Fast));
  ASSERT_TRUE(I2cSetSlaveAddress(0x98));
  ASSERT_TRUE(I2cSendByte(0x22, ByteEnd::Stop, PollPace::Fast));
  EXPECT_EQ(fixture.BusTrace(), (std::vector<std::string>{"W 80: 11", "W 98: 22"}));
}

// ---- Bounded waits ----

sim::DwI2cFaults& Faults(BoardFixture& fixture) {
  return fixture.board().Controller(fixture.config().pdChannel)->faults();
}

// Reads of IC_ENABLE_STATUS (or IC_STATUS) after the last write to IC_ENABLE.
std::size_t ReadsAfterLastEnableWrite(BoardFixture& fixture, std::uint32_t offset) {
  std::size_t count = 0;
  for (const IoEvent& event : fixture.Trace()) {
    if (event.op == "mmio-w32" && event.address == gI2cHost.base + reg::kEnable) count = 0;
    if (event.op == "mmio-r32" && event.address == gI2cHost.base + offset) ++count;
  }
  return count;
}

TEST(ControllerWaits, DeadControllerEndsInitAtTheFirstEnable) {
  sim::BoardConfig config;
  config.controllerDead = true;
  BoardFixture fixture(config);
  ASSERT_TRUE(LocateI2cController(0, false));
  fixture.Mark();

  EXPECT_FALSE(I2cInit());
  EXPECT_EQ(fixture.Console(), "I2C Controller Enable Timeout!\r\n");
  EXPECT_EQ(ReadsAfterLastEnableWrite(fixture, reg::kEnableStatus), kI2cStatusPollLimit);
  // Stopped there: the first enable was the one inside the timing step, and
  // nothing followed it.
  EXPECT_EQ(fixture.RegisterWrites(reg::kEnable), (std::vector<std::uint32_t>{0, 0, 1}));
  EXPECT_EQ(fixture.RegisterReads(reg::kClrTxAbrt), 0u);
}

TEST(ControllerWaits, ControllerThatNeverDisablesFailsTheFirstDisable) {
  BoardFixture fixture;
  ASSERT_TRUE(fixture.BringUpController());
  Faults(fixture).neverDisables = true;

  EXPECT_FALSE(I2cSetSlaveAddress(0x80));
  EXPECT_EQ(fixture.Console(), "I2C Controller Disable Timeout!\r\n");
  EXPECT_EQ(ReadsAfterLastEnableWrite(fixture, reg::kEnableStatus), kI2cStatusPollLimit);
  EXPECT_TRUE(fixture.RegisterWrites(reg::kTar).empty());
  EXPECT_EQ(fixture.RegisterWrites(reg::kEnable), (std::vector<std::uint32_t>{0}));

  fixture.Mark();
  EXPECT_FALSE(I2cConfigureTiming());
  EXPECT_EQ(fixture.Console(), "I2C Controller Disable Timeout!\r\n");
  EXPECT_EQ(ControllerWrites(fixture), (std::vector<Write>{{reg::kEnable, 0}}));
}

// At set-up an Intel block that does not disable is reset once through
// 0x204 (nothing is set up yet); one that still does not is given up.
TEST(ControllerWaits, IntelInitResetsAStuckBlockOnceBeforeGivingUp) {
  BoardFixture fixture;
  ASSERT_TRUE(fixture.BringUpController());
  Faults(fixture).neverDisables = true;
  fixture.Mark();

  EXPECT_FALSE(I2cInit());
  EXPECT_EQ(fixture.Console(), "I2C Controller Disable Timeout!\r\n");
  EXPECT_EQ(fixture.RegisterWrites(reg::kLpssResets), (std::vector<std::uint32_t>{3, 0, 3}));
}

TEST(ControllerWaits, BusyMasterEndsInitBeforeTheSecondTiming) {
  sim::BoardConfig config;
  BoardFixture fixture(config);
  ASSERT_TRUE(LocateI2cController(0, false));
  Faults(fixture).masterActivityStuck = true;
  fixture.Mark();

  EXPECT_FALSE(I2cInit());
  EXPECT_EQ(fixture.Console(), "I2C Controller Master Activity Timeout!\r\n");
  EXPECT_EQ(ReadsAfterLastEnableWrite(fixture, reg::kStatus), kI2cStatusPollLimit);
  EXPECT_EQ(fixture.RegisterReads(reg::kClrTxAbrt), 1u);
  // Two enables (timing, then init's own), no second disable.
  EXPECT_EQ(fixture.RegisterWrites(reg::kEnable), (std::vector<std::uint32_t>{0, 0, 1, 1}));
}

}  // namespace
}  // namespace vexa_test
