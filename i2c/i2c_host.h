// The platform's I2C host controller of the run.
#pragma once

#include <stdint.h>

// One byte; every value other than Intel and Amd is handled like Unknown.
enum class PlatformKind : uint8_t {
  Intel = 0,
  Amd = 2,
  Unknown = 255,
};

struct I2cHost {
  uint64_t base;      // physical address of the DesignWare register block
  PlatformKind kind;
};

// Set once by discovery, read by every register access.
extern I2cHost gI2cHost;
