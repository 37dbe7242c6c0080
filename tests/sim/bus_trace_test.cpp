// The bus trace file and the board's end-of-run work.
#include <gtest/gtest.h>

#include <cstdio>
#include <stdexcept>

#include "board_rig.h"

namespace {

using namespace sim::dw;
using simtest::LoggingDevice;
using simtest::ReadLines;
using simtest::Rig;

std::string TempPath(const char* name) {
  return ::testing::TempDir() + "vexa_sim_" + name + "_" +
         ::testing::UnitTest::GetInstance()->current_test_info()->name();
}

TEST(BusTrace, OneLinePerTransaction) {
  sim::BoardConfig config;
  config.busTracePath = TempPath("trace");
  std::vector<std::string> lines;
  {
    Rig rig(config);
    LoggingDevice device;
    device.readData = {0x52, 0x30, 0x00, 0x00, 0x7E};
    rig.board.AttachDevice(0, 0x40, &device);
    ASSERT_TRUE(rig.BringUp(0x40));
    // A block write, then a block read.
    for (const std::uint32_t command : {0x0FFu, 0x0F8u, 0x000u, 0x200u}) rig.SendCommand(command);
    rig.SendCommand(0x0FF);
    rig.SendCommand(0x2C0);
    for (const std::uint32_t command : {0x500u, 0x100u, 0x100u, 0x300u}) rig.ReadByte(command);
    // The device refuses the second byte.
    device.nackWriteIndex = device.writes + 1;
    for (const std::uint32_t command : {0x0FFu, 0x012u, 0x234u}) rig.SendCommand(command);
    ASSERT_TRUE(rig.WaitIdle());
    rig.Read(kClrTxAbrt);
    // Nobody at 0x41.
    ASSERT_TRUE(rig.SetEnabled(false));
    rig.Write(kTar, 0x41);
    ASSERT_TRUE(rig.SetEnabled(true));
    rig.SendCommand(0x2FF);
    ASSERT_TRUE(rig.WaitIdle());
    rig.Read(kClrTxAbrt);
    // A repeated START splits the line; a transaction still open at the
    // end of the run is written then.
    ASSERT_TRUE(rig.SetEnabled(false));
    rig.Write(kTar, 0x40);
    ASSERT_TRUE(rig.SetEnabled(true));
    rig.Write(kDataCmd, 0x0E0);
    rig.Write(kDataCmd, 0x500);
    rig.Stall(200);
    rig.SendCommand(0x0AA);
    rig.board.Finish();
    lines = ReadLines(config.busTracePath);
  }
  std::remove(config.busTracePath.c_str());
  EXPECT_EQ(lines, (std::vector<std::string>{
                       "W 80: FF F8 00 00",
                       "W 80: FF C0",
                       "R 80: 52 30 00 00",
                       "W 80: FF 12 NACK",
                       "W 82: NACK",
                       "W 80: E0",
                       "R 80: 7E",
                       "W 80: AA",
                   }));
}

TEST(BusTrace, UnwritableFileIsReported) {
  sim::BoardConfig config;
  config.busTracePath = "/nonexistent-dir/trace.txt";
  EXPECT_THROW(sim::Board board(config), std::runtime_error);
}

TEST(BoardFinish, RunsItsWorkOnceAfterTheTraceIsComplete) {
  sim::BoardConfig config;
  config.busTracePath = TempPath("finish");
  Rig rig(config);
  LoggingDevice device;
  rig.board.AttachDevice(0, 0x40, &device);
  ASSERT_TRUE(rig.BringUp(0x40));
  rig.Write(kDataCmd, 0x0AA);
  std::vector<std::vector<std::string>> seen;
  rig.board.AtFinish([&] { seen.push_back(ReadLines(config.busTracePath)); });
  rig.board.AtFinish([&] { seen.push_back({"second"}); });
  // The byte is still on the wire: Finish lets it complete.
  rig.board.Finish();
  rig.board.Finish();
  std::remove(config.busTracePath.c_str());
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[0], (std::vector<std::string>{"W 80: AA"}));
  EXPECT_EQ(seen[1], (std::vector<std::string>{"second"}));
}

TEST(BoardDevices, AdoptedDeviceLivesWithTheBoardAndAnswers) {
  Rig rig;
  auto owned = std::make_unique<LoggingDevice>();
  LoggingDevice* device = owned.get();
  EXPECT_EQ(rig.board.AdoptDevice(std::move(owned)), device);
  // One device at two addresses, like a chip with a second interface.
  rig.board.AttachDevice(0, 0x40, device);
  rig.board.AttachDevice(0, 0x22, device);
  // A device on another channel's bus is not reached.
  LoggingDevice elsewhere;
  rig.board.AttachDevice(1, 0x41, &elsewhere);
  ASSERT_TRUE(rig.BringUp(0x22));
  EXPECT_TRUE(rig.SendCommand(0x201));
  ASSERT_TRUE(rig.SetEnabled(false));
  rig.Write(kTar, 0x41);
  ASSERT_TRUE(rig.SetEnabled(true));
  EXPECT_FALSE(rig.SendCommand(0x202));
  EXPECT_TRUE(elsewhere.log.empty());
  // Detached: the address is NACKed.
  rig.board.AttachDevice(0, 0x22, nullptr);
  rig.Read(kClrTxAbrt);
  ASSERT_TRUE(rig.SetEnabled(false));
  rig.Write(kTar, 0x22);
  ASSERT_TRUE(rig.SetEnabled(true));
  EXPECT_FALSE(rig.SendCommand(0x203));
  EXPECT_EQ(device->log, (std::vector<std::string>{"S W", "W 01", "P"}));
}

TEST(BoardClock, RealTimeClockFollowsTheVirtualClock) {
  sim::Board board(sim::BoardConfig{});
  EXPECT_EQ(board.RtcSeconds(), sim::Board::kRtcEpochSeconds);
  board.clock().AdvanceUs(2'999'999);
  EXPECT_EQ(board.RtcSeconds(), sim::Board::kRtcEpochSeconds + 2);
  board.clock().AdvanceUs(1);
  EXPECT_EQ(board.RtcSeconds(), sim::Board::kRtcEpochSeconds + 3);

  sim::BoardConfig config;
  config.clockFail = true;
  sim::Board failing(config);
  EXPECT_FALSE(failing.RtcSeconds().has_value());
}

}  // namespace
