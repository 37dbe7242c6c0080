// The tool's command line, run through the real vexa-sim.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "e2e/cli_texts.h"
#include "e2e/update_expect.h"
#include "support/sim_process.h"

namespace {

using namespace vexa_test;
using namespace vexa_test::update;

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

// Whether a run reached any hardware: the PCI configuration ports or a
// register.
bool TouchedHardware(const std::vector<std::string>& trace) {
  for (const std::string& line : trace) {
    for (const char* access : {"out32", "in16", "in32", "mmio"}) {
      if (line.rfind(access, 0) == 0) return true;
    }
  }
  return false;
}

std::string NotHexadecimal(const std::string& option, const std::string& value) {
  return option + " " + value + ": the value must be hexadecimal, digits 0-9 and A-F, optionally after 0x.";
}

std::string OutOfRange(const std::string& option, const std::string& value, const std::string& largest) {
  return option + " " + value + ": the value must be 0 to " + largest + ".";
}

// Every refusal names what it refused, on a line of its own after the red
// message and before the usage, and touches no hardware; every stop says
// what it may mean after the failure text; and every run ends its last
// line.
TEST(CliWrongParameter, RefusalsAndStopsNameWhatWasWrong) {
  const std::string stray = ": neither an option nor an image name (FILE.bin); a value goes right after "
                            "its option, as in /id 5230.";
  const std::string before = kBanner + kIntelLine;
  const struct {
    std::vector<std::string> board;
    std::vector<std::string> args;
    int exitCode;
    std::string out;    // the whole text of a refusal
    std::string shows;  // otherwise: a text the run's output holds
  } cases[] = {
      {{}, {"/V"}, 1, Rejected(UnknownOption("/V")), ""},
      {{}, {"/n"}, 1, Rejected(UnknownOption("/n")), ""},
      {{}, {"/x.bin"}, 1, Rejected(UnknownOption("/x.bin")), ""},
      {{}, {"/v", "/sa"}, 1, Rejected("/sa: a value must follow it."), ""},
      {{}, {"fw.BIN"}, 1, kFileFormatLines + Rejected(NotImageName("fw.BIN")), ""},
      {{}, {"/db", "readme.txt", "/v"}, 1, kFileFormatLines + Rejected(NotImageName("readme.txt")), ""},
      // A value without its option is a stray word, no file name.
      {{}, {"fw.bin", "5230"}, 1, Rejected("5230" + stray), ""},
      {{}, {"/id", "5230", "fw"}, 1, Rejected("fw" + stray), ""},
      // Values: hexadecimal digits after an optional 0x, in range.
      {{}, {"/sa", "5230zz"}, 1, Rejected(NotHexadecimal("/sa", "5230zz")), ""},
      {{}, {"/sa", "0x"}, 1, Rejected(NotHexadecimal("/sa", "0x")), ""},
      {{}, {"/sa", "/x"}, 1, Rejected(NotHexadecimal("/sa", "/x")), ""},
      {{}, {"/t", "-1"}, 1, Rejected(NotHexadecimal("/t", "-1")), ""},
      {{}, {"/cp", "/v"}, 1, Rejected(NotHexadecimal("/cp", "/v")), ""},
      {{}, {"/id", "zz"}, 1, Rejected(NotHexadecimal("/id", "zz")), ""},
      {{}, {"/i2c", "-1"}, 1, Rejected(NotHexadecimal("/i2c", "-1")), ""},
      {{}, {"/sa", "1FF"}, 1, Rejected(OutOfRange("/sa", "1FF", "FF")), ""},
      {{}, {"/t", "100"}, 1, Rejected(OutOfRange("/t", "100", "FF")), ""},
      {{}, {"/cp", "4E4F"}, 1, Rejected(OutOfRange("/cp", "4E4F", "FF")), ""},
      {{}, {"/id", "52300"}, 1, Rejected(OutOfRange("/id", "52300", "FFFF")), ""},
      {{}, {"/id", "FFFFFFFFFFFF"}, 1, Rejected(OutOfRange("/id", "FFFFFFFFFFFF", "FFFF")), ""},
      {{}, {"/i2c", "8"}, 1, Rejected(OutOfRange("/i2c", "8", "7")), ""},
      {{}, {"/i2c", "10"}, 1, Rejected(OutOfRange("/i2c", "10", "7")), ""},
      // An image that cannot be opened is named.
      {{}, {"missing.bin", "/id", "5230"}, 1, FileOpenFailed("missing.bin"), ""},
      // Stops at the controller.
      {{"--chip", "58310008"},
       {"fw.bin", "/id", "5230"},
       7,
       "",
       ChipIdMismatch(0x5831, 0x5230) + kEarlyStop},
      {{"--fault", "absent"}, {"fw.bin", "/id", "5230"}, 7, "", kVersionRefused + SilentController() + kEarlyStop},
      {{"--pd-channel", "1"},
       {"/ov", "/i2c", "2", "/sa", "84"},
       7,
       "",
       kVersionRefused + SilentController(0x84, 0x84, 2) + kEarlyStop},
      // Runs the items leave as they were still end their last line.
      {{}, {"/ov"}, 0, "", before + FwVersion(0x1A, 0x05) + Console("\n")},
      {{}, {"fw.bin", "/id", "5230"}, 0, "", FwVersion(0x1A, 0x05) + kEarlyStop},
      {{}, {}, 0, kUsageText, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(JoinArgs(c.args));
    TempDir dir;
    dir.Write("fw.bin", MakeImage(4096));
    std::vector<std::string> board = c.board;
    board.insert(board.end(), {"--io-trace", "trace.txt"});
    const SimResult run = RunSim(board, c.args, dir.path());
    EXPECT_EQ(run.exitCode, c.exitCode);
    EXPECT_EQ(run.err, "");
    if (!c.out.empty()) {
      EXPECT_EQ(run.out, c.out);
    } else {
      EXPECT_NE(HideSeconds(run.out).find(c.shows), std::string::npos) << run.out;
    }
    EXPECT_TRUE(run.out.ends_with("\r\n")) << run.out;
    const std::vector<std::string> trace = ReadLines(dir / "trace.txt");
    if (c.exitCode != 1) continue;
    EXPECT_FALSE(TouchedHardware(trace));
    if (c.out.find(kWrongParameter) == std::string::npos) continue;
    EXPECT_EQ(LinesStartingWith(trace, "set-attribute"),
              (std::vector<std::string>{"set-attribute 04", "set-attribute 07"}));
    EXPECT_EQ(LinesStartingWith(trace, "cursor").size(), 1u);
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
  // Prefixes count: /verbose is /v, /tcpi is /t, /cp4E is /cp.
  const std::vector<std::string> cases[] = {
      {"/verbose", "/tcpi", "40", "/cp4E", "4E"},
      {"/cp", "0x0"},
      {"/i2c", "7", "/sa", "0x84", "/id", "5251", "/db"},
      {"/ov", "/sa", "84", "/sa", "0x80"},
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
