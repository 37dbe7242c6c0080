// The PD controller's addresses, identity and flash geometry, and the
// operations that read and derive them.
#pragma once

#include <stdint.h>

struct ChipInfo {
  uint8_t slaveAddr;        // firmware interface, 8-bit form
  uint8_t tcpiModeAddr;     // TCPI-mode commands, 8-bit form
  uint8_t expectedId[2];    // the /id: high byte, low byte
  uint8_t chipId[4];        // as read from the chip
  uint32_t flashSizeKb;     // 0 = unsupported ID
  uint8_t bridgePrefix[2];  // wire order
  uint32_t addrBytes;       // 2 or 3
  uint32_t addrShift;       // 0 or 1
};

// One record for the run. Starts with both addresses at 0x80, the rest 0.
extern ChipInfo gChipInfo;

// Reads the four ID bytes from slaveAddr into id, checks them against
// expectedId and fills the geometry. true = success; a failure has
// been printed.
bool GetChipId(uint8_t id[4]);

// Flash size in KB for the four ID bytes; 0 for an unsupported ID.
uint32_t GetFlashSize(const uint8_t id[4]);

// Chooses tcpiModeAddr from ID bytes 0 and 1 and slaveAddr.
void SelectTcpiModeAddress(const uint8_t id[2]);
