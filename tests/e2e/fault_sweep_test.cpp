// Whole updates of a small image through every single fault the board can
// show, one run per fault and transaction number: a run ends with exit code
// 0 or 7 in bounded board time, and with 0 only when the flash holds exactly
// the image with its signature. After a numbered fault a second run on the
// same board (with /force when the first failed from the erase on) ends
// with 0 and the image; after a power loss a run with /force on the same
// flash restores the board.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "app/tool_main.h"
#include "e2e/update_expect.h"
#include "platform/host/host_session.h"
#include "sim/board.h"
#include "sim/board_options.h"

namespace {

using namespace vexa_test::update;
using vexa_test::MakeImage;
using vexa_test::ReadBytes;
using vexa_test::RunSim;
using vexa_test::SimResult;
using vexa_test::TempDir;

struct SweepChip {
  const char* chip;  // --chip
  const char* platform;
  const char* id;  // /id
};

struct Outcome {
  int exitCode = -1;
  std::uint64_t writes = 0;  // transactions to the firmware address
  std::uint64_t reads = 0;
  std::uint64_t boardNs = 0;
  std::vector<std::uint8_t> flash;
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
// stands; the board is made from vexa-sim's own options, `fault` included.
// With `rerun` the tool runs a second time on the same board.
Outcome RunOnce(const SweepChip& chip, const std::string& image, const std::string& flash, const std::string& fault,
                bool force, Rerun* rerun = nullptr) {
  sim::BoardConfig config;
  config.pd->flashSizeKb = 64;
  config.pd->eraseTimeUs = 10'000;
  std::vector<const char*> options = {"", "--platform", chip.platform, "--chip", chip.chip, "--flash", flash.c_str()};
  if (!fault.empty()) options.insert(options.end(), {"--fault", fault.c_str()});
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
  if (rerun != nullptr) rerun->flash = out.flash;
  return out;
}

TEST(FaultSweep, EverySingleFaultEndsWithTheBoardUpdatedOrSaidToBeNot) {
  const SweepChip chips[] = {{"52300000", "intel", "5230"}, {"52310000", "amd", "5231"}, {"88560000", "intel", "8856"}};
  const char* named[] = {"absent",         "tcpi-absent",   "erase-stuck", "status-invalid", "wel-stuck",
                         "flip=0x45",      "flip=0x400",    "clock-fail",  "controller-dead", "disable-stuck",
                         "scl-held",       "tx-abort-stuck", "tx-fifo-full", "rx-full-stuck", "master-busy",
                         "rx-lost"};
  TempDir dir;
  const std::vector<std::uint8_t> image = MakeImage(2560, 31);  // three blocks, the last one partial
  const std::string name = std::filesystem::relative(dir.Write("fw.bin", image)).string();
  const std::string flash = (dir / "flash.bin").string();
  const std::vector<std::uint8_t> expected = FlashAfterUpdate(image, 64);

  for (const SweepChip& chip : chips) {
    SCOPED_TRACE(chip.chip);
    unsigned runs = 0;
    unsigned reached = 0;
    unsigned silent = 0;
    // A run from the factory flash; false when it broke the property.
    const auto check = [&](const std::string& fault, std::uint64_t number = 0, bool read = false,
                           Rerun* rerun = nullptr) {
      std::filesystem::remove(flash);
      const Outcome out =
          RunOnce(chip, name, flash, fault + (number != 0 ? std::to_string(number) : ""), false, rerun);
      ++runs;
      reached += number != 0 && (read ? out.reads : out.writes) >= number ? 1 : 0;
      EXPECT_TRUE(out.exitCode == 0 || out.exitCode == 7) << fault << number << ": " << out.exitCode;
      EXPECT_LT(out.boardNs, 60'000'000'000ull) << fault << number << " is taken for a hang";
      if (out.exitCode != 0 || out.flash == expected) return true;
      ++silent;
      ADD_FAILURE() << fault << number << ": exit code 0, but " << FlashDifference(out.flash, expected);
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
TEST(FaultSweep, PowerLossInTheProgramPassIsRecoveredWithForce) {
  TempDir dir;
  const std::vector<std::uint8_t> image = MakeImage(8 * 1024, 12);
  dir.Write("fw.bin", image);
  // Write transaction 300 comes in the third block of the program pass.
  const SimResult lost =
      RunSim({"--flash", "flash.bin", "--fault", "power-loss=300"}, {"fw.bin", "/id", "5230"}, dir.path());
  EXPECT_NE(lost.out.find(kProgramFail + kFirmwareIncomplete), std::string::npos);
  const SimResult stopped = RunSim({"--flash", "flash.bin"}, {"fw.bin", "/id", "5230"}, dir.path());
  EXPECT_EQ(stopped.out, Opening{}.BeforeVersion() + kGetPdVerFail + kEarlyStop);
  const SimResult restored = RunSim({"--flash", "flash.bin"}, {"fw.bin", "/id", "5230", "/force"}, dir.path());
  EXPECT_EQ(HideSeconds(restored.out), Opening{}.BeforeVersion() + kGetPdVerFail + ChipIdLine(0x52, 0x30) +
                                           ImageLine("fw.bin", image.size()) + FlashBars() +
                                           SuccessEnd(false, FwVersion(0x1A, 0x05)) + kEarlyStop);
  EXPECT_EQ(std::vector<int>({lost.exitCode, stopped.exitCode, restored.exitCode}), std::vector<int>({7, 7, 0}));
  EXPECT_EQ(FlashDifference(ReadBytes(dir / "flash.bin"), FlashAfterUpdate(image, 256)), "");
}

}  // namespace
