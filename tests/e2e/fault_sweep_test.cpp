// Whole updates of a small image through every single fault the board can
// show, one run per fault and transaction number: a run ends with exit code
// 0 or 7 in bounded board time, and with 0 only when the flash holds exactly
// the image with its signature. After a numbered fault a second run on the
// same board (with /force when the first failed from the erase on) ends
// with 0 and the image; after a power loss a run with /force on the same
// flash restores the board.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "app/tool_main.h"
#include "e2e/update_expect.h"
#include "platform/host/host_session.h"
#include "sim/board.h"
#include "sim/board_options.h"

namespace {

using namespace vexa_test;
using namespace vexa_test::update;

struct SweepChip {
  const char* chip;  // --chip
  const char* platform;
  const char* id;  // /id
};

// One chip of each family the sweeps of single faults run on, on both platforms.
const SweepChip kSweepChips[] = {{"52300000", "intel", "5230"}, {"52310000", "amd", "5231"}, {"88560000", "intel", "8856"}};

struct Outcome {
  int exitCode = -1;
  std::uint64_t writes = 0;  // transactions to the firmware address
  std::uint64_t reads = 0;
  std::uint64_t boardNs = 0;
  std::vector<std::uint8_t> flash;
  std::vector<sim::PdFrame> frames;  // the chip's log of its transactions
};

// What a second run on the same board came to: plain after a first run
// that ended 0 or stopped before the erase, with /force after one that
// failed from the erase on or left the chip's firmware not running (a
// lost watchdog write, a halt before the erase): a plain run's version
// query then fails, and the tool's own line says to use /force.
struct Rerun {
  bool force = false;
  int exitCode = -1;
  std::string console;
  std::vector<std::uint8_t> flash;
};

// One in-process run of "VEXA IMAGE /id ID [/force]" on the flash file as it
// stands; the board is made from vexa-sim's own options, `fault` and `more`
// included. With `rerun` the tool runs a second time on the same board.
Outcome RunOnce(const SweepChip& chip, const std::string& image, const std::string& flash, const std::string& fault,
                bool force, const std::vector<std::string>& more = {}, Rerun* rerun = nullptr) {
  sim::BoardConfig config;
  config.pd->flashSizeKb = 64;
  config.pd->eraseTimeUs = 10'000;
  std::vector<const char*> options = {"", "--platform", chip.platform, "--chip", chip.chip, "--flash", flash.c_str()};
  if (!fault.empty()) options.insert(options.end(), {"--fault", fault.c_str()});
  for (const std::string& also : more) options.insert(options.end(), {"--fault", also.c_str()});
  for (int i = 1; i < static_cast<int>(options.size());) {
    std::string error;
    if (sim::ParseBoardOption(config, static_cast<int>(options.size()), options.data(), i, error) !=
        sim::OptionResult::Taken) {
      ADD_FAILURE() << fault << ": " << error;
      return {};
    }
  }
  sim::Board board(config);
  std::string console;
  HostSession session;
  session.board = &board;
  session.capture = &console;
  std::vector<const char*> args = {"VEXA", image.c_str(), "/id", chip.id};
  if (force) args.push_back("/force");
  HostSessionBegin(&session);
  Outcome out;
  out.exitCode = ToolMain(static_cast<int>(args.size()), args.data());
  if (rerun != nullptr) {
    rerun->force = !board.Pd()->firmwareRunning() ||
                   (out.exitCode != 0 && console.find("\nErase    : ") != std::string::npos);
    std::vector<const char*> again = {"VEXA", image.c_str(), "/id", chip.id};
    if (rerun->force) again.push_back("/force");
    session.capture = &rerun->console;
    rerun->exitCode = ToolMain(static_cast<int>(again.size()), again.data());
  }
  HostSessionEnd();
  EXPECT_TRUE(board.Finish()) << board.FinishError();
  out.writes = board.Pd()->record().writeTransactions;
  out.reads = board.Pd()->record().readTransactions;
  out.boardNs = board.clock().NowNs();
  out.flash = board.Pd()->flash().cells();
  out.frames = board.Pd()->record().frames;
  if (rerun != nullptr) rerun->flash = out.flash;
  return out;
}

// The property every sweep run must keep: exit code 0 or 7 in bounded board
// time, and 0 only with exactly `expected` in the flash. false when broken.
bool KeptTheProperty(const Outcome& out, const std::vector<std::uint8_t>& expected, const std::string& what) {
  EXPECT_TRUE(out.exitCode == 0 || out.exitCode == 7) << what << ": " << out.exitCode;
  EXPECT_LT(out.boardNs, 60'000'000'000ull) << what << " is taken for a hang";
  if (out.exitCode != 0 || out.flash == expected) return true;
  ADD_FAILURE() << what << ": exit code 0, but " << FlashDifference(out.flash, expected);
  return false;
}

// A sweep's image as fw.bin in a folder of its own, named as the in-process
// runs open it, the flash file the sweep's runs share, and the flash a
// successful update leaves.
class FaultSweep : public ::testing::Test {
 protected:
  void UseImage(const std::vector<std::uint8_t>& image) {
    name = std::filesystem::relative(dir.Write("fw.bin", image)).string();
    flash = (dir / "flash.bin").string();
    expected = FlashAfterUpdate(image, 64);
  }

  TempDir dir;
  std::string name;
  std::string flash;
  std::vector<std::uint8_t> expected;
};

TEST_F(FaultSweep, EverySingleFaultEndsWithTheBoardUpdatedOrSaidToBeNot) {
  const char* named[] = {"absent",         "tcpi-absent",   "erase-stuck", "status-invalid", "wel-stuck",
                         "flip=0x45",      "flip=0x400",    "clock-fail",  "controller-dead", "disable-stuck",
                         "scl-held",       "tx-abort-stuck", "tx-fifo-full", "rx-full-stuck", "master-busy",
                         "rx-lost"};
  UseImage(MakeImage(2560, 31));  // three blocks, the last one partial

  for (const SweepChip& chip : kSweepChips) {
    SCOPED_TRACE(chip.chip);
    unsigned runs = 0;
    unsigned reached = 0;
    unsigned silent = 0;
    // A run from the factory flash; false when it broke the property.
    const auto check = [&](const std::string& fault, std::uint64_t number = 0, bool read = false,
                           Rerun* rerun = nullptr) {
      std::filesystem::remove(flash);
      const std::string what = fault + (number != 0 ? std::to_string(number) : "");
      const Outcome out = RunOnce(chip, name, flash, what, false, {}, rerun);
      ++runs;
      reached += number != 0 && (read ? out.reads : out.writes) >= number ? 1 : 0;
      if (KeptTheProperty(out, expected, what)) return true;
      ++silent;
      return false;
    };
    std::filesystem::remove(flash);
    const Outcome clean = RunOnce(chip, name, flash, "", false);
    ASSERT_EQ(clean.exitCode, 0);
    ASSERT_EQ(clean.flash, expected);

    for (const char* fault : named) check(fault);
    // A numbered fault has fired in the first run: the user's second run on
    // the same board finds the controller free and updates the board.
    const auto checkRerun = [&](const std::string& fault, std::uint64_t number, bool read = false) {
      Rerun second;
      check(fault, number, read, &second);
      ++runs;
      const std::string how = fault + std::to_string(number) + (second.force ? ", then /force" : ", then again");
      EXPECT_EQ(second.console.find("I2C Controller"), std::string::npos) << how << ": " << second.console;
      EXPECT_EQ(second.exitCode, 0) << how << ": " << second.console;
      EXPECT_EQ(FlashDifference(second.flash, expected), "") << how;
    };
    for (std::uint64_t n = 1; n <= clean.reads; ++n) checkRerun("nack-read=", n, true);
    for (std::uint64_t n = 1; n <= clean.writes; ++n) {
      for (const char* fault : {"nack-write=", "nack-data=", "drop-write="}) checkRerun(fault, n);
      if (!check("power-loss=", n)) continue;
      // Power comes back; the interrupted update is redone on the same flash.
      const Outcome again = RunOnce(chip, name, flash, "", true);
      ++runs;
      EXPECT_EQ(again.exitCode, 0) << "power-loss=" << n << ", then /force";
      EXPECT_EQ(FlashDifference(again.flash, expected), "") << "power-loss=" << n << ", then /force";
    }
    std::printf("[ sweep    ] %s: %llu writes and %llu reads in a clean run; %u runs, %u numbered faults reached, "
                "%u silent failures\n",
                chip.chip, static_cast<unsigned long long>(clean.writes), static_cast<unsigned long long>(clean.reads),
                runs, reached, silent);
    EXPECT_EQ(reached, clean.reads + 4 * clean.writes);
  }
}

// A power loss in the middle of the program pass leaves the controller in
// its boot code: a plain run stops at the version query, one with /force
// restores the board.
TEST_F(FaultSweep, PowerLossInTheProgramPassIsRecoveredWithForce) {
  const std::vector<std::uint8_t> image = MakeImage(8 * 1024, 12);
  dir.Write("fw.bin", image);
  // Write transaction 300 comes in the third block of the program pass.
  const SimResult lost =
      RunSim({"--flash", "flash.bin", "--fault", "power-loss=300"}, {"fw.bin", "/id", "5230"}, dir.path());
  // The board-state line comes last, after the failed ending's own text.
  EXPECT_LT(lost.out.find(kProgramFail), lost.out.find("Exit_Test_mode I2CBlkDataWrite Fail !!")) << lost.out;
  EXPECT_TRUE(lost.out.ends_with(kEarlyStop + kFirmwareIncomplete)) << lost.out;
  const SimResult stopped = RunSim({"--flash", "flash.bin"}, {"fw.bin", "/id", "5230"}, dir.path());
  EXPECT_EQ(stopped.out, Opening{}.BeforeVersion() + kVersionRefused + SilentController() + kEarlyStop);
  const SimResult restored = RunSim({"--flash", "flash.bin"}, {"fw.bin", "/id", "5230", "/force"}, dir.path());
  EXPECT_EQ(HideSeconds(restored.out), Opening{}.BeforeVersion() + kVersionRefused + ChipIdLine(0x52, 0x30) +
                                           ImageLine("fw.bin", image.size()) + FlashBars() +
                                           SuccessEnd(false, FwVersion(0x1A, 0x05)) + kEarlyStop);
  EXPECT_EQ(std::vector<int>({lost.exitCode, stopped.exitCode, restored.exitCode}), std::vector<int>({7, 7, 0}));
  EXPECT_EQ(FlashDifference(ReadBytes(dir / "flash.bin"), FlashAfterUpdate(image, 256)), "");
}

// The board's own faults (controller, platform), each under an update on
// every platform, whether it concerns that platform or not.
TEST_F(FaultSweep, EveryBoardFaultEndsWithTheBoardUpdatedOrSaidToBeNot) {
  UseImage(MakeImage(2560, 32));
  unsigned updated = 0;
  for (const SweepChip& chip : kSweepChips) {
    for (const std::string& fault : sim::BoardFaultNames()) {
      std::filesystem::remove(flash);
      const Outcome out = RunOnce(chip, name, flash, fault, false);
      KeptTheProperty(out, expected, std::string(chip.chip) + " " + chip.platform + " " + fault);
      updated += out.exitCode == 0 ? 1 : 0;
    }
  }
  // Neither half of the property is left untried: faults the tool mends,
  // and those of the other platform, leave updates that succeed; the
  // others stop the run.
  EXPECT_GT(updated, 0u);
  EXPECT_LT(updated, 3 * sim::BoardFaultNames().size());
}

// Transaction numbers (counted as the chip counts them) of a clean run's
// data frames, by 1 KB block: the program pass's 130-byte writes and the
// verify pass's 128-byte reads, eight of each per block.
struct BlockFrames {
  std::vector<std::vector<std::uint64_t>> programWrites;
  std::vector<std::vector<std::uint64_t>> verifyReads;
};

BlockFrames DataFramesByBlock(const std::vector<sim::PdFrame>& log, std::uint8_t address, std::size_t blocks) {
  BlockFrames out{std::vector<std::vector<std::uint64_t>>(blocks), std::vector<std::vector<std::uint64_t>>(blocks)};
  std::uint64_t writes = 0;
  std::uint64_t reads = 0;
  std::size_t programmed = 0;
  std::size_t verified = 0;
  for (const sim::PdFrame& frame : log) {
    if (frame.address != address) continue;
    if (frame.read) {
      ++reads;
      if (frame.bytes.size() == 128 && verified < 8 * blocks) out.verifyReads[verified++ / 8].push_back(reads);
    } else {
      ++writes;
      if (frame.bytes.size() == 130 && programmed < 8 * blocks) out.programWrites[programmed++ / 8].push_back(writes);
    }
  }
  return out;
}

// Two faults in one update, on an image with kilobytes of 00 and of FF,
// the values that a failed read leaves and an erased flash holds: every
// program data write that has no effect with each verify read of its own
// block refused, then a seeded sample of any two numbered faults.
TEST_F(FaultSweep, DoubleFaultsEndWithTheBoardUpdatedOrSaidToBeNot) {
  const SweepChip chips[] = {{"52300008", "intel", "5230"}, {"88560000", "intel", "8856"}};
  std::vector<std::uint8_t> image = MakeImage(3 * 1024, 33);
  std::fill(image.begin() + 1024, image.begin() + 2048, 0x00);
  std::fill(image.begin() + 2048, image.end(), 0xFF);
  const std::size_t blocks = 3;
  UseImage(image);
  constexpr unsigned kSampledPairs = 64;
  std::mt19937 random(17);

  for (const SweepChip& chip : chips) {
    SCOPED_TRACE(chip.chip);
    std::filesystem::remove(flash);
    const Outcome clean = RunOnce(chip, name, flash, "", false);
    ASSERT_EQ(clean.exitCode, 0);
    ASSERT_EQ(clean.flash, expected);
    const BlockFrames frames = DataFramesByBlock(clean.frames, 0x80, blocks);

    unsigned runs = 0;
    unsigned silent = 0;
    const auto check = [&](const std::string& first, const std::string& second) {
      std::filesystem::remove(flash);
      ++runs;
      silent += KeptTheProperty(RunOnce(chip, name, flash, first, false, {second}), expected, first + " " + second)
                    ? 0
                    : 1;
    };
    for (std::size_t block = 0; block < blocks; ++block) {
      ASSERT_EQ(frames.programWrites[block].size(), 8u) << "block " << block;
      ASSERT_EQ(frames.verifyReads[block].size(), 8u) << "block " << block;
      for (const std::uint64_t write : frames.programWrites[block]) {
        for (const std::uint64_t read : frames.verifyReads[block]) {
          check("drop-write=" + std::to_string(write), "nack-read=" + std::to_string(read));
        }
      }
    }
    const auto anyFault = [&] {
      static const char* const kinds[] = {"nack-write=", "nack-data=", "drop-write=", "nack-read="};
      const std::string kind = kinds[random() % 4];
      const std::uint64_t count = kind == "nack-read=" ? clean.reads : clean.writes;
      return kind + std::to_string(1 + random() % count);
    };
    for (unsigned pair = 0; pair < kSampledPairs; ++pair) check(anyFault(), anyFault());
    std::printf("[ sweep    ] %s: %u runs with two faults, %u silent failures\n", chip.chip, runs, silent);
  }
}

}  // namespace
