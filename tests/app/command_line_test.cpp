#include "app/command_line.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "app/firmware_image.h"
#include "app/settings.h"
#include "app/tool_main.h"
#include "i2c/i2c_host.h"
#include "pd/chip_info.h"
#include "pd/pd_settings.h"
#include "platform/platform.h"
#include "e2e/cli_texts.h"
#include "support/console_capture.h"
#include "support/sim_process.h"

namespace {

using vexa_test::ConsoleCapture;

// What the run-wide records hold after a command line.
struct Parsed {
  uint8_t slave = 0x80;
  uint8_t tcpi = 0x80;
  uint16_t configPort = 0x2E;
  uint8_t channel = 0;
  uint16_t expectedChipId = 0;
  bool debug = false;
  bool showPdVersion = false;
  bool versionOnly = false;
  bool force = false;
  std::string backupFile;  // "" for none
  std::string dumpFile;
  bool check = false;
};

int Parse(const std::vector<std::string>& args, FirmwareImage& image) {
  std::vector<const char*> argv{"VEXA"};
  for (const std::string& a : args) argv.push_back(a.c_str());
  ResetRunRecords();
  return ParseCommandLine(static_cast<int>(argv.size()), argv.data(), image);
}

int Parse(const std::vector<std::string>& args) {
  FirmwareImage image{};
  const int result = Parse(args, image);
  ReleaseFirmwareImage(image);
  return result;
}

void ExpectRecords(const Parsed& want, const std::string& label) {
  EXPECT_EQ(gChipInfo.slaveAddr, want.slave) << label;
  EXPECT_EQ(gChipInfo.tcpiModeAddr, want.tcpi) << label;
  EXPECT_EQ(gSettings.configPort, want.configPort) << label;
  EXPECT_EQ(gSettings.channel, want.channel) << label;
  EXPECT_EQ(gSettings.expectedChipId, want.expectedChipId) << label;
  EXPECT_EQ(gPdSettings.debug, want.debug) << label;
  EXPECT_EQ(gSettings.showPdVersion, want.showPdVersion) << label;
  EXPECT_EQ(gSettings.versionOnly, want.versionOnly) << label;
  EXPECT_EQ(gSettings.force, want.force) << label;
  EXPECT_EQ(gSettings.backupFile != nullptr ? gSettings.backupFile : "", want.backupFile) << label;
  EXPECT_EQ(gSettings.dumpFile != nullptr ? gSettings.dumpFile : "", want.dumpFile) << label;
  EXPECT_EQ(gSettings.check, want.check) << label;
}

std::string Relative(const std::filesystem::path& file) {
  return std::filesystem::relative(file).string();
}

struct AcceptedCase {
  std::vector<std::string> args;
  Parsed want;
};

Parsed With(void (*change)(Parsed&)) {
  Parsed p;
  change(p);
  return p;
}

TEST(CommandLine, AcceptedOptionsFillTheRecords) {
  const AcceptedCase cases[] = {
      {{}, Parsed{}},
      {{"/sa", "84"}, With([](Parsed& p) { p.slave = 0x84; })},
      {{"/sa", "0x84"}, With([](Parsed& p) { p.slave = 0x84; })},
      {{"/sa", "0X0084"}, With([](Parsed& p) { p.slave = 0x84; })},
      {{"/sa", "000000000000fe"}, With([](Parsed& p) { p.slave = 0xFE; })},
      {{"/t", "40"}, With([](Parsed& p) { p.tcpi = 0x40; })},
      {{"/tcpi", "40"}, With([](Parsed& p) { p.tcpi = 0x40; })},
      {{"/t", "0"}, With([](Parsed& p) { p.tcpi = 0; })},
      {{"/i2c", "7"}, With([](Parsed& p) { p.channel = 7; })},
      {{"/cp", "4E"}, With([](Parsed& p) { p.configPort = 0x4E; })},
      {{"/cp4E", "5"}, With([](Parsed& p) { p.configPort = 0x5; })},
      {{"/cp", "FF"}, With([](Parsed& p) { p.configPort = 0xFF; })},
      {{"/id", "5251"}, With([](Parsed& p) { p.expectedChipId = 0x5251; })},
      {{"/id", "FFFF"}, With([](Parsed& p) { p.expectedChipId = 0xFFFF; })},
      {{"/db"}, With([](Parsed& p) { p.debug = true; })},
      {{"/v"}, With([](Parsed& p) { p.showPdVersion = true; })},
      {{"/verbose"}, With([](Parsed& p) { p.showPdVersion = true; })},
      {{"/ov"}, With([](Parsed& p) { p.versionOnly = true; })},
      {{"/overview"}, With([](Parsed& p) { p.versionOnly = true; })},
      {{"/force"}, With([](Parsed& p) { p.force = true; })},
      {{"/forced"}, With([](Parsed& p) { p.force = true; })},
      // A file name is taken as typed, whatever it looks like.
      {{"/dump", "d.img"}, With([](Parsed& p) { p.dumpFile = "d.img"; })},
      {{"/dumpall", "/v"}, With([](Parsed& p) { p.dumpFile = "/v"; })},
      // The last occurrence wins; order is free.
      {{"/sa", "10", "/db", "/sa", "20"}, With([](Parsed& p) {
         p.slave = 0x20;
         p.debug = true;
       })},
      {{"/i2c", "1", "/id", "5231", "/t", "42", "/v", "/ov", "/cp", "4E"}, With([](Parsed& p) {
         p.channel = 1;
         p.expectedChipId = 0x5231;
         p.tcpi = 0x42;
         p.showPdVersion = true;
         p.versionOnly = true;
         p.configPort = 0x4E;
       })},
  };
  for (const AcceptedCase& c : cases) {
    ConsoleCapture console;
    EXPECT_EQ(Parse(c.args), kExitSuccess) << vexa_test::JoinArgs(c.args);
    ExpectRecords(c.want, vexa_test::JoinArgs(c.args));
    EXPECT_EQ(console.text(), "") << vexa_test::JoinArgs(c.args);
  }
}

// The texts are compared byte for byte in the e2e tests.
TEST(CommandLine, RejectedArgumentsEndTheRunWithExitCode1) {
  const std::vector<std::string> cases[] = {
      {"/n"},          {"/V"},          {"/SA", "84"},  {"/"},
      {"/i2", "1"},    {"/x.bin"},      {"fw"},         {"fw.BIN"},
      {""},            {"bin"},         {"fwbin"},      {"/sa"},
      {"/db", "/i2c"}, {"/forc"},      {"/Force"},
      {"/n", "/sa", "10"},
      // /check and /backup need an image, /dump a file name.
      {"/check"},      {"/backup", "a.bin"}, {"/dump"},
      {"/dump", "d.bin", "/ov"}, {"/dump", "d.bin", "/check"},
      // Values: hexadecimal digits after an optional 0x, in their option's
      // range, or nothing of the command line is taken.
      {"/sa", "5230zz"}, {"/sa", "184"},  {"/sa", "0x"},    {"/sa", ""},
      {"/sa", " 84"},    {"/sa", "+84"},  {"/sa", "/sa"},   {"/t", "-1"},
      {"/cp", "/v"},     {"/cp", "12345"}, {"/cp", "100"},  {"/cp", "80000000"},
      {"/id", "zz"},     {"/id", "10000"}, {"/id", "5230 "}, {"/i2c", "-1"},
      {"/i2c", "8"},     {"/i2c", "10"},   {"/sa", "8O"},
  };
  for (const std::vector<std::string>& args : cases) {
    ConsoleCapture console;
    EXPECT_EQ(Parse(args), kExitBadArgument) << vexa_test::JoinArgs(args);
    EXPECT_NE(console.text().find("Wrong Parameter!"), std::string::npos) << vexa_test::JoinArgs(args);
    // Nothing of the rejected argument, nor after it, is taken.
    EXPECT_EQ(gChipInfo.slaveAddr, 0x80) << vexa_test::JoinArgs(args);
    EXPECT_EQ(gChipInfo.tcpiModeAddr, 0x80) << vexa_test::JoinArgs(args);
    EXPECT_EQ(gSettings.configPort, 0x2E) << vexa_test::JoinArgs(args);
    EXPECT_EQ(gSettings.expectedChipId, 0) << vexa_test::JoinArgs(args);
    EXPECT_EQ(gSettings.channel, 0) << vexa_test::JoinArgs(args);
  }
}

TEST(CommandLine, ImagesAreLoadedAsTheyComeAndTheLastOneIsUsed) {
  // Names beginning with "/" are options, so the images go by relative names.
  vexa_test::TempDir dir;
  const std::string first = Relative(dir.Write("first.bin", vexa_test::MakeImage(1000, 1)));
  const auto secondBytes = vexa_test::MakeImage(3000, 2);
  const std::string second = Relative(dir.Write("second.bin", secondBytes));

  ConsoleCapture console;
  // The image keeps the argument as its name, so the arguments must live on.
  const std::vector<std::string> args = {first, "/sa", "90", second};
  FirmwareImage image{};
  ASSERT_EQ(Parse(args, image), kExitSuccess);
  ASSERT_TRUE(image.loaded);
  EXPECT_EQ(std::string(image.fileName), second);
  ASSERT_EQ(image.size, secondBytes.size());
  EXPECT_EQ(image.content[0], secondBytes[0]);
  EXPECT_EQ(image.signature[0], secondBytes[0x40]);
  EXPECT_EQ(gChipInfo.slaveAddr, 0x90);

  // A rejected argument after an image: the image was read all the same.
  ASSERT_EQ(Parse({first, "/x"}, image), kExitBadArgument);
  EXPECT_TRUE(image.loaded);
  EXPECT_EQ(image.size, 1000u);
  ReleaseFirmwareImage(image);
}

// /backup goes with an update, /check with an image, /dump with none, one
// at a time and never with /ov; a backup may not replace its image.
TEST(CommandLine, ReadoutOptionsGoWithTheirImageOneAtATime) {
  vexa_test::TempDir dir;
  const std::string fw = Relative(dir.Write("fw.bin", vexa_test::MakeImage(2000, 3)));
  const std::string sameDir = Relative(dir.path()) + "/./fw.bin";  // another name of the same file
  struct Case {
    std::vector<std::string> args;
    int exitCode;
    Parsed want;
  };
  // Only the name as typed is compared: another name of the image is taken.
  Parsed otherName;
  otherName.backupFile = sameDir;
  const Case cases[] = {
      {{fw, "/backup", "a.bin"}, kExitSuccess, With([](Parsed& p) { p.backupFile = "a.bin"; })},
      {{"/backup", "a.bin", fw}, kExitSuccess, With([](Parsed& p) { p.backupFile = "a.bin"; })},
      {{fw, "/backup", sameDir}, kExitSuccess, otherName},
      {{fw, "/check"}, kExitSuccess, With([](Parsed& p) { p.check = true; })},
      {{fw, "/backup", fw}, kExitBadArgument, Parsed{}},
      {{fw, "/dump", "d.bin"}, kExitBadArgument, Parsed{}},
      {{fw, "/check", "/backup", "a.bin"}, kExitBadArgument, Parsed{}},
      {{fw, "/check", "/ov"}, kExitBadArgument, Parsed{}},
      {{fw, "/backup", "a.bin", "/ov"}, kExitBadArgument, Parsed{}},
  };
  for (const Case& c : cases) {
    const std::string label = vexa_test::JoinArgs(c.args);
    ConsoleCapture console;
    EXPECT_EQ(Parse(c.args), c.exitCode) << label;
    if (c.exitCode != kExitSuccess) {
      EXPECT_NE(console.text().find("Wrong Parameter!"), std::string::npos) << label;
      continue;
    }
    ExpectRecords(c.want, label);
  }
}

TEST(CommandLine, AnUnopenableImageStopsTheArguments) {
  ConsoleCapture console;
  FirmwareImage image{};
  EXPECT_EQ(Parse({"missing.bin", "/sa", "10"}, image), kExitBadArgument);
  EXPECT_EQ(console.text(), vexa_test::FileOpenFailed("missing.bin"));
  EXPECT_EQ(gChipInfo.slaveAddr, 0x80);
  EXPECT_FALSE(image.loaded);
}

TEST(ResetRunRecords, StartsEveryRecordAfresh) {
  ConsoleCapture console;
  ASSERT_EQ(Parse({"/sa", "10", "/t", "20", "/cp", "4E", "/db", "/v", "/ov", "/i2c", "3", "/id", "5251"}),
            kExitSuccess);
  gPdSettings.stopCpuLeadByte = 0xFF;
  gChipInfo.chipId[0] = 0x52;
  gChipInfo.flashSizeKb = 256;
  gI2cHost = I2cHost{0xFE010000, PlatformKind::Intel, 3, {1, 2, 3}};

  // A second run in the same process starts from the reset.
  const char* const argv[] = {"VEXA"};
  EXPECT_EQ(ToolMain(1, argv), kExitSuccess);
  ExpectRecords(Parsed{}, "after reset");
  EXPECT_EQ(gPdSettings.stopCpuLeadByte, 0);
  EXPECT_EQ(gChipInfo.chipId[0], 0);
  EXPECT_EQ(gChipInfo.flashSizeKb, 0u);
  EXPECT_EQ(gI2cHost.kind, PlatformKind::Unknown);
  EXPECT_EQ(gI2cHost.base, 0u);
}

// The run owns its image: one it stops without using is given back before
// the run ends, with the memory the image's loading took.
TEST(ToolMain, ARunThatStopsAfterTheImageReleasesIt) {
  vexa_test::TempDir dir;
  const std::string image = Relative(dir.Write("fw.bin", vexa_test::MakeImage(4096)));
  ConsoleCapture console;
  const char* const argv[] = {"VEXA", image.c_str(), "/x"};
  EXPECT_EQ(ToolMain(3, argv), kExitBadArgument);
  const std::vector<std::string> trace = console.TraceLines();
  EXPECT_EQ(vexa_test::LinesStartingWith(trace, "allocate 4096 ok").size(), 1u);
  EXPECT_EQ(vexa_test::LinesStartingWith(trace, "free").size(),
            vexa_test::LinesStartingWith(trace, "allocate").size());
  // The image's buffer goes last, after the rejection.
  const size_t rejected = vexa_test::FindLine(trace, "set-attribute 04");
  EXPECT_LT(vexa_test::FindLine(trace, "free", rejected), trace.size());
}

}  // namespace
