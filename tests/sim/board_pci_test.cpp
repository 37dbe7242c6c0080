// PCI configuration space and the address map of each platform.
#include <gtest/gtest.h>

#include "board_rig.h"
#include "sim/pci_config.h"

namespace {

using sim::Board;
using sim::BoardConfig;
using sim::PlatformType;
using simtest::AmdConfig;

std::uint32_t Config32(Board& board, std::uint32_t address) {
  board.PortWrite32(0xCF8, address);
  return board.PortRead32(0xCFC);
}

std::uint16_t Config16(Board& board, std::uint32_t address, std::uint16_t port = 0xCFC) {
  board.PortWrite32(0xCF8, address);
  return board.PortRead16(port);
}

BoardConfig Platform(PlatformType platform) {
  BoardConfig config;
  config.platform = platform;
  return config;
}

TEST(BoardPci, HostBridgeVendorPerPlatform) {
  struct Case {
    PlatformType platform;
    std::uint16_t vendor;
  };
  for (const Case& c : {Case{PlatformType::Intel, 0x8086}, Case{PlatformType::Amd, 0x1022},
                        Case{PlatformType::Unknown, 0xFFFF}}) {
    Board board(Platform(c.platform));
    EXPECT_EQ(Config16(board, 0x80000000), c.vendor) << static_cast<int>(c.platform);
  }
}

TEST(BoardPci, SixteenBitReadsSelectTheHalfOfTheRegister) {
  Board board(BoardConfig{});
  const std::uint32_t id = Config32(board, 0x80000000);
  EXPECT_EQ(id & 0xFFFF, 0x8086u);
  EXPECT_NE(id >> 16, 0xFFFFu);  // a device ID is there
  EXPECT_EQ(Config16(board, 0x80000000, 0xCFE), id >> 16);
  // The register number's low two bits are not part of the address.
  EXPECT_EQ(Config16(board, 0x80000002), 0x8086);
}

TEST(BoardPci, IntelFunctionsAndBars) {
  Board board(BoardConfig{});
  EXPECT_EQ(Config32(board, 0x8000F800) & 0xFFFF, 0x8086u);  // 0:31.0
  EXPECT_NE(Config32(board, 0x8000F800), 0xFFFFFFFFu);
  const auto defaults = BoardConfig::DefaultIntelBars();
  for (unsigned f = 0; f < 8; ++f) {
    const std::uint32_t a = 0x8000A800 | (f << 8);
    if (!defaults[f].has_value()) {
      EXPECT_EQ(Config32(board, a), 0xFFFFFFFFu) << "function " << f;
      EXPECT_EQ(Config32(board, a | 0x10), 0xFFFFFFFFu) << "function " << f;
      EXPECT_EQ(Config32(board, a | 0x14), 0xFFFFFFFFu) << "function " << f;
      EXPECT_EQ(board.Controller(f), nullptr);
      continue;
    }
    EXPECT_EQ(Config32(board, a) & 0xFFFF, 0x8086u) << "function " << f;
    const std::uint32_t low = Config32(board, a | 0x10);
    const std::uint32_t high = Config32(board, a | 0x14);
    EXPECT_EQ((std::uint64_t{high} << 32) | low, *defaults[f]);
    EXPECT_EQ(low & 0xF, 0x4u) << "64-bit non-prefetchable memory BAR";
    EXPECT_NE(board.Controller(f), nullptr);
  }
  // Channel 0 lies below 4 GB, so its address line has a plain upper half.
  EXPECT_EQ(*defaults[0] >> 32, 0u);
  EXPECT_EQ(*defaults[0] & 0xFFFFF000, 0xFE028000u);
}

TEST(BoardPci, ConfiguredBarMapsTheControllerAtItsFourKilobyteBase) {
  BoardConfig config;
  config.intelBar0[1] = 0x00000001FE0100F4ull;  // stray bits below bit 12 decode nothing
  config.intelBar0[2] = std::nullopt;
  Board board(config);
  EXPECT_EQ(Config32(board, 0x8000A910), 0xFE0100F4u);
  EXPECT_EQ(Config32(board, 0x8000A914), 0x1u);
  EXPECT_EQ(Config32(board, 0x8000AA00), 0xFFFFFFFFu);
  EXPECT_EQ(board.MmioRead32(0x1FE0100FCull), 0u);  // held in reset: registers read 0
  board.MmioWrite32(0x1FE010204ull, 3);
  EXPECT_EQ(board.MmioRead32(0x1FE0100FCull), sim::dw::kCompTypeValue);
  EXPECT_EQ(board.record().unmappedMmio, 0u);
}

TEST(BoardPci, AmdHasItsSecondRootComplexAndNoIntelFunctions) {
  Board board(AmdConfig());
  EXPECT_EQ(Config32(board, 0x80400000) & 0xFFFF, 0x1022u);
  EXPECT_EQ(Config32(board, 0x8000F800), 0xFFFFFFFFu);
  EXPECT_EQ(Config32(board, 0x8000A810), 0xFFFFFFFFu);
}

TEST(BoardPci, NothingAnswersWithoutTheEnableBitOrOnUnknownBoards) {
  Board intel(BoardConfig{});
  EXPECT_EQ(Config32(intel, 0x00000000), 0xFFFFFFFFu);
  Board unknown(Platform(PlatformType::Unknown));
  for (const std::uint32_t a : {0x80000000u, 0x8000F800u, 0x8000A810u, 0x80400000u}) {
    EXPECT_EQ(Config32(unknown, a), 0xFFFFFFFFu) << std::hex << a;
  }
  for (unsigned channel = 0; channel < 8; ++channel) EXPECT_EQ(unknown.Controller(channel), nullptr);
}

TEST(BoardPci, AddressLatchReadsBackAndOtherPortsAreStray) {
  Board board(BoardConfig{});
  board.PortWrite32(0xCF8, 0x8000A800);
  EXPECT_EQ(board.PortRead32(0xCF8), 0x8000A800u);
  EXPECT_EQ(board.record().strayPorts, 0u);
  EXPECT_EQ(board.PortRead32(0x80), 0xFFFFFFFFu);
  EXPECT_EQ(board.PortRead16(0xCF8), 0xFFFF);  // only 32-bit accesses reach the latch
  board.PortWrite32(0xCFC, 0);                 // writes to read-only registers are dropped
  EXPECT_EQ(board.record().strayPorts, 2u);
  EXPECT_EQ(board.Pci().droppedWrites(), 1u);
  EXPECT_EQ(Config32(board, 0x8000A800) & 0xFFFF, 0x8086u);
}

TEST(BoardMap, AmdControllersSitAtTheFixedAddresses) {
  Board board(AmdConfig());
  const std::uint64_t bases[] = {0xFEDC2000, 0xFEDC3000, 0xFEDC4000,
                                 0xFEDC5000, 0xFEDC6000, 0xFEDCB000};
  for (unsigned channel = 0; channel < 6; ++channel) {
    EXPECT_EQ(board.MmioRead32(bases[channel] + sim::dw::kCompType), sim::dw::kCompTypeValue)
        << "channel " << channel;
    EXPECT_EQ(board.Controller(channel)->record().reads, 1u);
  }
  EXPECT_EQ(board.Controller(6), nullptr);
  EXPECT_EQ(board.record().unmappedMmio, 0u);
  EXPECT_EQ(board.MmioRead32(0xFEDC7000 + sim::dw::kCompType), 0xFFFFFFFFu);
  ASSERT_EQ(board.record().unmapped.size(), 1u);
  EXPECT_EQ(board.record().unmapped[0].address, 0xFEDC70FCu);
}

TEST(BoardMap, UnmappedAccessesReadAllOnesAndAreRecorded) {
  Board board(BoardConfig{});  // Intel: no pad bytes, nothing at the AMD addresses
  EXPECT_EQ(board.MmioRead8(0xFED80D71), 0xFF);
  EXPECT_EQ(board.MmioRead16(0xFEDC2074), 0xFFFF);
  board.MmioWrite8(0xFED80D71, 0x01);
  board.MmioWrite32(0xFEDC2010, 0x2FF);
  const sim::BoardRecord& record = board.record();
  ASSERT_EQ(record.unmappedMmio, 4u);
  EXPECT_EQ(record.unmapped[2].address, 0xFED80D71u);
  EXPECT_TRUE(record.unmapped[2].write);
  EXPECT_EQ(record.unmapped[2].width, 1u);
  EXPECT_EQ(record.unmapped[3].value, 0x2FFu);
  for (unsigned channel = 0; channel < 4; ++channel) {
    EXPECT_EQ(board.Controller(channel)->record().reads + board.Controller(channel)->record().writes,
              0u);
  }
}

TEST(BoardMap, EveryAccessCostsVirtualTime) {
  Board board(BoardConfig{});
  const std::uint64_t before = board.clock().NowNs();
  board.PortWrite32(0xCF8, 0x80000000);
  board.PortRead16(0xCFC);
  board.MmioRead32(0x1000);
  board.MmioWrite8(0x1000, 0);
  EXPECT_EQ(board.clock().NowNs() - before, 4 * Board::kAccessCostNs);
}

}  // namespace
