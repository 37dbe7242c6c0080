// A long wait lets the hardware run: the STOP that ends a transfer reaches
// the device when it happens on the wire, not when the host next looks.
#include <gtest/gtest.h>

#include <cstdint>
#include <optional>

#include "sim/board_rig.h"
#include "sim/dw_i2c_controller.h"

namespace {

using simtest::LoggingDevice;
using simtest::Rig;

class StopClock : public LoggingDevice {
 public:
  explicit StopClock(const sim::Clock& clock) : clock_(clock) {}
  void Stop() override {
    LoggingDevice::Stop();
    stopNs = clock_.NowNs();
  }
  std::uint64_t stopNs = 0;

 private:
  const sim::Clock& clock_;
};

// A board without the PD controller, on one of its controllers a device at
// 0x40 that notes when the STOP reached it, and one byte with STOP queued
// to the device.
class BoardWait : public ::testing::Test {
 protected:
  static sim::BoardConfig NoPdConfig() {
    sim::BoardConfig config;
    config.pd.reset();
    return config;
  }

  // false when the controller could not be brought up.
  bool QueueStop(unsigned channel = 0) {
    rig.emplace(NoPdConfig(), channel);
    device.emplace(rig->board.clock());
    rig->board.AttachDevice(channel, 0x40, &*device);
    if (!rig->BringUp(0x40)) return false;
    rig->Write(sim::dw::kDataCmd, 0x2AA);  // one byte with STOP
    queued = rig->Now();
    return true;
  }

  // The board keeps a pointer to the device: the board goes first.
  std::optional<StopClock> device;
  std::optional<Rig> rig;
  std::uint64_t queued = 0;
};

TEST_F(BoardWait, DeliversTheStopAtItsTimeOnTheWire) {
  ASSERT_TRUE(QueueStop());
  rig->board.Wait(300'000'000);  // 300 ms, as after a watchdog write

  ASSERT_NE(device->stopNs, 0u);
  // START + address + byte + STOP are 20 SCL periods of about 2.56 us.
  EXPECT_LT(device->stopNs - queued, 100'000u);
  EXPECT_EQ(rig->Now() - queued, 300'000'000u);
}

// The board steps only the controllers the host has reached; one the host
// has turned away from must still run on, whether the host polls another
// controller or waits.
TEST_F(BoardWait, AControllerTheHostTurnedFromRunsOn) {
  const std::uint64_t otherStatus = simtest::ChannelBase(NoPdConfig(), 0) + sim::dw::kStatus;
  const struct {
    const char* name;
    void (*turnAway)(sim::Board&, std::uint64_t);
  } cases[] = {
      {"polls another", [](sim::Board& board, std::uint64_t other) {
         for (int i = 0; i < 1000; ++i) (void)board.MmioRead32(other);  // 200 us of accesses
       }},
      {"waits", [](sim::Board& board, std::uint64_t other) {
         (void)board.MmioRead32(other);
         board.Wait(200'000);
       }},
  };
  for (const auto& c : cases) {
    ASSERT_TRUE(QueueStop(1)) << c.name;
    c.turnAway(rig->board, otherStatus);
    ASSERT_NE(device->stopNs, 0u) << c.name;
    EXPECT_LT(device->stopNs - queued, 100'000u) << c.name;
  }
}

TEST_F(BoardWait, PlainClockAdvanceLeavesTheBusWhereItWas) {
  ASSERT_TRUE(QueueStop());
  rig->board.clock().AdvanceUs(300'000);
  EXPECT_EQ(device->stopNs, 0u);  // nothing touched the board since
  (void)rig->Read(sim::dw::kStatus);
  EXPECT_NE(device->stopNs, 0u);
}

}  // namespace
