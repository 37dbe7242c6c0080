// Whole updates of a small image through every single fault the board can
// show, one run per fault and transaction number: a run ends with exit code
// 0 or 7 in bounded board time, and with 0 only when the flash holds exactly
// the image with its signature; doing at once what its last line says
// leaves the board with the image and the controller running it. After a
// power loss a run with /force on the same flash restores the board. The
// read-outs (/dump, /check, /backup) keep their own property under every
// single fault, at sampled transaction numbers that keep every step
// boundary.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>
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
  unsigned flashKb = 64;  // as its ID gives it
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
  std::string console;
};

// Puts vexa-sim's own board options (after an unused first entry, as in
// argv) into `config`; false, reported against `fault`, when one is
// refused.
bool TakeBoardOptions(sim::BoardConfig& config, const std::vector<const char*>& options, const std::string& fault) {
  for (int i = 1; i < static_cast<int>(options.size());) {
    std::string error;
    if (sim::ParseBoardOption(config, static_cast<int>(options.size()), options.data(), i, error) !=
        sim::OptionResult::Taken) {
      ADD_FAILURE() << fault << ": " << error;
      return false;
    }
  }
  return true;
}

// One in-process run of "VEXA IMAGE /id ID [/force]" on the flash file as it
// stands; the board is made from vexa-sim's own options, `fault` and `more`
// included.
Outcome RunOnce(const SweepChip& chip, const std::string& image, const std::string& flash, const std::string& fault,
                bool force, const std::vector<std::string>& more = {},
                const std::vector<std::string>* readout = nullptr) {
  sim::BoardConfig config;
  config.pd->flashSizeKb = chip.flashKb;
  config.pd->eraseTimeUs = 10'000;
  std::vector<const char*> options = {"", "--platform", chip.platform, "--chip", chip.chip, "--flash", flash.c_str()};
  if (!fault.empty()) options.insert(options.end(), {"--fault", fault.c_str()});
  for (const std::string& also : more) options.insert(options.end(), {"--fault", also.c_str()});
  if (!TakeBoardOptions(config, options, fault)) return {};
  sim::Board board(config);
  std::string console;
  HostSession session;
  session.board = &board;
  session.capture = &console;
  std::vector<const char*> args = {"VEXA", image.c_str(), "/id", chip.id};
  if (force) args.push_back("/force");
  // A read-out's own arguments; an empty image name stands for none.
  if (readout != nullptr) {
    for (const std::string& arg : *readout) args.push_back(arg.c_str());
    if (image.empty()) args.erase(args.begin() + 1);
  }
  HostSessionBegin(&session);
  Outcome out;
  out.exitCode = ToolMain(static_cast<int>(args.size()), args.data());
  HostSessionEnd();
  EXPECT_TRUE(board.Finish()) << board.FinishError();
  out.writes = board.Pd()->record().writeTransactions;
  out.reads = board.Pd()->record().readTransactions;
  out.boardNs = board.clock().NowNs();
  out.flash = board.Pd()->flash().cells();
  out.frames = board.Pd()->record().frames;
  out.console = console;
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

// The two chips whose watchdogs differ, each on its own platform and channel.
struct RestoreChip {
  const char* chip;  // --chip
  const char* platform;
  unsigned channel;  // --pd-channel and /i2c
  const char* id;    // /id
};
const RestoreChip kRestoreChips[] = {{"52300000", "intel", 0, "5230"}, {"52310000", "amd", 2, "5231"}};

// The last line of a run's console text, without its line end.
std::string LastLine(const std::string& console) {
  std::size_t end = console.size();
  while (end > 0 && (console[end - 1] == '\r' || console[end - 1] == '\n')) --end;
  const std::size_t start = console.rfind('\n', end == 0 ? 0 : end - 1);
  return console.substr(start == std::string::npos ? 0 : start + 1, end - (start == std::string::npos ? 0 : start + 1));
}

// What the operator does after a run, by its last line.
enum class FollowUp { PlainRun, RunThenForce, PowerCycle };

FollowUp FollowUpOf(const std::string& lastLine) {
  if (lastLine.find("power-cycle the board") != std::string::npos) return FollowUp::PowerCycle;
  if (lastLine.find("VEXA again (with /force if Get_PD_ver fails)") != std::string::npos) {
    return FollowUp::RunThenForce;
  }
  return FollowUp::PlainRun;
}

// A first run under `fault`, then, at once and on the same board, what its
// last line says: power back after a power loss, the faults that come and
// go over, numbered ones still counting.
struct Restoration {
  int firstExit = -1;
  std::string firstConsole;
  std::uint64_t writes = 0;  // of the first run, to the firmware address
  std::uint64_t reads = 0;
  std::uint64_t boardNs = 0;  // board time of the first run
  std::vector<std::uint8_t> firstFlash;
  FollowUp followUp = FollowUp::PlainRun;
  std::vector<int> laterExits;  // of the runs that followed
  std::string laterConsole;
  std::vector<std::uint8_t> flash;  // at the end
  sim::PdState state;               // at the end
};

Restoration Restore(const RestoreChip& chip, const std::string& image, const std::string& fault,
                    std::vector<sim::PdFrame>* log = nullptr) {
  // The chip's own erase time, 1.5 ms per KB: long enough to outlast a
  // write control's tries, so that an erase taken as done shows.
  sim::BoardConfig config;
  config.pd->flashSizeKb = 64;
  const std::string channel = std::to_string(chip.channel);
  std::vector<const char*> options = {"", "--platform", chip.platform, "--chip", chip.chip, "--pd-channel",
                                      channel.c_str()};
  if (!fault.empty()) options.insert(options.end(), {"--fault", fault.c_str()});
  if (!TakeBoardOptions(config, options, fault)) return {};
  sim::Board board(config);
  sim::PdController& pd = *board.Pd();
  pd.KeepFrameLog(log != nullptr);
  Restoration out;
  HostSession session;
  session.board = &board;
  session.capture = &out.firstConsole;
  const auto run = [&](bool force) {
    std::vector<const char*> args = {"VEXA", image.c_str(), "/id", chip.id, "/i2c", channel.c_str()};
    if (force) args.push_back("/force");
    return ToolMain(static_cast<int>(args.size()), args.data());
  };
  HostSessionBegin(&session);
  out.firstExit = run(false);
  out.writes = pd.record().writeTransactions;
  out.reads = pd.record().readTransactions;
  out.boardNs = board.clock().NowNs();
  out.firstFlash = pd.flash().cells();
  if (log != nullptr) *log = pd.record().frames;
  if (!pd.powered()) pd.PowerOn();
  board.EndTransientFaults();
  out.followUp = FollowUpOf(LastLine(out.firstConsole));
  session.capture = &out.laterConsole;
  switch (out.followUp) {
    case FollowUp::PowerCycle:
      pd.PowerCycle();
      break;
    case FollowUp::RunThenForce:
      out.laterExits.push_back(run(false));
      // The line's own condition: the plain run's version query failed.
      if (out.laterExits.back() != 0 && out.laterConsole.find("Get_PD_ver I2CBlkDataRead Fail!!") != std::string::npos) {
        out.laterExits.push_back(run(true));
      }
      break;
    case FollowUp::PlainRun:
      out.laterExits.push_back(run(false));
      break;
  }
  HostSessionEnd();
  EXPECT_TRUE(board.Finish()) << board.FinishError();
  out.flash = pd.flash().cells();
  out.state = pd.State();
  return out;
}

// The numbers of the write (or read) transactions to `address` in a clean
// run's log that a sweep tries: each where the run goes from one frame to
// another, and of a long row of equal frames (the erase's busy polls) the
// two at either end. A read is told by the three frames written before it
// (address, command and the read's own command phase). The
// log lacks a transaction still open at the end of the run: of `total`,
// those not logged are tried too.
std::vector<std::uint64_t> StepBoundaries(const std::vector<sim::PdFrame>& log, std::uint8_t address, bool reads,
                                          std::uint64_t total) {
  std::vector<std::vector<std::uint8_t>> keys;
  std::vector<std::vector<std::uint8_t>> written(3);  // the last three frames written, oldest first
  for (const sim::PdFrame& frame : log) {
    if (frame.address != address) continue;
    if (frame.read == reads) {
      std::vector<std::uint8_t> key = frame.bytes;
      if (reads) {
        key.clear();
        for (const auto& w : written) key.insert(key.end(), w.begin(), w.end());
      }
      keys.push_back(key);
    }
    if (!frame.read) {
      written.erase(written.begin());
      written.push_back(frame.bytes);
    }
  }
  std::vector<std::uint64_t> numbers;
  for (std::size_t i = 0; i < total; ++i) {
    bool inside = i >= 2 && i + 2 < keys.size();
    for (std::size_t j = i - 2; inside && j <= i + 2; ++j) inside = keys[j] == keys[i];
    if (!inside) numbers.push_back(i + 1);
  }
  return numbers;
}

// Every single fault, then what the run's last line says, at once: the
// board ends with exactly the image and the controller running it. The
// numbered faults go over the step boundaries of a clean run.
TEST_F(FaultSweep, AfterEverySingleFaultTheLastLineRestoresTheBoard) {
  const char* named[] = {"absent",         "tcpi-absent",   "erase-stuck", "status-invalid", "wel-stuck",
                         "flip=0x45",      "flip=0x400",    "clock-fail",  "controller-dead", "disable-stuck",
                         "scl-held",       "tx-abort-stuck", "tx-fifo-full", "rx-full-stuck", "master-busy",
                         "rx-lost"};
  UseImage(MakeImage(1536, 31));  // two blocks, the last one partial

  for (const RestoreChip& chip : kRestoreChips) {
    SCOPED_TRACE(chip.chip);
    std::vector<sim::PdFrame> log;
    const Restoration clean = Restore(chip, name, "", &log);
    const std::vector<std::uint64_t> writes = StepBoundaries(log, 0x80, false, clean.writes);
    const std::vector<std::uint64_t> reads = StepBoundaries(log, 0x80, true, clean.reads);
    ASSERT_EQ(clean.firstExit, 0) << clean.firstConsole;
    ASSERT_EQ(clean.firstFlash, expected);

    unsigned runs = 0;
    unsigned reached = 0;
    unsigned broken = 0;
    std::map<FollowUp, unsigned> followUps;
    const auto check = [&](const std::string& fault, std::uint64_t number = 0, bool read = false) {
      const std::string what = fault + (number != 0 ? std::to_string(number) : "");
      const Restoration out = Restore(chip, name, what);
      ++runs;
      ++followUps[out.followUp];
      reached += number != 0 && (read ? out.reads : out.writes) >= number ? 1 : 0;
      Outcome first;
      first.exitCode = out.firstExit;
      first.boardNs = out.boardNs;
      first.flash = out.firstFlash;
      bool kept = KeptTheProperty(first, expected, what);
      const std::string how = what + ", last line \"" + LastLine(out.firstConsole) + "\"";
      // A plain run that stops at the version query is what the board-state
      // line foresees; the run after it, or the only one, must succeed.
      if (!out.laterExits.empty()) {
        EXPECT_EQ(out.laterExits.back(), 0) << how << ":\n" << out.firstConsole << "then:\n" << out.laterConsole;
        kept = kept && out.laterExits.back() == 0;
      }
      EXPECT_EQ(out.laterConsole.find("I2C Controller"), std::string::npos) << how << ": " << out.laterConsole;
      EXPECT_EQ(FlashDifference(out.flash, expected), "") << how;
      EXPECT_EQ(sim::PdStateText(out.state), "running") << how << ":\n" << out.firstConsole << out.laterConsole;
      if (!kept || out.flash != expected || !out.state.running) ++broken;
    };
    for (const char* fault : named) check(fault);
    for (const std::uint64_t n : reads) check("nack-read=", n, true);
    for (const std::uint64_t n : writes) {
      for (const char* fault : {"nack-write=", "nack-data=", "drop-write=", "power-loss="}) check(fault, n);
    }
    std::printf("[ sweep    ] %s %s channel %u: %llu writes and %llu reads in a clean run, %zu and %zu of them "
                "tried; %u runs, %u numbered faults reached; followed: %u plain runs, %u runs then /force, %u power "
                "cycles; %u boards not restored\n",
                chip.chip, chip.platform, chip.channel, static_cast<unsigned long long>(clean.writes),
                static_cast<unsigned long long>(clean.reads), writes.size(), reads.size(), runs, reached,
                followUps[FollowUp::PlainRun], followUps[FollowUp::RunThenForce], followUps[FollowUp::PowerCycle],
                broken);
    EXPECT_EQ(reached, reads.size() + 4 * writes.size());
    EXPECT_EQ(broken, 0u);
  }
}

// Transaction numbers of a run's steps, as the chip counts them: the data
// reads of the first and last piece of each whole-flash read (and the
// write of the command phase of each), and the erase command.
std::vector<std::uint64_t> ReadoutBoundaries(const std::vector<sim::PdFrame>& log, std::size_t pieces, bool read) {
  std::vector<std::uint64_t> out;
  std::uint64_t writes = 0;
  std::uint64_t reads = 0;
  std::size_t dataReads = 0;
  for (const sim::PdFrame& frame : log) {
    if (frame.address != 0x80) continue;
    if (!frame.read) {
      ++writes;
      if (!read && frame.bytes == std::vector<std::uint8_t>{0xFF, 0xFE, 0x07, 0x01}) out.push_back(writes);
      continue;
    }
    ++reads;
    if (frame.bytes.size() != 128) continue;
    ++dataReads;
    const std::size_t inPass = (dataReads - 1) % pieces;
    if (dataReads <= 2 * pieces && (inPass == 0 || inPass == pieces - 1)) out.push_back(read ? reads : writes);
  }
  return out;
}

// 1 .. count, sampled: the first and last transactions of the run (its
// preparation and its ending), each step boundary and one in `stride`
// between them.
std::vector<std::uint64_t> Sampled(std::uint64_t count, const std::vector<std::uint64_t>& boundaries,
                                   std::uint64_t stride) {
  std::vector<std::uint64_t> out;
  for (std::uint64_t n = 1; n <= count; ++n) {
    const bool boundary = std::find(boundaries.begin(), boundaries.end(), n) != boundaries.end();
    if (n <= 6 || n + 5 > count || n % stride == 0 || boundary) out.push_back(n);
  }
  return out;
}

// The read-outs under every single fault, named or at sampled transaction
// numbers (every step boundary kept): exit code 0 only with a file that
// holds the flash, a /check's 0 or 3 only when it is the truth, the flash
// unchanged by /dump and /check, and no erase unless the /backup file
// holds the flash as it was.
TEST_F(FaultSweep, EverySingleFaultInAReadOutLeavesARightFileOrVerdict) {
  const std::vector<std::uint8_t> image = MakeImage(2560, 34);
  UseImage(image);
  const std::vector<std::uint8_t> otherImage = MakeImage(5000, 35);
  const std::string file = std::filesystem::relative(dir / "out.bin").string();
  // Each on one chip, so that both families, both platforms and both
  // address formats are read out, most on 32 KB flashes: a read-out costs
  // its flash size, whatever the fault, and the sweep has to stay within
  // half a minute under the sanitizers.
  const SweepChip small{"88530100", "intel", "8853", 32};
  const SweepChip smallAmd{"880A0400", "amd", "880A", 32};
  const struct {
    const char* name;
    std::vector<std::string> args;  // after /id
    bool image;                     // the run has fw.bin
    bool holdsImage;                // the flash holds it at the start
    std::vector<SweepChip> chips;
  } modes[] = {
      {"/dump", {"/dump", file}, false, true, {kSweepChips[1]}},
      {"/check, the image held", {"/check"}, true, true, {small}},
      {"/check, another image held", {"/check"}, true, false, {smallAmd}},
      {"/backup", {"/backup", file}, true, false, {small}},
  };
  const char* named[] = {"absent", "tcpi-absent", "status-invalid", "flip=0x45", "flip=0x9FF", "clock-fail",
                         "controller-dead", "scl-held", "tx-abort-stuck", "rx-full-stuck", "master-busy", "rx-lost"};
  constexpr std::uint64_t kStride = 1000;

  for (const auto& mode : modes) {
    const bool dump = mode.args[0] == "/dump";
    const bool check = mode.args[0] == "/check";
    for (const SweepChip& chip : mode.chips) {
      SCOPED_TRACE(std::string(mode.name) + " on " + chip.chip);
      const std::size_t pieces = chip.flashKb * 8;  // of a whole-flash read
      const std::vector<std::uint8_t> updated = FlashAfterUpdate(image, chip.flashKb);
      const std::vector<std::uint8_t> before = mode.holdsImage ? updated : FlashAfterUpdate(otherImage, chip.flashKb);
      unsigned runs = 0;
      unsigned wrong = 0;
      // One run from `before`; false when it broke the property.
      const auto run = [&](const std::string& fault) {
        dir.Write("flash.bin", before);
        std::filesystem::remove(file);
        const Outcome out = RunOnce(chip, mode.image ? name : "", flash, fault, false, {}, &mode.args);
        ++runs;
        // What the flash reads: a flipped cell reads so every time, and no
        // read-out can tell it from the flash's content.
        std::vector<std::uint8_t> reads = before;
        if (fault.rfind("flip=", 0) == 0) reads[std::stoul(fault.substr(5), nullptr, 16)] ^= 0x01;
        const bool written = std::filesystem::exists(file) && ReadBytes(file) == (dump ? reads : BackupOf(reads));
        // The flash work begins with the erase command or, should that not
        // arrive, with the first page program.
        bool flashWork = false;
        for (const sim::PdFrame& frame : out.frames) {
          flashWork = flashWork || (!frame.read && frame.bytes.size() >= 3 && frame.bytes[0] == 0xFF &&
                                    frame.bytes[1] == 0xFE && (frame.bytes[2] == 0x07 || frame.bytes[2] == 0x16));
        }
        std::string broken;
        if (out.boardNs >= 60'000'000'000ull) broken = "taken for a hang";
        if (out.exitCode != 0 && out.exitCode != 7 && !(check && out.exitCode == 3)) broken = "exit code";
        if ((dump || check) && out.flash != before) broken = "the flash changed: " + FlashDifference(out.flash, before);
        if (dump && out.exitCode == 0 && !written) broken = "exit code 0 without the flash in the file";
        if (check && out.exitCode == 0 && reads != updated) broken = "a match that is none";
        if (check && out.exitCode == 3 && reads == updated) broken = "a difference that is none";
        if (!dump && !check && flashWork && !written) broken = "an erase after a backup that failed";
        if (!dump && !check && !flashWork && out.flash != before) broken = "the flash changed before the erase";
        if (!dump && !check && out.exitCode == 0 && (out.flash != updated || !written)) broken = "exit code 0 without the image and the backup";
        if (broken.empty()) return true;
        ++wrong;
        ADD_FAILURE() << fault << ": " << broken << " (exit code " << out.exitCode << ")\n" << out.console;
        return false;
      };
      dir.Write("flash.bin", before);
      std::filesystem::remove(file);
      const Outcome clean = RunOnce(chip, mode.image ? name : "", flash, "", false, {}, &mode.args);
      ASSERT_EQ(clean.exitCode, check && !mode.holdsImage ? 3 : 0) << clean.console;
      ASSERT_TRUE(run(""));

      for (const char* fault : named) run(fault);
      for (const std::uint64_t n : Sampled(clean.reads, ReadoutBoundaries(clean.frames, pieces, true), kStride)) {
        run("nack-read=" + std::to_string(n));
      }
      for (const std::uint64_t n : Sampled(clean.writes, ReadoutBoundaries(clean.frames, pieces, false), kStride)) {
        for (const char* fault : {"nack-write=", "nack-data=", "drop-write=", "power-loss="}) {
          run(fault + std::to_string(n));
        }
      }
      std::printf("[ sweep    ] %s on %s: %llu writes and %llu reads in a clean run; %u runs, %u wrong\n", mode.name,
                  chip.chip, static_cast<unsigned long long>(clean.writes),
                  static_cast<unsigned long long>(clean.reads), runs, wrong);
    }
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
