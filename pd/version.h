// Firmware and PD version queries at tcpiModeAddr. Both leave that address
// as the I2C target. true = success.
#pragma once

#include <stdint.h>

bool GetPdVersion();
bool ShowPdVersion();

// What the last of these queries read, for the run's record: its two
// (GetPdVersion) or six (ShowPdVersion) bytes; count 0 when it failed.
struct PdVersionReading {
  uint8_t bytes[6];
  uint8_t count;
};
extern PdVersionReading gPdVersionRead;
