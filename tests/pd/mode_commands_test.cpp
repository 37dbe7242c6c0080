// The mode commands on the wire: their frames, the stop-CPU lead byte, the
// failure texts and the settling pause after the CPU halt.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "pd/mode_commands.h"
#include "pd/pd_settings.h"
#include "pd_bench.h"

namespace pdtest {
namespace {

using Lines = std::vector<std::string>;

// Refuses the address of the n-th write transaction (from 1).
void RefuseWrite(FrameDevice& device, int n) {
  device.refuse = [n](const std::vector<Frame>& history, bool read) {
    int writes = 0;
    for (const Frame& f : history) writes += f.read ? 0 : 1;
    return !read && writes + 1 == n;
  };
}

struct ModeCase {
  const char* name;
  bool (*command)();
  const char* frame;
  const char* debugLine;
  const char* failure;
};

const ModeCase kModeCases[] = {
    {"Exit_Test_mode", ExitTestMode, "W 80: FF F8 00 00", "Exit_Test_mode\r\n",
     "\r\nExit_Test_mode I2CBlkDataWrite Fail !!"},
    {"Enter_Test_mode", EnterTestMode, "W 80: FF F8 3B E1", "Enter_Test_mode\r\n",
     "\r\nEnter_Test_mode I2CBlkDataWrite Fail !!"},
};

TEST(TestModeCommands, FramesAndDebugLines) {
  for (const ModeCase& c : kModeCases) {
    for (const bool debug : {false, true}) {
      PdBench bench;
      gPdSettings.debug = debug;
      EXPECT_TRUE(c.command()) << c.name;
      EXPECT_EQ(bench.Console(), debug ? c.debugLine : "") << c.name;
      EXPECT_TRUE(bench.ProtocolStalls().empty()) << c.name;
      EXPECT_EQ(bench.Bus(), Lines{c.frame}) << c.name;
    }
  }
}

TEST(TestModeCommands, RefusedWriteFailsWithItsOwnTextLast) {
  for (const ModeCase& c : kModeCases) {
    PdBench bench;
    RefuseWrite(bench.device, 1);
    EXPECT_FALSE(c.command()) << c.name;
    const std::string console = bench.Console();
    EXPECT_TRUE(EndsWith(console, c.failure)) << c.name << ": " << console;
    EXPECT_EQ(console.find(c.failure), console.size() - std::string(c.failure).size()) << c.name;
  }
}

TEST(StopCpu, SecondWriteLeadsWithTheLeadByte) {
  for (const std::uint8_t dummy : {std::uint8_t{0x00}, std::uint8_t{0xFF}}) {
    PdBench bench;
    gPdSettings.stopCpuLeadByte = dummy;
    EXPECT_TRUE(StopCpu());
    EXPECT_EQ(bench.Console(), "");
    EXPECT_EQ(bench.ProtocolStalls(), std::vector<std::uint32_t>{100});
    const std::string second = dummy == 0xFF ? "W 80: FF FE 9C 47" : "W 80: 00 FE 9C 47";
    EXPECT_EQ(bench.Bus(), (Lines{"W 80: FE 9C 47", second}));
  }
}

TEST(StopCpu, DebugLineComesFirst) {
  PdBench bench;
  gPdSettings.debug = true;
  RefuseWrite(bench.device, 1);
  EXPECT_FALSE(StopCpu());
  const std::string console = bench.Console();
  EXPECT_EQ(console.rfind("Stop_CPU\r\n", 0), 0u) << console;
}

TEST(StopCpu, FirstWriteFailing_NoSecondWriteNoPause) {
  PdBench bench;
  RefuseWrite(bench.device, 1);
  EXPECT_FALSE(StopCpu());
  const std::string console = bench.Console();
  const std::string failure = "\r\nStop_CPU I2CBlkDataWrite-0 Fail !!\r\n";
  EXPECT_TRUE(EndsWith(console, failure)) << console;
  EXPECT_EQ(console.find("Fail !!"), console.size() - 9) << "one failure line only: " << console;
  EXPECT_TRUE(bench.ProtocolStalls().empty());
  EXPECT_EQ(bench.Bus(), Lines{"W 80: NACK"});
}

TEST(StopCpu, SecondWriteFailing_StillPausesThenFails) {
  PdBench bench;
  gPdSettings.stopCpuLeadByte = 0xFF;
  RefuseWrite(bench.device, 2);
  EXPECT_FALSE(StopCpu());
  const std::string console = bench.Console();
  EXPECT_TRUE(EndsWith(console, "\r\nStop_CPU I2CBlkDataWrite-1 Fail !!\r\n")) << console;
  EXPECT_EQ(console.find("-0 Fail"), std::string::npos) << console;
  EXPECT_EQ(bench.ProtocolStalls(), std::vector<std::uint32_t>{100});
  EXPECT_EQ(bench.Bus(), (Lines{"W 80: FE 9C 47", "W 80: NACK"}));
}

TEST(SendVerifyFailByte, OneByteWriteWithoutText) {
  PdBench bench;
  gPdSettings.debug = true;
  EXPECT_TRUE(SendVerifyFailByte());
  EXPECT_EQ(bench.Console(), "");
  EXPECT_EQ(bench.Bus(), Lines{"W 80: AA"});
}

}  // namespace
}  // namespace pdtest
