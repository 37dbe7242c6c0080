#include "app/firmware_image.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "e2e/cli_texts.h"
#include "support/console_capture.h"
#include "support/sim_process.h"

namespace {

using vexa_test::ConsoleCapture;
using vexa_test::TempDir;

class FirmwareImageTest : public ::testing::Test {
 protected:
  void SetUp() override { ResetRunRecords(); }
  void TearDown() override { ReleaseFirmwareImage(image_); }

  std::vector<std::string> Trace() { return console_.TraceLines(); }

  FirmwareImage image_{};
  TempDir dir_;
  ConsoleCapture console_;
};

TEST_F(FirmwareImageTest, LoadsTheWholeFileAndTakesOutTheSignature) {
  const std::vector<uint8_t> bytes = vexa_test::MakeImage(65536, 7);
  const std::string name = dir_.Write("fw.bin", bytes).string();

  ASSERT_TRUE(LoadFirmwareImage(name.c_str(), image_));
  EXPECT_TRUE(image_.loaded);
  EXPECT_EQ(image_.fileName, name.c_str());
  ASSERT_EQ(image_.size, bytes.size());
  EXPECT_EQ(image_.sizeKb, 64u);

  std::vector<uint8_t> expected = bytes;
  for (size_t i = 0x40; i < 0x50; ++i) expected[i] = 0xFF;
  EXPECT_EQ(std::vector<uint8_t>(image_.content, image_.content + image_.size), expected);
  EXPECT_EQ(std::vector<uint8_t>(image_.signature, image_.signature + 16),
            std::vector<uint8_t>(bytes.begin() + 0x40, bytes.begin() + 0x50));
  EXPECT_EQ(console_.text(), "");

  // Opened once, one buffer of exactly the file's size kept, closed; then
  // its SHA-256 file is looked for (a name built for the purpose).
  const std::vector<std::string> trace = Trace();
  EXPECT_EQ(vexa_test::LinesStartingWith(trace, "open"),
            (std::vector<std::string>{"open \"" + name + "\" ok", "open \"" + name + ".sha256\" fail"}));
  EXPECT_EQ(vexa_test::LinesStartingWith(trace, "allocate"),
            (std::vector<std::string>{"allocate 65536 ok", "allocate " + std::to_string(name.size() + 8) + " ok"}));
  EXPECT_EQ(vexa_test::LinesStartingWith(trace, "free").size(), 1u);
  EXPECT_EQ(vexa_test::LinesStartingWith(trace, "close").size(), 1u);
}

TEST(FirmwareImageSize, Boundaries) {
  TempDir dir;
  // The smallest image holds the signature block; one byte less is refused
  // before anything is allocated or read.
  const struct {
    size_t size;
    bool accepted;
  } cases[] = {{0x50, true}, {0x4F, false}, {1, false}, {0, false}, {kMaxImageBytes, true},
               {kMaxImageBytes + 1, false}};
  for (const auto& c : cases) {
    ConsoleCapture console;
    FirmwareImage image{};
    const std::filesystem::path file = dir / ("size" + std::to_string(c.size) + ".bin");
    dir.Write(file.filename().string(), {});
    std::filesystem::resize_file(file, c.size);
    const std::string name = file.string();

    EXPECT_EQ(LoadFirmwareImage(name.c_str(), image), c.accepted) << c.size;
    EXPECT_EQ(image.loaded, c.accepted) << c.size;
    const std::vector<std::string> trace = console.TraceLines();
    if (c.accepted) {
      EXPECT_EQ(image.size, c.size);
      EXPECT_EQ(console.text(), "");
    } else {
      const std::string expected =
          c.size < 0x50 ? "\r\nFile Too Small! An image has at least 80 bytes.\r\n\r\n"
                        : "\r\nFile Too Large! An image has at most 16384 KBytes.\r\n\r\n";
      EXPECT_EQ(console.text(), expected) << c.size;
      EXPECT_TRUE(vexa_test::LinesStartingWith(trace, "allocate").empty()) << c.size;
      EXPECT_TRUE(vexa_test::LinesStartingWith(trace, "read").empty()) << c.size;
      EXPECT_EQ(vexa_test::LinesStartingWith(trace, "close").size(), 1u) << c.size;
    }
    ReleaseFirmwareImage(image);
  }
}

// An image whose signature block is blank would leave a controller that
// does not start its firmware: it is refused, and only then.
TEST_F(FirmwareImageTest, BlankSignatureBlockIsRefused) {
  for (const size_t notFf : {0x40, 0x4F, 0x00}) {  // the one signature byte not 0xFF; 0: none
    std::vector<uint8_t> bytes(0x60, 0xFF);
    bytes[notFf] = 0xFE;
    const std::string name = dir_.Write("sig.bin", bytes).string();
    EXPECT_EQ(LoadFirmwareImage(name.c_str(), image_), notFf != 0) << notFf;
    EXPECT_EQ(image_.loaded, notFf != 0) << notFf;
  }
  EXPECT_EQ(console_.text(), "\r\nFile Not Signed! Bytes 0x40 to 0x4F of an image must not all be FF.\r\n\r\n");
}

TEST_F(FirmwareImageTest, MissingFile) {
  const std::string name = (dir_ / "absent.bin").string();
  EXPECT_FALSE(LoadFirmwareImage(name.c_str(), image_));
  EXPECT_EQ(console_.text(), vexa_test::FileOpenFailed(name));
  EXPECT_FALSE(image_.loaded);
}

TEST_F(FirmwareImageTest, FailedAllocation) {
  const std::string name = dir_.Write("fw.bin", vexa_test::MakeImage(4096)).string();
  console_.session().allocationLimit = 4095;
  EXPECT_FALSE(LoadFirmwareImage(name.c_str(), image_));
  EXPECT_EQ(console_.text(), "\r\nMemory Allocate Fail!\r\n\r\n");
  EXPECT_FALSE(image_.loaded);
  EXPECT_EQ(vexa_test::LinesStartingWith(Trace(), "close").size(), 1u);
}

TEST_F(FirmwareImageTest, ShortReadIsRefused) {
  // sysfs attributes report a length of one page but deliver a few bytes.
  const char* file = "/sys/devices/system/cpu/online";
  if (!std::filesystem::exists(file)) GTEST_SKIP() << file << " is not available here";
  EXPECT_FALSE(LoadFirmwareImage(file, image_));
  EXPECT_EQ(console_.text(), "\r\nFile Read Fail!\r\n\r\n");
  EXPECT_FALSE(image_.loaded);
  const std::vector<std::string> trace = Trace();
  // The buffer is given back and the file closed.
  EXPECT_EQ(vexa_test::LinesStartingWith(trace, "free").size(), 1u);
  EXPECT_EQ(vexa_test::LinesStartingWith(trace, "close").size(), 1u);
}

TEST_F(FirmwareImageTest, ALaterImageReplacesAndReleasesTheEarlierOne) {
  const auto firstBytes = vexa_test::MakeImage(2048, 1);
  const auto secondBytes = vexa_test::MakeImage(100, 2);
  const std::string first = dir_.Write("a.bin", firstBytes).string();
  const std::string second = dir_.Write("b.bin", secondBytes).string();

  ASSERT_TRUE(LoadFirmwareImage(first.c_str(), image_));
  ASSERT_TRUE(LoadFirmwareImage(second.c_str(), image_));
  EXPECT_EQ(image_.fileName, second.c_str());
  ASSERT_EQ(image_.size, 100u);
  EXPECT_EQ(image_.content[99], secondBytes[99]);
  EXPECT_EQ(image_.signature[15], secondBytes[0x4F]);

  const std::vector<std::string> trace = Trace();
  const size_t secondOpen = vexa_test::FindLine(trace, "open \"" + second + "\"");
  const size_t release = vexa_test::FindLine(trace, "free");
  EXPECT_LT(release, secondOpen);

  // A failing later image leaves no image behind.
  ASSERT_FALSE(LoadFirmwareImage((dir_ / "c.bin").string().c_str(), image_));
  EXPECT_FALSE(image_.loaded);
  EXPECT_EQ(image_.content, nullptr);
  // Both image buffers are released, as are the names of their .sha256 files.
  EXPECT_EQ(vexa_test::LinesStartingWith(Trace(), "free").size(), 4u);
}

TEST(FirmwareImageSizeKb, RoundsUp) {
  EXPECT_EQ(FirmwareImageSizeKb(0), 0u);
  EXPECT_EQ(FirmwareImageSizeKb(1), 1u);
  EXPECT_EQ(FirmwareImageSizeKb(1024), 1u);
  EXPECT_EQ(FirmwareImageSizeKb(1025), 2u);
  EXPECT_EQ(FirmwareImageSizeKb(65536), 64u);
  EXPECT_EQ(FirmwareImageSizeKb(65537), 65u);
  EXPECT_EQ(FirmwareImageSizeKb(kMaxImageBytes), 16384u);
}

}  // namespace
