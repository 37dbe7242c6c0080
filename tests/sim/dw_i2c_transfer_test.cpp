// Transactions on the wire: what a device sees for scripted register
// sequences, FIFO and status behaviour, aborts, holds, rate and faults.
#include <gtest/gtest.h>

#include <initializer_list>

#include "board_rig.h"

namespace {

using namespace sim::dw;
using sim::IgnoredBecause;
using simtest::AmdConfig;
using simtest::LoggingDevice;
using simtest::Rig;
using Log = std::vector<std::string>;

// A rig with a logging device at 7-bit address 0x40, brought up to talk to it.
struct Bench {
  explicit Bench(const sim::BoardConfig& config = {}, std::uint32_t con = 0x65) : rig(config) {
    device.readData = {0x52, 0x30, 0x00, 0x00};
    rig.board.AttachDevice(0, 0x40, &device);
    EXPECT_TRUE(rig.BringUp(0x40, con));
  }
  void Queue(std::initializer_list<std::uint32_t> commands) {
    for (const std::uint32_t command : commands) rig.Write(kDataCmd, command);
  }
  Rig rig;
  LoggingDevice device;
};

TEST(DwI2cTransfer, BlockWriteDeliversTheBytesInOrder) {
  Bench bench;
  for (const std::uint32_t command : {0x0FFu, 0x0F8u, 0x000u, 0x200u}) {
    EXPECT_TRUE(bench.rig.SendCommand(command)) << std::hex << command;
  }
  ASSERT_TRUE(bench.rig.WaitIdle());
  EXPECT_EQ(bench.device.log, (Log{"S W", "W FF", "W F8", "W 00", "W 00", "P"}));
  EXPECT_EQ(bench.rig.controller().record().transactions, 1u);
  EXPECT_EQ(bench.rig.controller().record().bytes, 4u);
  EXPECT_EQ(bench.rig.Read(kStatus), kStatusTfnf | kStatusTfe);
}

TEST(DwI2cTransfer, FirstByteLeavesTheFifoWhenItStartsAfterTheAddress) {
  Bench bench;
  Rig& rig = bench.rig;
  rig.Write(kDataCmd, 0x0AA);
  const std::uint64_t queued = rig.Now();
  EXPECT_EQ(rig.Read(kTxflr), 1u);
  EXPECT_EQ(rig.Read(kStatus) & (kStatusTfe | kStatusMasterActivity), kStatusMasterActivity);
  ASSERT_TRUE(rig.WaitFor(kTxflr, 0xFFFF, 0));
  // START + address: 10 SCL periods of 2.56 us.
  const std::uint64_t left = rig.Now() - queued;
  EXPECT_GE(left, 25'600u);
  EXPECT_LT(left, 27'200u);
  EXPECT_EQ(bench.device.log, (Log{"S W"}));
  EXPECT_EQ(rig.Read(kStatus) & kStatusTfe, kStatusTfe);

  // Without STOP the master holds the bus once the byte is done (devices
  // hear of it at the next access).
  rig.Stall(30);
  EXPECT_NE(rig.Read(kStatus) & kStatusMasterActivity, 0u);
  EXPECT_EQ(bench.device.log, (Log{"S W", "W AA"}));
  EXPECT_NE(rig.Read(kRawIntrStat) & kIntrMasterOnHold, 0u);
  rig.Stall(1000);
  EXPECT_NE(rig.Read(kStatus) & kStatusMasterActivity, 0u);
  EXPECT_EQ(bench.device.log.size(), 2u);

  // The next command goes on in the same transaction.
  EXPECT_TRUE(rig.SendCommand(0x2BB));
  ASSERT_TRUE(rig.WaitIdle());
  EXPECT_EQ(bench.device.log, (Log{"S W", "W AA", "W BB", "P"}));
  EXPECT_EQ(rig.controller().record().transactions, 1u);
}

TEST(DwI2cTransfer, BlockReadWritesThenReadsOneByteAtATime) {
  Bench bench;
  Rig& rig = bench.rig;
  EXPECT_TRUE(rig.SendCommand(0x0FF));
  EXPECT_TRUE(rig.SendCommand(0x2C0));
  rig.Write(kDataCmd, 0x500);
  EXPECT_EQ(rig.Read(kStatus) & kStatusRfne, 0u);  // the byte is not there yet
  ASSERT_TRUE(rig.WaitFor(kStatus, kStatusRfne, kStatusRfne));
  EXPECT_EQ(rig.Read(kRxflr), 1u);
  EXPECT_EQ(rig.Read(kDataCmd) & 0xFF, 0x52u);
  EXPECT_EQ(rig.Read(kStatus) & kStatusRfne, 0u);
  EXPECT_EQ(rig.ReadByte(0x100), 0x30);
  EXPECT_EQ(rig.ReadByte(0x100), 0x00);
  EXPECT_EQ(rig.ReadByte(0x300), 0x00);
  ASSERT_TRUE(rig.WaitIdle());
  EXPECT_EQ(bench.device.log,
            (Log{"S W", "W FF", "W C0", "P", "S R", "R 52", "R 30", "R 00", "R 00", "P"}));
  EXPECT_EQ(rig.controller().record().transactions, 2u);
  EXPECT_EQ(rig.Read(kRxflr), 0u);
  // Reading an empty RX FIFO is an underflow.
  rig.Read(kDataCmd);
  EXPECT_NE(rig.Read(kRawIntrStat) & kIntrRxUnder, 0u);
}

TEST(DwI2cTransfer, RestartOrTurnOfDirectionGivesARepeatedStart) {
  struct Case {
    const char* name;
    std::uint32_t con;
    std::initializer_list<std::uint32_t> commands;
    Log log;
    unsigned transactions;
  };
  const Case cases[] = {
      {"RESTART read", 0x65, {0x0FF, 0x700}, {"S W", "W FF", "S R", "R 52", "P"}, 2},
      {"turn to read", 0x65, {0x0FF, 0x300}, {"S W", "W FF", "S R", "R 52", "P"}, 2},
      {"RESTART write", 0x65, {0x0FF, 0x6AA}, {"S W", "W FF", "S W", "W AA", "P"}, 2},
      {"no RESTART", 0x65, {0x0FF, 0x2AA}, {"S W", "W FF", "W AA", "P"}, 1},
      {"restart disabled", 0x45, {0x0FF, 0x700}, {"S W", "W FF", "P", "S R", "R 52", "P"}, 2},
  };
  for (const Case& c : cases) {
    Bench bench({}, c.con);
    bench.Queue(c.commands);
    ASSERT_TRUE(bench.rig.WaitIdle()) << c.name;
    EXPECT_EQ(bench.device.log, c.log) << c.name;
    EXPECT_EQ(bench.rig.controller().record().transactions, c.transactions) << c.name;
    // RESTART_DET is a slave's: a master's own repeated START never raises it.
    EXPECT_EQ(bench.rig.Read(kRawIntrStat) & kIntrRestartDet, 0u) << c.name;
  }
}

// As the public drivers do it: commands right after IC_ENABLE, before the
// enable status follows; none may be lost.
TEST(DwI2cTransfer, CommandsRightAfterTheEnableAreKept) {
  Bench bench;
  ASSERT_TRUE(bench.rig.SetEnabled(false));
  bench.rig.Write(kEnable, 1);
  bench.Queue({0x0AA, 0x0BB, 0x2CC});
  ASSERT_TRUE(bench.rig.WaitIdle());
  EXPECT_EQ(bench.device.log, (Log{"S W", "W AA", "W BB", "W CC", "P"}));
}

TEST(DwI2cTransfer, AddressNackAbortsAndKeepsTheFifoFlushedUntilCleared) {
  Bench bench;
  Rig& rig = bench.rig;
  ASSERT_TRUE(rig.SetEnabled(false));
  rig.Write(kTar, 0x41);
  ASSERT_TRUE(rig.SetEnabled(true));
  bench.Queue({0x0FF, 0x2EE});
  EXPECT_FALSE(rig.SendCommand(0x2DD));  // TX_ABRT seen
  EXPECT_EQ(rig.Read(kTxAbrtSource), kAbrt7BitAddrNoAck | 3u << 23);
  EXPECT_EQ(rig.Read(kTxflr), 0u);
  EXPECT_NE(rig.Read(kStatus) & kStatusTfe, 0u);
  rig.Write(kDataCmd, 0x0DD);  // dropped while the abort stands
  EXPECT_EQ(rig.Read(kTxflr), 0u);
  ASSERT_FALSE(rig.controller().record().ignoredWrites.empty());
  EXPECT_EQ(rig.controller().record().ignoredWrites.back().why, IgnoredBecause::AbortFlush);
  ASSERT_TRUE(rig.WaitIdle());
  EXPECT_TRUE(bench.device.log.empty());

  EXPECT_EQ(rig.Read(kClrTxAbrt), 1u);
  EXPECT_EQ(rig.Read(kRawIntrStat) & kIntrTxAbrt, 0u);
  EXPECT_EQ(rig.Read(kTxAbrtSource), 0u);
  rig.board.AttachDevice(0, 0x41, &bench.device);
  EXPECT_TRUE(rig.SendCommand(0x211));
  ASSERT_TRUE(rig.WaitIdle());
  EXPECT_EQ(bench.device.log, (Log{"S W", "W 11", "P"}));
  EXPECT_EQ(rig.controller().record().addressNacks, 1u);
}

TEST(DwI2cTransfer, DataNackAbortsWithStop) {
  Bench bench;
  bench.device.nackWriteIndex = 1;
  bench.Queue({0x0FF, 0x012, 0x034, 0x256});
  ASSERT_TRUE(bench.rig.WaitIdle());
  EXPECT_EQ(bench.device.log, (Log{"S W", "W FF", "W 12", "P"}));
  EXPECT_NE(bench.rig.Read(kRawIntrStat) & kIntrTxAbrt, 0u);
  EXPECT_EQ(bench.rig.Read(kTxAbrtSource) & 0xFF, kAbrtTxDataNoAck);
  EXPECT_EQ(bench.rig.controller().record().dataNacks, 1u);
  EXPECT_EQ(bench.rig.controller().record().flushedCommands, 2u);
  // IC_CLR_INTR clears the abort as well.
  bench.rig.Read(kClrIntr);
  EXPECT_EQ(bench.rig.Read(kRawIntrStat) & kIntrTxAbrt, 0u);
}

TEST(DwI2cTransfer, ReadsWaitWhileTheRxFifoIsFull) {
  Bench bench(AmdConfig());  // 32-entry FIFOs
  Rig& rig = bench.rig;
  bench.device.readData.assign(40, 0x5A);
  rig.Write(kDataCmd, 0x500);
  for (int i = 1; i < 32; ++i) rig.Write(kDataCmd, 0x100);
  rig.Stall(40);  // the first command has left
  rig.Write(kDataCmd, 0x300);
  rig.Stall(2000);
  EXPECT_EQ(rig.Read(kRxflr), 32u);
  EXPECT_EQ(bench.device.reads, 32u);
  EXPECT_NE(rig.Read(kStatus) & kStatusRff, 0u);
  EXPECT_NE(rig.Read(kRawIntrStat) & kIntrMasterOnHold, 0u);
  EXPECT_EQ(rig.Read(kDataCmd), 0x5Au);
  rig.Stall(100);
  EXPECT_EQ(bench.device.reads, 33u);
  ASSERT_TRUE(rig.WaitIdle());
  ASSERT_FALSE(bench.device.log.empty());
  EXPECT_EQ(bench.device.log.back(), "P");
  EXPECT_EQ(rig.Read(kRxflr), 32u);
}

// A master holding the bus (a transfer open, nothing queued) does not
// disable; only an ABORT, taken while enabled, ends the transfer with a
// STOP, reports it as a user abort and clears itself.
TEST(DwI2cTransfer, HeldMasterStaysEnabledUntilAnAbortEndsTheTransfer) {
  // Held after a byte without STOP, or after the byte a disable found on
  // the wire (the queued rest never goes out).
  for (const bool midByte : {false, true}) {
    Bench bench;
    Rig& rig = bench.rig;
    if (midByte) {
      bench.Queue({0x0AA, 0x0BB, 0x2CC});
      rig.Stall(30);
    } else {
      EXPECT_TRUE(rig.SendCommand(0x0AA));
      rig.Stall(50);
    }
    rig.Write(kEnable, 0);
    EXPECT_FALSE(rig.WaitFor(kEnableStatus, 1, 0, 1000)) << midByte;
    EXPECT_NE(rig.Read(kRawIntrStat) & kIntrMasterOnHold, 0u) << midByte;
    EXPECT_NE(rig.Read(kStatus) & kStatusMasterActivity, 0u) << midByte;
    rig.Write(kEnable, kEnableAbort);  // ignored: not enabled
    EXPECT_EQ(rig.Read(kEnable), 0u) << midByte;
    EXPECT_EQ(bench.device.log, (Log{"S W", "W AA"})) << midByte;
    EXPECT_EQ(rig.controller().record().flushedCommands, midByte ? 2u : 0u);

    rig.Write(kEnable, kEnableBit);
    rig.Write(kEnable, kEnableBit | kEnableAbort);
    EXPECT_EQ(rig.Read(kEnable), kEnableBit | kEnableAbort) << midByte;
    ASSERT_TRUE(rig.WaitFor(kEnable, kEnableAbort, 0, 100)) << midByte;
    EXPECT_EQ(bench.device.log, (Log{"S W", "W AA", "P"})) << midByte;
    EXPECT_NE(rig.Read(kRawIntrStat) & kIntrTxAbrt, 0u) << midByte;
    EXPECT_EQ(rig.Read(kTxAbrtSource) & 0xFFFF, 0u) << midByte;
    EXPECT_NE(rig.Read(kTxAbrtSource) & kAbrtUserAbort, 0u) << midByte;
    EXPECT_TRUE(rig.SetEnabled(false)) << midByte;
  }
}

TEST(DwI2cTransfer, BusRunsAtAboutFourHundredKilohertz) {
  struct Case {
    sim::BoardConfig config;
    unsigned bytes;
    double khz;
  };
  const Case cases[] = {{sim::BoardConfig{}, 64, 390.6}, {AmdConfig(), 32, 385.6}};
  for (const Case& c : cases) {
    Bench bench(c.config);
    Rig& rig = bench.rig;
    const std::uint64_t start = rig.Now() + sim::Board::kAccessCostNs;
    for (unsigned i = 0; i + 1 < c.bytes; ++i) rig.Write(kDataCmd, i & 0xFF);
    rig.Write(kDataCmd, 0x200);
    ASSERT_TRUE(rig.WaitIdle());
    // START + address, the bytes, STOP, in SCL periods.
    const double periods = 10 + 9.0 * c.bytes + 1;
    const double khz = periods / static_cast<double>(rig.Now() - start) * 1e6;
    EXPECT_NEAR(khz, c.khz, c.khz * 0.005) << c.bytes;
    EXPECT_EQ(bench.device.writes, static_cast<int>(c.bytes));
  }
}

TEST(DwI2cTransfer, ClockStretchingDelaysTheByte) {
  std::uint64_t took[2];
  for (int stretched = 0; stretched < 2; ++stretched) {
    Bench bench;
    bench.device.stretchNs = stretched != 0 ? 100'000 : 0;
    const std::uint64_t start = bench.rig.Now();
    bench.Queue({0x2AA});
    ASSERT_TRUE(bench.rig.WaitIdle());
    took[stretched] = bench.rig.Now() - start;
  }
  EXPECT_GE(took[1] - took[0], 99'000u);
  EXPECT_LE(took[1] - took[0], 101'500u);
}

TEST(DwI2cTransfer, TargetMustBeAPlainSevenBitMasterAddress) {
  struct Case {
    const char* name;
    std::uint32_t tar;
    std::uint32_t con;
    bool acked;
  };
  const Case cases[] = {
      {"7-bit", 0x40, 0x65, true},
      {"GC_OR_START without SPECIAL", 0x440, 0x65, true},
      {"reset IC_TAR: 10-bit master", 0x1040, 0x65, false},
      {"10-bit master in IC_CON", 0x40, 0x75, false},
      {"general call", 0x840, 0x65, false},
      {"START byte", 0xC40, 0x65, false},
  };
  for (const Case& c : cases) {
    Rig rig;
    LoggingDevice device;
    rig.board.AttachDevice(0, 0x40, &device);
    ASSERT_TRUE(rig.BringUp(c.tar, c.con)) << c.name;
    EXPECT_EQ(rig.SendCommand(0x2FF), c.acked) << c.name;
    EXPECT_EQ(device.log.empty(), !c.acked) << c.name;
  }
  // Not a master: nothing moves at all.
  Rig slave;
  ASSERT_TRUE(slave.BringUp(0x40, 0x64));
  EXPECT_FALSE(slave.SendCommand(0x2FF));
  EXPECT_EQ(slave.Read(kTxflr), 1u);
  EXPECT_EQ(slave.controller().record().transactions, 0u);
}

TEST(DwI2cTransfer, FaultKnobs) {
  using Faults = sim::DwI2cFaults;
  struct Case {
    const char* name;
    void (*set)(Faults&);
    bool sendWorks;
    int readResult;  // -1: no byte arrives
    std::uint32_t idleStatus;
  };
  const Case cases[] = {
      {"none", [](Faults&) {}, true, 0x52, kStatusTfnf | kStatusTfe},
      {"scl held", [](Faults& f) { f.sclHeld = true; }, false, -1,
       kStatusTfnf | kStatusActivity | kStatusMasterActivity},
      {"rx lost", [](Faults& f) { f.rxDataLost = true; }, true, -1, kStatusTfnf | kStatusTfe},
      {"tx fifo full", [](Faults& f) { f.txFifoFull = true; }, true, 0x52, kStatusTfe},
      {"rx full", [](Faults& f) { f.rxFullStuck = true; }, true, 0x52,
       kStatusTfnf | kStatusTfe | kStatusRff},
      {"master busy", [](Faults& f) { f.masterActivityStuck = true; }, true, 0x52,
       kStatusTfnf | kStatusTfe | kStatusActivity | kStatusMasterActivity},
  };
  for (const Case& c : cases) {
    Bench bench;
    Rig& rig = bench.rig;
    EXPECT_EQ(rig.Read(kStatus), kStatusTfnf | kStatusTfe) << c.name;
    c.set(rig.controller().faults());
    EXPECT_EQ(rig.SendCommand(0x2C0), c.sendWorks) << c.name;
    rig.Stall(100);
    if (c.readResult >= 0 || c.name == std::string("rx lost")) {
      EXPECT_EQ(rig.ReadByte(0x700), c.readResult) << c.name;
      rig.Stall(100);
    }
    EXPECT_EQ(rig.Read(kStatus), c.idleStatus) << c.name;
  }
  // The abort bit that cannot be cleared.
  Bench bench;
  bench.rig.controller().faults().txAbortStuck = true;
  bench.rig.Read(kClrTxAbrt);
  EXPECT_NE(bench.rig.Read(kRawIntrStat) & kIntrTxAbrt, 0u);
}

}  // namespace
