// Whole runs on a simulated board that misbehaves: every failure of the
// test-mode preparation, the flash work, the ending and the version
// queries that the board can be made to show, with the console text, the
// exit code, what was still sent on the bus and what the flash holds.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "e2e/update_expect.h"

namespace {

using namespace vexa_test;
using namespace vexa_test::update;

// Which transactions of a clean run the chip should refuse: the write
// line `anchor` (its `occurrence`-th appearance), or with `read` the first
// read after it; `offset` more transactions of the same kind further on;
// then `repeat` transactions `step` apart. `fault` names another fault of
// numbered write transactions than nack-write.
struct Target {
  std::string anchor;
  int occurrence = 1;
  bool read = false;
  int offset = 0;
  int repeat = 1;
  int step = 1;
  std::string fault = "";
};

enum class FlashAfter { Skip, Unchanged, Updated, UpdatedWithoutSignature };

struct FailureCase {
  std::string label;
  std::vector<std::string> board;   // besides --trace, --flash and the faults
  std::vector<std::string> args;    // the tool's command line
  std::vector<std::string> faults;  // fault names that need no target
  std::optional<Target> target;
  std::string out;  // the whole output, seconds hidden
  int exitCode;
  std::string lastWrite;  // the last write line of the trace
  // The write line right after the last refused transaction; "" when
  // nothing more is written.
  std::optional<std::string> next = std::nullopt;
  FlashAfter flash = FlashAfter::Skip;
};

// Index of the line of the `number`-th write (or read) transaction to 80.
std::size_t LineOfTransaction(const std::vector<std::string>& trace, std::uint64_t number,
                              bool read) {
  std::uint64_t n = 0;
  for (std::size_t i = 0; i < trace.size(); ++i) {
    if ((read ? IsRead(trace[i], 0x80) : IsWrite(trace[i], 0x80)) && ++n == number) return i;
  }
  return trace.size();
}

// Runs the cases of one table against the same image, each first without
// its fault when it needs the transaction numbers of a clean run.
class FailureRunner {
 public:
  explicit FailureRunner(std::vector<std::uint8_t> image) : image_(std::move(image)) {}

  const std::vector<std::uint8_t>& image() const { return image_; }

  void Run(const FailureCase& c) {
    SCOPED_TRACE(c.label);
    std::vector<std::string> faults;
    for (const std::string& f : c.faults) faults.insert(faults.end(), {"--fault", f});
    std::uint64_t lastRefused = 0;
    if (c.target) {
      const std::vector<std::string>& clean = CleanTrace(c);
      const Target& t = *c.target;
      const std::size_t anchor = FindNth(clean, t.anchor, t.occurrence);
      ASSERT_LT(anchor, clean.size()) << "no " << t.anchor;
      const std::uint64_t first =
          TransactionNumber(clean, anchor, t.read, 0x80) + (t.read ? 1 : 0) + t.offset;
      for (int k = 0; k < t.repeat; ++k) {
        lastRefused = first + static_cast<std::uint64_t>(k * t.step);
        const std::string kind = !t.fault.empty() ? t.fault : t.read ? "nack-read=" : "nack-write=";
        faults.insert(faults.end(), {"--fault", kind + std::to_string(lastRefused)});
      }
    }

    TempDir dir;
    const unsigned flashKb = FlashKb(c.board);
    Prepare(dir, flashKb);
    std::vector<std::string> board = c.board;
    board.insert(board.end(), {"--trace", "bus.txt", "--flash", "flash.bin"});
    board.insert(board.end(), faults.begin(), faults.end());
    const SimResult run = RunSim(board, c.args, dir.path());
    EXPECT_EQ(HideSeconds(run.out), c.out);
    EXPECT_EQ(run.exitCode, c.exitCode);
    EXPECT_EQ(run.err, "");
    EXPECT_FALSE(run.timedOut);

    const std::vector<std::string> trace = ReadLines(dir / "bus.txt");
    std::string lastWrite;
    for (const std::string& line : trace) {
      if (line.rfind("W ", 0) == 0) lastWrite = line;
    }
    EXPECT_EQ(lastWrite, c.lastWrite);
    if (c.next) {
      ASSERT_TRUE(c.target.has_value());
      std::size_t at = LineOfTransaction(trace, lastRefused, c.target->read);
      ASSERT_LT(at, trace.size());
      std::string next;
      while (++at < trace.size() && next.empty()) {
        if (trace[at].rfind("W ", 0) == 0) next = trace[at];
      }
      EXPECT_EQ(next, *c.next);
    }

    const std::vector<std::uint8_t> flash = ReadBytes(dir / "flash.bin");
    std::vector<std::uint8_t> expected;
    switch (c.flash) {
      case FlashAfter::Skip:
        return;
      case FlashAfter::Unchanged:
        expected = OldFlash(flashKb);
        break;
      case FlashAfter::Updated:
        expected = FlashAfterUpdate(image_, flashKb);
        break;
      case FlashAfter::UpdatedWithoutSignature:
        expected = FlashAfterUpdate(image_, flashKb);
        std::fill(expected.begin() + 0x40, expected.begin() + 0x50, 0xFF);
        break;
    }
    EXPECT_EQ(FlashDifference(flash, expected), "");
  }

