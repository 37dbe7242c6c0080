// vexa-bench's own options and the rows it prints.
#include <gtest/gtest.h>

#include <iterator>
#include <string>
#include <vector>

#include "app/flash_readout.h"
#include "support/sim_process.h"

namespace {

using vexa_test::JoinArgs;
using vexa_test::RunProgram;
using vexa_test::SimResult;

TEST(VexaBench, BadArgumentsExit2WithNothingOnStandardOutput) {
  const std::vector<std::string> cases[] = {
      {"--bogus"},
      {"64"},
      {"--sizes"},
      {"--sizes", ""},
      {"--sizes", "0"},
      {"--sizes", "257"},
      {"--sizes", "64,"},
      {"--sizes", "64,,128"},
      {"--sizes", "-64"},
      {"--rounds"},
      {"--rounds", "0"},
      {"--rounds", "1001"},
      {"--rounds", "3x"},
      {"--help", "--rounds", "0"},
  };
  for (const std::vector<std::string>& args : cases) {
    const SimResult run = RunProgram(VEXA_BENCH_PATH, args);
    EXPECT_EQ(run.exitCode, 2) << JoinArgs(args);
    EXPECT_EQ(run.out, "") << JoinArgs(args);
    EXPECT_EQ(run.err.rfind("vexa-bench: ", 0), 0u) << JoinArgs(args) << ": " << run.err;
  }
}

TEST(VexaBench, HelpRunsNothingAndARunHasARowPerSizeThenTheRehearsal) {
  const SimResult help = RunProgram(VEXA_BENCH_PATH, {"--help"});
  EXPECT_EQ(help.exitCode, 0);
  EXPECT_EQ(help.out.rfind("Usage: vexa-bench ", 0), 0u) << help.out;
  EXPECT_EQ(help.out.find("wall (ms)"), std::string::npos) << help.out;

  const SimResult run = RunProgram(VEXA_BENCH_PATH, {"--sizes", "2,1", "--rounds", "1"});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  std::vector<std::string> lines;
  for (std::size_t start = 0, end; (end = run.out.find('\n', start)) != std::string::npos; start = end + 1) {
    lines.push_back(run.out.substr(start, end - start));
  }
  const char* const prefixes[] = {"image ", "    2 KB ", "    1 KB ", "", "256 KB rehearsal ", "256 KB dump "};
  ASSERT_EQ(lines.size(), std::size(prefixes)) << run.out;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    EXPECT_EQ(lines[i].rfind(prefixes[i], 0), 0u) << run.out;
  }
  EXPECT_NE(lines[4].find("ms wall, median of 1"), std::string::npos) << run.out;
  // The dump's figure is the tool's own (FlashReadBusCost), which the
  // flash read-out tests hold against the bytes the board counts.
  const FlashReadCost read = FlashReadBusCost(256, 3);
  EXPECT_NE(lines[5].find(": " + std::to_string(2 * read.busBytes) + " bus bytes, "), std::string::npos) << run.out;
}

}  // namespace
