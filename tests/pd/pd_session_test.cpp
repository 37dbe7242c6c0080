// The protocol operations in the order an update uses them, against the
// simulated PD controller, which frames its bridge by its own reading of its
// chip ID: a frame built from a wrong table lands in the wrong place.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "i2c/controller.h"
#include "i2c/i2c_host.h"
#include "pd/chip_info.h"
#include "pd/flash_bridge.h"
#include "pd/mode_commands.h"
#include "pd/pd_settings.h"
#include "pd/version.h"
#include "pd/watchdog.h"
#include "platform/platform.h"
#include "sim/pd_controller.h"
#include "support/board_fixture.h"

namespace {

struct ChipCase {
  std::array<std::uint8_t, 4> id;
  unsigned kb;
  std::uint8_t tcpi;  // where this chip answers version queries
};

std::string Name(const std::array<std::uint8_t, 4>& id) {
  char text[16];
  std::snprintf(text, sizeof text, "%02X %02X %02X %02X", id[0], id[1], id[2], id[3]);
  return text;
}

// The last byte of a write is still on the wire when the tool returns: let
// the bus finish before the test looks at the chip's state.
void Settle(vexa_test::BoardFixture& fixture) { fixture.board().Wait(100'000); }

std::uint8_t Pattern(std::uint32_t offset) { return static_cast<std::uint8_t>((offset * 13) ^ (offset >> 9)); }

void ProgramAndReadBack(sim::PdController& chip, std::uint16_t block, const std::string& what) {
  std::uint8_t bytes[kFlashBlockSize];
  for (std::uint32_t i = 0; i < kFlashBlockSize; ++i) bytes[i] = Pattern(block * 1024u + i);
  ASSERT_TRUE(SpiProgramBlock(static_cast<std::uint16_t>(block * 4), bytes)) << what << " block " << block;
  for (std::uint32_t i = 0; i < kFlashBlockSize; ++i) {
    ASSERT_EQ(chip.flash().cells()[block * 1024u + i], Pattern(block * 1024u + i))
        << what << " flash byte " << block * 1024u + i;
  }
  for (std::uint32_t i = 0; i < kFlashBlockSize; ++i) bytes[i] = 0;
  SpiReadBlock(static_cast<std::uint16_t>(block * 4), bytes);
  for (std::uint32_t i = 0; i < kFlashBlockSize; ++i) {
    ASSERT_EQ(bytes[i], Pattern(block * 1024u + i)) << what << " read-back byte " << block * 1024u + i;
  }
}

TEST(PdSession, IdentifyEraseProgramReadBackAndRestart) {
  const ChipCase cases[] = {
      {{0x52, 0x30, 0x00, 0x04}, 128, 0x80},  // FF F7, 3 bytes
      {{0x52, 0x55, 0x00, 0x00}, 128, 0x80},  // 00 00, 3 bytes shifted
      {{0x52, 0x51, 0x00, 0x00}, 128, 0x80},  // needs the FF lead byte to halt
      {{0x88, 0x53, 0x00, 0x00}, 64, 0x80},  // FF F7, 2 bytes, FF lead byte
      {{0x88, 0x53, 0x01, 0x00}, 32, 0x80},  // 00 00, 2 bytes
      {{0x88, 0x57, 0x00, 0x08}, 256, 0x98},  // FF F7, 3 bytes
      {{0x88, 0x30, 0x05, 0x00}, 128, 0x80},  // 00 00, 3 bytes shifted
  };
  for (const ChipCase& c : cases) {
    const std::string what = "chip " + Name(c.id);
    std::unique_ptr<sim::PdController> owner;  // outlives the board, which talks to it as it ends
    vexa_test::BoardFixture fixture;
    sim::PdConfig config;
    config.chipId = c.id;
    config.flashSizeKb = c.kb;
    config.fwVersion = {0x1A, 0x05};
    config.tcpiAddress = c.tcpi;
    owner = std::make_unique<sim::PdController>(config, fixture.board().clock());
    sim::PdController& chip = *owner;
    for (const std::uint8_t address7 : chip.BusAddresses7()) fixture.Attach(address7, &chip);
    ASSERT_TRUE(fixture.BringUpController());

    UseExpectedChipId(static_cast<std::uint16_t>(c.id[0] << 8 | c.id[1]));

    ASSERT_TRUE(I2cSetSlaveAddress(gChipInfo.slaveAddr)) << what;
    ASSERT_TRUE(ExitTestMode()) << what;
    PlatformStall(200);
    ASSERT_TRUE(StopCpu()) << what;
    Settle(fixture);
    EXPECT_TRUE(chip.halted()) << what;
    std::uint8_t id[4] = {};
    ASSERT_TRUE(GetChipId(id)) << what << "\n" << fixture.Console();
    EXPECT_EQ(gChipInfo.flashSizeKb, c.kb) << what;
    EXPECT_EQ(gChipInfo.tcpiModeAddr, c.tcpi) << what;
    ASSERT_TRUE(EnterTestMode()) << what;
    Settle(fixture);
    EXPECT_TRUE(chip.testMode()) << what;

    std::fill(chip.flash().cells().begin(), chip.flash().cells().end(), std::uint8_t{0x5A});
    ASSERT_EQ(SpiChipErase(), EraseResult::Erased) << what << "\n" << fixture.Console();
    EXPECT_EQ(chip.flash().erasesCompleted(), 1u) << what;
    for (std::size_t i = 0; i < chip.flash().size(); ++i) ASSERT_EQ(chip.flash().cells()[i], 0xFF) << what;

    // The first block and the last, whose pages need the third address byte
    // on chips above 64 KB.
    ProgramAndReadBack(chip, 0, what);
    ProgramAndReadBack(chip, static_cast<std::uint16_t>(c.kb - 1), what);
    EXPECT_FALSE(chip.writeEnabled()) << what;
    EXPECT_EQ(chip.record().refusedFlashWork, 0u) << what;

    ASSERT_TRUE(ExitTestMode()) << what;
    ASSERT_TRUE(ResetWatchdog(gChipInfo.chipId[0], gChipInfo.chipId[1])) << what;
    Settle(fixture);
    EXPECT_EQ(chip.record().restarts, 1u) << what;
    EXPECT_EQ(chip.record().watchdogRejected, 0u) << what;
    fixture.Mark();
    EXPECT_TRUE(GetPdVersion()) << what;
    EXPECT_EQ(fixture.Console(), "FW Version: 1A05") << what;
  }
}

}  // namespace
