// Image arguments on the tool's command line, run through the real vexa-sim.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "e2e/cli_texts.h"
#include "support/sim_process.h"

namespace {

using vexa_test::FindLine;
using vexa_test::kBanner;
using vexa_test::kFileFormatLines;
using vexa_test::kFileOpenFail;
using vexa_test::kUsageText;
using vexa_test::kWrongParameter;
using vexa_test::LinesStartingWith;
using vexa_test::MakeImage;
using vexa_test::ReadLines;
using vexa_test::RunSim;
using vexa_test::SimResult;
using vexa_test::TempDir;

TEST(CliImage, TheImageIsReadBeforeALaterArgumentIsRejected) {
  TempDir dir;
  dir.Write("fw.bin", MakeImage(4096));
  const SimResult run = RunSim({"--io-trace", "trace.txt"}, {"fw.bin", "/x"}, dir.path());
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(run.out, kWrongParameter + kUsageText);

  const std::vector<std::string> trace = ReadLines(dir / "trace.txt");
  const size_t open = FindLine(trace, "open \"fw.bin\" ok");
  const size_t read = FindLine(trace, "read 4096 4096", open);
  const size_t close = FindLine(trace, "close", read);
  const size_t rejected = FindLine(trace, "set-attribute 04");
  EXPECT_LT(open, read);
  EXPECT_LT(read, close);
  EXPECT_LT(close, rejected);
  EXPECT_LT(rejected, trace.size());
}

TEST(CliImage, ImagesOfAnyFolderAreOpenedByTheNameAsTyped) {
  TempDir dir;
  dir.Write("sub/fw.bin", MakeImage(1024));
  const SimResult run = RunSim({"--io-trace", "trace.txt"}, {"sub/fw.bin"}, dir.path());
  EXPECT_EQ(run.out.rfind(kBanner, 0), 0u) << run.out;
  EXPECT_NE(run.exitCode, 1);
  EXPECT_EQ(LinesStartingWith(ReadLines(dir / "trace.txt"), "open"),
            std::vector<std::string>{"open \"sub/fw.bin\" ok"});
}

TEST(CliImage, TwoImagesAreReadInTurnAndTheFirstBufferIsReleased) {
  TempDir dir;
  dir.Write("a.bin", MakeImage(2048, 1));
  dir.Write("b.bin", MakeImage(3072, 2));
  const SimResult run = RunSim({"--io-trace", "trace.txt"}, {"a.bin", "/db", "b.bin"}, dir.path());
  EXPECT_EQ(run.out.rfind(kBanner, 0), 0u) << run.out;
  EXPECT_NE(run.exitCode, 1);

  const std::vector<std::string> trace = ReadLines(dir / "trace.txt");
  const size_t firstOpen = FindLine(trace, "open \"a.bin\" ok");
  const size_t firstAllocate = FindLine(trace, "allocate 2048 ok", firstOpen);
  const size_t release = FindLine(trace, "free", firstAllocate);
  const size_t secondOpen = FindLine(trace, "open \"b.bin\" ok", release);
  const size_t secondAllocate = FindLine(trace, "allocate 3072 ok", secondOpen);
  const size_t banner = FindLine(trace, "text \"\\r\\nOVK PD FW", secondAllocate);
  EXPECT_LT(firstAllocate, release);
  EXPECT_LT(release, secondOpen);
  EXPECT_LT(secondOpen, secondAllocate);
  EXPECT_LT(secondAllocate, banner);
  EXPECT_LT(banner, trace.size());
}

TEST(CliImage, ImagesThatCannotBeUsedEndTheRunWithExitCode1) {
  const std::string tooSmall = "\r\nFile Too Small! An image has at least 80 bytes.\r\n\r\n";
  const std::string tooLarge = "\r\nFile Too Large! An image has at most 16384 KBytes.\r\n\r\n";
  const std::string noMemory = "\r\nMemory Allocate Fail!\r\n\r\n";
  const struct {
    const char* label;
    std::vector<std::string> boardOptions;
    std::vector<std::string> args;
    std::string out;
  } cases[] = {
      {"missing", {}, {"missing.bin"}, kFileOpenFail},
      {"second missing", {}, {"good.bin", "missing.bin", "/x"}, kFileOpenFail},
      {"missing before a bad option", {}, {"missing.bin", "/x"}, kFileOpenFail},
      {"upper-case name of an existing file",
       {},
       {"good.BIN"},
       kFileFormatLines + kWrongParameter + kUsageText},
      {"79 bytes", {}, {"small.bin"}, tooSmall},
      {"16 MB + 1", {}, {"large.bin"}, tooLarge},
      {"no memory", {"--memory-limit", "4095"}, {"good.bin"}, noMemory},
  };
  TempDir dir;
  dir.Write("good.bin", MakeImage(4096));
  dir.Write("good.BIN", MakeImage(4096));
  dir.Write("small.bin", MakeImage(0x4F));
  dir.Write("large.bin", {});
  std::filesystem::resize_file(dir / "large.bin", 16u * 1024 * 1024 + 1);

  for (const auto& c : cases) {
    const SimResult run = RunSim(c.boardOptions, c.args, dir.path());
    EXPECT_EQ(run.exitCode, 1) << c.label;
    EXPECT_EQ(run.out, c.out) << c.label;
    EXPECT_EQ(run.err, "") << c.label;
  }
}

}  // namespace
