// The simulated PD controller driven byte by byte through its bus interface,
// as a master on the bus would: no tool code involved.
#include "sim/pd_controller.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <optional>
#include <random>
#include <vector>

#include "sim/clock.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using ChipId = std::array<std::uint8_t, 4>;

constexpr std::uint8_t kFw = 0x80;  // default firmware address, 8-bit form

// Plays whole transactions against one controller like a bus master: a NACK
// ends the transaction with a STOP.
class PdBus {
 public:
  explicit PdBus(sim::PdConfig config = {}) : pd(std::move(config), clock) {}

  // Bytes acknowledged; -1 when the address was not.
  int Write(const Bytes& bytes, std::uint8_t address = kFw, bool stop = true) {
    if (!pd.Start(address >> 1, false)) {
      pd.Stop();
      return -1;
    }
    int acked = 0;
    for (const std::uint8_t byte : bytes) {
      if (!pd.Write(byte)) {
        stop = true;
        break;
      }
      ++acked;
    }
    if (stop) pd.Stop();
    return acked;
  }

  bool WriteAll(const Bytes& bytes, std::uint8_t address = kFw) {
    return Write(bytes, address) == static_cast<int>(bytes.size());
  }

  std::optional<Bytes> Read(std::size_t count, std::uint8_t address = kFw) {
    if (!pd.Start(address >> 1, true)) {
      pd.Stop();
      return std::nullopt;
    }
    Bytes out;
    for (std::size_t i = 0; i < count; ++i) out.push_back(pd.Read());
    pd.Stop();
    return out;
  }

  // A block read: the command bytes with a STOP, then a separate read.
  std::optional<Bytes> Query(const Bytes& command, std::size_t count, std::uint8_t address = kFw) {
    if (!WriteAll(command, address)) return std::nullopt;
    return Read(count, address);
  }

  std::uint8_t QueryByte(const Bytes& command, std::uint8_t address = kFw) {
    const auto answer = Query(command, 1, address);
    EXPECT_TRUE(answer.has_value());
    return answer ? answer->at(0) : 0;
  }

  void Halt(std::uint8_t dummy) {
    EXPECT_TRUE(WriteAll({0xFE, 0x9C, 0x47}));
    EXPECT_TRUE(WriteAll({dummy, 0xFE, 0x9C, 0x47}));
  }
  void EnterTestMode() { EXPECT_TRUE(WriteAll({0xFF, 0xF8, 0x3B, 0xE1})); }
  void ExitTestMode() { EXPECT_TRUE(WriteAll({0xFF, 0xF8, 0x00, 0x00})); }
  void Command(std::uint8_t code) { EXPECT_TRUE(WriteAll({0xFF, 0xFE, code, 0x01})); }

  std::uint8_t Status(const Bytes& prefix = {0xFF, 0xF7}) {
    Command(0x09);
    return QueryByte(prefix);
  }
  std::uint8_t Busy() { return QueryByte({0xFF, 0xFF}); }

  void Address(const Bytes& frame) { EXPECT_TRUE(WriteAll(frame)); }
  void Address3(std::uint16_t page, std::uint8_t offset) {
    Address({0xFF, 0xFA, offset, static_cast<std::uint8_t>(page), static_cast<std::uint8_t>(page >> 8)});
  }

  // One page as the update tool programs it: enable, address, command,
  // two 128-byte data frames, disable.
  void ProgramPage(std::uint16_t page, const std::uint8_t* data, const Bytes& prefix = {0xFF, 0xF7}) {
    Command(0x04);
    Address3(page, 0);
    Command(0x16);
    for (int half = 0; half < 2; ++half) {
      Bytes frame = prefix;
      frame.insert(frame.end(), data + half * 128, data + half * 128 + 128);
      EXPECT_TRUE(WriteAll(frame));
    }
    Command(0x05);
  }

  Bytes ReadData(std::uint16_t page, std::uint8_t offset, std::size_t count, const Bytes& prefix = {0xFF, 0xF7}) {
    Address3(page, offset);
    Command(0x13);
    return Query(prefix, count).value_or(Bytes{});
  }

  void Advance(std::uint64_t us) { clock.AdvanceUs(us); }

  // For tests of programming: the chip comes with a factory image.
  void EraseByHand() { std::fill(pd.flash().cells().begin(), pd.flash().cells().end(), 0xFF); }

  sim::Clock clock;
  sim::PdController pd;
};

sim::PdConfig Chip(const ChipId& id) {
  sim::PdConfig config;
  config.chipId = id;
  return config;
}

// A flash-working controller (halted, in test mode) of the default chip.
PdBus& Ready(PdBus& bus) {
  bus.Halt(0x00);
  bus.EnterTestMode();
  return bus;
}

