// The PD controller on a board's I2C bus, reached through the DesignWare
// controller's registers: transactions arrive as the bus makes them.
#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <vector>

#include "board_rig.h"
#include "sim/dw_i2c_controller.h"
#include "sim/pd_controller.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
namespace dw = sim::dw;

constexpr std::uint32_t kCmdRead = 0x100;
constexpr std::uint32_t kCmdStop = 0x200;
constexpr std::uint32_t kCmdRestart = 0x400;

class PdOnBoard : public testing::Test {
 protected:
  PdOnBoard() : pd_(sim::PdConfig{}, rig_.board.clock()) {
    for (const std::uint8_t address : pd_.BusAddresses7()) rig_.board.AttachDevice(0, address, &pd_);
  }

  void SetUp() override { ASSERT_TRUE(rig_.BringUp(0x40)); }

  // A block write as the update tool makes it: STOP on the last byte when
  // `stop`; false when the controller aborted.
  bool BlockWrite(const Bytes& bytes, bool stop = true) {
    for (std::size_t i = 0; i < bytes.size(); ++i) {
      const bool last = i + 1 == bytes.size();
      if (!rig_.SendCommand(bytes[i] | (last && stop ? kCmdStop : 0))) return false;
    }
    return true;
  }

  // Command bytes ending in STOP, then a separate read transaction.
  std::optional<Bytes> BlockRead(const Bytes& command, std::size_t count) {
    if (!BlockWrite(command)) return std::nullopt;
    Bytes out;
    for (std::size_t j = 0; j < count; ++j) {
      std::uint32_t cmd = kCmdRead;
      if (j == 0) cmd |= kCmdRestart;
      if (j + 1 == count) cmd |= kCmdStop;
      const int value = rig_.ReadByte(cmd);
      if (value < 0) return std::nullopt;
      out.push_back(static_cast<std::uint8_t>(value));
    }
    return out;
  }

  bool Aborted() { return (rig_.Read(dw::kRawIntrStat) & (1u << 6)) != 0; }
  void ClearAbort() { rig_.Read(dw::kClrTxAbrt); }

  simtest::Rig rig_;
  sim::PdController pd_;
};

TEST_F(PdOnBoard, FlashWorkAndEraseTimeOnTheBoardClock) {
  ASSERT_TRUE(BlockWrite({0xFE, 0x9C, 0x47}));
  ASSERT_TRUE(BlockWrite({0x00, 0xFE, 0x9C, 0x47}));
  ASSERT_TRUE(BlockWrite({0xFF, 0xF8, 0x3B, 0xE1}));
  ASSERT_TRUE(BlockWrite({0xFF, 0xFE, 0x04, 0x01}));
  ASSERT_TRUE(BlockWrite({0xFF, 0xFE, 0x09, 0x01}));
  EXPECT_EQ(BlockRead({0xFF, 0xF7}, 1), Bytes{0x82});
  EXPECT_EQ(BlockRead({0xFF, 0xC0}, 4), (Bytes{0x52, 0x30, 0x00, 0x08}));
  ASSERT_TRUE(BlockWrite({0xFF, 0xFE, 0x07, 0x01}));
  const std::uint64_t started = rig_.Now();
  int polls = 0;
  while (BlockRead({0xFF, 0xFF}, 1) == Bytes{0x11}) {
    rig_.Stall(2000);
    ASSERT_LT(++polls, 2001);
  }
  const double ms = static_cast<double>(rig_.Now() - started) / 1e6;
  EXPECT_GE(ms, 384.0);
  EXPECT_LT(ms, 400.0);
  EXPECT_EQ(pd_.flash().erasesCompleted(), 1u);
  EXPECT_FALSE(pd_.writeEnabled());
}

TEST_F(PdOnBoard, UnfitByteAbortsAndVerifyNoticeNeedsNoStop) {
  // The third byte fits no frame: the controller reports the abort.
  EXPECT_FALSE(BlockWrite({0xFF, 0xF8, 0x12, 0x00}));
  EXPECT_TRUE(Aborted());
  ClearAbort();
  ASSERT_TRUE(rig_.WaitIdle());
  EXPECT_FALSE(pd_.testMode());
  EXPECT_EQ(pd_.record().nackedBytes, 1u);

  // AA goes out without a STOP and the bus is held after it; the notice
  // counts once the byte is through, with no end of the transaction.
  EXPECT_TRUE(BlockWrite({0xAA}, /*stop=*/false));
  rig_.Stall(100);
  EXPECT_NE(rig_.Read(dw::kStatus) & dw::kStatusMasterActivity, 0u) << "the bus is held";
  EXPECT_EQ(pd_.record().verifyFailNotices, 1u);
  EXPECT_FALSE(Aborted());
}

}  // namespace
