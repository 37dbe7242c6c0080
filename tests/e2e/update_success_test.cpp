// Whole updates that succeed on the simulated board: every chip family and
// flash geometry, with and without debug lines and the PD version display,
// the version-only run and the controller choices of the command line.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "e2e/update_expect.h"

namespace {

using namespace vexa_test;
using namespace vexa_test::update;

const std::array<std::uint8_t, 6> kDefaultPdVersion{0x03, 0x10, 0x01, 0x02, 0x00, 0x5A};

std::array<std::uint8_t, 4> ChipBytes(const std::string& hex) {
  std::array<std::uint8_t, 4> bytes{};
  for (std::size_t i = 0; i < 4; ++i) {
    bytes[i] = static_cast<std::uint8_t>(std::stoul(hex.substr(2 * i, 2), nullptr, 16));
  }
  return bytes;
}

struct UpdateCase {
  const char* label;
  std::string chip;  // --chip
  unsigned flashKb;
  std::size_t imageSize;
  std::string id;  // /id
  Geometry geometry;
  Watchdog watchdog;
  std::uint8_t dummy = 0;
  std::uint8_t tcpi = 0x80;
  bool debug = false;
  bool showPdVersion = false;
};

TEST(UpdateSuccess, EveryChipFamilyAndFlashGeometry) {
  const Geometry ffF7Three{{0xFF, 0xF7}, 3, 0};
  const Geometry ffF7Two{{0xFF, 0xF7}, 2, 0};
  const Geometry zeroShifted{{0x00, 0x00}, 3, 1};
  const Geometry zeroTwo{{0x00, 0x00}, 2, 0};
  const UpdateCase cases[] = {
      {"52 30, byte 3 bits 0: 64 KB", "52300000", 64, 64 * 1024, "5230", ffF7Three,
       Watchdog::D0Eb},
      {"52 30, byte 3 bits 1: 128 KB, debug", "52300004", 128, 100 * 1024 + 300, "5230",
       ffF7Three, Watchdog::D0Eb, 0x00, 0x80, true},
      {"52 30, byte 3 bits 2: 256 KB, PD version", "52300008", 256, 256 * 1024, "5230", ffF7Three,
       Watchdog::D0Eb, 0x00, 0x80, false, true},
      {"52 30, byte 3 bits 3 and byte 2 bit 7: 128 KB", "5230800C", 128, 128 * 1024, "5230",
       ffF7Three, Watchdog::D0Eb},
      {"52 51, byte 2 bit 7 set: 64 KB, debug", "52518000", 64, 64 * 1024, "5251", zeroShifted,
       Watchdog::D3D1, 0xFF, 0x80, true},
      {"52 53, byte 2 bit 7 clear: 128 KB, third address byte shifted", "52530000", 128,
       128 * 1024, "5253", zeroShifted, Watchdog::D3D1, 0xFF},
      {"52 40, byte 2 bit 7 set: 128 KB, PD version", "52408000", 128, 90 * 1024, "5240",
       ffF7Three, Watchdog::D3D1, 0x00, 0x80, false, true},
      // The low byte 53 of the expected ID makes Dummy FF.
      {"88 53 00: 64 KB, two address bytes", "88530000", 64, 64 * 1024, "8853", ffF7Two,
       Watchdog::D3D1, 0xFF},
      {"88 53 01: 32 KB, prefix 00 00, debug", "88530100", 32, 20 * 1024 + 5, "8853", zeroTwo,
       Watchdog::D3D1, 0xFF, 0x80, true},
      {"88 56, byte 3 bits 2: 256 KB, version at 98, debug", "88560008", 256, 160 * 1024, "8856",
       ffF7Three, Watchdog::D3D1, 0x00, 0x98, true},
      {"88 58, byte 3 bits 1: 128 KB", "88580004", 128, 64 * 1024, "8858", ffF7Three,
       Watchdog::D0Eb},
      {"88 0A, byte 2 low bits 4: 32 KB", "880A0400", 32, 32 * 1024, "880A", zeroTwo,
       Watchdog::D3D1},
      {"88 60, byte 2 low bits 5: 128 KB, shifted", "88600500", 128, 128 * 1024, "8860",
       zeroShifted, Watchdog::D3D1},
      {"88 60, byte 2 85: 64 KB, shifted, PD version", "88608500", 64, 64 * 1024, "8860",
       zeroShifted, Watchdog::D3D1, 0x00, 0x80, false, true},
  };

  std::uint32_t seed = 100;
  for (const UpdateCase& c : cases) {
    SCOPED_TRACE(c.label);
    TempDir dir;
    const std::vector<std::uint8_t> image = MakeImage(c.imageSize, ++seed);
    dir.Write("fw.bin", image);
    // A flash with old content everywhere, so that the erase shows.
    dir.Write("flash.bin", MakeImage(c.flashKb * 1024, ++seed));

    std::vector<std::string> board = {"--chip", c.chip, "--flash-size",
                                      std::to_string(c.flashKb), "--flash", "flash.bin",
                                      "--trace", "bus.txt"};
    if (c.tcpi != 0x80) board.insert(board.end(), {"--tcpi", Hex2(c.tcpi)});
    std::vector<std::string> args = {"fw.bin", "/id", c.id};
    if (c.debug) args.push_back("/db");
    if (c.showPdVersion) args.push_back("/v");
    const SimResult run = RunSim(board, args, dir.path());

    const std::array<std::uint8_t, 4> chip = ChipBytes(c.chip);
    Opening opening;
    opening.debug = c.debug;
    opening.mmioLine = IntelMmioLine(0);
    opening.tcpi = c.tcpi;
    opening.dummy = c.dummy;
    opening.image = image;
    const std::string version =
        c.showPdVersion ? PdVersion(kDefaultPdVersion) : FwVersion(0x1A, 0x05);
    EXPECT_EQ(HideSeconds(run.out), opening.Text() + Preparation(c.debug, chip, c.tcpi) +
                                        ImageLine("fw.bin", c.imageSize) + FlashBars() +
                                        SuccessEnd(c.debug, version) + kEarlyStop);
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.err, "");

    const std::vector<std::string> trace = ReadLines(dir / "bus.txt");
    WritePlan plan;
    plan.tcpi = c.tcpi;
    plan.dummy = c.dummy;
    plan.geometry = c.geometry;
    plan.image = &image;
    plan.watchdog = c.watchdog;
    plan.registerD3 = RegisterD3Answer(trace, 0x80);
    plan.showPdVersion = c.showPdVersion;
    EXPECT_EQ(FirstDifference(WritesWithoutBusyPolls(trace, 0x80), ExpectedWrites(plan)), "");
    EXPECT_EQ(FlashDifference(ReadBytes(dir / "flash.bin"), FlashAfterUpdate(image, c.flashKb)),
              "");
  }
}

