// The PD controller's addresses, identity and flash geometry, and the
// operations that read and derive them.
#pragma once

#include <stdint.h>

// Both addresses of a chip the command line says nothing about (/sa, /t).
inline constexpr uint8_t kDefaultSlaveAddr = 0x80;
inline constexpr uint8_t kDefaultTcpiModeAddr = 0x80;

struct ChipInfo {
  uint8_t slaveAddr = kDefaultSlaveAddr;        // firmware interface, 8-bit form
  uint8_t tcpiModeAddr = kDefaultTcpiModeAddr;  // TCPI-mode commands, 8-bit form
  uint8_t expectedId[2];                        // the /id: high byte, low byte
  uint8_t chipId[4];                            // as read from the chip
  bool chipIdRead;                              // chipId holds what the chip answered
  uint32_t flashSizeKb;                         // 0 = unsupported ID
  uint8_t bridgePrefix[2];                      // wire order
  uint32_t addrBytes;                           // 2 or 3
  uint32_t addrShift;                           // 0 or 1
};

// One record for the run. ChipInfo{} is its start state: both addresses at
// their defaults, the rest 0.
extern ChipInfo gChipInfo;

// Takes the chip ID the user expects (/id; high byte = ID byte 0): it
// becomes expectedId, and it decides the stop-CPU lead byte and, with
// slaveAddr, tcpiModeAddr (SelectTcpiModeAddress).
void UseExpectedChipId(uint16_t expectedChipId);

// Reads the four ID bytes from slaveAddr into id, checks them against
// expectedId and fills the geometry; tcpiModeAddr, chosen from the ID it
// matched, stays (its debug line is printed again). true = success; a
// failure has been printed.
bool GetChipId(uint8_t id[4]);

// Flash size in KB for the four ID bytes; 0 for an unsupported ID.
uint32_t GetFlashSize(const uint8_t id[4]);

// Chooses tcpiModeAddr from ID bytes 0 and 1 and slaveAddr, keeping the
// current one (the default or /t) where the ID says nothing; /db prints it.
void SelectTcpiModeAddress(const uint8_t id[2]);