Bytes Pattern(std::size_t size, unsigned seed) {
  std::mt19937 random(seed);
  Bytes bytes(size);
  for (auto& byte : bytes) byte = static_cast<std::uint8_t>(random());
  return bytes;
}

TEST(PdController, ChipIdAndRegistersReadThroughTheFfPrefix) {
  sim::PdConfig config = Chip({0x88, 0x58, 0x05, 0x0C});
  config.tcpiAddress = 0x50;
  PdBus bus(config);
  EXPECT_EQ(bus.Query({0xFF, 0xC0}, 4), (Bytes{0x88, 0x58, 0x05, 0x0C}));
  // A read after a refused frame has nothing prepared and reads 0xFF.
  EXPECT_EQ(bus.Query({0xB6}, 2), std::nullopt) << "B6 is no firmware-interface frame";
  EXPECT_EQ(bus.Read(2), (Bytes{0xFF, 0xFF}));
  EXPECT_EQ(bus.Query({0xB6}, 3, 0x50), (Bytes{0x1A, 0x05, 0xFF})) << "past the answer: 0xFF";
  // The chip ID cannot be overwritten.
  EXPECT_TRUE(bus.WriteAll({0xFF, 0xC1, 0x00}));
  EXPECT_EQ(bus.Query({0xFF, 0xC0}, 4), (Bytes{0x88, 0x58, 0x05, 0x0C}));
  // A repeated START ends the command frame just as a STOP does.
  ASSERT_TRUE(bus.pd.Start(kFw >> 1, false));
  ASSERT_TRUE(bus.pd.Write(0xFF));
  ASSERT_TRUE(bus.pd.Write(0xC0));
  ASSERT_TRUE(bus.pd.Start(kFw >> 1, true));
  EXPECT_EQ(bus.pd.Read(), 0x88);
  EXPECT_EQ(bus.pd.Read(), 0x58);
  bus.pd.Stop();
}

TEST(PdController, StopCpuNeedsBothWritesWithTheChipsOwnDummy) {
  struct Case {
    ChipId id;
    std::uint8_t dummy;
    bool halts;
  };
  const Case cases[] = {
      {{0x52, 0x30, 0, 0}, 0x00, true},  {{0x52, 0x30, 0, 0}, 0xFF, false}, {{0x52, 0x51, 0, 0}, 0xFF, true},
      {{0x52, 0x51, 0, 0}, 0x00, false}, {{0x88, 0x53, 0, 0}, 0xFF, true},  {{0x88, 0x53, 0, 0}, 0x00, false},
      {{0x88, 0x58, 0, 0}, 0x00, true},  {{0x52, 0x52, 0, 0}, 0xFF, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << std::hex << int(c.id[0]) << " " << int(c.id[1]) << " dummy " << int(c.dummy));
    PdBus bus(Chip(c.id));
    bus.Halt(c.dummy);
    EXPECT_EQ(bus.pd.halted(), c.halts);
    EXPECT_EQ(bus.pd.record().stopCpuRejected, c.halts ? 0u : 1u);
  }
  // The second write alone, or with another frame between the two, does not halt.
  PdBus alone;
  EXPECT_TRUE(alone.WriteAll({0x00, 0xFE, 0x9C, 0x47}));
  EXPECT_FALSE(alone.pd.halted());
  PdBus split;
  EXPECT_TRUE(split.WriteAll({0xFE, 0x9C, 0x47}));
  EXPECT_TRUE(split.Query({0xFF, 0xC0}, 4).has_value());
  EXPECT_TRUE(split.WriteAll({0x00, 0xFE, 0x9C, 0x47}));
  EXPECT_FALSE(split.pd.halted());
}

TEST(PdController, FlashWorkNeedsHaltedCpuAndTestMode) {
  struct Case {
    bool halt;
    bool testMode;
  };
  for (const Case c : {Case{false, false}, Case{true, false}, Case{false, true}, Case{true, true}}) {
    SCOPED_TRACE(testing::Message() << "halt " << c.halt << " test mode " << c.testMode);
    PdBus bus;
    bus.EraseByHand();
    if (c.halt) bus.Halt(0x00);
    if (c.testMode) bus.EnterTestMode();
    const bool allowed = c.halt && c.testMode;

    bus.Command(0x04);
    EXPECT_EQ(bus.Status(), allowed ? 0x82 : 0x80);
    bus.Command(0x07);
    EXPECT_EQ(bus.Busy(), allowed ? 0x11 : 0x01);
    bus.Advance(1'000'000);
    EXPECT_EQ(bus.Busy(), 0x01);
    EXPECT_EQ(bus.pd.flash().erasesCompleted(), allowed ? 1u : 0u);

    const Bytes zeros(256, 0x00);
    bus.ProgramPage(2, zeros.data());
    EXPECT_EQ(bus.pd.flash().cells()[0x200], allowed ? 0x00 : 0xFF);
    EXPECT_EQ(bus.pd.flash().cells()[0x2FF], allowed ? 0x00 : 0xFF);
    EXPECT_EQ(bus.pd.record().refusedFlashWork, allowed ? 0u : 5u);  // 2 enables, erase, 2 data frames
  }
}

