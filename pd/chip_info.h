// The PD controller's addresses, identity and flash geometry, and the
// operations that read and derive them.
#pragma once

#include <stdint.h>

struct ChipInfo {
  uint8_t SlaveAddr;           // firmware interface, 8-bit form
  uint8_t TCPI_Mode_addr;      // TCPI-mode commands, 8-bit form
  uint8_t ParameterChipID[2];  // expected ID: high byte, low byte
  uint8_t ChipID[4];           // as read from the chip
  uint32_t PD_FLash_Size;      // KB; 0 = unsupported ID
  uint8_t BridgePrefix[2];     // wire order
  uint32_t AddrBytes;          // 2 or 3
  uint32_t AddrShift;          // 0 or 1
};

// One record for the run. Starts with both addresses at 0x80, the rest 0.
extern ChipInfo gChipInfo;

// Reads the four ID bytes from SlaveAddr into id, checks them against
// ParameterChipID and fills the geometry. true = success; a failure has
// been printed.
bool Get_chipID(uint8_t id[4]);

// Flash size in KB for the four ID bytes; 0 for an unsupported ID.
uint32_t GetFlashSize(const uint8_t id[4]);

// Chooses TCPI_Mode_addr from ID bytes 0 and 1 and SlaveAddr.
void SelectTcpiModeAddress(const uint8_t id[2]);
