// Byte transfers over a set-up controller: IC_DATA_CMD sequences, pacing,
// abort handling, time-outs and what reaches the bus.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <string>
#include <vector>

#include "i2c/controller.h"
#include "i2c/i2c_host.h"
#include "i2c/transfer.h"
#include "sim/dw_i2c_controller.h"
#include "support/board_fixture.h"

namespace vexa_test {
namespace {

constexpr std::uint8_t kDevice7 = 0x40;  // 0x80 in 8-bit form

// A board whose PD channel carries `device` at 0x40, controller set up and
// target selected; trace and console marked after that.
class Transfer : public testing::Test {
 protected:
  explicit Transfer(sim::PlatformType platform = sim::PlatformType::Intel) : fixture_(Config(platform)) {
    fixture_.Attach(kDevice7, &device_);
    bool ready = fixture_.BringUpController() && I2cSetSlaveAddress(0x80);
    EXPECT_TRUE(ready);
    fixture_.Mark();
  }

  static sim::BoardConfig Config(sim::PlatformType platform) {
    sim::BoardConfig config;
    config.platform = platform;
    return config;
  }

  sim::DwI2cController& controller() { return *fixture_.board().Controller(fixture_.config().pdChannel); }
  sim::DwI2cFaults& faults() { return controller().faults(); }

  // Stalls between the IC_DATA_CMD write of each queued byte and the next
  // byte's write (or the end), one list per byte.
  std::vector<std::vector<std::uint32_t>> StallsPerByte() {
    std::vector<std::vector<std::uint32_t>> perByte;
    for (const IoEvent& event : fixture_.Trace()) {
      if (event.op == "mmio-w32" && event.address == gI2cHost.base + reg::kDataCmd) {
        perByte.emplace_back();
      } else if (event.op == "stall" && !perByte.empty()) {
        perByte.back().push_back(static_cast<std::uint32_t>(event.value));
      }
    }
    return perByte;
  }

  // Holds the bus for `ns` with two bytes without STOP, the second one
  // stretched by the device; each returns once its byte is on the wire.
  void OccupyBus(std::uint64_t ns) {
    device_.stretchNsAt[device_.bytesSoFar() + 1] = ns;
    ASSERT_TRUE(I2cSendByte(0xA0, ByteEnd::More, PollPace::Slow));
    ASSERT_TRUE(I2cSendByte(0xA1, ByteEnd::More, PollPace::Fast));
    fixture_.Mark();
  }