TEST(UpdateSuccess, WithoutAnImageTheEndingFollowsTheTestModePreparation) {
  struct Case {
    const char* label;
    std::vector<std::string> board;
    std::vector<std::string> args;
    Opening opening;
    std::string chip;
    WritePlan plan;
  };
  Opening plain;
  Opening otherSlave;
  otherSlave.debug = true;
  otherSlave.mmioLine = IntelMmioLine(0);
  otherSlave.slave = 0x84;
  otherSlave.tcpi = 0x9C;
  WritePlan tavik;
  WritePlan otherSlavePlan;
  otherSlavePlan.slave = 0x84;
  otherSlavePlan.tcpi = 0x9C;
  otherSlavePlan.watchdog = Watchdog::D3D1;
  const Case cases[] = {
      {"default chip", {}, {"/id", "5230"}, plain, "52300000", tavik},
      // The firmware interface at 84 puts the version queries of an 88 56
      // at 9C.
      {"88 56 at 84, debug",
       {"--chip", "88560000", "--sa", "84", "--tcpi", "9C"},
       {"/sa", "84", "/id", "8856", "/db"},
       otherSlave,
       "88560000",
       otherSlavePlan},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    TempDir dir;
    std::vector<std::string> board = c.board;
    board.insert(board.end(), {"--trace", "bus.txt"});
    const SimResult run = RunSim(board, c.args, dir.path());
    std::string ending = c.opening.debug ? Console("Exit_Test_mode\n") + Console("WDT_Reset\n")
                                         : std::string();
    EXPECT_EQ(run.out, c.opening.Text() +
                           Preparation(c.opening.debug, ChipBytes(c.chip), c.opening.tcpi) +
                           ending + FwVersion(0x1A, 0x05) + kEarlyStop);
    EXPECT_EQ(run.exitCode, 0);
    const std::vector<std::string> trace = ReadLines(dir / "bus.txt");
    WritePlan plan = c.plan;
    plan.registerD3 = RegisterD3Answer(trace, plan.slave);
    EXPECT_EQ(FirstDifference(WritesWithoutBusyPolls(trace, plan.slave), ExpectedWrites(plan)),
              "");
  }
}

