// PD controller options and faults as vexa-sim takes them, and the flash
// file the controller keeps between runs.
#include "sim/pd_options.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "sim/clock.h"
#include "sim/pd_controller.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// Parses one option with its value; returns the result and leaves the index.
sim::OptionResult Parse(sim::PdConfig& config, std::vector<const char*> args, int& index, std::string& error) {
  args.insert(args.begin(), "vexa-sim");
  index = 1;
  return sim::ParsePdOption(config, static_cast<int>(args.size()), args.data(), index, error);
}

TEST(PdOptions, ValuesGoIntoTheConfig) {
  sim::PdConfig config;
  std::string error;
  int index = 0;
  const std::vector<std::vector<const char*>> options = {
      {"--chip", "8853a0ff"},           {"--sa", "d0"},         {"--tcpi", "0x50"},       {"--fw-version", "010A"},
      {"--pd-version", "0102030A0BFF"}, {"--flash-size", "64"}, {"--flash", "board.bin"},
  };
  for (const auto& option : options) {
    ASSERT_EQ(Parse(config, option, index, error), sim::OptionResult::Taken) << option[0] << ": " << error;
    EXPECT_EQ(index, 3) << option[0];
  }
  EXPECT_EQ(config.chipId, (std::array<std::uint8_t, 4>{0x88, 0x53, 0xA0, 0xFF}));
  EXPECT_EQ(config.address, 0xD0);
  EXPECT_EQ(config.TcpiAddress(), 0x50);
  EXPECT_EQ(config.fwVersion, (std::array<std::uint8_t, 2>{0x01, 0x0A}));
  EXPECT_EQ(config.pdVersion, (std::array<std::uint8_t, 6>{0x01, 0x02, 0x03, 0x0A, 0x0B, 0xFF}));
  EXPECT_EQ(config.FlashSizeKb(), 64u);
  EXPECT_EQ(config.flashPath, "board.bin");
  // Every option is in the help text.
  const std::string help = sim::PdOptionsHelp();
  for (const auto& option : options) EXPECT_NE(help.find(std::string(option[0]) + " "), std::string::npos) << option[0];
}

TEST(PdOptions, DefaultsAndTheTcpiAddressOfTheChipsFamily) {
  sim::PdConfig config;
  EXPECT_EQ(config.chipId, (std::array<std::uint8_t, 4>{0x52, 0x30, 0x00, 0x08}));
  EXPECT_EQ(config.FlashSizeKb(), 256u);
  EXPECT_EQ(config.EraseDurationNs(), 384'000'000u);
  EXPECT_EQ(sim::FlashSizeWarning(config), "");
  config.eraseTimeUs = 1'000;
  EXPECT_EQ(config.EraseDurationNs(), 1'000'000u);

  // Where a chip answers its version queries without --tcpi, by chip ID and
  // firmware address; --tcpi always wins.
  const struct {
    std::array<std::uint8_t, 4> id;
    std::uint8_t sa;
    std::uint8_t tcpi;
  } cases[] = {{{0x88, 0x56}, 0x80, 0x98}, {{0x88, 0x57}, 0x84, 0x9C}, {{0x52, 0x56}, 0x80, 0x98},
               {{0x88, 0x56}, 0xD0, 0xD0}, {{0x52, 0x30}, 0xCC, 0x4C}, {{0x52, 0x31}, 0xCE, 0x4E},
               {{0x58, 0x00}, 0xD0, 0x50}, {{0x52, 0x30}, 0xD2, 0x52}, {{0x52, 0x30}, 0x80, 0x80},
               {{0x88, 0x58}, 0xD0, 0xD0}, {{0x88, 0x53}, 0xCC, 0xCC}, {{0x52, 0x30}, 0xD4, 0xD4}};
  for (const auto& c : cases) EXPECT_EQ(sim::DefaultTcpiAddressForChip(c.id, c.sa), c.tcpi) << int(c.sa);
  config.chipId = {0x88, 0x56, 0x00, 0x00};
  EXPECT_EQ(config.TcpiAddress(), 0x98);
  config.tcpiAddress = 0xA0;
  EXPECT_EQ(config.TcpiAddress(), 0xA0);
}

