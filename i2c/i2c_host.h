// The platform's I2C host controller of the run.
#pragma once

#include <stdint.h>

// One byte; every value other than Intel and Amd is handled like Unknown.
enum class PlatformKind : uint8_t {
  Intel = 0,
  Amd = 2,
  Unknown = 255,
};

// Fast-mode SCL counts for the controller's input clock: SCL stays high
// for hcnt + spklen + 7 and low for lcnt + 1 input clock periods.
struct FastModeCounts {
  uint32_t hcnt;
  uint32_t lcnt;
  uint32_t spklen;
};

struct I2cHost {
  uint64_t base = 0;  // physical address of the DesignWare register block
  PlatformKind kind = PlatformKind::Unknown;
  uint8_t channel = 0;       // /i2c as given; on AMD it selects the pins to route
  FastModeCounts counts{};  // found by discovery for the platform's input clock
  bool ready = false;       // I2cInit has set the controller up
};

// Set once by discovery, read by every register access.
extern I2cHost gI2cHost;
