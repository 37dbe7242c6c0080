// PCI configuration space through configuration mechanism 1: a 32-bit
// write of the address to port 0xCF8, then the data at port 0xCFC.
#pragma once

#include <stdint.h>

// Bit 31 of a configuration address: the access goes to configuration space.
inline constexpr uint32_t kPciConfigEnable = 0x80000000u;

// The configuration address of register `reg` (dword aligned) of bus:device.function.
inline constexpr uint32_t PciConfigAddress(uint32_t bus, uint32_t device, uint32_t function,
                                           uint32_t reg) {
  return kPciConfigEnable | (bus << 16) | (device << 11) | (function << 8) | reg;
}

uint16_t PciConfigRead16(uint32_t address);
uint32_t PciConfigRead32(uint32_t address);
void PciConfigWrite32(uint32_t address, uint32_t value);

// Makes the function whose register 0 is at `function` answer at its
// memory BAR: a power state other than D0 in its power-management
// capability becomes D0 (with the 10 ms a function needs to come back from
// D3hot), then memory decoding is turned on when it is off. A function that
// is in D0 and decodes gets reads only. A function without No_Soft_Reset
// may lose its BARs on the way to D0: they are written back as they were,
// and decoding is never turned on while BAR0 reads 0. With `debug` a line
// names each change, for I2C channel `channel`. true when the function
// decodes its BAR, false (with a message) when it cannot.
bool PciMakeFunctionDecode(uint32_t function, uint8_t channel, bool debug);
