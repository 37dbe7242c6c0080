// vexa-sim's own options and how it hands the rest to the tool.
#include <gtest/gtest.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "e2e/cli_texts.h"
#include "e2e/update_expect.h"
#include "sim/board_options.h"
#include "support/sim_process.h"

namespace {

using namespace vexa_test;

TEST(VexaSim, HelpDescribesTheRunnerAndTheBoard) {
  const SimResult run = RunSimRaw({"--help"});
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(run.out.rfind("Usage: vexa-sim [BOARD OPTIONS] [--] [TOOL ARGUMENTS...]\n", 0), 0u);
  for (const char* option :
       {"--modes", "--attribute", "--io-trace", "--realtime", "--memory-limit", "--rerun", "--power-cycle",
        "--end-faults", "--pd-state"}) {
    EXPECT_NE(run.out.find(option), std::string::npos) << option;
  }
  const std::string board = sim::BoardOptionsHelp();
  ASSERT_LE(board.size(), run.out.size());
  EXPECT_EQ(run.out.substr(run.out.size() - board.size()), board);
}

// Every README example runs on the default board: a 128 KB image fits its
// flash. A flash size the chip ID disagrees with is a board a test may want:
// it is taken, with one warning line.
TEST(VexaSim, TheFlashSizeFollowsTheChipUnlessGiven) {
  TempDir dir;
  dir.Write("fw.bin", MakeImage(128 * 1024));
  const struct {
    std::vector<std::string> board;
    int exitCode;
    bool warned;
  } cases[] = {
      {{}, 0, false},
      {{"--flash-size", "256"}, 0, false},
      {{"--chip", "52300000"}, 7, false},  // 64 KB: the image is refused before the erase
      {{"--chip", "52300000", "--flash-size", "128"}, 7, true},
      {{"--flash-size", "32"}, 7, true},
  };
  for (const auto& c : cases) {
    const SimResult run = RunSim(c.board, {"fw.bin", "/id", "5230"}, dir.path());
    EXPECT_EQ(run.exitCode, c.exitCode) << JoinArgs(c.board);
    if (c.warned) {
      EXPECT_EQ(run.err.rfind("vexa-sim: warning: --flash-size ", 0), 0u) << run.err;
      EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
    } else {
      EXPECT_EQ(run.err, "") << JoinArgs(c.board);
    }
  }
}

TEST(VexaSim, BadRunnerOptionsExit2WithNothingOnStandardOutput) {
  const std::vector<std::string> cases[] = {
      {"--bogus"},
      {"--modes"},
      {"--modes", "80by25"},
      {"--modes", "80x25,"},
      {"--modes", "x25"},
      {"--modes", "-80x25"},
      {"--attribute", "100"},
      {"--attribute", "zz"},
      {"--memory-limit", "-1"},
      {"--memory-limit", "12k"},
      {"--memory-limit"},
      {"--io-trace"},
      {"--io-trace", "no-such-folder/trace.txt"},
      {"--rerun"},
      {"--platform", "sparc"},
      {"--flash", "--", "fw.bin"},
      {"--platform", "amd", "--pd-channel", "6"},
  };
  TempDir dir;
  for (const std::vector<std::string>& args : cases) {
    const SimResult run = RunSimRaw(args, dir.path());
    EXPECT_EQ(run.exitCode, 2) << JoinArgs(args);
    EXPECT_EQ(run.out, "") << JoinArgs(args);
    EXPECT_EQ(run.err.rfind("vexa-sim: ", 0), 0u) << JoinArgs(args) << ": " << run.err;
  }
}

TEST(VexaSim, ToolArgumentsBeginAfterDashDashOrTheFirstNonOption) {
  const struct {
    std::vector<std::string> args;
    std::string out;
  } cases[] = {
      // "--" is consumed; what follows belongs to the tool even if it
      // looks like a runner option.
      {{"--", "--help"}, Rejected("--help: neither an option nor an image name (FILE.bin); a value goes "
                                  "right after its option, as in /id 5230.")},
      {{"--modes", "80x25", "--", "/V", "--help"}, Rejected(UnknownOption("/V"))},
      // The first argument without "--" ends the runner's options.
      {{"/V", "--help"}, Rejected(UnknownOption("/V"))},
      {{"--"}, kUsageText},
      {{}, kUsageText},
      // A rerun's text follows the first run's; its arguments are split
      // at spaces, and its exit code is the one returned.
      {{"--rerun", "/V  --help", "--"}, kUsageText + Rejected(UnknownOption("/V"))},
  };
  for (const auto& c : cases) {
    const SimResult run = RunSimRaw(c.args);
    EXPECT_EQ(run.out, c.out) << JoinArgs(c.args);
    EXPECT_EQ(run.exitCode, c.out == kUsageText ? 0 : 1) << JoinArgs(c.args);
  }
}

// What happens between runs and what the PD controller is left doing: a
// controller halted before the erase runs again, a lost watchdog restart is
// made good, the power comes back, faults that come and go end.
TEST(VexaSim, StepsBetweenRunsAndTheStateAfterTheLast) {
  using namespace vexa_test::update;
  TempDir dir;
  dir.Write("fw.bin", MakeImage(4096, 3));
  const std::vector<std::string> update = {"fw.bin", "/id", "5230"};
  const std::string version = FwVersion(0x1A, 0x05) + kEarlyStop;
  const struct {
    std::vector<std::string> board;
    std::vector<std::string> tool;
    std::string outEnd;
    int exitCode;
    const char* state;
  } cases[] = {
      // A wrong /id, then /ov: the version answers.
      {{"--rerun", "/ov"}, {"fw.bin", "/id", "5231"}, FwVersion(0x1A, 0x05) + Console("\n"), 0, "running"},
      {{}, {"fw.bin", "/id", "5231"}, ChipIdMismatch(0x5230, 0x5231) + kEarlyStop, 7, "running"},
      // Transaction 330 is the first watchdog write of the 4 KB update, 334
      // the one of the second restart.
      {{"--fault", "drop-write=330"}, update, version, 0, "running"},
      {{"--fault", "drop-write=330", "--fault", "drop-write=334"}, update, kEarlyStop + kNotAnsweringWithNewImage, 0,
       "halted"},
      {{"--fault", "drop-write=330", "--fault", "drop-write=334", "--power-cycle"}, update,
       kEarlyStop + kNotAnsweringWithNewImage, 0, "running"},
      {{"--fault", "nack-write=329"}, update, kEarlyStop + kHaltedWithNewImage, 7, "halted, test mode"},
      // The first erase-busy read refused: the erase is waited for.
      {{"--fault", "nack-write=11"}, update, version, 0, "running"},
      {{"--fault", "power-loss=200"}, update, kEarlyStop + kFirmwareIncomplete, 7, "off"},
      {{"--fault", "power-loss=200", "--power-cycle"}, update, kEarlyStop + kFirmwareIncomplete, 7, "boot code"},
      {{"--fault", "power-loss=200", "--power-cycle", "--rerun", "fw.bin /id 5230 /force"}, update, version, 0,
       "running"},
      {{"--fault", "absent", "--rerun", "fw.bin /id 5230"}, update, kVersionRefused + SilentController() + kEarlyStop, 7,
       "running"},
      {{"--fault", "absent", "--end-faults", "--rerun", "fw.bin /id 5230"}, update, version, 0, "running"},
  };
  for (const auto& c : cases) {
    std::vector<std::string> board = c.board;
    board.insert(board.end(), {"--chip", "52300000", "--pd-state"});
    const SimResult run = RunSim(board, c.tool, dir.path());
    EXPECT_TRUE(run.out.ends_with(c.outEnd)) << JoinArgs(board) << ":\n" << run.out;
    EXPECT_EQ(run.exitCode, c.exitCode) << JoinArgs(board);
    EXPECT_EQ(run.err, std::string("vexa-sim: PD controller: ") + c.state + "\n") << JoinArgs(board);
  }
}

// The flash file is the board's state between runs: one that cannot be
// written back is the runner's error, whatever the tool's exit code, and the
// tool's text stays as it was.
TEST(VexaSim, AFlashFileThatCannotBeWrittenEndsWithExit2) {
  TempDir dir;
  dir.Write("fw.bin", MakeImage(4096, 3));
  const std::vector<std::string> tool = {"--", "fw.bin", "/id", "5230"};
  std::vector<std::string> written = {"--flash", "f.bin"};
  std::vector<std::string> lost = {"--flash", "nodir/f.bin"};
  written.insert(written.end(), tool.begin(), tool.end());
  lost.insert(lost.end(), tool.begin(), tool.end());
  const SimResult good = RunSimRaw(written, dir.path());
  const SimResult run = RunSimRaw(lost, dir.path());
  EXPECT_EQ(good.exitCode, 0);
  EXPECT_EQ(run.exitCode, 2);
  EXPECT_EQ(run.err.rfind("vexa-sim: cannot write flash file nodir/f.bin", 0), 0u) << run.err;
  EXPECT_EQ(run.out, good.out);  // the board's clock is virtual: the same seconds too
}

// On a terminal the console changes only the cursor and the colours, and
// gives both back at the end: the user's window keeps its size and what it
// showed, whatever way the run ends.
TEST(VexaSim, OnATerminalTheWindowIsNeitherResizedNorCleared) {
  const std::vector<std::vector<std::string>> cases = {{}, {"/n"}, {"/ov"}, {"/sa", "84"}};
  for (const std::vector<std::string>& args : cases) {
    std::vector<std::string> storage = {VEXA_SIM_PATH, "--"};
    storage.insert(storage.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : storage) argv.push_back(a.data());
    argv.push_back(nullptr);
    int terminal = -1;
    const pid_t pid = forkpty(&terminal, nullptr, nullptr, nullptr);
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      execv(argv[0], argv.data());
      _exit(127);
    }
    std::string out;
    char chunk[4096];
    for (ssize_t got; (got = read(terminal, chunk, sizeof chunk)) > 0;) out.append(chunk, static_cast<size_t>(got));
    close(terminal);
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status)) << JoinArgs(args);
    EXPECT_EQ(out.find("\x1b[8;"), std::string::npos) << JoinArgs(args);
    EXPECT_EQ(out.find("\x1b[2J"), std::string::npos) << JoinArgs(args);
    EXPECT_NE(out.find("\x1b[?25l"), std::string::npos) << JoinArgs(args);
    EXPECT_TRUE(out.ends_with("\x1b[0m\x1b[?25h")) << JoinArgs(args);
  }
}

}  // namespace