  ScriptedDevice device_;
  BoardFixture fixture_;
};

class AmdTransfer : public Transfer {
 protected:
  AmdTransfer() : Transfer(sim::PlatformType::Amd) {}
};

// ---- IC_DATA_CMD sequences ----

struct ReadCase {
  std::vector<std::uint8_t> command;
  std::uint16_t length;
  std::vector<std::uint32_t> dataCmd;
  std::vector<std::string> bus;
};

class BlockRead : public Transfer, public testing::WithParamInterface<ReadCase> {};

TEST_P(BlockRead, CommandThenReadWithRestartAndStop) {
  const ReadCase& c = GetParam();
  device_.readData = {0x52, 0x30, 0x00, 0x07};
  std::array<std::uint8_t, 8> buffer;
  buffer.fill(0xEE);

  ASSERT_TRUE(
      I2cBlockRead(0x80, c.command.data(), static_cast<std::uint8_t>(c.command.size()), buffer.data(), c.length));
  EXPECT_EQ(fixture_.RegisterWrites(reg::kDataCmd), c.dataCmd);
  const std::array<std::uint8_t, 4> answer = {0x52, 0x30, 0x00, 0x07};
  for (std::size_t i = 0; i < buffer.size(); ++i) {
    EXPECT_EQ(buffer[i], i < c.length ? answer[i] : 0xEE) << i;
  }
  EXPECT_EQ(fixture_.Console(), "");
  EXPECT_EQ(fixture_.BusTrace(), c.bus);

  // Each read request is followed by a 20 us pause before the first poll.
  const auto perByte = StallsPerByte();
  ASSERT_EQ(perByte.size(), c.dataCmd.size());
  for (std::size_t i = c.command.size(); i < perByte.size(); ++i) {
    ASSERT_FALSE(perByte[i].empty());
    EXPECT_EQ(perByte[i].front(), 20u) << i;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BlockRead,
    testing::Values(ReadCase{{0xFF, 0xC0}, 4, {0x0FF, 0x2C0, 0x500, 0x100, 0x100, 0x300},
                             {"W 80: FF C0", "R 80: 52 30 00 07"}},
                    ReadCase{{0xB6}, 1, {0x2B6, 0x700}, {"W 80: B6", "R 80: 52"}},
                    ReadCase{{0xB6}, 0, {0x2B6}, {"W 80: B6"}},
                    ReadCase{{}, 2, {0x500, 0x300}, {"R 80: 52 30"}}),
    [](const testing::TestParamInfo<ReadCase>& info) {
      std::string name = info.param.command.empty() ? "NoCommand" : "Command";
      for (const std::uint8_t byte : info.param.command) {
        char hex[3];
        std::snprintf(hex, sizeof hex, "%02X", byte);
        name += hex;
      }
      return name + "Read" + std::to_string(info.param.length);
    });

TEST_F(Transfer, BlockWriteSendsBytesInOrderStopOnlyOnTheLast) {
  const std::uint8_t bytes[4] = {0xFF, 0xFE, 0x09, 0x01};
  ASSERT_TRUE(I2cBlockWrite(4, bytes));
  EXPECT_EQ(fixture_.RegisterWrites(reg::kDataCmd), (std::vector<std::uint32_t>{0x0FF, 0x0FE, 0x009, 0x201}));
  EXPECT_EQ(fixture_.Console(), "");
  EXPECT_EQ(fixture_.BusTrace(), (std::vector<std::string>{"W 80: FF FE 09 01"}));
  EXPECT_EQ(controller().record().ignoredWriteCount, 0u);
}

TEST_F(Transfer, OneByteWriteLeavesTheTransactionOpen) {
  const std::uint8_t byte = 0xAA;
  ASSERT_TRUE(I2cBlockWrite(1, &byte));
  EXPECT_EQ(fixture_.RegisterWrites(reg::kDataCmd), (std::vector<std::uint32_t>{0x0AA}));
  EXPECT_TRUE(controller().transactionOpen());
  ASSERT_EQ(device_.transactions.size(), 1u);
  EXPECT_FALSE(device_.transactions[0].stopped);
}

TEST_F(AmdTransfer, ReadAndWriteWorkOnTheAmdController) {
  device_.readData = {0x88, 0x53};
  const std::uint8_t write[3] = {0x10, 0x20, 0x30};
  ASSERT_TRUE(I2cBlockWrite(3, write));
  const std::uint8_t command[2] = {0xFF, 0xC0};
  std::uint8_t buffer[2] = {};
  ASSERT_TRUE(I2cBlockRead(0x80, command, 2, buffer, 2));
  EXPECT_EQ(buffer[0], 0x88);
  EXPECT_EQ(buffer[1], 0x53);
  EXPECT_EQ(fixture_.BusTrace(), (std::vector<std::string>{"W 80: 10 20 30", "W 80: FF C0", "R 80: 88 53"}));
}

// ---- Pacing ----

// The first byte polls for completion every 30 us, the others every 10 us;
// the last one then waits in 2 us steps for the transfer's end.
TEST_F(Transfer, BlockWritePacesFirstByteSlowOthersFast) {
  OccupyBus(300000);  // the first byte must wait for the bus
  const std::uint8_t bytes[4] = {0xFF, 0xFE, 0x09, 0x01};
  ASSERT_TRUE(I2cBlockWrite(4, bytes));
  EXPECT_EQ(fixture_.Console(), "");

  const auto perByte = StallsPerByte();
  ASSERT_EQ(perByte.size(), 4u);
  std::size_t paceStalls = 0;
  for (std::size_t b = 0; b < 4; ++b) {
    SCOPED_TRACE(b);
    const std::vector<std::uint32_t>& stalls = perByte[b];
    ASSERT_FALSE(stalls.empty());
    EXPECT_EQ(stalls.front(), 10u);  // after queuing
    std::size_t end = stalls.size() - 1;
    EXPECT_EQ(stalls.back(), 2u);  // before the next byte, or the end wait
    while (b == 3 && end > 1 && stalls[end - 1] == 2u) --end;
    for (std::size_t i = 1; i < end; ++i) {
      EXPECT_EQ(stalls[i], b == 0 ? 30u : 10u) << i;
      if (b > 0) ++paceStalls;
    }
  }
  EXPECT_GE(perByte[0].size(), 4u);  // it did wait
  EXPECT_GT(paceStalls, 0u);         // and so did a later byte, behind the one on the wire
}

struct SendCase {
  ByteEnd end;
  PollPace pace;
  std::uint32_t dataCmd;
  std::uint32_t checkStall;
};

class SentByte : public Transfer, public testing::WithParamInterface<SendCase> {};

// A byte that never gets on the wire shows its pace and its STOP bit.
TEST_P(SentByte, ModeSetsStopAndPaceSetsTheCheckInterval) {
  const SendCase& c = GetParam();
  faults().sclHeld = true;
  EXPECT_FALSE(I2cSendByte(0x5A, c.end, c.pace));
  EXPECT_EQ(fixture_.RegisterWrites(reg::kDataCmd), (std::vector<std::uint32_t>{c.dataCmd}));

  std::vector<std::uint32_t> expected = {2, 10};
  expected.insert(expected.end(), 20, c.checkStall);
  expected.insert(expected.end(), 300, 2);
  EXPECT_EQ(fixture_.Stalls(), expected);
  EXPECT_TRUE(fixture_.Trace("mmio-r16").empty());  // the FIFO level too is read 32 bits wide
  EXPECT_EQ(fixture_.RegisterReads(reg::kTxflr), 20u);
  EXPECT_EQ(fixture_.Console(),
            "I2C Sent Data Byte Timeout! Cmd = 5A\r\nI2C Transmit FIFO Complete Empty Error!\r\n");
}

INSTANTIATE_TEST_SUITE_P(Cases, SentByte,
                         testing::Values(SendCase{ByteEnd::More, PollPace::Fast, 0x05A, 10},
                                         SendCase{ByteEnd::More, PollPace::Slow, 0x05A, 30},
                                         SendCase{ByteEnd::Stop, PollPace::Slow, 0x25A, 30},
                                         SendCase{ByteEnd::Stop, PollPace::Fast, 0x25A, 10}),
                         [](const testing::TestParamInfo<SendCase>& info) {
                           return std::string(info.param.end == ByteEnd::Stop ? "Stop" : "More") +
                                  (info.param.pace == PollPace::Slow ? "Slow" : "Fast");
                         });

// ---- Aborts ----

TEST_F(Transfer, PendingAbortIsClearedThenTheByteIsSent) {
  device_.nackWriteIndex = 1;
  // A byte without STOP counts as sent once it left the FIFO; its NACK comes later.
  ASSERT_TRUE(I2cSendByte(0xAA, ByteEnd::More, PollPace::Slow));
  ASSERT_TRUE(I2cSendByte(0xBB, ByteEnd::More, PollPace::Fast));
  fixture_.board().clock().AdvanceUs(200);
  fixture_.Mark();

  ASSERT_TRUE(I2cSendByte(0xCC, ByteEnd::Stop, PollPace::Fast));
  const std::vector<IoEvent> trace = fixture_.Trace();
  ASSERT_GE(trace.size(), 4u);
  EXPECT_EQ(trace[0].address, gI2cHost.base + reg::kRawIntrStat);
  EXPECT_NE(trace[0].value & 0x40, 0u);
  EXPECT_EQ(trace[1].address, gI2cHost.base + reg::kClrTxAbrt);
  EXPECT_EQ(trace[2].line, "stall 2");
  EXPECT_EQ(trace[3].address, gI2cHost.base + reg::kRawIntrStat);
  EXPECT_EQ(trace[3].value & 0x40, 0u);
  EXPECT_EQ(fixture_.Console(), "");
  EXPECT_EQ(fixture_.BusTrace(), (std::vector<std::string>{"W 80: AA BB NACK", "W 80: CC"}));
}

TEST_F(Transfer, AbortThatNeverClearsGivesUpAfterAHundredChecks) {
  faults().txAbortStuck = true;
  EXPECT_FALSE(I2cSendByte(0x11, ByteEnd::More, PollPace::Slow));
  EXPECT_EQ(fixture_.Console(), "I2C Transmit Abort Error!\r\n");
  EXPECT_EQ(fixture_.RegisterReads(reg::kRawIntrStat), 100u);
  EXPECT_EQ(fixture_.RegisterReads(reg::kClrTxAbrt), 100u);
  EXPECT_TRUE(fixture_.RegisterWrites(reg::kDataCmd).empty());
}

TEST_F(Transfer, FullTransmitFifoGivesUpAfterAHundredReads) {
  faults().txFifoFull = true;
  EXPECT_FALSE(I2cSendByte(0x11, ByteEnd::More, PollPace::Slow));
  EXPECT_EQ(fixture_.Console(), "I2C Wait FIFO Empty Error!\r\n");
  EXPECT_EQ(fixture_.RegisterReads(reg::kStatus), 100u);
  EXPECT_TRUE(fixture_.Stalls().empty());
  EXPECT_TRUE(fixture_.RegisterWrites(reg::kDataCmd).empty());
}

struct NackCase {
  const char* name;
  std::vector<std::uint8_t> command;
  bool nackAddress;
  long nackWrite;
  std::string console;
};

class ReadNack : public Transfer, public testing::WithParamInterface<NackCase> {};

TEST_P(ReadNack, CommandFailureIsReportedAndNothingIsRead) {
  const NackCase& c = GetParam();
  device_.nackAddress = c.nackAddress;
  device_.nackWriteIndex = c.nackWrite;
  std::uint8_t buffer[4] = {0xEE, 0xEE, 0xEE, 0xEE};
  EXPECT_FALSE(I2cBlockRead(0x80, c.command.data(), static_cast<std::uint8_t>(c.command.size()), buffer, 4));
  EXPECT_EQ(fixture_.Console(), c.console);
  for (const std::uint32_t value : fixture_.RegisterWrites(reg::kDataCmd)) {
    EXPECT_EQ(value & 0x100, 0u) << "read requested after a failed command";
  }
  for (const std::uint8_t byte : buffer) EXPECT_EQ(byte, 0xEE);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ReadNack,
    testing::Values(
        NackCase{"AddressOfTwo", {0xFF, 0xC0}, true, -1,
                 "I2C Device Not Found or Error! Slave Address = 80, Command = FF ) !\r\n"},
        // A refused data byte has already left the FIFO; the abort catches
        // the byte queued behind it.
        NackCase{"FirstOfThree", {0x12, 0x34, 0x56}, false, 0,
                 "I2C Device Not Found or Error! Slave Address = 80, Command = 12 ) !\r\n"},
        NackCase{"SecondOfThree", {0x12, 0x34, 0x56}, false, 1,
                 "I2CBlkDataRead -> I2cSentByte Fail!!(1)\r\n"},
        NackCase{"OneByte", {0xB6}, true, -1, "I2CBlkDataRead -> I2cSentByte Fail!!(1)\r\n"}),
    [](const testing::TestParamInfo<NackCase>& info) { return std::string(info.param.name); });

TEST_F(Transfer, BlockWriteWhoseFirstByteIsRefusedSendsNothingMore) {
  device_.nackAddress = true;
  const std::uint8_t bytes[3] = {0x3C, 0x01, 0x02};
  EXPECT_FALSE(I2cBlockWrite(3, bytes));
  EXPECT_EQ(fixture_.Console(), "I2C Block Write with Sending command byte error (3C, 3C)!\r\n");
  EXPECT_EQ(fixture_.RegisterWrites(reg::kDataCmd), (std::vector<std::uint32_t>{0x03C}));
}

// A refused byte ends the transfer on the bus: the bytes after it are not
// sent, for they would reach the device as a transfer of its own. A refused
// last byte fails the write too: it waits for the transfer's end.
TEST(TransferRefusal, BlockWriteStopsAtARefusedLaterByte) {
  const struct {
    long refused;
    const char* bus;
  } cases[] = {{1, "W 80: 3C 01 NACK"}, {3, "W 80: 3C 01 02 03 NACK"}, {4, "W 80: 3C 01 02 03 04 NACK"}};
  for (const auto& c : cases) {
    ScriptedDevice device;  // outlives the board, which talks to it as it ends
    device.nackWriteIndex = c.refused;
    BoardFixture fixture;
    fixture.Attach(kDevice7, &device);
    ASSERT_TRUE(fixture.BringUpController());
    ASSERT_TRUE(I2cSetSlaveAddress(0x80));
    const std::uint8_t bytes[5] = {0x3C, 0x01, 0x02, 0x03, 0x04};
    EXPECT_FALSE(I2cBlockWrite(5, bytes)) << c.refused;
    EXPECT_EQ(fixture.Console(), "") << c.refused;
    EXPECT_EQ(fixture.BusTrace(), std::vector<std::string>{c.bus}) << c.refused;
  }
}

// The refusal of a transfer's last byte comes a byte's time after the byte
// left the FIFO, later still when the device stretches the clock: it is
// reported at that byte, however long the device takes.
TEST(TransferRefusal, ALastByteRefusedIsReportedHoweverLateTheNackComes) {
  for (const std::uint64_t stretchNs : {0ull, 10'000ull, 30'000ull, 100'000ull, 800'000ull}) {
    SCOPED_TRACE(stretchNs);
    ScriptedDevice device;  // bytes 0 to 2 the write's, 3 the read's command
    device.stretchNsAt[2] = device.stretchNsAt[3] = stretchNs;
    BoardFixture fixture;
    fixture.Attach(kDevice7, &device);
    ASSERT_TRUE(fixture.BringUpController());
    ASSERT_TRUE(I2cSetSlaveAddress(0x80));
    const std::uint8_t bytes[3] = {0x3C, 0x01, 0x02};
    device.nackWriteIndex = 2;
    EXPECT_FALSE(I2cBlockWrite(3, bytes));
    device.nackWriteIndex = 3;
    const std::uint8_t command = 0xB6;
    std::uint8_t answer = 0xEE;
    EXPECT_FALSE(I2cBlockRead(0x80, &command, 1, &answer, 1));
    EXPECT_EQ(fixture.Console(), "I2CBlkDataRead -> I2cSentByte Fail!!(1)\r\n");
    EXPECT_EQ(fixture.BusTrace(), (std::vector<std::string>{"W 80: 3C 01 02 NACK", "W 80: B6 NACK"}));
    EXPECT_EQ(answer, 0xEE);
  }
}

// ---- Time-outs ----

TEST_F(Transfer, LateByteTimesOutEvenWhenTheFifoDrainsAfterwards) {
  OccupyBus(900000);  // free again after the 20 checks, within the drain wait
  EXPECT_FALSE(I2cSendByte(0x42, ByteEnd::Stop, PollPace::Slow));
  EXPECT_EQ(fixture_.Console(), "I2C Sent Data Byte Timeout! Cmd = 42\r\n");
  const std::vector<std::uint32_t> stalls = fixture_.Stalls();
  EXPECT_GT(stalls.size(), 22u);
  EXPECT_LT(stalls.size(), 22u + 300u);
}

TEST_F(Transfer, BlockWriteGoesOnAfterALaterByteTimesOut) {
  // The second byte holds the bus past the third byte's 20 checks of 10 us,
  // but frees it within the drain wait, before the fourth.
  device_.stretchNsAt[1] = 500000;
  const std::uint8_t bytes[4] = {0xFF, 0xFE, 0x09, 0x01};
  EXPECT_TRUE(I2cBlockWrite(4, bytes));
  EXPECT_EQ(fixture_.Console(), "I2C Sent Data Byte Timeout! Cmd = 09\r\n");
  EXPECT_EQ(fixture_.RegisterWrites(reg::kDataCmd), (std::vector<std::uint32_t>{0x0FF, 0x0FE, 0x009, 0x201}));
  EXPECT_EQ(fixture_.BusTrace(), (std::vector<std::string>{"W 80: FF FE 09 01"}));
}

TEST_F(Transfer, BlockWriteRefusesWhileTheTransmitFifoHoldsAByte) {
  OccupyBus(5000000);
  EXPECT_FALSE(I2cSendByte(0x42, ByteEnd::More, PollPace::Fast));  // still queued behind the held byte
  fixture_.Mark();
  const std::uint8_t bytes[2] = {0x01, 0x02};
  EXPECT_FALSE(I2cBlockWrite(2, bytes));
  EXPECT_EQ(fixture_.Console(), "Transmit FIFO is NOT Empty !\r\n");
  EXPECT_TRUE(fixture_.RegisterWrites(reg::kDataCmd).empty());
}

TEST_F(Transfer, ByteThatNeverArrivesEndsTheReadSilently) {
  device_.readData = {0x01, 0x02, 0x03};
  device_.stretchNsAt[4] = 50000000;  // write FF C0, read 01 02, then the third read byte stalls
  const std::uint8_t command[2] = {0xFF, 0xC0};
  std::uint8_t buffer[4] = {0xEE, 0xEE, 0xEE, 0xEE};
  EXPECT_FALSE(I2cBlockRead(0x80, command, 2, buffer, 4));
  EXPECT_EQ(fixture_.Console(), "");
  EXPECT_EQ(buffer[0], 0x01);
  EXPECT_EQ(buffer[1], 0x02);
  EXPECT_EQ(buffer[2], 0xEE);
  EXPECT_EQ(buffer[3], 0xEE);

  // After the third request: 1000 status reads with a 2 us stall after each.
  std::size_t statusReads = 0;
  std::size_t stalls = 0;
  bool afterThird = false;
  for (const IoEvent& event : fixture_.Trace()) {
    if (event.op == "mmio-w32" && event.address == gI2cHost.base + reg::kDataCmd && event.value == 0x100) {
      afterThird = true;
      statusReads = stalls = 0;
    } else if (afterThird && event.op == "mmio-r32" && event.address == gI2cHost.base + reg::kStatus) {
      ++statusReads;
    } else if (afterThird && event.line == "stall 2") {
      ++stalls;
    }
  }
  EXPECT_EQ(statusReads, 1000u);
  EXPECT_EQ(stalls, 1000u);
}

TEST_F(Transfer, FullReceiveFifoIsABoundedWait) {
  faults().rxFullStuck = true;
  const std::uint8_t command = 0xB6;
  std::uint8_t buffer[2] = {0xEE, 0xEE};
  EXPECT_FALSE(I2cBlockRead(0x80, &command, 1, buffer, 2));
  EXPECT_EQ(fixture_.Console(), "I2C Receive FIFO Full Timeout!\r\n");
  EXPECT_EQ(fixture_.RegisterWrites(reg::kDataCmd), (std::vector<std::uint32_t>{0x2B6}));
  EXPECT_GE(fixture_.RegisterReads(reg::kStatus), kI2cStatusPollLimit);
  EXPECT_EQ(buffer[0], 0xEE);
}

// ---- Lengths no caller asks for ----

TEST_F(Transfer, ReadLengthAbove255AndEmptyWriteAreRefusedWithoutTraffic) {
  const std::uint8_t command[2] = {0xFF, 0xC0};
  std::vector<std::uint8_t> buffer(300, 0xEE);
  EXPECT_FALSE(I2cBlockRead(0x80, command, 2, buffer.data(), 256));
  EXPECT_FALSE(I2cBlockWrite(0, command));
  EXPECT_TRUE(fixture_.MmioAccesses().empty());
  EXPECT_EQ(fixture_.Console(), "I2CBlkDataRead -> Read Length 256 Over 255!!\r\nI2CBlkDataWrite -> Nothing to Send!!\r\n");
  for (const std::uint8_t byte : buffer) ASSERT_EQ(byte, 0xEE);
}

}  // namespace
}  // namespace vexa_test
