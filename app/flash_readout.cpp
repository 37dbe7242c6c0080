#include "app/flash_readout.h"

#include "app/exit_codes.h"
#include "app/firmware_image.h"
#include "app/image_passes.h"
#include "app/settings.h"
#include "pd/chip_info.h"
#include "pd/flash_bridge.h"
#include "pd/pd_settings.h"
#include "platform/console_text.h"
#include "platform/platform.h"
#include "platform/strings.h"

namespace {

// A data read on the wire: the address frame (FF FA and the address), the
// read command (FF FE 13 01), then the prefix written and 128 bytes read
// after a repeated start; each transaction begins with its address byte.
constexpr uint64_t kCommandFrameBytes = 1 + 4;
constexpr uint64_t kDataReadBytes = 1 + 2 + 1 + kDataFrameBytes;
constexpr uint64_t kBitsPerByte = 9;
constexpr uint64_t kBusHz = 400'000;

// The image a /check found not in the flash, named again in the run's last
// line.
const char* gDifferingImage = nullptr;

// The flash of this run, read whole: `bytes` holds sizeKb KB.
struct FlashCopy {
  uint8_t* bytes;
  uint32_t sizeKb;
};

bool Allocate(FlashCopy& copy) {
  copy.sizeKb = gChipInfo.flashSizeKb;
  copy.bytes = static_cast<uint8_t*>(PlatformAllocate(static_cast<size_t>(copy.sizeKb) * kFlashBlockSize));
  if (copy.bytes != nullptr) return true;
  ConsolePrint(u"\n\rMemory Allocate Fail!\n");
  return false;
}

void Release(FlashCopy& copy) {
  if (copy.bytes != nullptr) PlatformFree(copy.bytes);
  copy.bytes = nullptr;
}

void ShowBusCost(uint32_t sizeKb) {
  if (!gPdSettings.debug) return;
  const FlashReadCost cost = FlashReadBusCost(sizeKb, gChipInfo.addrBytes);
  ConsolePrint(u"Flash Read: 2 x %d frames of %d bytes, 2 x %d bus bytes, 2 x %d ms at 400 kHz\n",
               static_cast<int>(cost.frames), static_cast<int>(kDataFrameBytes),
               static_cast<int>(cost.busBytes), static_cast<int>(cost.bareUs / 1000));
}

// One read of the whole flash under its bar: the blocks go into `copy`, or
// with `compare` each is compared with what the first read left there.
// false at the first piece that did not arrive or the first difference
// (printed).
bool ReadPass(const char16_t* label, FlashCopy& copy, bool compare) {
  ConsolePrint(label);
  ProgressBar bar = {CellEvery(copy.sizeKb), 0};
  uint8_t block[kFlashBlockSize];
  for (uint32_t b = 0; b < copy.sizeKb; ++b) {
    const uint8_t unread = SpiReadBlock(static_cast<uint16_t>(b * 4), block);
    uint8_t* kept = copy.bytes + static_cast<size_t>(b) * kFlashBlockSize;
    if (unread != 0) {
      uint32_t piece = 0;
      while (((unread >> piece) & 1) == 0) ++piece;
      ConsolePrint(u"\n\nIndex[%02X] Read Back Fail!", b * kFlashBlockSize + piece * kDataFrameBytes);
      return false;
    }
    for (uint32_t i = 0; compare && i < kFlashBlockSize; ++i) {
      if (block[i] != kept[i]) {
        ConsolePrint(u"\n\nIndex[%02X] = %02X, First Read = %02X", b * kFlashBlockSize + i, block[i], kept[i]);
        return false;
      }
    }
    if (!compare) MemCopy(kept, block, kFlashBlockSize);
    AfterBlock(bar, b);
  }
  Complete(bar);
  return true;
}

// Both reads, the second compared with the first.
bool ReadTwice(const char16_t* firstLabel, FlashCopy& copy) {
  ShowBusCost(copy.sizeKb);
  if (!ReadPass(firstLabel, copy, false) || !ReadPass(u"\n\nReread   : ", copy, true)) {
    ConsolePrint(u"\n\nFlash Read Fail!\n\n");
    return false;
  }
  return true;
}

bool IsErased(const uint8_t* bytes, size_t count) {
  for (size_t i = 0; i < count; ++i) {
    if (bytes[i] != 0xFF) return false;
  }
  return true;
}

// Writes `count` bytes of the copy into `name`, replacing what it held, and
// flushes them to the medium.
bool WriteFlashFile(const char* name, const FlashCopy& copy, size_t count) {
  PlatformFile* file = PlatformFileOpenWrite(name, PlatformWriteMode::Replace, nullptr);
  if (file == nullptr) {
    StdPrintf("\n\n\rFile Create Fail! %s cannot be written.\n", name);
    return false;
  }
  const bool written = PlatformFileWrite(file, copy.bytes, count) && PlatformFileFlush(file);
  PlatformFileClose(file);
  if (!written) StdPrintf("\n\n\rFile Write Fail! %s does not hold the flash.\n", name);
  return written;
}

// The copy's length without its trailing erased kilobytes: an update with
// the file leaves them erased again. The first kilobyte, which holds the
// signature block, always stays.
size_t WithoutErasedTail(const FlashCopy& copy) {
  size_t kb = copy.sizeKb;
  while (kb > 1 && IsErased(copy.bytes + (kb - 1) * kFlashBlockSize, kFlashBlockSize)) --kb;
  return kb * kFlashBlockSize;
}

int Dump(FlashCopy& copy) {
  StdPrintf("\n\rDump: %s, Flash: %d KBytes\n\n", gSettings.dumpFile, static_cast<int>(copy.sizeKb));
  if (!ReadTwice(u"\nRead     : ", copy)) return kExitFailure;
  if (!WriteFlashFile(gSettings.dumpFile, copy, static_cast<size_t>(copy.sizeKb) * kFlashBlockSize)) {
    return kExitFailure;
  }
  StdPrintf("\n\n\rDump Success! %s holds the %d KBytes of the flash.\n\n", gSettings.dumpFile,
            static_cast<int>(copy.sizeKb));
  return kExitSuccess;
}

int Check(FlashCopy& copy, const FirmwareImage& image) {
  // An update would refuse such an image; its first kilobytes alone must
  // not pass for a match.
  if (!ShowImageFitsFlash(image, copy.sizeKb)) {
    ConsolePrint(u"\n\n");
    return kExitFailure;
  }
  if (!ReadTwice(u"\nRead     : ", copy)) return kExitFailure;
  uint32_t differing = 0;
  uint32_t first = 0;
  const uint32_t size = copy.sizeKb * kFlashBlockSize;
  for (uint32_t at = 0; at < size; ++at) {
    if (copy.bytes[at] == UpdatedFlashByte(image, at)) continue;
    if (differing++ == 0) first = at;
  }
  if (differing == 0) {
    StdPrintf("\n\n\rCheck Match! The flash holds %s as an update leaves it.\n\n", image.fileName);
    return kExitSuccess;
  }
  gDifferingImage = image.fileName;
  ConsolePrint(u"\n\n\rCheck Differs! First difference at Index[%02X] = %02X, Update Leaves %02X; %d bytes differ.\n\n",
               first, copy.bytes[first], UpdatedFlashByte(image, first), static_cast<int>(differing));
  return kExitFlashDiffers;
}

}  // namespace

