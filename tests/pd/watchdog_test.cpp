// The watchdog restart by chip model: which transfers, what is written back,
// the texts of each failing transfer and the one 300 ms pause.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "pd/watchdog.h"
#include "pd_bench.h"

namespace pdtest {
namespace {

using Lines = std::vector<std::string>;

// Register D3 reads as `value`.
void AnswerControl(FrameDevice& device, std::uint8_t value) {
  device.answer = [value](const Bytes& command, std::size_t) -> std::uint8_t {
    return command == Bytes{0xFF, 0xD3} ? value : 0xEE;
  };
}

// Refuses the address of the n-th transaction (from 1), reads included.
void RefuseTransaction(FrameDevice& device, std::size_t n) {
  device.refuse = [n](const std::vector<Frame>& history, bool) { return history.size() + 1 == n; };
}

TEST(ResetWatchdog, FixedWriteModels) {
  for (const auto& chip : {std::pair<std::uint8_t, std::uint8_t>{0x52, 0x30}, {0x88, 0x58}}) {
    PdBench bench;
    EXPECT_TRUE(ResetWatchdog(chip.first, chip.second));
    EXPECT_EQ(bench.Console(), "");
    EXPECT_EQ(bench.ProtocolStalls(), std::vector<std::uint32_t>{300000});
    EXPECT_EQ(bench.Bus(), (Lines{"W 80: FF D0 02", "W 80: FF EB 50"}));
  }
}

TEST(ResetWatchdog, OtherModelsSetBit4OfD3ThenTrigger) {
  struct Case {
    std::uint8_t family, model, d3;
    const char* readLine;
    const char* writeBack;
  } const cases[] = {
      {0x52, 0x31, 0xEF, "R 80: EF", "W 80: FF D3 FF"},
      {0x88, 0x53, 0x10, "R 80: 10", "W 80: FF D3 10"},
      {0x88, 0x30, 0x00, "R 80: 00", "W 80: FF D3 10"},
      {0x58, 0x30, 0x81, "R 80: 81", "W 80: FF D3 91"},
  };
  for (const Case& c : cases) {
    PdBench bench;
    AnswerControl(bench.device, c.d3);
    EXPECT_TRUE(ResetWatchdog(c.family, c.model));
    EXPECT_EQ(bench.Console(), "");
    EXPECT_EQ(bench.ProtocolStalls(), std::vector<std::uint32_t>{300000});
    EXPECT_EQ(bench.Bus(), (Lines{"W 80: FF D3", c.readLine, c.writeBack, "W 80: FF D1 01"}));
  }
}

TEST(ResetWatchdog, EachFailingTransferEndsItWithoutThePause) {
  struct Case {
    std::uint8_t family, model;
    std::size_t failing;  // transaction number, from 1
    const char* message;
    std::size_t transactions;
  } const cases[] = {
      {0x52, 0x30, 1, "WDT_Reset for TAVIK Fail!!(1)", 1},
      {0x52, 0x30, 2, "WDT_Reset for TAVIK Fail!!(2)", 2},
      {0x88, 0x58, 1, "WDT_Reset for OLVREN Fail!!(1)", 1},
      {0x88, 0x58, 2, "WDT_Reset for OLVREN Fail!!(2)", 2},
      {0x52, 0x31, 1, "WDT_Reset Fail!!(1)", 1},  // the register number does not go out
      {0x52, 0x31, 2, "WDT_Reset Fail!!(1)", 2},  // the value does not come back
      {0x52, 0x31, 3, "WDT_Reset Fail!!(2)", 3},
      {0x52, 0x31, 4, "WDT_Reset Fail!!(2)", 4},
  };
  for (const Case& c : cases) {
    PdBench bench;
    AnswerControl(bench.device, 0x00);
    RefuseTransaction(bench.device, c.failing);
    EXPECT_FALSE(ResetWatchdog(c.family, c.model)) << c.message;
    // The text ends its line: what follows does not run on behind it.
    const std::string line = std::string(c.message) + "\r\n";
    const std::string console = bench.Console();
    EXPECT_TRUE(EndsWith(console, line)) << c.message << " / " << console;
    EXPECT_EQ(console.find("WDT_Reset"), console.size() - line.size()) << console;
    EXPECT_TRUE(bench.ProtocolStalls().empty()) << c.message;
    EXPECT_EQ(bench.device.Log().size(), c.transactions) << c.message;
  }
}

}  // namespace
}  // namespace pdtest
