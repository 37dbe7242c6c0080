// The flash bridge on the wire: write control tries and their texts, the
// address frame formats, the data-port prefix, the erase poll and bar, and
// block programming and read-back.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "pd/chip_info.h"
#include "pd/flash_bridge.h"
#include "pd_bench.h"

namespace pdtest {
namespace {

using Lines = std::vector<std::string>;
using Stalls = std::vector<std::uint32_t>;

std::string Hex2(std::uint8_t byte) {
  char text[4];
  std::snprintf(text, sizeof text, "%02X", byte);
  return text;
}

void Append(Lines& lines, const Lines& more) { lines.insert(lines.end(), more.begin(), more.end()); }

// One write-control try as it appears on the bus (prefix FF F7).
Lines CtrlTry(std::uint8_t mode, std::uint8_t status) {
  return {"W 80: FF FE " + Hex2(mode) + " 01", "W 80: FF FE 09 01", "W 80: FF F7", "R 80: " + Hex2(status)};
}

Stalls Times(std::uint32_t us, std::size_t count) { return Stalls(count, us); }

Stalls Join(Stalls a, const Stalls& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

std::size_t CountLines(const Lines& lines, const std::string& line) {
  std::size_t count = 0;
  for (const std::string& l : lines) count += l == line ? 1 : 0;
  return count;
}

Bytes Cmd(std::uint8_t code) { return {0xFF, 0xFE, code, 0x01}; }

// Every test starts from a bench whose bridge answers by a script, with
// the script's data port and the three-byte address frame.
class FlashBridgeTest : public ::testing::Test {
 protected:
  // A new bench for the test, or for the next case of a table.
  PdBench& Start(const BridgeScript& script = {}) {
    bench_.reset();
    bench_ = std::make_unique<PdBench>();
    bench_->Geometry(script.prefix[0], script.prefix[1], 3, script.shift);
    Play(bench_->device, script);
    return *bench_;
  }

 private:
  std::unique_ptr<PdBench> bench_;
};

// The operations' groups; the function names themselves are taken.
using WriteControl = FlashBridgeTest;
using AddressFrame = FlashBridgeTest;
using BridgePrefix = FlashBridgeTest;
using ChipErase = FlashBridgeTest;
using ProgramBlock = FlashBridgeTest;
using ReadBlock = FlashBridgeTest;

// ---- SpiWriteControl ----

TEST_F(WriteControl, EnableConfirmedByTheFirstStatus) {
  PdBench& bench = Start();
  EXPECT_TRUE(SpiWriteControl(SpiCommand::WriteEnable));
  EXPECT_EQ(bench.Console(), "");
  EXPECT_TRUE(bench.ProtocolStalls().empty());
  EXPECT_EQ(bench.Bus(), CtrlTry(0x04, 0x82));
}

TEST_F(WriteControl, TriesAndTexts) {
  struct Case {
    const char* name;
    std::uint8_t mode;
    std::uint8_t (*status)(int n);  // the n-th status read, from 0
    bool confirmed;
    int tries;
    const char* console;
  } const cases[] = {
      {"disable, latch stuck", 5, [](int) -> std::uint8_t { return 0x82; }, false, 101,
       "WRITE_Disable_Ctrl fail= 82 \r\n"},
      {"enable, latch never set", 4, [](int) -> std::uint8_t { return 0x80; }, false, 101,
       "WRITE_ENABLE_Ctrl fail= 80 \r\n"},
      {"enable, last status invalid", 4, [](int n) -> std::uint8_t { return n < 100 ? 0x80 : 0x02; }, false, 101,
       "Ctrl fail= 2 \r\n"},
      {"disable, only the last status valid", 5, [](int n) -> std::uint8_t { return n < 100 ? 0x00 : 0x83; },
       false, 101, "WRITE_Disable_Ctrl fail= 83 \r\n"},
      {"disable, invalid status with latch clear", 5, [](int) -> std::uint8_t { return 0x00; }, false, 101,
       "Ctrl fail= 0 \r\n"},
      {"enable, latch seen on the 8th try", 4, [](int n) -> std::uint8_t { return n < 7 ? 0x80 : 0x82; }, true, 8,
       ""},
      {"disable on the 2nd try", 5, [](int n) -> std::uint8_t { return n < 1 ? 0x82 : 0x80; }, true, 2, ""},
      {"enable on the 101st try", 4, [](int n) -> std::uint8_t { return n < 100 ? 0x7F : 0xFE; }, true, 101, ""},
      {"mode 6 is judged as disable", 6, [](int) -> std::uint8_t { return 0x80; }, true, 1, ""},
      {"mode 6, latch stuck", 6, [](int) -> std::uint8_t { return 0x82; }, false, 101,
       "WRITE_Disable_Ctrl fail= 82 \r\n"},
  };
  for (const Case& c : cases) {
    BridgeScript script;
    script.enableStatus = c.status;
    script.disableStatus = c.status;
    PdBench& bench = Start(script);
    EXPECT_EQ(SpiWriteControl(static_cast<SpiCommand>(c.mode)), c.confirmed) << c.name;
    EXPECT_EQ(bench.Console(), c.console) << c.name;
    const int failedTries = c.confirmed ? c.tries - 1 : c.tries;
    EXPECT_EQ(bench.ProtocolStalls(), Times(20, failedTries)) << c.name;
    Lines expected;
    for (int n = 0; n < c.tries; ++n) Append(expected, CtrlTry(c.mode, c.status(n)));
    EXPECT_EQ(bench.Bus(), expected) << c.name;
  }
}

TEST_F(WriteControl, UnreadableStatusCountsAsZero) {
  BridgeScript script;
  script.enableStatus = [](int) -> std::uint8_t { return 0x80; };
  PdBench& bench = Start(script);
  // The last try's status read is refused: its status is 0, not the 0x80
  // that the try before it read.
  bench.device.refuse = [](const std::vector<Frame>& history, bool read) {
    return read && CountWrites(history, Cmd(0x09)) == 101;
  };
  EXPECT_FALSE(SpiWriteControl(SpiCommand::WriteEnable));
  EXPECT_EQ(bench.Console(), "Ctrl fail= 0 \r\n");
  EXPECT_EQ(bench.ProtocolStalls(), Times(20, 101));
  const Lines bus = bench.Bus();
  EXPECT_EQ(CountLines(bus, "R 80: 80"), 100u);
  EXPECT_EQ(bus.back(), "R 80: NACK");
}

// ---- SpiSetAddress ----

TEST_F(AddressFrame, FrameByGeometry) {
  struct Case {
    std::uint32_t addrBytes, addrShift;
    std::uint16_t page;
    std::uint8_t offset;
    const char* line;
  } const cases[] = {
      {2, 0, 0x0123, 0x80, "W 80: FF FA 80 23"},
      {3, 0, 0x0123, 0x80, "W 80: FF FA 80 23 01"},
      {3, 1, 0x0123, 0x80, "W 80: FF FA 80 23 02"},
      {3, 1, 0x0100, 0x00, "W 80: FF FA 00 00 02"},
      {3, 1, 0x81FF, 0x7F, "W 80: FF FA 7F FF 02"},  // the shifted byte is cut to 8 bits
      {3, 0, 0xFE10, 0x01, "W 80: FF FA 01 10 FE"},
      {2, 1, 0x0523, 0x00, "W 80: FF FA 00 23"},     // no third byte, so nothing to shift
      {2, 0, 0x0000, 0x40, "W 80: FF FA 40 00"},     // the signature's address
      {3, 0, 0x0000, 0x40, "W 80: FF FA 40 00 00"},
  };
  for (const Case& c : cases) {
    PdBench& bench = Start();
    bench.Geometry(0xFF, 0xF7, c.addrBytes, c.addrShift);
    EXPECT_TRUE(SpiSetAddress(c.page, c.offset)) << c.line;
    EXPECT_EQ(bench.Bus(), Lines{c.line});
  }
}

// ---- The data-port prefix ----

TEST_F(BridgePrefix, ZeroPrefixLeadsStatusDataAndNothingElse) {
  BridgeScript script;
  script.prefix = {0x00, 0x00};
  script.shift = 1;
  script.busy = [](int n) -> std::uint8_t { return n < 2 ? 0x10 : 0x00; };
  PdBench& bench = Start(script);
  std::uint8_t block[kFlashBlockSize];
  for (std::uint32_t i = 0; i < kFlashBlockSize; ++i) block[i] = static_cast<std::uint8_t>(i);

  EXPECT_EQ(SpiChipErase(), EraseResult::Erased);
  EXPECT_TRUE(SpiProgramBlock(0x104, block));
  SpiReadBlock(0x104, block);
  EXPECT_EQ(bench.Console(), Cells(12));

  const std::vector<Frame>& log = bench.device.Log();
  std::size_t statusReads = 0, dataReads = 0, busyReads = 0, dataWrites = 0;
  for (std::size_t i = 0; i < log.size(); ++i) {
    const Frame& f = log[i];
    if (f.read) continue;
    ASSERT_GE(f.bytes.size(), 2u);
    const bool readFollows = i + 1 < log.size() && log[i + 1].read;
    const Bytes lead(f.bytes.begin(), f.bytes.begin() + 2);
    if (f.bytes.size() == 2 && readFollows) {
      if (lead == Bytes{0xFF, 0xFF}) {
        ++busyReads;
      } else {
        EXPECT_EQ(lead, (Bytes{0x00, 0x00})) << "frame " << i;
        (log[i + 1].bytes.size() == 1 ? statusReads : dataReads) += 1;
      }
    } else if (f.bytes.size() == 130) {
      EXPECT_EQ(lead, (Bytes{0x00, 0x00})) << "frame " << i;
      ++dataWrites;
    } else if (f.bytes.size() == 4) {
      EXPECT_EQ(lead, (Bytes{0xFF, 0xFE})) << "frame " << i;
    } else {
      ASSERT_EQ(f.bytes.size(), 5u) << "frame " << i;
      EXPECT_EQ(lead, (Bytes{0xFF, 0xFA})) << "frame " << i;
      EXPECT_EQ(f.bytes[4], 0x02) << "page 0x104 with the shift, frame " << i;
    }
  }
  EXPECT_EQ(busyReads, 3u);
  EXPECT_EQ(statusReads, 2u + 8u);  // erase enable/disable, four pages' enable/disable
  EXPECT_EQ(dataWrites, 8u);
  EXPECT_EQ(dataReads, 8u);
}

// ---- SpiChipErase ----

TEST_F(ChipErase, BusyPollByItsCount) {
  struct Case {
    int busyReads;  // reads that show the busy bit
    Stalls pollStalls;
  } const cases[] = {
      {0, {}},
      {1, Times(2000, 1)},
      {3, Times(2000, 3)},
      {2000, Times(2000, 2000)},  // the last read the poll makes finds it clear
  };
  for (const Case& c : cases) {
    BridgeScript script;
    const int busyReads = c.busyReads;
    // Bits other than bit 4 mean nothing to the poll.
    script.busy = [busyReads](int n) -> std::uint8_t { return n < busyReads ? 0x10 : 0xEF; };
    PdBench& bench = Start(script);
    EXPECT_EQ(SpiChipErase(), EraseResult::Erased) << c.busyReads;
    EXPECT_EQ(bench.Console(), Cells(12)) << c.busyReads;
    EXPECT_EQ(bench.ProtocolStalls(), Join(c.pollStalls, Times(100, 12))) << c.busyReads;
    Lines expected = CtrlTry(0x04, 0x82);
    expected.push_back("W 80: FF FE 07 01");
    for (int n = 0; n <= c.busyReads; ++n) {
      expected.push_back("W 80: FF FF");
      expected.push_back(n < c.busyReads ? "R 80: 10" : "R 80: EF");
    }
    Append(expected, CtrlTry(0x05, 0x80));
    EXPECT_EQ(bench.Bus(), expected) << c.busyReads;
  }
}

TEST_F(ChipErase, BusyNeverClearing_GivesUpAndStillDisables) {
  BridgeScript script;
  script.busy = [](int) -> std::uint8_t { return 0x10; };
  PdBench& bench = Start(script);
  EXPECT_EQ(SpiChipErase(), EraseResult::Erased);
  EXPECT_EQ(bench.Console(), "SPI_CMD_CHIP_ERASE Fail!!" + Cells(12));
  EXPECT_EQ(bench.ProtocolStalls(), Join(Times(2000, 2001), Times(100, 12)));
  const Lines bus = bench.Bus();
  EXPECT_EQ(CountLines(bus, "W 80: FF FF"), 2001u);
  ASSERT_GE(bus.size(), 4u);
  EXPECT_EQ(Lines(bus.end() - 4, bus.end()), CtrlTry(0x05, 0x80));
}

// A busy read the chip does not answer says nothing about the erase: the
// poll goes on as if it had shown the erase running.
TEST_F(ChipErase, UnreadableBusyCountsAsBusy) {
  struct Case {
    const char* name;
    std::size_t firstRefused, lastRefused;  // busy frames, from 1
    std::uint8_t (*busy)(int);              // answered busy reads, from 0
    std::size_t busyFrames;
  } const cases[] = {
      {"the first read", 1, 1, [](int) -> std::uint8_t { return 0x00; }, 2},
      {"reads 2 to 4", 2, 4, [](int n) -> std::uint8_t { return n == 0 ? 0x10 : 0x00; }, 5},
  };
  for (const Case& c : cases) {
    BridgeScript script;
    script.busy = c.busy;
    PdBench& bench = Start(script);
    bench.device.refuse = [c](const std::vector<Frame>& history, bool read) {
      if (!read || history.empty() || history.back().bytes != Bytes{0xFF, 0xFF}) return false;
      const std::size_t busyFrames = CountWrites(history, {0xFF, 0xFF});
      return busyFrames >= c.firstRefused && busyFrames <= c.lastRefused;
    };
    EXPECT_EQ(SpiChipErase(), EraseResult::Erased) << c.name;
    EXPECT_EQ(bench.Console(), Cells(12)) << c.name;
    EXPECT_EQ(bench.ProtocolStalls(), Join(Times(2000, c.busyFrames - 1), Times(100, 12))) << c.name;
    const Lines bus = bench.Bus();
    EXPECT_EQ(CountLines(bus, "W 80: FF FF"), c.busyFrames) << c.name;
    EXPECT_EQ(CountLines(bus, "R 80: NACK"), c.lastRefused - c.firstRefused + 1) << c.name;
  }
}

TEST_F(ChipErase, WriteControlFailures) {
  struct Case {
    const char* name;
    std::uint8_t (*enable)(int);
    std::uint8_t (*disable)(int);
    std::uint8_t (*busy)(int);
    std::string console;
    EraseResult result;
    bool eraseSent;
  } const cases[] = {
      {"enable fails", [](int) -> std::uint8_t { return 0x00; }, [](int) -> std::uint8_t { return 0x80; },
       [](int) -> std::uint8_t { return 0x00; }, "Ctrl fail= 0 \r\nSPIWriteCtrl(Enable) Fail!!",
       EraseResult::NotStarted, false},
      {"disable fails", [](int) -> std::uint8_t { return 0x82; }, [](int) -> std::uint8_t { return 0x82; },
       [](int) -> std::uint8_t { return 0x00; }, "WRITE_Disable_Ctrl fail= 82 \r\nSPIWriteCtrl(Disable) Fail!!",
       EraseResult::Unconfirmed, true},
      {"stuck, then disable fails", [](int) -> std::uint8_t { return 0x82; },
       [](int) -> std::uint8_t { return 0x82; }, [](int) -> std::uint8_t { return 0x10; },
       "SPI_CMD_CHIP_ERASE Fail!!WRITE_Disable_Ctrl fail= 82 \r\nSPIWriteCtrl(Disable) Fail!!",
       EraseResult::Unconfirmed, true},
      // An earlier run's erase still runs: it is waited for, and the
      // enable is tried once more.
      {"enable refused while an erase runs, then confirmed",
       [](int n) -> std::uint8_t { return n < 101 ? 0x81 : 0x82; }, [](int) -> std::uint8_t { return 0x80; },
       [](int n) -> std::uint8_t { return n < 3 ? 0x10 : 0x00; }, Cells(12),
       EraseResult::Erased, true},
      {"enable refused while an erase runs, and after it", [](int) -> std::uint8_t { return 0x81; },
       [](int) -> std::uint8_t { return 0x80; }, [](int n) -> std::uint8_t { return n < 3 ? 0x10 : 0x00; },
       "WRITE_ENABLE_Ctrl fail= 81 \r\nSPIWriteCtrl(Enable) Fail!!", EraseResult::Unconfirmed, false},
  };
  for (const Case& c : cases) {
    BridgeScript script;
    script.enableStatus = c.enable;
    script.disableStatus = c.disable;
    script.busy = c.busy;
    PdBench& bench = Start(script);
    // The caller learns whether the flash may be being erased.
    EXPECT_EQ(SpiChipErase(), c.result) << c.name;
    EXPECT_EQ(bench.Console(), c.console) << c.name;
    EXPECT_EQ(CountWrites(bench.device.Log(), Cmd(0x07)), c.eraseSent ? 1u : 0u) << c.name;
  }
}

// ---- SpiProgramBlock ----

// The block the programming tests write.
const std::uint8_t* TestBlock() {
  static const Bytes block = [] {
    Bytes bytes(kFlashBlockSize);
    for (std::uint32_t i = 0; i < kFlashBlockSize; ++i) bytes[i] = static_cast<std::uint8_t>(i * 3 + 1);
    return bytes;
  }();
  return block.data();
}

Bytes DataFrame(std::size_t piece) {
  Bytes frame(130);
  frame[0] = 0xFF;
  frame[1] = 0xF7;
  for (std::size_t i = 0; i < 128; ++i) frame[2 + i] = TestBlock()[piece * 128 + i];
  return frame;
}

// What one page of a block (0..3) sends when everything succeeds.
std::vector<Bytes> PageWrites(std::uint16_t page, std::size_t index) {
  return {Cmd(0x04), Cmd(0x09), {0xFF, 0xF7},
          {0xFF, 0xFA, 0x00, static_cast<std::uint8_t>(page), static_cast<std::uint8_t>(page >> 8)},
          Cmd(0x16), DataFrame(index * 2), DataFrame(index * 2 + 1),
          Cmd(0x05), Cmd(0x09), {0xFF, 0xF7}};
}

std::vector<Bytes> WritesOf(const std::vector<Frame>& log) {
  std::vector<Bytes> writes;
  for (const Frame& f : log) {
    if (!f.read) writes.push_back(f.refused ? Bytes{} : f.bytes);
  }
  return writes;
}

TEST_F(ProgramBlock, FourPagesInBufferOrder) {
  PdBench& bench = Start();
  EXPECT_TRUE(SpiProgramBlock(8, TestBlock()));
  EXPECT_EQ(bench.Console(), "");
  EXPECT_TRUE(bench.ProtocolStalls().empty());
  std::vector<Bytes> expected;
  for (std::uint16_t i = 0; i < 4; ++i) {
    for (Bytes& b : PageWrites(static_cast<std::uint16_t>(8 + i), i)) expected.push_back(b);
  }
  EXPECT_EQ(WritesOf(bench.device.Log()), expected);
}

TEST_F(ProgramBlock, FailedDataWriteInPage10) {
  for (const std::size_t failing : {std::size_t{0}, std::size_t{1}}) {
    PdBench& bench = Start();
      // The first or second data frame after the third page-program command.
    bench.device.refuse = [failing](const std::vector<Frame>& history, bool read) {
      if (read || CountWrites(history, Cmd(0x16)) != 3) return false;
      std::size_t dataFrames = 0;
      for (auto it = history.rbegin(); it != history.rend() && it->bytes != Cmd(0x16); ++it) ++dataFrames;
      return dataFrames == failing;
    };
    EXPECT_FALSE(SpiProgramBlock(8, TestBlock())) << failing;
    const std::string console = bench.Console();
    EXPECT_TRUE(EndsWith(console, " SPI_Program1K -> bI2cMasterWrite() Fail!!")) << console;
    std::vector<Bytes> expected;
    for (std::uint16_t i = 0; i < 2; ++i) {
      for (Bytes& b : PageWrites(static_cast<std::uint16_t>(8 + i), i)) expected.push_back(b);
    }
    std::vector<Bytes> page10 = PageWrites(10, 2);
    expected.insert(expected.end(), page10.begin(), page10.begin() + 5 + static_cast<long>(failing));
    expected.push_back(Bytes{});  // the refused frame, and nothing after it
    EXPECT_EQ(WritesOf(bench.device.Log()), expected) << failing;
  }
}

// A refused address frame or page-program command fails the block there:
// the data must never go to the address an earlier page left in the bridge.
TEST_F(ProgramBlock, RefusedAddressOrCommandEndsTheBlock) {
  struct Case {
    std::uint16_t page;  // of the block, 0..3
    std::size_t write;   // the page's refused write: 3 address frame, 4 command
  } const cases[] = {{0, 3}, {0, 4}, {2, 3}, {3, 4}};
  for (const Case& c : cases) {
    PdBench& bench = Start();
    // Each page before it: ten writes and two status reads; within the
    // page, the write control's four transactions come first.
    const std::size_t refusedAt = c.page * 12u + 4u + (c.write - 3u);
    bench.device.refuse = [refusedAt](const std::vector<Frame>& history, bool) {
      return history.size() == refusedAt;
    };
    const std::string what = "page " + std::to_string(c.page) + " write " + std::to_string(c.write);
    EXPECT_FALSE(SpiProgramBlock(8, TestBlock())) << what;
    EXPECT_TRUE(EndsWith(bench.Console(), " SPI_Program1K -> bI2cMasterWrite() Fail!!")) << what;
    std::vector<Bytes> expected;
    for (std::uint16_t i = 0; i < c.page; ++i) {
      for (Bytes& b : PageWrites(static_cast<std::uint16_t>(8 + i), i)) expected.push_back(b);
    }
    const std::vector<Bytes> page = PageWrites(static_cast<std::uint16_t>(8 + c.page), c.page);
    expected.insert(expected.end(), page.begin(), page.begin() + static_cast<long>(c.write));
    expected.push_back(Bytes{});  // the refused frame, and nothing after it
    EXPECT_EQ(WritesOf(bench.device.Log()), expected) << what;
  }
}

TEST_F(ProgramBlock, WriteControlFailures) {
  struct Case {
    const char* name;
    std::uint8_t (*enable)(int);
    std::uint8_t (*disable)(int);
    const char* console;
    std::size_t addressFrames;
  } const cases[] = {
      {"enable fails on the second page", [](int n) -> std::uint8_t { return n < 1 ? 0x82 : 0x80; },
       [](int) -> std::uint8_t { return 0x80; }, "WRITE_ENABLE_Ctrl fail= 80 \r\n", 1},
      {"disable fails on the first page", [](int) -> std::uint8_t { return 0x82; },
       [](int) -> std::uint8_t { return 0x82; },
       "WRITE_Disable_Ctrl fail= 82 \r\n SPI_Program1K -> SPIWriteCtrl(Disable) Fail!!", 1},
      {"disable fails on the last page", [](int) -> std::uint8_t { return 0x82; },
       [](int n) -> std::uint8_t { return n < 3 ? 0x80 : 0x82; },
       "WRITE_Disable_Ctrl fail= 82 \r\n SPI_Program1K -> SPIWriteCtrl(Disable) Fail!!", 4},
  };
  for (const Case& c : cases) {
    BridgeScript script;
    script.enableStatus = c.enable;
    script.disableStatus = c.disable;
    PdBench& bench = Start(script);
      EXPECT_FALSE(SpiProgramBlock(0, TestBlock())) << c.name;
    EXPECT_EQ(bench.Console(), c.console) << c.name;
    std::size_t addressFrames = 0;
    for (const Frame& f : bench.device.Log()) addressFrames += f.bytes.size() == 5 && f.bytes[1] == 0xFA;
    EXPECT_EQ(addressFrames, c.addressFrames) << c.name;
  }
}

// ---- SpiReadBlock ----

std::uint8_t FlashByte(std::uint32_t address) { return static_cast<std::uint8_t>(address * 7 + (address >> 8)); }

TEST_F(ReadBlock, EightHalfPagesInOrder) {
  PdBench& bench = Start();
  std::uint8_t block[kFlashBlockSize];
  for (std::uint32_t i = 0; i < kFlashBlockSize; ++i) block[i] = 0xAA;
  EXPECT_EQ(SpiReadBlock(0x3FC, block), 0);
  EXPECT_EQ(bench.Console(), "");
  EXPECT_TRUE(bench.ProtocolStalls().empty());
  for (std::uint32_t i = 0; i < kFlashBlockSize; ++i) {
    ASSERT_EQ(block[i], FlashByte(0x3FC00 + i)) << "byte " << i;
  }
  std::vector<Bytes> expected;
  for (std::uint32_t piece = 0; piece < 8; ++piece) {
    const std::uint32_t page = 0x3FC + piece / 2;
    expected.push_back({0xFF, 0xFA, static_cast<std::uint8_t>((piece % 2) * 0x80), static_cast<std::uint8_t>(page),
                        static_cast<std::uint8_t>(page >> 8)});
    expected.push_back(Cmd(0x13));
    expected.push_back({0xFF, 0xF7});
  }
  EXPECT_EQ(WritesOf(bench.device.Log()), expected);
  std::size_t reads = 0;
  for (const Frame& f : bench.device.Log()) {
    if (f.read) {
      ++reads;
      EXPECT_EQ(f.bytes.size(), 128u);
    }
  }
  EXPECT_EQ(reads, 8u);
}

TEST_F(ReadBlock, FailingReadLeavesZerosForTheRestOfItsPiece) {
  PdBench& bench = Start();
  // Byte 40 of the third data read is held a little longer than the host
  // waits for a byte (about 2.2 ms), so that the bus is free again for the
  // frames that follow.
  bench.device.holdRead = [](const std::vector<Frame>& history, std::size_t index) -> std::uint64_t {
    return CountWrites(history, Cmd(0x13)) == 3 && index == 40 ? 2'500'000 : 0;
  };
  std::uint8_t block[kFlashBlockSize];
  for (std::uint32_t i = 0; i < kFlashBlockSize; ++i) block[i] = 0xAA;
  // Only the third piece is reported unread.
  EXPECT_EQ(SpiReadBlock(4, block), 1 << 2);
  EXPECT_EQ(bench.Console(), "");
  for (std::uint32_t i = 0; i < 256 + 40; ++i) {
    ASSERT_EQ(block[i], FlashByte(0x400 + i)) << "byte " << i;
  }
  for (std::uint32_t i = 256 + 40; i < 384; ++i) ASSERT_EQ(block[i], 0x00) << "byte " << i;
  // The rest of the block is still asked for.
  EXPECT_EQ(CountWrites(bench.device.Log(), Cmd(0x13)), 8u);
  const std::vector<Frame>& log = bench.device.Log();
  ASSERT_FALSE(log.empty());
  EXPECT_EQ(log[log.size() - 2].bytes, (Bytes{0xFF, 0xF7}));
  EXPECT_TRUE(log.back().read);
}

}  // namespace
}  // namespace pdtest
