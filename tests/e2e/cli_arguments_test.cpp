// The tool's command line, run through the real vexa-sim.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "e2e/cli_texts.h"
#include "support/sim_process.h"

namespace {

using namespace vexa_test;

// The console operations before the first text: cursor, mode search, clear.
std::vector<std::string> ConsolePreparation(const std::vector<std::string>& trace) {
  const size_t clear = FindLine(trace, "clear-screen");
  return std::vector<std::string>(trace.begin(), trace.begin() + std::min(clear + 1, trace.size()));
}

TEST(CliUsage, NoArgumentPrintsTheUsageAndExits0) {
  TempDir dir;
  const SimResult run = RunSim({"--io-trace", "trace.txt"}, {}, dir.path());
  EXPECT_EQ(run.out, kUsageText);
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(run.exitCode, 0);

  const std::vector<std::string> trace = ReadLines(dir / "trace.txt");
  EXPECT_EQ(ConsolePreparation(trace),
            (std::vector<std::string>{"cursor off", "query-mode 0 80x25", "query-mode 1 80x50",
                                      "query-mode 2 100x31", "set-mode 2", "clear-screen"}));
  // The cursor stays hidden: nothing shows it again.
  EXPECT_EQ(LinesStartingWith(trace, "cursor").size(), 1u);
  // The usage is one console text per line, then the closing blank lines.
  size_t lines = 0;
  for (size_t at = 0; (at = kUsageText.find("\r\n", at)) != std::string::npos; at += 2) {
    if (at + 2 < kUsageText.size() && kUsageText.compare(at + 2, 2, "\r\n") != 0) ++lines;
  }
  EXPECT_EQ(LinesStartingWith(trace, "text").size(), lines + 1);
}

TEST(CliUsage, TextModeSearch) {
  const struct {
    std::string modes;
    std::vector<std::string> preparation;
  } cases[] = {
      {"80x25",
       {"cursor off", "query-mode 0 80x25", "query-mode 1 unsupported", "clear-screen"}},
      {"",  // a console that answers no mode at all
       {"cursor off", "query-mode 0 unsupported", "clear-screen"}},
      {"80x25,100x31,100x31",
       {"cursor off", "query-mode 0 80x25", "query-mode 1 100x31", "set-mode 1", "clear-screen"}},
      {"100x30,101x31,31x100,100x31",
       {"cursor off", "query-mode 0 100x30", "query-mode 1 101x31", "query-mode 2 31x100",
        "query-mode 3 100x31", "set-mode 3", "clear-screen"}},
  };
  for (const auto& c : cases) {
    TempDir dir;
    const SimResult run = RunSim({"--modes", c.modes, "--io-trace", "trace.txt"}, {}, dir.path());
    EXPECT_EQ(run.exitCode, 0) << c.modes;
    EXPECT_EQ(run.out, kUsageText) << c.modes;
    EXPECT_EQ(ConsolePreparation(ReadLines(dir / "trace.txt")), c.preparation) << c.modes;
  }
}

TEST(CliWrongParameter, RejectedArgumentsShowRedTextAndTheUsage) {
  const struct {
    std::vector<std::string> args;
    bool formatLines;
  } cases[] = {
      {{"/V"}, false},
      {{"/n"}, false},
      {{"/x.bin"}, false},
      {{"/v", "/sa"}, false},  // a value option with nothing after it
      {{"fw.BIN"}, true},
      {{"/db", "readme.txt", "/v"}, true},
  };
  for (const auto& c : cases) {
    TempDir dir;
    const SimResult run = RunSim({"--io-trace", "trace.txt"}, c.args, dir.path());
    EXPECT_EQ(run.exitCode, 1) << JoinArgs(c.args);
    EXPECT_EQ(run.out, (c.formatLines ? kFileFormatLines : "") + kWrongParameter + kUsageText)
        << JoinArgs(c.args);
    EXPECT_EQ(run.err, "") << JoinArgs(c.args);
    const std::vector<std::string> trace = ReadLines(dir / "trace.txt");
    EXPECT_EQ(LinesStartingWith(trace, "set-attribute"),
              (std::vector<std::string>{"set-attribute 04", "set-attribute 07"}))
        << JoinArgs(c.args);
    EXPECT_EQ(LinesStartingWith(trace, "cursor").size(), 1u) << JoinArgs(c.args);
  }
}

TEST(CliWrongParameter, TheRedTextKeepsTheBackground) {
  TempDir dir;
  const SimResult run =
      RunSim({"--attribute", "1F", "--io-trace", "trace.txt"}, {"/n"}, dir.path());
  EXPECT_EQ(run.exitCode, 1);
  const std::vector<std::string> trace = ReadLines(dir / "trace.txt");
  // Red on blue for the message, light grey on blue for the usage.
  const size_t red = FindLine(trace, "set-attribute 14");
  const size_t message = FindLine(trace, "text \"\\r\\n\\r\\nWrong Parameter!");
  const size_t grey = FindLine(trace, "set-attribute 17");
  const size_t usage = FindLine(trace, "text \"\\r\\nUsage Discription :\"");
  EXPECT_LT(red, message);
  EXPECT_LT(message, grey);
  EXPECT_LT(grey, usage);
  EXPECT_LT(usage, trace.size());
}

TEST(CliAcceptedArguments, BannerFollowsTheAcceptedCommandLine) {
  // Prefixes count: /verbose is /v, /tcpi is /t, /cp4E is /cp; a value is
  // whatever follows, so "/cp /v" sets the port and is no /v.
  const std::vector<std::string> cases[] = {
      {"/verbose", "/tcpi", "40", "/cp4E", "4E"},
      {"/cp", "/v"},
      {"/i2c", "10", "/sa", "0x84", "/id", "5251", "/db"},
      {"/ov", "/sa", "84", "/sa", "/x"},
  };
  for (const std::vector<std::string>& args : cases) {
    TempDir dir;
    const SimResult run = RunSim({"--io-trace", "trace.txt"}, args, dir.path());
    EXPECT_EQ(run.out.rfind(kBanner, 0), 0u) << JoinArgs(args) << "\n" << run.out;
    EXPECT_EQ(run.out.find("Wrong Parameter"), std::string::npos) << JoinArgs(args);
    EXPECT_NE(run.exitCode, 1) << JoinArgs(args);
    EXPECT_FALSE(run.timedOut) << JoinArgs(args);
    // Nothing touches the console's colours on an accepted command line
    // before the banner.
    const std::vector<std::string> trace = ReadLines(dir / "trace.txt");
    EXPECT_LT(FindLine(trace, "text \"\\r\\nOVK PD FW"), FindLine(trace, "set-attribute"))
        << JoinArgs(args);
  }
}

}  // namespace
