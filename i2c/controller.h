// Set-up of the DesignWare I2C host controller in gI2cHost.
//
// Every wait on the controller is bounded: when a bound runs out the
// operation prints what it waited for and returns false, so that the run
// can stop instead of hanging the machine. true means success.
#pragma once

#include <stdint.h>

#include "i2c/i2c_host.h"
#include "platform/platform.h"

// Register offsets from gI2cHost.base.
enum DwI2cRegister : uint32_t {
  IC_CON = 0x00,
  IC_TAR = 0x04,
  IC_DATA_CMD = 0x10,
  IC_FS_SCL_HCNT = 0x1C,
  IC_FS_SCL_LCNT = 0x20,
  IC_INTR_MASK = 0x30,
  IC_RAW_INTR_STAT = 0x34,
  IC_RX_TL = 0x38,
  IC_TX_TL = 0x3C,
  IC_CLR_TX_ABRT = 0x54,
  IC_ENABLE = 0x6C,
  IC_STATUS = 0x70,
  IC_TXFLR = 0x74,
  IC_SDA_HOLD = 0x7C,
  IC_ENABLE_STATUS = 0x9C,
  IC_FS_SPKLEN = 0xA0,
  IC_COMP_TYPE = 0xFC,
  LPSS_RESETS = 0x204,  // Intel only
  LPSS_CAPABILITIES = 0x2FC,  // Intel only
};

// One 32-bit access to a register of gI2cHost: the block takes no other width.
inline uint32_t I2cRead32(DwI2cRegister reg) { return PlatformMmioRead32(gI2cHost.base + reg); }
inline void I2cWrite32(DwI2cRegister reg, uint32_t value) {
  PlatformMmioWrite32(gI2cHost.base + reg, value);
}

// Polls of a status bit that working hardware settles within microseconds
// (enable/disable a few controller clocks, or the end of the byte on the
// wire; master activity at worst the end of a transfer the firmware left
// running, a few milliseconds at 400 kHz). The polls have no stall, and a
// read of a controller register costs at least about 0.3 us, so this many
// reads is tens of milliseconds on a board, yet well under a second in an
// emulator.
inline constexpr uint32_t kI2cStatusPollLimit = 100000;

bool I2cDisable();
bool I2cEnable();
bool I2cConfigureTiming();
bool I2cInit();

// `address` in 8-bit form (bit 0 ignored).
bool I2cSetSlaveAddress(uint8_t address);

// At the end of a run: a transfer the controller still holds open (one
// that failed, or the failure paths' single byte, which has no STOP) is
// ended, so that the bus is idle for whatever uses it next. Nothing when
// the controller was never set up or holds nothing.
void I2cReleaseBus();