 private:
  static std::vector<std::uint8_t> OldFlash(unsigned kb) { return MakeImage(kb * 1024, 77); }

  // The flash of the board's chip: the size its ID gives.
  static unsigned FlashKb(const std::vector<std::string>& board) {
    sim::PdConfig config;
    const auto chip = std::find(board.begin(), board.end(), "--chip");
    for (std::size_t i = 0; chip != board.end() && i < 4; ++i) {
      config.chipId[i] = static_cast<std::uint8_t>(std::stoul(std::next(chip)->substr(2 * i, 2), nullptr, 16));
    }
    return config.FlashSizeKb();
  }

  void Prepare(const TempDir& dir, unsigned flashKb) const {
    dir.Write("fw.bin", image_);
    dir.Write("flash.bin", OldFlash(flashKb));
  }

  const std::vector<std::string>& CleanTrace(const FailureCase& c) {
    const std::string key = JoinArgs(c.board) + " -- " + JoinArgs(c.args);
    auto found = clean_.find(key);
    if (found != clean_.end()) return found->second;
    TempDir dir;
    Prepare(dir, FlashKb(c.board));
    std::vector<std::string> board = c.board;
    board.insert(board.end(), {"--trace", "bus.txt", "--flash", "flash.bin"});
    const SimResult run = RunSim(board, c.args, dir.path());
    EXPECT_EQ(run.exitCode, 0) << "clean run of " << key << "\n" << run.out;
    return clean_[key] = ReadLines(dir / "bus.txt");
  }