TEST(PdController, WriteEnableAndDisableShowInTheStatusByte) {
  PdBus bus;
  Ready(bus);
  EXPECT_EQ(bus.Status(), 0x80);
  bus.Command(0x04);
  EXPECT_TRUE(bus.pd.writeEnabled());
  EXPECT_EQ(bus.Status(), 0x82);
  EXPECT_EQ(bus.Status(), 0x82) << "reading the status leaves the latch alone";
  bus.Command(0x05);
  EXPECT_EQ(bus.Status(), 0x80);
  // Leaving test mode closes the bridge and drops the latch.
  bus.Command(0x04);
  bus.ExitTestMode();
  EXPECT_FALSE(bus.pd.writeEnabled());
  EXPECT_EQ(bus.Status(), 0x80);
}

TEST(PdController, ChipEraseIsBusyForItsTimeThenLeavesAllFf) {
  sim::PdConfig config;
  config.flashSizeKb = 64;  // 96 ms by the default rate
  PdBus bus(config);
  std::fill(bus.pd.flash().cells().begin(), bus.pd.flash().cells().end(), 0x5A);
  Ready(bus);
  bus.Command(0x04);
  bus.Command(0x07);
  EXPECT_EQ(bus.Busy(), 0x11);
  EXPECT_EQ(bus.Status(), 0x83) << "latch still set, busy in bit 0";
  // Nothing else is taken while the erase runs.
  bus.Command(0x05);
  EXPECT_TRUE(bus.pd.writeEnabled());
  bus.Advance(95'000);
  EXPECT_EQ(bus.Busy(), 0x11);
  EXPECT_EQ(bus.pd.flash().cells()[100], 0x5A) << "cells change only when the erase ends";
  bus.Advance(1'000);
  EXPECT_EQ(bus.Busy(), 0x01);
  EXPECT_FALSE(bus.pd.writeEnabled());
  EXPECT_EQ(bus.Status(), 0x80);
  EXPECT_EQ(bus.pd.flash().cells(), Bytes(64 * 1024, 0xFF));
  EXPECT_EQ(bus.pd.flash().erasesStarted(), 1u);
  EXPECT_EQ(bus.pd.flash().erasesCompleted(), 1u);
  // Without the latch there is no second erase.
  bus.Command(0x07);
  EXPECT_EQ(bus.Busy(), 0x01);
  EXPECT_EQ(bus.pd.flash().erasesStarted(), 1u);
}

TEST(PdController, PageProgramOnlyClearsBitsAndWrapsInsideThePage) {
  PdBus bus;
  bus.EraseByHand();
  Ready(bus);
  const Bytes first = Pattern(256, 1);
  const Bytes second = Pattern(256, 2);
  bus.ProgramPage(5, first.data());
  EXPECT_EQ(Bytes(bus.pd.flash().cells().begin() + 0x500, bus.pd.flash().cells().begin() + 0x600), first);
  bus.ProgramPage(5, second.data());
  for (std::size_t i = 0; i < 256; ++i) {
    ASSERT_EQ(bus.pd.flash().cells()[0x500 + i], first[i] & second[i]) << i;
  }
  EXPECT_EQ(bus.pd.flash().cells()[0x4FF], 0xFF);
  EXPECT_EQ(bus.pd.flash().cells()[0x600], 0xFF);

  // 16 bytes from offset 0xF8 run over the page end back to its start.
  bus.Command(0x04);
  bus.Address3(9, 0xF8);
  bus.Command(0x16);
  Bytes frame{0xFF, 0xF7};
  for (std::uint8_t i = 0; i < 16; ++i) frame.push_back(i);
  EXPECT_TRUE(bus.WriteAll(frame));
  for (std::uint8_t i = 0; i < 8; ++i) {
    EXPECT_EQ(bus.pd.flash().cells()[0x9F8 + i], i);
    EXPECT_EQ(bus.pd.flash().cells()[0x900 + i], i + 8);
  }
  EXPECT_EQ(bus.pd.flash().cells()[0xA00], 0xFF);

  // Data frames count only after the page program command.
  bus.Command(0x04);
  bus.Address3(12, 0);
  bus.Command(0x09);
  EXPECT_TRUE(bus.WriteAll({0xFF, 0xF7, 0x00, 0x00}));
  EXPECT_EQ(bus.pd.flash().cells()[0xC00], 0xFF);
}

TEST(PdController, DataReadsAutoIncrementAcrossFramesAndPages) {
  PdBus bus;
  const Bytes content = Pattern(bus.pd.flash().size(), 3);
  bus.pd.flash().cells() = content;
  EXPECT_EQ(bus.ReadData(3, 0x80, 128), Bytes(content.begin() + 0x380, content.begin() + 0x400));
  // The next data read continues where the last one stopped, into page 4.
  EXPECT_EQ(bus.Query({0xFF, 0xF7}, 128), Bytes(content.begin() + 0x400, content.begin() + 0x480));
  // The last byte of the flash is followed by its first.
  const std::size_t last = content.size() - 1;
  EXPECT_EQ(bus.ReadData(static_cast<std::uint16_t>(last >> 8), 0xFF, 2), (Bytes{content[last], content[0]}));
}

TEST(PdController, GeometryFollowsTheChipId) {
  struct Case {
    ChipId id;
    Bytes prefix;
    unsigned addrBytes;
    unsigned shift;
  };
  const Case cases[] = {
      {{0x52, 0x30, 0x00, 0x08}, {0xFF, 0xF7}, 3, 0}, {{0x52, 0x50, 0x00, 0x00}, {0x00, 0x00}, 3, 1},
      {{0x52, 0x5F, 0x80, 0x00}, {0x00, 0x00}, 3, 1}, {{0x52, 0x60, 0x80, 0x00}, {0xFF, 0xF7}, 3, 0},
      {{0x88, 0x53, 0x00, 0x00}, {0xFF, 0xF7}, 2, 0}, {{0x88, 0x53, 0x01, 0x00}, {0x00, 0x00}, 2, 0},
      {{0x88, 0x56, 0x85, 0x08}, {0xFF, 0xF7}, 3, 0}, {{0x88, 0x59, 0x00, 0x04}, {0xFF, 0xF7}, 3, 0},
      {{0x88, 0x58, 0x84, 0x00}, {0xFF, 0xF7}, 3, 0}, {{0x88, 0x40, 0x84, 0x00}, {0x00, 0x00}, 2, 0},
      {{0x88, 0x40, 0x85, 0x00}, {0x00, 0x00}, 3, 1}, {{0x88, 0x40, 0x05, 0x00}, {0x00, 0x00}, 3, 1},
      {{0x88, 0x40, 0x04, 0x00}, {0x00, 0x00}, 2, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << std::hex << int(c.id[0]) << " " << int(c.id[1]) << " " << int(c.id[2]));
    const sim::PdGeometry geometry = sim::GeometryForChip(c.id);
    EXPECT_EQ(Bytes(geometry.prefix.begin(), geometry.prefix.end()), c.prefix);
    EXPECT_EQ(geometry.addrBytes, c.addrBytes);
    EXPECT_EQ(geometry.addrShift, c.shift);

    // The chip reads the address frame by its own format: page 0x0123,
    // offset 0x80 is flash byte 0x12380 in the 3-byte format, and page
    // 0x23 in the 2-byte one.
    sim::PdConfig config = Chip(c.id);
    config.flashSizeKb = 256;
    PdBus bus(config);
    const Bytes content = Pattern(bus.pd.flash().size(), 4);
    bus.pd.flash().cells() = content;
    Bytes frame{0xFF, 0xFA, 0x80, 0x23};
    if (c.addrBytes == 3) frame.push_back(static_cast<std::uint8_t>(0x01 << c.shift));
    EXPECT_TRUE(bus.WriteAll(frame));
    EXPECT_EQ(bus.pd.bridgeAddress(), c.addrBytes == 3 ? 0x12380u : 0x2380u);
    bus.Command(0x13);
    const auto data = bus.Query(c.prefix, 4);
    ASSERT_TRUE(data.has_value());
    EXPECT_EQ(*data, Bytes(content.begin() + bus.pd.bridgeAddress() - 4, content.begin() + bus.pd.bridgeAddress()));

    // A frame in the other format does not take: one byte too many is
    // not acknowledged, one too few leaves the address as it was.
    if (c.addrBytes == 2) {
      EXPECT_EQ(bus.Write({0xFF, 0xFA, 0x00, 0x01, 0x00}), 4);
    } else {
      EXPECT_EQ(bus.Write({0xFF, 0xFA, 0x00, 0x01}), 4);
    }
    EXPECT_EQ(bus.pd.bridgeAddress(), c.addrBytes == 3 ? 0x12384u : 0x2384u);
  }
}

TEST(PdController, DataPortUsesOnlyTheChipsOwnPrefix) {
  // Prefix 00 00 chip: a data frame after FF F7 is a 3-byte register write
  // at most, so its fourth byte is not acknowledged and nothing is programmed.
  PdBus bus(Chip({0x52, 0x55, 0x00, 0x00}));
  bus.EraseByHand();
  bus.Halt(0x00);
  bus.EnterTestMode();
  EXPECT_EQ(bus.Status({0xFF, 0xF7}), 0x00) << "register F7 is no status";
  bus.Command(0x04);
  EXPECT_EQ(bus.Status({0x00, 0x00}), 0x82);
  bus.Address({0xFF, 0xFA, 0x00, 0x00, 0x00});
  bus.Command(0x16);
  EXPECT_EQ(bus.Write({0xFF, 0xF7, 0x11, 0x22, 0x33}), 3);
  EXPECT_EQ(bus.pd.flash().cells()[0], 0xFF);
  EXPECT_TRUE(bus.WriteAll({0x00, 0x00, 0x11, 0x22}));
  EXPECT_EQ(bus.pd.flash().cells()[0], 0x11);
  EXPECT_EQ(bus.pd.flash().cells()[1], 0x22);
  // Prefix FF F7 chip: 00 00 starts no frame it knows.
  PdBus other;
  EXPECT_EQ(other.Write({0x00, 0x00, 0x11}), 1);
}

TEST(PdController, TcpiAddressAnswersVersions) {
  sim::PdConfig config;
  config.tcpiAddress = 0x50;
  config.fwVersion = {0x01, 0x0A};
  config.pdVersion = {0x01, 0x02, 0x03, 0x0A, 0x0B, 0xFF};
  for (const std::uint8_t tcpi : {std::uint8_t{0x50}, kFw}) {
    SCOPED_TRACE(testing::Message() << "TCPI address " << std::hex << int(tcpi));
    config.tcpiAddress = tcpi;
    PdBus bus(config);
    EXPECT_EQ(bus.pd.BusAddresses7(), tcpi == kFw ? Bytes{0x40} : (Bytes{0x40, 0x28}));
    EXPECT_EQ(bus.Query({0xB6}, 2, tcpi), (Bytes{0x01, 0x0A}));
    Bytes pd;
    for (const std::uint8_t command : {0xE4, 0xE3, 0xE2, 0xE1, 0xE0, 0xDD})
      pd.push_back(bus.QueryByte({command}, tcpi));
    EXPECT_EQ(pd, Bytes(config.pdVersion.begin(), config.pdVersion.end()));
    EXPECT_EQ(bus.Write({0xE4, 0x00}, tcpi), 1) << "one command byte only";
    EXPECT_EQ(bus.Write({0x12}, tcpi), 0);
  }
  // The firmware address alone does not serve TCPI commands.
  sim::PdConfig separate;
  separate.tcpiAddress = 0x50;
  PdBus split(separate);
  EXPECT_EQ(split.Write({0xB6}, kFw), 0);
  EXPECT_EQ(split.Write({0xFF, 0xC0}, 0x50), 0);
  EXPECT_EQ(split.Write({0xB6}, 0x52), -1) << "not its address";
}

TEST(PdController, TcpiNeedsTheFirmwareRunning) {
  for (const std::uint8_t tcpi : {std::uint8_t{0x50}, kFw}) {
    SCOPED_TRACE(testing::Message() << "TCPI address " << std::hex << int(tcpi));
    sim::PdConfig config;
    config.tcpiAddress = tcpi;
    PdBus bus(config);
    bus.Halt(0x00);
    // A separate address is not acknowledged; a shared one refuses the command byte.
    EXPECT_EQ(bus.Write({0xB6}, tcpi), tcpi == kFw ? 0 : -1);
    EXPECT_TRUE(bus.WriteAll({0xFF, 0xD0, 0x02}));
    EXPECT_TRUE(bus.WriteAll({0xFF, 0xEB, 0x50}));
    EXPECT_FALSE(bus.pd.halted());
    EXPECT_EQ(bus.Query({0xB6}, 2, tcpi), (Bytes{0x1A, 0x05}));
  }
}

TEST(PdController, WatchdogRestartsOnlyByTheChipsOwnFrames) {
  struct Case {
    ChipId id;
    bool d0eb;
  };
  for (const Case c : {Case{{0x52, 0x30, 0, 0}, true}, Case{{0x88, 0x58, 0, 0}, true}, Case{{0x52, 0x31, 0, 0}, false},
                       Case{{0x88, 0x53, 0, 0}, false}}) {
    SCOPED_TRACE(testing::Message() << std::hex << int(c.id[0]) << " " << int(c.id[1]));
    EXPECT_EQ(sim::UsesWatchdogD0EbForChip(c.id), c.d0eb);
    const std::uint8_t dummy = sim::StopCpuDummyForChip(c.id);

    // The other model's frames do nothing.
    PdBus bus(Chip(c.id));
    bus.Halt(dummy);
    bus.EnterTestMode();
    bus.Command(0x04);
    ASSERT_TRUE(bus.pd.writeEnabled());
    const std::uint8_t ctrl = bus.QueryByte({0xFF, 0xD3});
    EXPECT_EQ(ctrl & 0x10, 0);
    if (c.d0eb) {
      EXPECT_TRUE(bus.WriteAll({0xFF, 0xD3, static_cast<std::uint8_t>(ctrl | 0x10)}));
      EXPECT_TRUE(bus.WriteAll({0xFF, 0xD1, 0x01}));
    } else {
      EXPECT_TRUE(bus.WriteAll({0xFF, 0xD0, 0x02}));
      EXPECT_TRUE(bus.WriteAll({0xFF, 0xEB, 0x50}));
    }
    EXPECT_EQ(bus.pd.record().restarts, 0u);
    EXPECT_TRUE(bus.pd.halted());

    // Its own frames restart it: CPU running, test mode left, latch clear.
    if (c.d0eb) {
      EXPECT_TRUE(bus.WriteAll({0xFF, 0xEB, 0x50}));
      EXPECT_EQ(bus.pd.record().restarts, 0u) << "EB 50 needs D0 02 first";
      EXPECT_TRUE(bus.WriteAll({0xFF, 0xD0, 0x02}));
      EXPECT_TRUE(bus.WriteAll({0xFF, 0xEB, 0x50}));
    } else {
      EXPECT_TRUE(bus.WriteAll({0xFF, 0xD3, 0x10}));  // other bits not kept as read
      EXPECT_TRUE(bus.WriteAll({0xFF, 0xD1, 0x01}));
      EXPECT_EQ(bus.pd.record().restarts, 0u) << "D3 must keep its other bits";
      EXPECT_TRUE(bus.WriteAll({0xFF, 0xD3, static_cast<std::uint8_t>(ctrl | 0x10)}));
      EXPECT_TRUE(bus.WriteAll({0xFF, 0xD1, 0x01}));
    }
    EXPECT_EQ(bus.pd.record().restarts, 1u);
    EXPECT_EQ(bus.pd.record().watchdogRejected, 1u);
    EXPECT_FALSE(bus.pd.halted());
    EXPECT_FALSE(bus.pd.testMode());
    EXPECT_FALSE(bus.pd.writeEnabled());
    EXPECT_EQ(bus.QueryByte({0xFF, 0xD3}), ctrl) << "registers back at their reset values";
  }
}

TEST(PdController, FramesThatFitNothingAreNackedAtTheirFirstUnfitByte) {
  struct Case {
    Bytes frame;
    int acked;
  };
  const Case cases[] = {
      {{0x12, 0x34}, 0},                    // no frame starts so
      {{0xAA, 0x00}, 1},                    // the verify-fail notice is one byte
      {{0xFE, 0x9C, 0x48}, 2},              // stop-CPU bytes are fixed
      {{0xFE, 0x9C, 0x47, 0x00}, 3},        //
      {{0x00, 0xFE, 0x9D}, 2},              //
      {{0xFF, 0xFE, 0x33, 0x01}, 2},        // no such bridge command
      {{0xFF, 0xFE, 0x04, 0x02}, 3},        //
      {{0xFF, 0xFE, 0x04, 0x01, 0x00}, 4},  //
      {{0xFF, 0xF8, 0x3B, 0x00}, 3},        // test mode codes are fixed
      {{0xFF, 0xF8, 0x00, 0xE1}, 3},        //
      {{0xFF, 0xF8, 0x12}, 2},              //
      {{0xFF, 0xFF, 0x00}, 2},              // the busy poll is read only
      {{0xFF, 0xD0, 0x02, 0x00}, 3},        // register writes carry one value
      {{0xFF, 0xFA, 0, 0, 0, 0}, 5},        // 3 address bytes at most
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.frame));
    PdBus bus;
    Ready(bus);
    EXPECT_EQ(bus.Write(c.frame), c.acked);
    EXPECT_EQ(bus.pd.record().nackedBytes, 1u);
    EXPECT_TRUE(bus.pd.halted());
    EXPECT_TRUE(bus.pd.testMode());
    EXPECT_EQ(bus.Read(1), Bytes{0xFF}) << "a refused frame prepares no answer";
  }
  // Incomplete frames are taken byte by byte and then ignored.
  PdBus bus;
  Ready(bus);
  EXPECT_TRUE(bus.WriteAll({0xFF, 0xFE, 0x04}));
  EXPECT_TRUE(bus.WriteAll({0xFF, 0xF8, 0x00}));
  EXPECT_TRUE(bus.WriteAll({0xFF}));
  EXPECT_FALSE(bus.pd.writeEnabled());
  EXPECT_TRUE(bus.pd.testMode());
  EXPECT_EQ(bus.pd.record().ignoredFrames, 3u);
}