// The flash follows the size bits of the chip ID unless --flash-size says
// otherwise; a size the chip disagrees with is taken, with a warning.
TEST(PdOptions, TheFlashSizeFollowsTheChipId) {
  const struct {
    std::array<std::uint8_t, 4> id;
    unsigned kb;
  } chips[] = {{{0x52, 0x30, 0x00, 0x00}, 64},  {{0x52, 0x30, 0x00, 0x04}, 128}, {{0x52, 0x30, 0x00, 0x08}, 256},
               {{0x52, 0x30, 0x80, 0x0C}, 128}, {{0x52, 0x31, 0x80, 0x00}, 128}, {{0x52, 0x51, 0x80, 0x00}, 64},
               {{0x52, 0x51, 0x00, 0x00}, 128}, {{0x88, 0x53, 0x00, 0x00}, 64},  {{0x88, 0x56, 0x00, 0x08}, 256},
               {{0x88, 0x51, 0x80, 0x00}, 64},  {{0x88, 0x51, 0x04, 0x00}, 32},  {{0x88, 0x51, 0x05, 0x00}, 128},
               {{0x77, 0x30, 0x00, 0x00}, 256}};
  for (const auto& chip : chips) {
    sim::PdConfig config;
    config.chipId = chip.id;
    EXPECT_EQ(config.FlashSizeKb(), chip.kb) << int{chip.id[0]} << " " << int{chip.id[1]};
    config.flashSizeKb = chip.kb;
    EXPECT_EQ(sim::FlashSizeWarning(config), "");
  }
  sim::PdConfig config;
  config.flashSizeKb = 32;
  EXPECT_EQ(config.FlashSizeKb(), 32u);
  EXPECT_EQ(sim::FlashSizeWarning(config),
            "--flash-size 32 differs from the 256 KB that chip 52300008 reports; the board has a 32 KB flash all "
            "the same");
}

TEST(PdOptions, BadValuesAreErrorsAndOtherOptionsUnknown) {
  const std::vector<std::vector<const char*>> bad = {
      {"--chip", "5230"},
      {"--chip", "5230000G"},
      {"--chip", "523000000"},
      {"--sa", "81"},
      {"--sa", "0"},
      {"--sa", "180"},
      {"--tcpi", "x"},
      {"--fw-version", "1A5"},
      {"--pd-version", "01020304050"},
      {"--flash-size", "0"},
      {"--flash-size", "0x40"},
      {"--flash-size", "16385"},
      {"--flash", ""},
      {"--chip"},
  };
  for (const auto& option : bad) {
    sim::PdConfig config;
    const sim::PdConfig before = config;
    std::string error;
    int index = 0;
    EXPECT_EQ(Parse(config, option, index, error), sim::OptionResult::Error) << option[0];
    EXPECT_FALSE(error.empty());
    EXPECT_NE(error.find(option[0]), std::string::npos) << error;
    EXPECT_EQ(index, 1);
    EXPECT_EQ(config.chipId, before.chipId);
    EXPECT_EQ(config.address, before.address);
  }
  sim::PdConfig config;
  std::string error;
  int index = 0;
  EXPECT_EQ(Parse(config, {"--platform", "amd"}, index, error), sim::OptionResult::Unknown);
  EXPECT_EQ(index, 1);
  EXPECT_EQ(Parse(config, {"--chipid", "52300000"}, index, error), sim::OptionResult::Unknown);
}

TEST(PdOptions, FaultsCombine) {
  sim::PdConfig config;
  std::string error;
  for (const char* fault : {"absent", "tcpi-absent", "erase-stuck", "status-invalid", "wel-stuck", "nack-write=3",
                            "nack-write=7", "nack-read=12", "flip=0x1234", "flip=4096", "nack-data=4", "drop-write=5",
                            "power-loss=9", "power-loss=8"}) {
    EXPECT_TRUE(sim::IsPdFaultName(fault)) << fault;
    EXPECT_TRUE(sim::ParsePdFault(config, fault, error)) << fault << ": " << error;
  }
  const sim::PdFaults& f = config.faults;
  EXPECT_TRUE(f.absent && f.tcpiAbsent && f.eraseStuck && f.statusInvalid && f.welStuck);
  EXPECT_EQ(f.nackWrite, (std::set<std::uint64_t>{3, 7}));
  EXPECT_EQ(f.nackRead, (std::set<std::uint64_t>{12}));
  EXPECT_EQ(f.flips, (std::set<std::uint32_t>{0x1234, 4096}));
  EXPECT_EQ(f.nackData, (std::set<std::uint64_t>{4}));
  EXPECT_EQ(f.dropWrite, (std::set<std::uint64_t>{5}));
  EXPECT_EQ(f.powerLoss, 8u) << "the earliest power loss counts";

  for (const char* fault : {"controller-dead", "absent=1", "nack-write", "nack-write=0", "nack-read=x",
                            "flip=", "flip=12ab", "flip=0x", "flip=0x100000000", "wel-stuck=yes", "power-loss",
                            "drop-write=0", "nack-data=x"}) {
    sim::PdConfig untouched;
    error.clear();
    EXPECT_FALSE(sim::ParsePdFault(untouched, fault, error)) << fault;
    EXPECT_FALSE(error.empty()) << fault;
  }
  EXPECT_FALSE(sim::IsPdFaultName("controller-dead"));
}

