// Platform identification and I2C controller discovery.
#pragma once

#include <stdint.h>

#include "i2c/i2c_host.h"

// Register bases of the AMD FCH I2C controllers, indexed by channel.
inline constexpr uint64_t AmdI2cBaseTable[6] = {
    0xFEDC2000, 0xFEDC3000, 0xFEDC4000, 0xFEDC5000, 0xFEDC6000, 0xFEDCB000,
};

// Reads the host bridge's vendor ID, prints the platform name (completing
// the banner line), and locates the register block of `channel` (/i2c);
// `debug` (/db) adds the address line.
// Fills gI2cHost (kind as identified; base only for a usable controller,
// 0 otherwise). Returns 0 when a usable controller was found; otherwise
// prints why there is none and returns 1, having touched no controller
// register.
uint8_t LocateI2cController(uint8_t channel, bool debug);
