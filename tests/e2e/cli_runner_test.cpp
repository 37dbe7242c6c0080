// vexa-sim's own options and how it hands the rest to the tool.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "e2e/cli_texts.h"
#include "sim/board_options.h"
#include "support/sim_process.h"

namespace {

using vexa_test::kFileFormatLines;
using vexa_test::kUsageText;
using vexa_test::kWrongParameter;
using vexa_test::RunSimRaw;
using vexa_test::JoinArgs;
using vexa_test::SimResult;
using vexa_test::TempDir;

TEST(VexaSim, HelpDescribesTheRunnerAndTheBoard) {
  const SimResult run = RunSimRaw({"--help"});
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(run.out.rfind("Usage: vexa-sim [BOARD OPTIONS] [--] [TOOL ARGUMENTS...]\n", 0), 0u);
  for (const char* option :
       {"--modes", "--attribute", "--io-trace", "--realtime", "--memory-limit", "--rerun"}) {
    EXPECT_NE(run.out.find(option), std::string::npos) << option;
  }
  const std::string board = sim::BoardOptionsHelp();
  ASSERT_LE(board.size(), run.out.size());
  EXPECT_EQ(run.out.substr(run.out.size() - board.size()), board);
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
      {{"--", "--help"}, kFileFormatLines + kWrongParameter + kUsageText},
      {{"--modes", "80x25", "--", "/V", "--help"}, kWrongParameter + kUsageText},
      // The first argument without "--" ends the runner's options.
      {{"/V", "--help"}, kWrongParameter + kUsageText},
      {{"--"}, kUsageText},
      {{}, kUsageText},
      // A rerun's text follows the first run's; its arguments are split
      // at spaces, and its exit code is the one returned.
      {{"--rerun", "/V  --help", "--"}, kUsageText + kWrongParameter + kUsageText},
  };
  for (const auto& c : cases) {
    const SimResult run = RunSimRaw(c.args);
    EXPECT_EQ(run.out, c.out) << JoinArgs(c.args);
    EXPECT_EQ(run.exitCode, c.out == kUsageText ? 0 : 1) << JoinArgs(c.args);
  }
}

}  // namespace
