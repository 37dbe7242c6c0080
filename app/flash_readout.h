// Reading the whole flash out through the bridge's data reads, for /backup
// (before the erase), /dump and /check (in place of the flash work). The
// flash is always read twice and the second read compared with the first:
// a transfer that went wrong without saying so cannot pass for the flash.
#pragma once

#include <stdint.h>

struct FirmwareImage;

// One read of a whole flash of flashKb KB on the bus: its frames (one per
// 128-byte piece, each with its address and command frame), every byte
// they put on the wire (I2C address bytes included, as the bus counts
// them) and the bare time of those bytes at 400 kHz, 9 bit times a byte.
struct FlashReadCost {
  uint32_t frames;
  uint64_t busBytes;
  uint64_t bareUs;
};
FlashReadCost FlashReadBusCost(uint32_t flashKb, uint32_t addrBytes);

// What an update with `image` leaves at flash byte `at`: the file's bytes
// (the signature too, programmed last over its erased block), zeros to the
// end of the image's last 1 KB block, erased bytes beyond.
uint8_t UpdatedFlashByte(const FirmwareImage& image, uint32_t at);

// /dump or /check: the flash is read instead of erased and programmed.
bool ReadoutRequested();

// /backup, right before the erase: the flash, read twice, into the backup
// file, flushed, without its trailing erased kilobytes (the first one is
// always kept). true when the file holds it; otherwise the failure has been
// printed and nothing may be erased.
bool BackupFlash();

// /dump or /check, after the test-mode preparation: reads the flash twice
// and writes the file or compares it with `image`, printing the result.
// Returns the exit code of the run, should the ending restart the
// controller: 0, kExitFlashDiffers or kExitFailure.
int ReadOutFlash(const FirmwareImage& image);

// The end of a /dump or /check run, after the ending: `restarted` says
// whether the controller runs its firmware again. Prints the line the
// operator acts on and returns the run's exit code.
int EndReadout(int readoutCode, bool restarted);
