#include "i2c/pci_config.h"

#include "i2c/pci_registers.h"
#include "platform/console_text.h"
#include "platform/platform.h"

namespace {

constexpr uint16_t kConfigAddressPort = 0xCF8;
constexpr uint16_t kConfigDataPort = 0xCFC;

// Capabilities live above the 64-byte header, dword aligned: a list that
// has not ended after this many entries runs in a circle.
constexpr uint32_t kFirstCapability = 0x40;
constexpr uint32_t kMaxCapabilities = (256 - kFirstCapability) / 4;

// Written back: everything of PMCSR but the power state (now D0), PME_En
// (off: the tool wants no wake events) and PME_Status, which a 1 would
// clear.
constexpr uint32_t kPmcsrKeep =
    pci_pmcsr::kPmcsr & ~(pci_pmcsr::kPowerState | pci_pmcsr::kPmeEnable | pci_pmcsr::kPmeStatus);
static_assert(kPmcsrKeep == 0x7EFC, "PMCSR bits written back");

// PCI power management: a function needs 10 ms after D3hot -> D0 before it
// may be accessed.
constexpr uint32_t kD3hotRecoveryUs = 10000;

// Offset of the capability with this ID, or 0 when the list has none.
uint32_t FindCapability(uint32_t function, uint32_t id) {
  uint32_t pointer =
      PciConfigRead32(function | pci_capabilities_pointer::kRegister) & pci_capabilities_pointer::kPointer;
  for (uint32_t i = 0; i < kMaxCapabilities && pointer >= kFirstCapability; ++i) {
    const uint32_t header = PciConfigRead32(function | pointer);
    if ((header & pci_capability::kId) == id) return pointer;
    pointer = (header >> pci_capability::kNextShift) & pci_capability::kNext;
  }
  return 0;
}

// Brings the function to D0 when its power-management capability reports
// another state; true when it changed the state.
bool EnterD0(uint32_t function, uint8_t channel, bool debug) {
  const uint32_t capability = FindCapability(function, pci_capability::kIdPowerManagement);
  if (capability == 0) return false;
  const uint32_t pmcsrAddress = function | (capability + pci_pmcsr::kOffset);
  const uint32_t pmcsr = PciConfigRead32(pmcsrAddress);
  const uint32_t state = pmcsr & pci_pmcsr::kPowerState;
  if (state == 0) return false;
  // Without No_Soft_Reset the function comes back from D3hot as after a
  // reset, its BARs included: they are put back as they were.
  const bool keepsConfig = (pmcsr & pci_pmcsr::kNoSoftReset) != 0;
  const uint32_t bars[2] = {keepsConfig ? 0 : PciConfigRead32(function | pci_bar::kBar0),
                            keepsConfig ? 0 : PciConfigRead32(function | pci_bar::kBar1)};
  PciConfigWrite32(pmcsrAddress, pmcsr & kPmcsrKeep);
  PlatformStall(kD3hotRecoveryUs);
  if (debug) StdPrintf("I2C%01D PCI Power State D%d -> D0\n", static_cast<int>(channel), static_cast<int>(state));
  if (!keepsConfig) {
    bool restored = false;
    for (uint32_t i = 0; i < 2; ++i) {
      const uint32_t address = function | (pci_bar::kBar0 + 4 * i);
      if (PciConfigRead32(address) == bars[i]) continue;
      PciConfigWrite32(address, bars[i]);
      restored = true;
    }
    if (restored && debug) StdPrintf("I2C%01D PCI BARs Restored\n", static_cast<int>(channel));
  }
  return true;
}

}  // namespace

uint16_t PciConfigRead16(uint32_t address) {
  PlatformPortWrite32(kConfigAddressPort, address);
  return PlatformPortRead16(kConfigDataPort);
}

uint32_t PciConfigRead32(uint32_t address) {
  PlatformPortWrite32(kConfigAddressPort, address);
  return PlatformPortRead32(kConfigDataPort);
}

void PciConfigWrite32(uint32_t address, uint32_t value) {
  PlatformPortWrite32(kConfigAddressPort, address);
  PlatformPortWrite32(kConfigDataPort, value);
}

bool PciMakeFunctionDecode(uint32_t function, uint8_t channel, bool debug) {
  uint32_t commandStatus = PciConfigRead32(function | pci_command_status::kRegister);
  // Leaving D3hot may reset the function, command register included, so
  // decoding is looked at (and turned on) only after the power state.
  if ((commandStatus & pci_command_status::kCapabilityList) != 0 && EnterD0(function, channel, debug)) {
    commandStatus = PciConfigRead32(function | pci_command_status::kRegister);
  }
  if ((commandStatus & pci_command_status::kMemorySpace) != 0) return true;
  // A BAR of 0 would decode the bottom of memory.
  const uint32_t bar0 = PciConfigRead32(function | pci_bar::kBar0);
  const bool bar64 = (bar0 & pci_bar::kType) == pci_bar::kType64;
  if ((bar0 & pci_bar::kAddress) == 0 && (!bar64 || PciConfigRead32(function | pci_bar::kBar1) == 0)) {
    ConsolePrint(u"I2C%d Controller Has No MMIO Address (BAR0 Reads 0)!!\n", static_cast<int>(channel));
    return false;
  }
  // Zeros in the upper half: the status register's error bits clear on a 1.
  PciConfigWrite32(function | pci_command_status::kRegister,
                   (commandStatus & pci_command_status::kCommand) | pci_command_status::kMemorySpace);
  if (debug) StdPrintf("I2C%01D PCI Memory Space Enabled\n", static_cast<int>(channel));
  return true;
}