TEST(UpdateSuccess, VersionOnlyEndsAfterTheFirstVersionWithTheCursorHidden) {
  const struct {
    const char* label;
    std::vector<std::string> board;
    std::vector<std::string> args;
    std::string out;
    std::vector<std::string> trace;
  } cases[] = {
      {"default",
       {},
       {"/ov"},
       kBanner + kIntelLine + FwVersion(0x1A, 0x05) + Console("\n"),
       {"W 80: B6", "R 80: 1A 05"}},
      {"other version bytes",
       {"--fw-version", "010A"},
       {"/ov", "/id", "5230"},
       kBanner + kIntelLine + FwVersion(0x01, 0x0A) + Console("\n"),
       {"W 80: B6", "R 80: 01 0A"}},
      {"an image is loaded but not used",
       {"--fw-version", "0000"},
       {"fw.bin", "/ov", "/id", "5230"},
       kBanner + kIntelLine + FwVersion(0x00, 0x00) + Console("\n"),
       {"W 80: B6", "R 80: 00 00"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    TempDir dir;
    dir.Write("fw.bin", MakeImage(4096));
    std::vector<std::string> board = c.board;
    board.insert(board.end(), {"--trace", "bus.txt", "--io-trace", "io.txt"});
    const SimResult run = RunSim(board, c.args, dir.path());
    EXPECT_EQ(run.out, c.out);
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(ReadLines(dir / "bus.txt"), c.trace);
    EXPECT_EQ(LinesStartingWith(ReadLines(dir / "io.txt"), "cursor"),
              std::vector<std::string>{"cursor off"});
  }
}

TEST(UpdateSuccess, DebugSettingsLinesFollowTheCommandLine) {
  struct Case {
    const char* label;
    std::vector<std::string> board;
    std::vector<std::string> args;
    std::string chip = "52300000";
    Opening opening{};
  };
  std::vector<Case> cases;
  {
    Case c{"/cp 0x0", {}, {"/db", "/cp", "0x0", "/id", "5230"}};
    c.opening.configPort = 0x00;
    cases.push_back(c);
  }
  {
    Case c{"/i2c 3: a 64-bit register address", {"--pd-channel", "3"},
           {"/db", "/i2c", "3", "/id", "5230", "/cp", "4E"}};
    c.opening.channel = 3;
    c.opening.configPort = 0x4E;
    c.opening.mmioLine = IntelMmioLine(3);
    cases.push_back(c);
  }
  {
    Case c{"/id 5251 on a 52 51", {"--chip", "52510000"}, {"/db", "/id", "5251"}, "52510000"};
    c.opening.dummy = 0xFF;
    cases.push_back(c);
  }
  {
    Case c{"AMD channel 5", {"--platform", "amd", "--pd-channel", "5"},
           {"/db", "/i2c", "5", "/id", "5230"}};
    c.opening.platformLine = kAmdLine;
    c.opening.channel = 5;
    c.opening.mmioLine = Stdout("I2C5 MMIO Address = 0xFEDCB000\n");
    cases.push_back(c);
  }
  for (Case& c : cases) {
    SCOPED_TRACE(c.label);
    c.opening.debug = true;
    if (c.opening.mmioLine.empty()) c.opening.mmioLine = IntelMmioLine(0);
    TempDir dir;
    std::vector<std::string> board = c.board;
    board.insert(board.end(), {"--trace", "bus.txt"});
    const SimResult run = RunSim(board, c.args, dir.path());
    EXPECT_EQ(run.out, c.opening.Text() + Preparation(true, ChipBytes(c.chip), 0x80) +
                           Console("Exit_Test_mode\n") + Console("WDT_Reset\n") +
                           FwVersion(0x1A, 0x05) + kEarlyStop);
    EXPECT_EQ(run.exitCode, 0);
    // The second stop-CPU write carries the Dummy byte.
    const std::vector<std::string> trace = ReadLines(dir / "bus.txt");
    EXPECT_EQ(CountLines(trace, WriteLine(0x80, {c.opening.dummy, 0xFE, 0x9C, 0x47})), 1u);
  }
}

TEST(UpdateSuccess, AnAmdPlatformUpdatesThroughItsFixedController) {
  TempDir dir;
  const std::vector<std::uint8_t> image = MakeImage(3 * 1024 + 7, 9);
  dir.Write("fw.bin", image);
  const SimResult run = RunSim({"--platform", "amd", "--flash", "flash.bin", "--trace", "bus.txt"},
                               {"fw.bin", "/id", "5230"}, dir.path());
  Opening opening;
  opening.platformLine = kAmdLine;
  EXPECT_EQ(HideSeconds(run.out), opening.Text() + Preparation(false, k5230, 0x80) +
                                      ImageLine("fw.bin", image.size()) + FlashBars() +
                                      SuccessEnd(false, FwVersion(0x1A, 0x05)) + kEarlyStop);
  EXPECT_EQ(run.exitCode, 0);
  WritePlan plan;
  plan.image = &image;
  EXPECT_EQ(FirstDifference(WritesWithoutBusyPolls(ReadLines(dir / "bus.txt"), 0x80),
                            ExpectedWrites(plan)),
            "");
  EXPECT_EQ(FlashDifference(ReadBytes(dir / "flash.bin"), FlashAfterUpdate(image, 256)), "");
}

TEST(UpdateSuccess, PdVersionBytesPrintInQueryOrder) {
  TempDir dir;
  const SimResult run =
      RunSim({"--pd-version", "0102030A0BFF", "--trace", "bus.txt"}, {"/v", "/id", "5230"},
             dir.path());
  EXPECT_EQ(run.out, Opening{}.Text() + Preparation(false, k5230, 0x80) +
                         PdVersion({0x01, 0x02, 0x03, 0x0A, 0x0B, 0xFF}) + kEarlyStop);
  EXPECT_EQ(run.exitCode, 0);
  WritePlan plan;
  plan.showPdVersion = true;
  EXPECT_EQ(FirstDifference(WritesWithoutBusyPolls(ReadLines(dir / "bus.txt"), 0x80),
                            ExpectedWrites(plan)),
            "");
}

}  // namespace
