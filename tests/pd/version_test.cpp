// The version queries at the TCPI-mode address: frames, print formats and
// failures, and the target they leave behind.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "pd/chip_info.h"
#include "sim/dw_i2c_controller.h"
#include "pd/version.h"
#include "pd_bench.h"

namespace pdtest {
namespace {

using Lines = std::vector<std::string>;

// Version bytes by command: B6 gives fw[0], fw[1]; E4 .. DD give pd[0] .. pd[5].
void AnswerVersions(FrameDevice& device, std::array<std::uint8_t, 2> fw, std::array<std::uint8_t, 6> pd) {
  device.answer = [fw, pd](const Bytes& command, std::size_t index) -> std::uint8_t {
    if (command.size() != 1) return 0xEE;
    const std::uint8_t commands[6] = {0xE4, 0xE3, 0xE2, 0xE1, 0xE0, 0xDD};
    if (command[0] == 0xB6 && index < 2) return fw[index];
    for (int i = 0; i < 6; ++i) {
      if (command[0] == commands[i] && index == 0) return pd[i];
    }
    return 0xEE;
  };
}

TEST(GetPdVersion, PrintsTwoBytesWithoutLineEnd) {
  struct Case {
    std::array<std::uint8_t, 2> fw;
    const char* text;
    const char* read;
  } const cases[] = {
      {{0x01, 0x0A}, "FW Version: 010A", "R 98: 01 0A"},
      {{0x00, 0x00}, "FW Version: 0000", "R 98: 00 00"},
      {{0xAB, 0xF0}, "FW Version: ABF0", "R 98: AB F0"},
  };
  for (const Case& c : cases) {
    // The chip answers at 98 only; the firmware interface stays the target
    // until the query moves it.
    PdBench bench(0x98, 0x80);
    AnswerVersions(bench.device, c.fw, {});
    gChipInfo.tcpiModeAddr = 0x98;
    EXPECT_TRUE(GetPdVersion());
    EXPECT_EQ(bench.Console(), c.text);
    EXPECT_EQ(bench.CurrentTarget(), 0x98);
    EXPECT_EQ(bench.Bus(), (Lines{"W 98: B6", c.read}));
  }
}

TEST(GetPdVersion, FailedReadPrintsItsTextAndNoVersion) {
  PdBench bench(0x98, 0x80);
  AnswerVersions(bench.device, {0x01, 0x02}, {});
  bench.device.refuse = [](const std::vector<Frame>&, bool read) { return read; };
  gChipInfo.tcpiModeAddr = 0x98;
  EXPECT_FALSE(GetPdVersion());
  EXPECT_EQ(bench.Console(), "Get_PD_ver I2CBlkDataRead Fail!!\r\n\r\n");
  EXPECT_EQ(bench.CurrentTarget(), 0x98);
}

TEST(GetPdVersion, NobodyAtTheAddress) {
  PdBench bench(0x98, 0x80);
  gChipInfo.tcpiModeAddr = 0x4C;
  EXPECT_FALSE(GetPdVersion());
  const std::string console = bench.Console();
  EXPECT_TRUE(EndsWith(console, "Get_PD_ver I2CBlkDataRead Fail!!\r\n\r\n")) << console;
  EXPECT_EQ(console.find("FW Version"), std::string::npos);
  EXPECT_EQ(bench.CurrentTarget(), 0x4C);
}

TEST(ShowPdVersion, SixCommandsInOrderThenOneLine) {
  PdBench bench(0x98, 0x80);
  AnswerVersions(bench.device, {}, {0x01, 0x02, 0x03, 0x0A, 0x0B, 0xFF});
  gChipInfo.tcpiModeAddr = 0x98;
  EXPECT_TRUE(ShowPdVersion());
  EXPECT_EQ(bench.Console(), "\r\nPD Version : 0102030A0BFF");
  EXPECT_EQ(bench.CurrentTarget(), 0x98);
  EXPECT_EQ(bench.Bus(), (Lines{"W 98: E4", "R 98: 01", "W 98: E3", "R 98: 02", "W 98: E2", "R 98: 03",
                                "W 98: E1", "R 98: 0A", "W 98: E0", "R 98: 0B", "W 98: DD", "R 98: FF"}));
}

TEST(ShowPdVersion, ThirdReadFailingEndsTheQuery) {
  PdBench bench(0x98, 0x80);
  AnswerVersions(bench.device, {}, {0x01, 0x02, 0x03, 0x0A, 0x0B, 0xFF});
  bench.device.refuse = [](const std::vector<Frame>& history, bool read) {
    return read && CountWrites(history, {0xE2}) == 1;
  };
  gChipInfo.tcpiModeAddr = 0x98;
  EXPECT_FALSE(ShowPdVersion());
  EXPECT_EQ(bench.Console(), "Get_PD_ver Fail!!\r\n\r\n");
  EXPECT_EQ(bench.CurrentTarget(), 0x98);
  EXPECT_EQ(bench.Bus(),
            (Lines{"W 98: E4", "R 98: 01", "W 98: E3", "R 98: 02", "W 98: E2", "R 98: NACK"}));
}

// When the controller cannot be pointed at the chip, nothing is sent and the
// controller's own text is the only one.
TEST(UnsettableTarget, QueriesSendNothing) {
  struct Case {
    const char* name;
    bool (*query)();
  } const cases[] = {
      {"Get_PD_ver", GetPdVersion},
      {"ShowPdVersion", ShowPdVersion},
      {"Get_chipID", [] {
         std::uint8_t id[4] = {};
         return GetChipId(id);
       }},
  };
  for (const Case& c : cases) {
    PdBench bench;
    AnswerVersions(bench.device, {0x01, 0x02}, {});
    gChipInfo.tcpiModeAddr = 0x98;
    gChipInfo.slaveAddr = 0x84;
    bench.fixture.board().Controller(bench.fixture.config().pdChannel)->faults().dead = true;
    EXPECT_FALSE(c.query()) << c.name;
    EXPECT_EQ(bench.Console(), "I2C Controller Enable Timeout!\r\n") << c.name;
    EXPECT_TRUE(bench.device.Log().empty()) << c.name;
  }
}

}  // namespace
}  // namespace pdtest
