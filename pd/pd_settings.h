// What the protocol operations take from the command line. It lives with
// them, below the application that fills it.
#pragma once

#include <stdint.h>

struct PdSettings {
  bool debug;     // /db: the debug lines of every layer above the I2C access
  uint8_t stopCpuLeadByte;  // lead byte of the second stop-CPU write; UseExpectedChipId sets it
};

extern PdSettings gPdSettings;
