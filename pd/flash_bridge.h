// The PD controller's flash bridge: frames that reach its SPI flash.
// Everything goes to the current I2C target, which Get_chipID left at
// SlaveAddr, and uses the geometry Get_chipID found.
#pragma once

#include <stdint.h>

enum SpiBridgeCode : uint8_t {
  SPI_CMD_WRITE_ENABLE = 0x04,
  SPI_CMD_WRITE_DISABLE = 0x05,
  SPI_CMD_CHIP_ERASE = 0x07,
  SPI_CMD_READ_STATUS = 0x09,
  SPI_CMD_READ = 0x13,
  SPI_CMD_PAGE_PROGRAM = 0x16,
};

inline constexpr uint32_t kFlashBlockSize = 1024;

// The 1 KB block SPI_Program1K programs, and the block SpiRead1K fills.
extern uint8_t ProgramBuffer[kFlashBlockSize];
extern uint8_t ReadBackBuffer[kFlashBlockSize];

uint8_t SpiBridgeCommand(uint8_t code);

// mode 4 enables writing, any other mode disables it. Returns 1 when the
// status confirmed the mode, 0 after 101 failed tries (message printed).
uint8_t SPIWriteCtrl(uint8_t mode);

uint8_t SpiSetAddress(uint16_t page, uint8_t offset);

// 0 = erased (12 progress cells printed), 1 = failed.
uint8_t SpiChipErase();

// `base` is the first 256-byte page of the block (block number x 4).
void SpiRead1K(uint16_t base);
uint8_t SPI_Program1K(uint16_t base);
