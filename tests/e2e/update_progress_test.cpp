// Progress bars of whole updates against the block work on the bus, the
// last block of an image that ends inside it, and the timing of the flash
// work.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "e2e/update_expect.h"

namespace {

using namespace vexa_test;
using namespace vexa_test::update;

std::string Numbers(const std::vector<unsigned>& values) {
  std::string text;
  for (const unsigned v : values) {
    if (!text.empty()) text += ' ';
    text += std::to_string(v);
  }
  return text;
}

// Each cell of the program bar follows the last page of its block, each
// cell of the verify bar the last read of its block; the cells that fill
// a bar up to 12 follow the last block.
TEST(UpdateProgress, CellsFollowTheirBlocks) {
  // 65,537 bytes: the last block carries one image byte and 1023 zeros.
  const std::size_t sizes[] = {1024, 13 * 1024, 64 * 1024, 64 * 1024 + 1};
  std::uint32_t seed = 40;
  for (const std::size_t size : sizes) {
    SCOPED_TRACE(std::to_string(size) + " bytes");
    TempDir dir;
    const std::vector<std::uint8_t> image = MakeImage(size, ++seed);
    dir.Write("fw.bin", image);
    // A 52 30 with 256 KB of flash.
    const SimResult run = RunSim({"--chip", "52300008", "--flash", "flash.bin", "--trace",
                                  "bus.txt", "--io-trace", "io.txt"},
                                 {"fw.bin", "/id", "5230"}, dir.path());
    EXPECT_EQ(HideSeconds(run.out), Opening{}.Text() + Preparation(false, k5230, 0x80) +
                                        ImageLine("fw.bin", size) + FlashBars() +
                                        SuccessEnd(false, FwVersion(0x1A, 0x05)) + kEarlyStop);
    EXPECT_EQ(run.exitCode, 0);

    const unsigned sizeKb = static_cast<unsigned>((size + 1023) / 1024);
    const std::vector<unsigned> blocks = CellBlocks(sizeKb);
    const CellPlaces places = ReadCellPlaces(dir / "io.txt");
    // Four pages per block are programmed, eight halves of a page read.
    EXPECT_EQ(Numbers(places.program), Numbers(Scaled(blocks, 4)));
    EXPECT_EQ(Numbers(places.verify), Numbers(Scaled(blocks, 8)));

    // The image as it is in the file, its last block filled with zeros,
    // on the flash and in the data frames.
    EXPECT_EQ(FlashDifference(ReadBytes(dir / "flash.bin"), FlashAfterUpdate(image, 256)), "");
    WritePlan plan;
    plan.image = &image;
    EXPECT_EQ(FirstDifference(WritesWithoutBusyPolls(ReadLines(dir / "bus.txt"), 0x80),
                              ExpectedWrites(plan)),
              "");

    // The time is that of the wall clock read before the erase and after
    // the signature.
    const std::vector<long long> clock = ClockReadings(dir / "io.txt");
    ASSERT_EQ(clock.size(), 2u);
    EXPECT_NE(run.out.find(Console(Format("Time Consuming: %lld sec.\n\n", clock[1] - clock[0]))),
              std::string::npos);
  }
}

TEST(UpdateProgress, ExpectedCellPlacesOfTheQuotedSizes) {
  // The table the checks above are built from, against the sizes whose
  // bars are known by heart.
  EXPECT_EQ(Numbers(CellBlocks(64)), "1 7 13 19 25 31 37 43 49 55 61 64");
  EXPECT_EQ(Numbers(CellBlocks(128)), "1 12 23 34 45 56 67 78 89 100 111 122");
  EXPECT_EQ(Numbers(CellBlocks(13)), "1 3 5 7 9 11 13 13 13 13 13 13");
  EXPECT_EQ(Numbers(CellBlocks(1)), "1 1 1 1 1 1 1 1 1 1 1 1");
}

}  // namespace