TEST(PdController, FrameLogHoldsEveryTransaction) {
  PdBus bus;
  EXPECT_TRUE(bus.Query({0xFF, 0xC0}, 4).has_value());
  EXPECT_EQ(bus.Write({0x12}), 0);
  bus.pd.KeepFrameLog(false);
  EXPECT_TRUE(bus.WriteAll({0xFF, 0xF8, 0x00, 0x00}));
  const auto& frames = bus.pd.record().frames;
  ASSERT_EQ(frames.size(), 3u);
  EXPECT_EQ(frames[0].bytes, (Bytes{0xFF, 0xC0}));
  EXPECT_TRUE(frames[1].read);
  EXPECT_EQ(frames[1].bytes, (Bytes{0x52, 0x30, 0x00, 0x08}));
  EXPECT_TRUE(frames[2].nacked);
  EXPECT_EQ(frames[2].bytes, Bytes{0x12});
  EXPECT_EQ(bus.pd.record().writeTransactions, 3u);
  EXPECT_EQ(bus.pd.record().readTransactions, 1u);
}

TEST(PdController, AbsentAndTcpiAbsent) {
  sim::PdConfig config;
  config.tcpiAddress = 0x50;
  config.faults.absent = true;
  PdBus absent(config);
  EXPECT_EQ(absent.Write({0xFF, 0xC0}), -1);
  EXPECT_EQ(absent.Read(1), std::nullopt);
  EXPECT_EQ(absent.Query({0xB6}, 2, 0x50), (Bytes{0x1A, 0x05})) << "the TCPI address still answers";

  config.faults.absent = false;
  config.faults.tcpiAbsent = true;
  PdBus tcpiAbsent(config);
  EXPECT_EQ(tcpiAbsent.Write({0xB6}, 0x50), -1);
  EXPECT_EQ(tcpiAbsent.Query({0xFF, 0xC0}, 1), Bytes{0x52});

  config.tcpiAddress.reset();
  PdBus shared(config);
  EXPECT_EQ(shared.Write({0xB6}), 0) << "shared address: the command byte is refused";
  EXPECT_EQ(shared.Query({0xFF, 0xC0}, 1), Bytes{0x52});
}

