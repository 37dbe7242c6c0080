// Image arguments on the tool's command line, run through the real vexa-sim.
#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "app/sha256.h"
#include "e2e/cli_texts.h"
#include "support/sim_process.h"

namespace {

using namespace vexa_test;

TEST(CliImage, TheImageIsReadBeforeALaterArgumentIsRejected) {
  TempDir dir;
  dir.Write("fw.bin", MakeImage(4096));
  const SimResult run = RunSim({"--io-trace", "trace.txt"}, {"fw.bin", "/x"}, dir.path());
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(run.out, Rejected(UnknownOption("/x")));

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
  // Its SHA-256 file is looked for beside it.
  EXPECT_EQ(LinesStartingWith(ReadLines(dir / "trace.txt"), "open"),
            (std::vector<std::string>{"open \"sub/fw.bin\" ok", "open \"sub/fw.bin.sha256\" fail"}));
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
      {"missing", {}, {"missing.bin"}, FileOpenFailed("missing.bin")},
      {"second missing", {}, {"good.bin", "missing.bin", "/x"}, FileOpenFailed("missing.bin")},
      {"missing before a bad option", {}, {"missing.bin", "/x"}, FileOpenFailed("missing.bin")},
      {"upper-case name of an existing file",
       {},
       {"good.BIN"},
       kFileFormatLines + Rejected(NotImageName("good.BIN"))},
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

// FILE.sha256 beside the image says which image is meant; it is checked
// once the image is read, before anything touches the board.
TEST(CliImage, ASidecarSha256IsCheckedBeforeTheBoard) {
  TempDir dir;
  const std::vector<std::uint8_t> image = MakeImage(4096, 5);
  dir.Write("fw.bin", image);
  uint8_t digest[kSha256Bytes];
  Sha256Of(image.data(), image.size(), digest);
  char digits[kSha256HexDigits + 1];
  Sha256Hex(digest, digits);
  const std::string hex = digits;
  std::string upper = hex;
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  std::string other = hex;
  other[10] = other[10] == '0' ? '1' : '0';
  std::string notHex = hex + "\n";
  notHex[0] = 'g';
  const std::string checked = "\r\nImage SHA-256 checked: " + hex + "\r\n" + kBanner;
  const std::string invalid =
      "\r\nImage SHA-256 File Invalid!! fw.bin.sha256 must begin with 64 hex digits, as sha256sum writes.\r\n\r\n";

  const struct {
    const char* label;
    std::optional<std::string> sidecar;  // nullopt: none; "/": a folder of that name
    std::string out;                     // the whole output, or its start when the run goes on
    bool refused;
  } cases[] = {
      {"no sidecar", std::nullopt, kBanner, false},
      {"sha256sum's line", hex + "  fw.bin\n", checked, false},
      {"binary mode, upper case, CR LF, another name", upper + " *old-name.bin\r\n", checked, false},
      {"the digits alone", hex, checked, false},
      {"another image's digest", other + "  fw.bin\n",
       "\r\nImage SHA-256 Mismatch!! fw.bin is not the image fw.bin.sha256 names.\r\nImage:    " + hex +
           "\r\nExpected: " + other + "\r\n\r\n",
       true},
      {"63 digits", hex.substr(0, 63) + "\n", invalid, true},
      {"a digit that is none", notHex, invalid, true},
      {"nothing between the digits and the name", hex + "fw.bin\n", invalid, true},
      {"empty", "", invalid, true},
      {"a folder", "/", "\r\nImage SHA-256 File Read Fail!! fw.bin.sha256 cannot be read.\r\n\r\n", true},
  };
  for (const auto& c : cases) {
    std::filesystem::remove_all(dir / "fw.bin.sha256");
    if (c.sidecar == "/") {
      std::filesystem::create_directory(dir / "fw.bin.sha256");
    } else if (c.sidecar) {
      dir.Write("fw.bin.sha256", std::vector<std::uint8_t>(c.sidecar->begin(), c.sidecar->end()));
    }
    const SimResult run = RunSim({"--io-trace", "trace.txt"}, {"fw.bin", "/id", "5230"}, dir.path());
    if (c.refused) {
      EXPECT_EQ(run.out, c.out) << c.label;
      EXPECT_EQ(run.exitCode, 1) << c.label;
      // Not one port or register access.
      for (const char* access : {"in", "out", "mmio"}) {
        EXPECT_EQ(LinesStartingWith(ReadLines(dir / "trace.txt"), access), std::vector<std::string>{})
            << c.label;
      }
    } else {
      EXPECT_EQ(run.out.rfind(c.out, 0), 0u) << c.label << "\n" << run.out;
      EXPECT_EQ(run.exitCode, 0) << c.label;
    }
  }
}

}  // namespace