  std::vector<std::uint8_t> image_;
  std::map<std::string, std::vector<std::string>> clean_;
};

// The last write of a run that restarted the controller of a 52 30.
const std::string kRestarted = "W 80: FF EB 50";

std::string StatusFail(const char* format, unsigned status) {
  return Console(Format(format, status));
}

// An 8 KB image: one progress cell per block, so the cells before a
// failure count the blocks that got through.
TEST(UpdateFailures, FlashWork) {
  FailureRunner runner(MakeImage(8 * 1024, 5));
  const std::vector<std::uint8_t>& image = runner.image();
  const std::vector<std::string> args = {"fw.bin", "/id", "5230"};
  const std::string start = Opening{}.Text() + Preparation(false, k5230, 0x80) +
                            ImageLine("fw.bin", image.size());
  const std::string version = FwVersion(0x1A, 0x05);
  // A controller restarted without a signed image stays in its boot code.
  const std::string unsigned_ = kVersionRefused;
  const std::string erased = kEraseLabel + Cells(12);
  const std::string programmed = erased + kProgramLabel + Cells(12);
  const std::string verified = programmed + kVerifyLabel + Cells(12);
  const std::string blockWriteError = BlockWriteError(0xFF);
  const std::string busyPoll = "W 80: FF FF";
  // Status bytes: bit 7 valid, bit 1 the write-enable latch; a status read
  // that fails leaves 0.
  const unsigned noStatus = 0x00;
  const unsigned latchClear = 0x80;
  const unsigned latchSet = 0x82;

  // Frames of the clean run: one write enable and one write disable around
  // the erase, four of each per block (8 blocks), one of each for the
  // signature.
  const std::string enable = "W 80: FF FE 04 01";
  const std::string disable = "W 80: FF FE 05 01";
  const std::string pageProgram = "W 80: FF FE 16 01";
  const std::string signatureAddress = "W 80: FF FA 40 00 00";
  const auto signatureFail = [&](const std::string& why) {
    return start + verified + kBeforeSignature + why + kSignatureFail;
  };
  const int signatureCtrl = 1 + 8 * 4 + 1;

  // 0x1234 lies in block 4.
  const std::size_t flip = 0x1234;
  const std::string flipLine = Console(Format("\n\nIndex[%02zX] = %02X, Bin Data = %02X", flip,
                                              image[flip] ^ 1u, image[flip]));

  const FailureCase cases[] = {
      {"erase: the status never valid (bit 7 clear, latch set)", {}, args, {"status-invalid"},
       std::nullopt,
       start + kEraseLabel + StatusFail("Ctrl fail= %X \n", 0x02) +
           Console("SPIWriteCtrl(Enable) Fail!!") + kEarlyStop,
       7, kRestarted, std::nullopt, FlashAfter::Unchanged},
      {"erase: the write enable never confirmed",
       {},
       args,
       {},
       Target{enable, 1, false, 0, 101, 3},  // each try: 04, 09, status read
       start + kEraseLabel + Repeat(blockWriteError, 101) +
           StatusFail("WRITE_ENABLE_Ctrl fail= %X \n", latchClear) +
           Console("SPIWriteCtrl(Enable) Fail!!") + kEarlyStop,
       7, kRestarted, std::nullopt, FlashAfter::Unchanged},
      {"erase: the write-enable latch never clears", {}, args, {"wel-stuck"}, std::nullopt,
       start + kEraseLabel + StatusFail("WRITE_Disable_Ctrl fail= %X \n", latchSet) +
           Console("SPIWriteCtrl(Disable) Fail!!") + kEarlyStop + kFirmwareIncomplete,
       7, "W 80: FF F7", std::nullopt, FlashAfter::Skip},
      {"erase: the busy bit never clears; the update goes on", {}, args, {"erase-stuck"},
       std::nullopt,
       start + kEraseLabel + Console("SPI_CMD_CHIP_ERASE Fail!!") + Cells(12) + kProgramLabel +
           Cells(12) + kVerifyLabel + Cells(12) + SuccessEnd(false, version) + kEarlyStop,
       0, "W 80: B6", std::nullopt, FlashAfter::Skip},
      {"program: the write enable of block 2 never confirmed",
       {},
       args,
       {},
       Target{enable, 1 + 2 * 4 + 1, true, 0, 101, 1},  // its status reads
       start + erased + kProgramLabel + Cells(2) + StatusFail("Ctrl fail= %X \n", noStatus) +
           kProgramFail + unsigned_ + kEarlyStop + kFirmwareIncomplete,
       7, "W 80: B6 NACK", "W 80: FF F8 00 00", FlashAfter::Skip},
      {"program: a data write of block 5 fails",
       {},
       args,
       {},
       Target{pageProgram, 5 * 4 + 1, false, 1},  // the first data frame
       start + erased + kProgramLabel + Cells(5) + blockWriteError +
           Console(" SPI_Program1K -> bI2cMasterWrite() Fail!!") + kProgramFail + unsigned_ +
           kEarlyStop + kFirmwareIncomplete,
       7, "W 80: B6 NACK", "W 80: FF F8 00 00", FlashAfter::Skip},
      {"program: the write disable of block 3 never confirmed",
       {},
       args,
       {},
       Target{disable, 1 + 3 * 4 + 1, false, 0, 101, 3},
       start + erased + kProgramLabel + Cells(3) + Repeat(blockWriteError, 101) +
           StatusFail("WRITE_Disable_Ctrl fail= %X \n", latchSet) +
           Console(" SPI_Program1K -> SPIWriteCtrl(Disable) Fail!!") + kProgramFail + unsigned_ +
           kEarlyStop + kFirmwareIncomplete,
       7, "W 80: B6 NACK", "W 80: FF FE 09 01", FlashAfter::Skip},
      {"verify: a byte of block 4 differs",
       {"--fault", "flip=" + std::to_string(flip)},
       args,
       {},
       std::nullopt,
       start + programmed + kVerifyLabel + Cells(4) + flipLine + Cells(1) + kVerifyFail +
           kEarlyStop + kFirmwareIncomplete,
       7, "W 80: AA", std::nullopt, FlashAfter::UpdatedWithoutSignature},
      // The fourth piece of block 3: page 0x0D from 0x80, addressed only by
      // the verify pass. Its zeros are no reading of the flash; the rest of
      // the block is still read.
      {"verify: a read of block 3 fails", {}, args, {}, Target{"W 80: FF FA 80 0D 00", 1, true},
       start + programmed + kVerifyLabel + Cells(3) + Console("\n\nIndex[D80] Read Back Fail!") + Cells(1) +
           kVerifyFail + kEarlyStop + kFirmwareIncomplete,
       7, "W 80: AA", "W 80: FF FA 00 0E 00", FlashAfter::UpdatedWithoutSignature},
      {"verify: the blank signature bytes are compared as FF",
       {"--fault", "flip=0x45"},
       args,
       {},
       std::nullopt,
       start + programmed + kVerifyLabel + Console("\n\nIndex[45] = FE, Bin Data = FF") +
           Cells(1) + kVerifyFail + kEarlyStop + kFirmwareIncomplete,
       7, "W 80: AA", std::nullopt, FlashAfter::Skip},
      {"signature: the write enable never confirmed",
       {},
       args,
       {},
       Target{enable, signatureCtrl, true, 0, 101, 1},
       start + verified + kBeforeSignature + StatusFail("Ctrl fail= %X \n", noStatus) +
           kSignatureFail + unsigned_ + kEarlyStop + kFirmwareIncomplete,
       7, "W 80: B6 NACK", "W 80: FF F8 00 00", FlashAfter::UpdatedWithoutSignature},
      {"signature: the data write fails",
       {},
       args,
       {},
       Target{signatureAddress, 1, false, 2},  // address, command, data
       start + verified + kBeforeSignature + blockWriteError +
           Console(" SPI_Programsignature -> bI2cMasterWrite() Fail!!") + kSignatureFail +
           unsigned_ + kEarlyStop + kFirmwareIncomplete,
       7, "W 80: B6 NACK", "W 80: FF F8 00 00", FlashAfter::UpdatedWithoutSignature},
      {"signature: its address frame fails", {}, args, {}, Target{signatureAddress},
       signatureFail(blockWriteError + Console(" SPI_Programsignature -> SpiSetAddress() Fail!!")) +
           unsigned_ + kEarlyStop + kFirmwareIncomplete,
       7, "W 80: B6 NACK", "W 80: FF F8 00 00", FlashAfter::UpdatedWithoutSignature},
      {"signature: its page program command fails", {}, args, {}, Target{signatureAddress, 1, false, 1},
       signatureFail(blockWriteError + Console(" SPI_Programsignature -> SpiBridgeCommand() Fail!!")) +
           unsigned_ + kEarlyStop + kFirmwareIncomplete,
       7, "W 80: B6 NACK", "W 80: FF F8 00 00", FlashAfter::UpdatedWithoutSignature},
      {"signature: its data frame has no effect", {}, args, {},
       Target{signatureAddress, 1, false, 2, 1, 1, "drop-write="},
       signatureFail(Console(" SPI_Programsignature -> Read Back Mismatch!!")) + unsigned_ +
           kEarlyStop + kFirmwareIncomplete,
       7, "W 80: B6 NACK", std::nullopt, FlashAfter::UpdatedWithoutSignature},
      // Page 0 from its start is addressed by the program pass, the verify
      // pass and the read-back.
      {"signature: its read-back fails", {}, args, {}, Target{"W 80: FF FA 00 00 00", 3, true},
       signatureFail(Console(" SPI_Programsignature -> Read Back Fail!!")) + version + kEarlyStop +
           kFirmwareIncomplete, 7,
       "W 80: B6", "W 80: FF F8 00 00", FlashAfter::Updated},
      {"signature: the write disable never confirmed",
       {},
       args,
       {},
       Target{disable, signatureCtrl, false, 0, 101, 3},
       start + verified + kBeforeSignature + Repeat(blockWriteError, 101) +
           StatusFail("WRITE_Disable_Ctrl fail= %X \n", latchSet) +
           Console(" SPI_Programsignature -> SPIWriteDisable() Fail!!") + kSignatureFail +
           version + kEarlyStop + kFirmwareIncomplete,
       7, "W 80: B6", "W 80: FF FE 09 01", FlashAfter::Updated},
      {"ending: leaving test mode fails",
       {},
       args,
       {},
       Target{"W 80: FF F8 00 00", 2},
       start + verified + SuccessEnd(false, "") + blockWriteError +
           Console("\nExit_Test_mode I2CBlkDataWrite Fail !!") + kEarlyStop + kHaltedWithNewImage,
       7, "W 80: NACK", "", FlashAfter::Updated},
      {"ending: the watchdog writes have no effect, twice", {}, args, {},
       Target{"W 80: FF D0 02", 1, false, 0, 2, 4, "drop-write="},  // the retry's comes after B6 and F8
       start + verified + SuccessEnd(false, "") + kVersionRefused + kVersionRefused + kEarlyStop +
           kNotAnsweringWithNewImage,
       0, "W 80: B6 NACK", "W 80: FF EB 50", FlashAfter::Updated},
  };
  for (const FailureCase& c : cases) runner.Run(c);

  // The busy poll of an erase that never ends gives up after 2001 reads.
  TempDir dir;
  dir.Write("fw.bin", image);
  RunSim({"--fault", "erase-stuck", "--trace", "bus.txt"}, args, dir.path());
  EXPECT_EQ(CountLines(ReadLines(dir / "bus.txt"), busyPoll), 2001u);
}

// Runs without an image: the preparation, the ending and the version
// queries. The chip numbers its transactions from the first version query
// on, which goes to the same address here.
TEST(UpdateFailures, PreparationEndingAndVersions) {
  FailureRunner runner({});
  const std::vector<std::string> args = {"/id", "5230"};
  const std::string before = Opening{}.BeforeVersion();
  const std::string version = FwVersion(0x1A, 0x05);
  const std::string head = before + version;
  const std::string prepared = head + Preparation(false, k5230, 0x80);
  // A chip whose watchdog did not restart it does not answer the version
  // query that follows (its CPU is still halted); the second restart
  // brings it back.
  const std::string noVersion = Console("\n") + kVersionRefused + version;

  const std::vector<std::string> tavik = {};
  const std::vector<std::string> olvren = {"--chip", "88580000"};
  const std::vector<std::string> other = {"--chip", "52510000"};
  const std::string olvrenPrepared = head + Preparation(false, {0x88, 0x58, 0, 0}, 0x80);
  const std::string otherPrepared = head + Preparation(false, {0x52, 0x51, 0, 0}, 0x80);

  Opening debug;
  debug.debug = true;
  debug.mmioLine = IntelMmioLine(0);

  const FailureCase cases[] = {
      {"first version: nothing answers", {}, args, {"absent"}, std::nullopt,
       before + kVersionRefused + SilentController() + kEarlyStop, 7, "W 80: NACK"},
      {"first version: the TCPI address does not answer", {}, args, {"tcpi-absent"},
       std::nullopt, before + kVersionRefused + SilentController() + kEarlyStop, 7, "W 80: B6 NACK"},
      // Read 1 is the answer to the first B6.
      {"first version: the answer is lost", {}, args, {"nack-read=1"}, std::nullopt,
       before + kGetPdVerFail + SilentController() + kEarlyStop, 7, "W 80: B6"},
      {"first version: also with /ov", {}, {"/ov", "/id", "5230"}, {"nack-read=1"}, std::nullopt,
       before + kGetPdVerFail + SilentController() + kEarlyStop, 7, "W 80: B6"},
      {"first version: /force does not change /ov", {}, {"/ov", "/force", "/id", "5230"},
       {"tcpi-absent"}, std::nullopt, before + kVersionRefused + SilentController() + kEarlyStop, 7, "W 80: B6 NACK"},
      {"first version: /force goes on, and a wrong /id still stops", {}, {"/force", "/id", "5231"},
       {"tcpi-absent"}, std::nullopt, before + kVersionRefused + ChipIdMismatch(0x5230, 0x5231) + kEarlyStop, 7,
       kRestarted},
      {"leaving test mode", {}, args, {}, Target{"W 80: FF F8 00 00"},
       head + BlockWriteError(0xFF) + Console("\nExit_Test_mode I2CBlkDataWrite Fail !!") +
           kEarlyStop,
       7, "W 80: NACK", ""},
      {"stopping the CPU, first write", {}, args, {}, Target{"W 80: FE 9C 47"},
       head + BlockWriteError(0xFE) + Console("\nStop_CPU I2CBlkDataWrite-0 Fail !!\n") +
           kEarlyStop,
       7, "W 80: NACK", ""},
      {"stopping the CPU, second write", {}, args, {}, Target{"W 80: 00 FE 9C 47"},
       head + BlockWriteError(0x00) + Console("\nStop_CPU I2CBlkDataWrite-1 Fail !!\n") +
           kEarlyStop,
       7, "W 80: NACK", ""},
      {"stopping the CPU of a 52 51, second write", other, {"/id", "5251"}, {},
       Target{"W 80: FF FE 9C 47"},
       head + BlockWriteError(0xFF) + Console("\nStop_CPU I2CBlkDataWrite-1 Fail !!\n") +
           kEarlyStop,
       7, "W 80: NACK", ""},
      {"chip ID: its command", {}, args, {}, Target{"W 80: FF C0"},
       head +
           Console("I2C Device Not Found or Error! Slave Address = 80, Command = FF ) !\n") +
           kChipIdReadFail + kEarlyStop,
       7, kRestarted, "W 80: FF F8 00 00"},
      {"chip ID: its answer", {}, args, {}, Target{"W 80: FF C0", 1, true},
       head + kChipIdReadFail + kEarlyStop, 7, kRestarted, "W 80: FF F8 00 00"},
      {"chip ID: no /id", {}, {"/sa", "80"}, {}, std::nullopt,
       head + ChipIdMismatch(0x5230, 0) + kEarlyStop, 7, kRestarted},
      {"chip ID: no /id, debug", {}, {"/db"}, {}, std::nullopt,
       debug.Text() + Console("\n") + Console("Exit_Test_mode\n") + Console("Stop_CPU\n") +
           Console("Get_chipID\n") +
           Console("CMD Chip ID: OV5230, Parameter Chip ID: OV00\n") + ChipIdMismatch(0x5230, 0) +
           kEarlyStop + Console("Exit_Test_mode\n") + Console("WDT_Reset\n"),
       7, kRestarted},
      {"chip ID: another model", {}, {"/id", "5231"}, {}, std::nullopt,
       head + ChipIdMismatch(0x5230, 0x5231) + kEarlyStop, 7, kRestarted},
      {"chip ID: 88 56 with byte 3 bits 3 has no flash size",
       {"--chip", "8856000C", "--tcpi", "98"}, {"/id", "8856"}, {}, std::nullopt,
       head + kFlashSizeError + kEarlyStop, 7, "W 80: FF D1 01"},
      {"chip ID: an unknown family has no flash size", {"--chip", "77300000"},
       {"/id", "7730"}, {}, std::nullopt, head + kFlashSizeError + kEarlyStop, 7,
       "W 80: FF D1 01"},
      {"entering test mode", {}, args, {}, Target{"W 80: FF F8 3B E1"},
       prepared + BlockWriteError(0xFF) + Console("\nEnter_Test_mode I2CBlkDataWrite Fail !!") +
           kEarlyStop,
       7, kRestarted, "W 80: FF F8 00 00"},
      {"ending: leaving test mode", {}, args, {}, Target{"W 80: FF F8 00 00", 2},
       prepared + BlockWriteError(0xFF) + Console("\nExit_Test_mode I2CBlkDataWrite Fail !!") +
           kEarlyStop + kHaltedWithFlashUnchanged,
       7, "W 80: NACK", ""},
      {"watchdog of a 52 30, first write", tavik, args, {}, Target{"W 80: FF D0 02"},
       prepared + BlockWriteError(0xFF) + Console("WDT_Reset for TAVIK Fail!!(1)") + noVersion +
           kEarlyStop,
       0, "W 80: B6", "W 80: B6 NACK"},
      {"watchdog of a 52 30, second write", tavik, args, {}, Target{"W 80: FF EB 50"},
       prepared + BlockWriteError(0xFF) + Console("WDT_Reset for TAVIK Fail!!(2)") + noVersion +
           kEarlyStop,
       0, "W 80: B6", "W 80: B6 NACK"},
      {"watchdog of an 88 58, first write", olvren, {"/id", "8858"}, {},
       Target{"W 80: FF D0 02"},
       olvrenPrepared + BlockWriteError(0xFF) + Console("WDT_Reset for OLVREN Fail!!(1)") +
           noVersion + kEarlyStop,
       0, "W 80: B6", "W 80: B6 NACK"},
      {"watchdog of an 88 58, second write", olvren, {"/id", "8858"}, {},
       Target{"W 80: FF EB 50"},
       olvrenPrepared + BlockWriteError(0xFF) + Console("WDT_Reset for OLVREN Fail!!(2)") +
           noVersion + kEarlyStop,
       0, "W 80: B6", "W 80: B6 NACK"},
      {"watchdog of a 52 51, register read", other, {"/id", "5251"}, {},
       Target{"W 80: FF D3", 1, true},
       otherPrepared + Console("WDT_Reset Fail!!(1)") + noVersion + kEarlyStop, 0,
       "W 80: B6", "W 80: B6 NACK"},
      {"watchdog of a 52 51, register write", other, {"/id", "5251"}, {},
       Target{"W 80: FF D3", 1, false, 1},
       otherPrepared + BlockWriteError(0xFF) + Console("WDT_Reset Fail!!(2)") + noVersion +
           kEarlyStop,
       0, "W 80: B6", "W 80: B6 NACK"},
      {"watchdog of a 52 51, restart write", other, {"/id", "5251"}, {},
       Target{"W 80: FF D1 01"},
       otherPrepared + BlockWriteError(0xFF) + Console("WDT_Reset Fail!!(2)") + noVersion +
           kEarlyStop,
       0, "W 80: B6", "W 80: B6 NACK"},
      {"final version: the answer is lost", {}, args, {}, Target{"W 80: B6", 2, true},
       prepared + kGetPdVerFail + version + kEarlyStop, 0, "W 80: B6", "W 80: FF F8 00 00"},
      {"final PD version: the third answer is lost", {}, {"/v", "/id", "5230"}, {},
       Target{"W 80: E2", 1, true},
       prepared + kShowPdVersionFail + PdVersion({0x03, 0x10, 0x01, 0x02, 0x00, 0x5A}) + kEarlyStop, 0,
       "W 80: DD", "W 80: FF F8 00 00"},
  };
  for (const FailureCase& c : cases) runner.Run(c);
}

TEST(UpdateFailures, ImageLargerThanTheFlashIsRefusedBeforeTheErase) {
  TempDir dir;
  dir.Write("fw.bin", MakeImage(65 * 1024, 3));
  const std::vector<std::uint8_t> old = MakeImage(64 * 1024, 4);
  dir.Write("flash.bin", old);
  // The controller halted for the update runs again: a version query
  // right after the refusal is answered.
  const SimResult run =
      RunSim({"--chip", "52300000", "--flash", "flash.bin", "--trace", "bus.txt", "--rerun", "/ov"},
             {"fw.bin", "/id", "5230"}, dir.path());
  EXPECT_EQ(run.out,
            Opening{}.Text() + Preparation(false, k5230, 0x80) + ImageLine("fw.bin", 65 * 1024) +
                Console("Image Too Large! 65 KBytes do not fit in the 64 KBytes flash of this "
                        "chip!!") +
                kEarlyStop + Opening{}.Text() + Console("\n"));
  EXPECT_EQ(run.exitCode, 0);
  const std::vector<std::string> trace = ReadLines(dir / "bus.txt");
  EXPECT_EQ(CountLines(trace, "W 80: FF FE 07 01"), 0u);
  ASSERT_GE(trace.size(), 6u);
  EXPECT_EQ(std::vector<std::string>(trace.end() - 6, trace.end()),
            (std::vector<std::string>{"W 80: FF F8 3B E1", "W 80: FF F8 00 00", "W 80: FF D0 02", "W 80: FF EB 50",
                                      "W 80: B6", "R 80: 1A 05"}));
  EXPECT_EQ(FlashDifference(ReadBytes(dir / "flash.bin"), old), "");
}

TEST(UpdateFailures, AnUnreadableWallClockGivesNoTime) {
  TempDir dir;
  const std::vector<std::uint8_t> image = MakeImage(2048, 8);
  dir.Write("fw.bin", image);
  const SimResult run =
      RunSim({"--fault", "clock-fail", "--flash", "flash.bin"}, {"fw.bin", "/id", "5230"},
             dir.path());
  EXPECT_EQ(run.out, Opening{}.Text() + Preparation(false, k5230, 0x80) +
                         ImageLine("fw.bin", image.size()) + FlashBars() + kUpdateSuccess +
                         Console("Time Consuming: unknown (wall clock not readable).\n\n") +
                         FwVersion(0x1A, 0x05) + kEarlyStop);
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(FlashDifference(ReadBytes(dir / "flash.bin"), FlashAfterUpdate(image, 256)), "");
}

// No usable I2C controller: a message after the platform line, the early
// stop, nothing on the bus.
TEST(UpdateFailures, NoUsableController) {
  const struct {
    const char* label;
    std::vector<std::string> board;
    std::vector<std::string> args;
    std::string out;
    bool registersTouched;
  } cases[] = {
      {"unknown platform",
       {"--platform", "unknown"},
       {},
       kBanner + Console("Unknow") +
           Console("\nNo Supported I2C Controller (Host Bridge Vendor ID = FFFF)!!\n") +
           kEarlyStop,
       false},
      {"AMD channel 6",
       {"--platform", "amd"},
       {"/i2c", "6"},
       kBanner + kAmdLine + Console("I2C6 Controller Not Available (AMD Channels 0 to 5)!!\n") +
           kEarlyStop,
       false},
      {"Intel function 4 absent",
       {},
       {"/i2c", "4"},
       kBanner + kIntelLine +
           Console("I2C4 Controller Not Found (PCI Bus 0, Device 21, Function 4)!!\n") +
           kEarlyStop,
       false},
      {"controller never enabled",
       {"--fault", "controller-dead"},
       {},
       kBanner + kIntelLine + Console("I2C Controller Enable Timeout!\n") + kEarlyStop, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    TempDir dir;
    dir.Write("fw.bin", MakeImage(1024));
    std::vector<std::string> board = c.board;
    board.insert(board.end(), {"--trace", "bus.txt", "--io-trace", "io.txt"});
    std::vector<std::string> args = {"fw.bin", "/id", "5230"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const SimResult run = RunSim(board, args, dir.path());
    EXPECT_EQ(run.out, c.out);
    EXPECT_EQ(run.exitCode, 7);
    EXPECT_EQ(ReadLines(dir / "bus.txt"), std::vector<std::string>{});
    const std::vector<std::string> io = ReadLines(dir / "io.txt");
    EXPECT_EQ(LinesStartingWith(io, "cursor"),
              (std::vector<std::string>{"cursor off", "cursor on"}));
    // Without a controller no register may be touched.
    EXPECT_EQ(!LinesStartingWith(io, "mmio").empty(), c.registersTouched);
  }
}

}  // namespace