TEST(PdController, NackWriteAndReadCountTransactionsToTheFirmwareAddress) {
  sim::PdConfig config;
  config.tcpiAddress = 0x50;
  config.faults.nackWrite = {3};
  config.faults.nackRead = {2};
  PdBus bus(config);
  EXPECT_TRUE(bus.Query({0xB6}, 2, 0x50).has_value()) << "the TCPI address is not counted";
  EXPECT_TRUE(bus.Query({0xFF, 0xC0}, 4).has_value());  // write 1, read 1
  EXPECT_EQ(bus.Query({0xFF, 0xC0}, 4), std::nullopt);  // write 2, read 2 refused
  EXPECT_EQ(bus.Write({0xFF, 0xF8, 0x3B, 0xE1}), -1);   // write 3 refused
  EXPECT_FALSE(bus.pd.testMode());
  EXPECT_TRUE(bus.WriteAll({0xFF, 0xF8, 0x3B, 0xE1}));  // write 4
  EXPECT_TRUE(bus.pd.testMode());
  EXPECT_EQ(bus.pd.record().writeTransactions, 4u);
  EXPECT_EQ(bus.pd.record().readTransactions, 2u);
}

TEST(PdController, NackDataAndDropWriteCountWithTheWriteTransactions) {
  sim::PdConfig config;
  config.faults.dropWrite = {2};
  config.faults.nackData = {3};
  PdBus bus(config);
  const Bytes enter{0xFF, 0xF8, 0x3B, 0xE1};
  EXPECT_EQ(bus.Busy(), 0x01);  // write 1
  EXPECT_EQ(bus.Write(enter), 4) << "taken in full";
  EXPECT_EQ(bus.Read(1), Bytes{0x01}) << "the dropped frame changed nothing";
  EXPECT_EQ(bus.Write(enter), 0) << "address taken, first byte refused";
  EXPECT_FALSE(bus.pd.testMode());
}

