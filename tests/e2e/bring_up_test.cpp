// Boards as firmware may really leave them: every Intel PCH generation's
// input clock, functions without decoding or in D3hot, AMD controllers
// without power, and blocks that are not DesignWare I2C controllers.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "app/tool_main.h"
#include "e2e/update_expect.h"
#include "sim/dw_i2c_controller.h"
#include "sim/lpss_generations.h"
#include "support/board_fixture.h"

namespace {

using namespace vexa_test;
using namespace vexa_test::update;

// Fast mode: at most 400 kHz, SCL high at least 0.6 us and low 1.3 us, as
// the simulated bus ran it, on every generation's input clock.
TEST(BringUp, EveryLpssGenerationUpdatesInFastMode) {
  TempDir dir;
  const std::vector<std::uint8_t> image = MakeImage(2 * 1024, 6);
  const std::string name = std::filesystem::relative(dir.Write("fw.bin", image)).string();
  for (const sim::LpssGeneration& generation : sim::LpssGenerations()) {
    SCOPED_TRACE(generation.name);
    sim::BoardConfig config;
    config.lpss = generation.name;
    BoardFixture fixture(config);
    const char* argv[] = {"VEXA", name.c_str(), "/id", "5230"};
    ASSERT_EQ(ToolMain(4, argv), 0) << fixture.Console();
    EXPECT_EQ(FlashDifference(fixture.board().Pd()->flash().cells(), FlashAfterUpdate(image, 256)), "");

    const sim::DwI2cRecord& bus = fixture.board().Controller(0)->record();
    EXPECT_GE(bus.shortestSclHighPs, 600'000u);
    EXPECT_GE(bus.shortestSclLowPs, 1'300'000u);
    EXPECT_GE(bus.shortestSclHighPs + bus.shortestSclLowPs, 2'500'000u);
  }
}

// The lines of `io` that change hardware state: configuration writes and
// memory-mapped writes (address latches and reads left out).
std::vector<std::string> StateWrites(const std::vector<std::string>& io) {
  std::vector<std::string> writes;
  for (const std::string& line : io) {
    if (line.rfind("out32 0CFC", 0) == 0 || line.rfind("mmio-w", 0) == 0) writes.push_back(line);
  }
  return writes;
}

// Firmware left the controller unable to answer: the run makes it answer
// before its first register access, then updates as usual.
TEST(BringUp, FunctionsAndControllersLeftOffAreTurnedOnFirst) {
  const struct {
    const char* label;
    std::vector<std::string> board;
    std::string base;  // the controller's block, as the I/O trace writes it
    std::vector<std::string> enabling;  // in this order before the first register access
    std::vector<std::string> said;      // debug lines
  } cases[] = {
      {"decode off",
       {"--fault", "decode-off"},
       "00000000FE028",
       {"out32 0CF8 8000A804", "out32 0CFC 00000006"},
       {"I2C0 PCI Memory Space Enabled\r\n"}},
      // PME_Status is not written back: a 1 would clear it.
      {"D3hot",
       {"--fault", "d3hot"},
       "00000000FE028",
       {"out32 0CF8 8000A884", "out32 0CFC 00000008", "stall 10000"},
       {"I2C0 PCI Power State D3 -> D0\r\n"}},
      {"D3hot and decode off",
       {"--fault", "d3hot", "--fault", "decode-off"},
       "00000000FE028",
       {"out32 0CFC 00000008", "stall 10000", "out32 0CF8 8000A804", "out32 0CFC 00000006"},
       {"I2C0 PCI Power State D3 -> D0\r\nI2C0 PCI Memory Space Enabled\r\n"}},
      // Without No_Soft_Reset D3hot -> D0 clears the BARs and decoding;
      // BAR0 is written back before decoding is turned on.
      {"D3hot without No_Soft_Reset",
       {"--fault", "d3hot", "--fault", "no-soft-reset"},
       "00000000FE028",
       {"out32 0CFC 00000000", "stall 10000", "out32 0CF8 8000A810", "out32 0CFC FE028004",
        "out32 0CF8 8000A804", "out32 0CFC 00000002"},
       {"I2C0 PCI Power State D3 -> D0\r\nI2C0 PCI BARs Restored\r\nI2C0 PCI Memory Space Enabled\r\n"}},
      {"AMD without power",
       {"--platform", "amd", "--fault", "aoac-off"},
       "00000000FEDC2",
       {"mmio-w8 00000000FED81E4A 09"},
       {"I2C0 Powered On (AMD AOAC)\r\n"}},
  };
  const std::vector<std::uint8_t> image = MakeImage(3 * 1024, 7);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    TempDir dir;
    dir.Write("fw.bin", image);
    std::vector<std::string> board = c.board;
    board.insert(board.end(), {"--io-trace", "io.txt", "--flash", "flash.bin"});
    const SimResult run = RunSim(board, {"fw.bin", "/id", "5230", "/db"}, dir.path());
    EXPECT_EQ(run.exitCode, 0) << run.out;
    for (const std::string& line : c.said) EXPECT_NE(run.out.find(line), std::string::npos) << line;
    EXPECT_EQ(FlashDifference(ReadBytes(dir / "flash.bin"), FlashAfterUpdate(image, 256)), "");

    const std::vector<std::string> io = ReadLines(dir / "io.txt");
    std::size_t at = 0;
    for (const std::string& line : c.enabling) {
      while (at < io.size() && io[at] != line) ++at;
      ASSERT_LT(at, io.size()) << "no " << line << " in order";
    }
    const std::size_t firstAccess =
        std::min(FindLine(io, "mmio-r32 " + c.base), FindLine(io, "mmio-w32 " + c.base));
    EXPECT_LT(at, firstAccess) << "a register was accessed first";
    // Besides the controller's own registers nothing changed but what the
    // board needed (on AMD channel 0 no pin either).
    std::vector<std::string> others;
    for (const std::string& line : StateWrites(io)) {
      if (line.find(" " + c.base) == std::string::npos) others.push_back(line);
    }
    EXPECT_EQ(others, StateWrites(c.enabling));
  }
}

// Something else at the controller's address, or a controller that never
// gets power: the run stops at once, saying what it found, having written
// nothing to it (on Intel only the reset register, which releases a block
// at all).
TEST(BringUp, NoDesignWareControllerIsLeftAlone) {
  const struct {
    const char* label;
    std::vector<std::string> board;
    std::string channel;
    std::string platformLine;
    std::string message;
    std::vector<std::string> writes;
  } cases[] = {
      {"Intel", {"--fault", "not-dw"}, "0", kIntelLine,
       "I2C0 Controller at 0x0FE028000 Is Not a DesignWare I2C (IC_COMP_TYPE = 44570110)!!\n",
       {"mmio-w32 00000000FE028204 00000003"}},
      // The reset register of a block that is not an I2C one is not ours.
      {"Intel LPSS UART", {"--fault", "lpss-uart"}, "0", kIntelLine,
       "I2C0 Controller at 0x0FE028000 Is Not an LPSS I2C Block (Capabilities = 00000010)!!\n", {}},
      {"AMD channel 2", {"--platform", "amd", "--pd-channel", "2", "--fault", "not-dw"}, "2", kAmdLine,
       "I2C2 Controller at 0x0FEDC4000 Is Not a DesignWare I2C (IC_COMP_TYPE = 44570110)!!\n",
       {}},
      {"AMD never powered", {"--platform", "amd", "--pd-channel", "2", "--fault", "aoac-stuck"}, "2",
       kAmdLine, "I2C2 Controller Does Not Power On (AMD AOAC State = 00)!!\n",
       {"mmio-w8 00000000FED81E4E 09"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    TempDir dir;
    dir.Write("fw.bin", MakeImage(1024));
    std::vector<std::string> board = c.board;
    board.insert(board.end(), {"--io-trace", "io.txt"});
    const SimResult run = RunSim(board, {"fw.bin", "/id", "5230", "/i2c", c.channel}, dir.path());
    EXPECT_EQ(run.out, kBanner + c.platformLine + Console(c.message) + kEarlyStop);
    EXPECT_EQ(run.exitCode, 7);
    EXPECT_EQ(StateWrites(ReadLines(dir / "io.txt")), c.writes);
  }
}

}  // namespace