FlashReadCost FlashReadBusCost(uint32_t flashKb, uint32_t addrBytes) {
  const uint64_t addressFrameBytes = 1 + 2 + addrBytes;
  FlashReadCost cost;
  cost.frames = flashKb * (kFlashBlockSize / kDataFrameBytes);
  cost.busBytes = cost.frames * (addressFrameBytes + kCommandFrameBytes + kDataReadBytes);
  cost.bareUs = cost.busBytes * kBitsPerByte * 1'000'000 / kBusHz;
  return cost;
}

uint8_t UpdatedFlashByte(const FirmwareImage& image, uint32_t at) {
  if (at >= kSignatureOffset && at < kSignatureOffset + kSignatureLength) return image.signature[at - kSignatureOffset];
  if (at < image.size) return image.content[at];
  if (at < image.sizeKb * kFlashBlockSize) return 0x00;
  return 0xFF;
}

bool ReadoutRequested() { return gSettings.dumpFile != nullptr || gSettings.check; }

bool BackupFlash() {
  FlashCopy copy{};
  bool saved = Allocate(copy) && ReadTwice(u"\nBackup   : ", copy);
  const size_t kept = saved ? WithoutErasedTail(copy) : 0;
  saved = saved && WriteFlashFile(gSettings.backupFile, copy, kept);
  Release(copy);
  if (!saved) {
    ConsolePrint(u"\n\rBackup Fail! Nothing was erased: the board keeps its firmware. Mend the cause above, then run VEXA again.\n");
    return false;
  }
  StdPrintf("\n\n\rBackup Saved: %s, %d KBytes\n", gSettings.backupFile, static_cast<int>(kept / kFlashBlockSize));
  return true;
}

int ReadOutFlash(const FirmwareImage& image) {
  gDifferingImage = nullptr;
  FlashCopy copy{};
  if (!Allocate(copy)) return kExitFailure;
  const int code = gSettings.check ? Check(copy, image) : Dump(copy);
  Release(copy);
  return code;
}

int EndReadout(int readoutCode, bool restarted) {
  // The verdict stands whether or not the controller came up: a flash that
  // does not hold its firmware may well be why it does not.
  if (readoutCode == kExitFlashDiffers) {
    StdPrintf("\nThe board does not hold %s: update it with VEXA %s /id %04X (with /force if Get_PD_ver fails).\n",
              gDifferingImage, gDifferingImage, static_cast<unsigned>(gSettings.expectedChipId));
    return kExitFlashDiffers;
  }
  if (!restarted) {
    ConsolePrint(u"\nPD FW Not Restarted! The flash was only read; run VEXA again "
                 u"(with /force if Get_PD_ver fails).\n");
    return kExitFailure;
  }
  if (readoutCode != kExitSuccess) ConsolePrint(u"\nFlash Not Read! The flash was not changed; mend the cause above, then run VEXA again.\n");
  return readoutCode;
}