class FlashFile : public testing::Test {
 protected:
  void SetUp() override {
    path_ = (std::filesystem::temp_directory_path() /
             ("vexa_pd_flash_" + std::to_string(::getpid()) + "_" +
              testing::UnitTest::GetInstance()->current_test_info()->name() + ".bin"))
                .string();
    std::filesystem::remove(path_);
  }
  void TearDown() override { std::filesystem::remove(path_); }

  void WriteFile(const Bytes& bytes) {
    std::ofstream out(path_, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  }
  Bytes ReadFile() {
    std::ifstream in(path_, std::ios::binary);
    return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  }

  sim::PdConfig Config(unsigned kb) {
    sim::PdConfig config;
    config.flashSizeKb = kb;
    config.flashPath = path_;
    return config;
  }

  std::string path_;
  std::string config_error_;
  sim::Clock clock_;
};

TEST_F(FlashFile, MissingFileStartsWithASignedFactoryImageAndIsCreated) {
  auto pd = sim::PdController::Create(Config(2), clock_, config_error_);
  ASSERT_NE(pd, nullptr) << config_error_;
  const Bytes& cells = pd->flash().cells();
  EXPECT_NE(Bytes(cells.begin() + 0x40, cells.begin() + 0x50), Bytes(16, 0xFF));
  EXPECT_TRUE(pd->firmwareBooted());
  ASSERT_TRUE(pd->Finish(config_error_));
  EXPECT_EQ(ReadFile(), cells);
}

TEST_F(FlashFile, SmallerFileIsPaddedWithFfAndSavedWhole) {
  WriteFile({0x00, 0x11, 0x22});
  auto pd = sim::PdController::Create(Config(1), clock_, config_error_);
  ASSERT_NE(pd, nullptr) << config_error_;
  Bytes expected(1024, 0xFF);
  expected[0] = 0x00;
  expected[1] = 0x11;
  expected[2] = 0x22;
  EXPECT_EQ(pd->flash().cells(), expected);
  pd->flash().cells()[1023] = 0x42;
  ASSERT_TRUE(pd->Finish(config_error_)) << config_error_;
  expected[1023] = 0x42;
  EXPECT_EQ(ReadFile(), expected);
}

TEST_F(FlashFile, LargerFileIsAnError) {
  WriteFile(Bytes(1025, 0x00));
  EXPECT_EQ(sim::PdController::Create(Config(1), clock_, config_error_), nullptr);
  EXPECT_NE(config_error_.find("1025"), std::string::npos) << config_error_;
  EXPECT_NE(config_error_.find(path_), std::string::npos) << config_error_;
}

TEST_F(FlashFile, EraseDueByTheEndIsSavedAndReadFlipsAreNot) {
  WriteFile(Bytes(1024, 0x00));
  sim::PdConfig config = Config(1);
  config.faults.flips = {5};
  auto pd = sim::PdController::Create(config, clock_, config_error_);
  ASSERT_NE(pd, nullptr) << config_error_;
  EXPECT_EQ(pd->flash().Read(5), 0x01);
  ASSERT_TRUE(pd->Finish(config_error_));
  EXPECT_EQ(ReadFile(), Bytes(1024, 0x00));

  // An erase under way completes at Finish once its time has passed.
  ASSERT_TRUE(pd->flash().WriteEnable(clock_.NowNs()));
  ASSERT_TRUE(pd->flash().StartChipErase(clock_.NowNs(), 1'000'000));
  ASSERT_TRUE(pd->Finish(config_error_));
  EXPECT_EQ(ReadFile(), Bytes(1024, 0x00)) << "not yet";
  clock_.AdvanceUs(1'000);
  ASSERT_TRUE(pd->Finish(config_error_));
  EXPECT_EQ(ReadFile(), Bytes(1024, 0xFF));
}

TEST(PdConfigChecks, ImpossibleConfigsAreRefused) {
  sim::Clock clock;
  std::string error;
  sim::PdConfig config;
  config.flashSizeKb = 0;
  EXPECT_EQ(sim::PdController::Create(config, clock, error), nullptr);
  EXPECT_NE(error.find("flash size"), std::string::npos) << error;
  config = {};
  config.tcpiAddress = 0x51;
  EXPECT_EQ(sim::PdController::Create(config, clock, error), nullptr);
  config = {};
  config.flashPath = std::filesystem::temp_directory_path().string();  // a directory
  EXPECT_EQ(sim::PdController::Create(config, clock, error), nullptr);
}

}  // namespace
