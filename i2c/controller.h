// Set-up of the DesignWare I2C host controller in gI2cHost.
//
// Every wait on the controller is bounded: when a bound runs out the
// operation prints what it waited for and returns false, so that the run
// can stop instead of hanging the machine. true means success.
#pragma once

#include <stdint.h>

#include "i2c/dw_registers.h"
#include "i2c/i2c_host.h"
#include "i2c/poll_bound.h"
#include "platform/platform.h"

// One 32-bit access to a register of gI2cHost: the block takes no other width.
inline uint32_t I2cRead32(DwI2cRegister reg) { return PlatformMmioRead32(gI2cHost.base + reg); }
inline void I2cWrite32(DwI2cRegister reg, uint32_t value) {
  PlatformMmioWrite32(gI2cHost.base + reg, value);
}

// Polls of a status bit that working hardware settles within microseconds
// (enable/disable a few controller clocks, or the end of the byte on the
// wire; master activity at worst the end of a transfer the firmware left
// running, a few milliseconds at 400 kHz). The polls have no stall; each
// is one read of a controller register, at least about 0.3 us on a board,
// so 100000 polls take at least 30 ms there, yet well under a second in an
// emulator.
inline constexpr uint32_t kI2cStatusPollLimit = 100000;
inline constexpr PollBound kI2cStatusWait = {kI2cStatusPollLimit, 0};

// Polls `reg` until `bit` reads set (`set`) or clear, within `bound`; true
// when it did.
bool I2cWaitBit(DwI2cRegister reg, uint32_t bit, bool set, PollBound bound);

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
