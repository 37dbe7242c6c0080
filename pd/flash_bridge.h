// The PD controller's flash bridge: frames that reach its SPI flash.
// Everything goes to the current I2C target, which GetChipId left at
// slaveAddr, and uses the geometry GetChipId found.
#pragma once

#include <stdint.h>

// The codes of the bridge command frame.
enum class SpiCommand : uint8_t {
  WriteEnable = 0x04,
  WriteDisable = 0x05,
  ChipErase = 0x07,
  ReadStatus = 0x09,
  Read = 0x13,
  PageProgram = 0x16,
};

inline constexpr uint32_t kFlashBlockSize = 1024;

// Every operation here that reports true or false reports true for success.

// Sends the bridge command frame FF FE code 01.
bool SpiBridgeCommand(SpiCommand command);

// WriteEnable enables writing, any other mode disables it. true when the
// status confirmed the mode, false after 101 failed tries (message printed).
bool SpiWriteControl(SpiCommand mode);

// Points the bridge at `offset` in flash page `page`.
bool SpiSetAddress(uint16_t page, uint8_t offset);

enum class EraseResult : uint8_t {
  Erased,       // 12 progress cells printed
  NotStarted,   // the flash is as it was (failure printed)
  Unconfirmed,  // the erase command went out, or one was found running (failure printed)
};

// The whole chip's erase, its busy poll and its bar. A write enable refused
// while an earlier run's erase still runs is tried again once that erase is
// over; a busy read the chip does not answer counts as busy.
EraseResult SpiChipErase();

inline constexpr uint32_t kDataFrameBytes = 128;

// The step at which a page program stopped, or Done.
enum class PageProgramResult : uint8_t {
  Done,
  WriteEnableFailed,   // its text printed; nothing else sent
  AddressRefused,      // the flash has not been touched
  CommandRefused,      // the flash has not been touched
  DataRefused,         // part of the data may have been programmed
  WriteDisableFailed,  // its text printed; the data went out
};

// One page program: write enable, the address frame for `offset` in `page`,
// the page-program command, `count` bytes from `data` in data frames of at
// most kDataFrameBytes, write disable. Stops at the first step that fails;
// only the write control prints anything, the caller says what failed.
// `offset` + `count` must stay within the 256-byte page.
PageProgramResult SpiProgramPage(uint16_t page, uint8_t offset, const uint8_t* data, uint32_t count);

// One data read of the bridge: address frame, read command, then
// kDataFrameBytes bytes from the data port into `piece` (zeros where none
// arrived). true when all three transfers succeeded.
bool SpiReadFrame(uint16_t page, uint8_t offset, uint8_t* piece);

// The 1 KB block's kDataFrameBytes pieces; SpiReadBlock reports each in
// one bit.
inline constexpr uint32_t kPiecesPerBlock = kFlashBlockSize / kDataFrameBytes;
static_assert(kPiecesPerBlock <= 8);

// For both block operations `base` is the first 256-byte page of the block
// (block number x 4) and `block` holds kFlashBlockSize bytes.

// Programs `block` page by page with SpiProgramPage and stops at the first
// page that fails. false = failure (printed).
bool SpiProgramBlock(uint16_t base, const uint8_t* block);

// Reads the flash block into `block`. Returns not a status but the pieces
// whose read failed, bit k for piece k (0: all arrived). A failed piece
// holds zeros where its bytes did not arrive, which may well be what the
// flash should hold: only this result tells it was not read.
uint8_t SpiReadBlock(uint16_t base, uint8_t* block);
