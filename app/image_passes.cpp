#include "app/image_passes.h"

#include "app/firmware_image.h"
#include "pd/flash_bridge.h"
#include "platform/console_text.h"
#include "platform/strings.h"

namespace {

// The image bytes of one block; past the image's end the block holds 0x00,
// which is also what the verify expects there.
void CopyBlock(const FirmwareImage& image, uint32_t block, uint8_t* to) {
  MemFill(to, 0x00, kFlashBlockSize);
  const size_t start = static_cast<size_t>(block) * kFlashBlockSize;
  const size_t left = image.size - start;
  MemCopy(to, image.content + start, left < kFlashBlockSize ? left : kFlashBlockSize);
}

}  // namespace

void AfterBlock(ProgressBar& bar, uint32_t block) {
  if (block % bar.cellEvery == 0 && bar.printed < kCellsPerBar) {
    ConsolePrint(u"%c", kCell);
    ++bar.printed;
  }
}

void Complete(ProgressBar& bar) {
  while (bar.printed < kCellsPerBar) {
    ConsolePrint(u"%c", kCell);
    ++bar.printed;
  }
}

uint32_t CellEvery(uint32_t sizeKb) {
  const uint32_t every = (sizeKb + kCellsPerBar - 1) / kCellsPerBar;
  return every == 0 ? 1 : every;
}

bool ProgramPass(const FirmwareImage& image, uint32_t cellEvery) {
  ProgressBar bar = {cellEvery, 0};
  uint8_t bytes[kFlashBlockSize];
  for (uint32_t block = 0; block < image.sizeKb; ++block) {
    CopyBlock(image, block, bytes);
    if (!SpiProgramBlock(static_cast<uint16_t>(block * 4), bytes)) return false;
    AfterBlock(bar, block);
  }
  Complete(bar);
  return true;
}

bool VerifyPass(const FirmwareImage& image, uint32_t cellEvery) {
  ProgressBar bar = {cellEvery, 0};
  uint8_t expected[kFlashBlockSize];
  uint8_t readBack[kFlashBlockSize];
  for (uint32_t block = 0; block < image.sizeKb; ++block) {
    const uint8_t unread = SpiReadBlock(static_cast<uint16_t>(block * 4), readBack);
    CopyBlock(image, block, expected);
    bool differs = false;
    for (uint32_t i = 0; i < kFlashBlockSize; ++i) {
      // A piece that did not arrive proves nothing, even where its zeros
      // equal the image: the flash may still be erased there.
      if (((unread >> (i / kDataFrameBytes)) & 1) != 0) {
        ConsolePrint(u"\n\nIndex[%02X] Read Back Fail!", block * kFlashBlockSize + i);
        differs = true;
        break;
      }
      if (readBack[i] != expected[i]) {
        ConsolePrint(u"\n\nIndex[%02X] = %02X, Bin Data = %02X", block * kFlashBlockSize + i,
                     readBack[i], expected[i]);
        differs = true;
        break;
      }
    }
    AfterBlock(bar, block);
    if (differs) return false;
  }
  Complete(bar);
  return true;
}