// The power goes 30 ms into a 96 ms erase of 16 sectors: the first five are
// erased, the rest keep their content, and nothing answers any more.
TEST(PdController, PowerLossStopsTheChipAndItsErase) {
  sim::PdConfig config;
  config.flashSizeKb = 64;
  config.tcpiAddress = 0x50;
  config.faults.powerLoss = 6;
  PdBus bus(config);
  const Bytes before = bus.pd.flash().cells();
  Ready(bus);         // writes 1 to 3
  bus.Command(0x04);  // 4
  bus.Command(0x07);  // 5
  bus.Advance(30'000);
  EXPECT_EQ(bus.Write({0xFF, 0xFF}), -1);
  EXPECT_FALSE(bus.pd.powered());
  EXPECT_EQ(bus.Read(1), std::nullopt);
  EXPECT_EQ(bus.Write({0xB6}, 0x50), -1);
  bus.Advance(1'000'000);
  std::string error;
  ASSERT_TRUE(bus.pd.Finish(error));
  Bytes expected = before;
  std::fill(expected.begin(), expected.begin() + 5 * 4096, 0xFF);
  EXPECT_EQ(bus.pd.flash().cells(), expected);
}

// A watchdog restart starts the firmware only from a signed flash; the boot
// code still serves the firmware interface.
TEST(PdController, FirmwareStartsOnlyFromASignedFlash) {
  for (const std::size_t notFf : {0x40, 0x4F, 0x3F, 0x50}) {
    PdBus bus;
    bus.EraseByHand();
    bus.pd.flash().cells()[notFf] = 0x00;
    EXPECT_TRUE(bus.WriteAll({0xFF, 0xD0, 0x02}) && bus.WriteAll({0xFF, 0xEB, 0x50}));
    const bool signedFlash = notFf >= 0x40 && notFf < 0x50;
    EXPECT_EQ(bus.Query({0xB6}, 2).has_value(), signedFlash) << notFf;
    EXPECT_EQ(bus.Query({0xFF, 0xC0}, 1), Bytes{0x52}) << notFf;
  }
}

TEST(PdController, EraseStuckKeepsOnlyTheBusyBitSet) {
  sim::PdConfig config;
  config.faults.eraseStuck = true;
  PdBus bus(config);
  Ready(bus);
  EXPECT_EQ(bus.Busy(), 0x01) << "idle before any erase";
  bus.pd.flash().cells()[7] = 0x00;
  bus.Command(0x04);
  bus.Command(0x07);
  bus.Advance(5'000'000);
  EXPECT_EQ(bus.Busy(), 0x11);
  EXPECT_EQ(bus.pd.flash().cells()[7], 0xFF) << "the erase itself completes";
  EXPECT_EQ(bus.Status(), 0x80);
}

TEST(PdController, StatusInvalidAndWelStuck) {
  sim::PdConfig config;
  config.faults.statusInvalid = true;
  PdBus invalid(config);
  Ready(invalid);
  invalid.Command(0x04);
  EXPECT_EQ(invalid.Status(), 0x02);
  invalid.Command(0x05);
  EXPECT_EQ(invalid.Status(), 0x00);

  config.faults = {};
  config.faults.welStuck = true;
  config.flashSizeKb = 1;
  PdBus stuck(config);
  Ready(stuck);
  EXPECT_EQ(stuck.Status(), 0x80) << "clear until first set";
  stuck.Command(0x04);
  stuck.Command(0x05);
  EXPECT_EQ(stuck.Status(), 0x82);
  stuck.Command(0x07);
  stuck.Advance(10'000);
  EXPECT_EQ(stuck.Busy(), 0x01);
  EXPECT_EQ(stuck.Status(), 0x82) << "not even the end of an erase clears it";
}

TEST(PdController, FlipInvertsBitZeroOnReadBackOnly) {
  sim::PdConfig config;
  config.faults.flips = {0x1234, 0x1236};
  PdBus bus(config);
  bus.EraseByHand();
  Ready(bus);
  Bytes page(256, 0x5A);
  bus.ProgramPage(0x12, page.data());
  const Bytes data = bus.ReadData(0x12, 0x30, 8);
  EXPECT_EQ(data, (Bytes{0x5A, 0x5A, 0x5A, 0x5A, 0x5B, 0x5A, 0x5B, 0x5A}));
  EXPECT_EQ(bus.pd.flash().cells()[0x1234], 0x5A) << "the stored cell is right";

  config.faults.flips = {256 * 1024};
  std::string error;
  sim::Clock clock;
  EXPECT_EQ(sim::PdController::Create(config, clock, error), nullptr);
  EXPECT_NE(error.find("outside"), std::string::npos) << error;
}

// A whole image through the frames an update uses, 64 KB of it.
TEST(PdController, WholeImageRoundTrip) {
  sim::PdConfig config = Chip({0x88, 0x56, 0x00, 0x00});
  config.flashSizeKb = 64;
  PdBus bus(config);
  bus.pd.KeepFrameLog(false);
  Ready(bus);
  bus.Command(0x04);
  bus.Command(0x07);
  while (bus.Busy() & 0x10) bus.Advance(2'000);
  const Bytes image = Pattern(64 * 1024, 5);
  for (std::uint16_t page = 0; page < 256; ++page) bus.ProgramPage(page, image.data() + page * 256);
  Bytes back;
  for (std::uint16_t page = 0; page < 256; ++page) {
    for (std::uint8_t half = 0; half < 2; ++half) {
      const Bytes piece = bus.ReadData(page, static_cast<std::uint8_t>(half * 128), 128);
      back.insert(back.end(), piece.begin(), piece.end());
    }
  }
  EXPECT_EQ(back, image);
  EXPECT_EQ(bus.pd.record().refusedFlashWork, 0u);
  EXPECT_EQ(bus.pd.record().nackedBytes, 0u);
}

}  // namespace
