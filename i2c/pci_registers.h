// The registers of a PCI function's configuration header that the tool
// reads or writes, and under each the bits and fields it uses.
#pragma once

#include <stdint.h>

// Vendor ID in the lower half, device ID in the upper half.
namespace pci_id {
inline constexpr uint32_t kRegister = 0x00;
inline constexpr uint32_t kVendor = 0xFFFF;
inline constexpr uint32_t kDeviceShift = 16;
}  // namespace pci_id

// The command register in the lower half, the status register in the
// upper half.
namespace pci_command_status {
inline constexpr uint32_t kRegister = 0x04;
inline constexpr uint32_t kCommand = 0xFFFF;
inline constexpr uint32_t kMemorySpace = 1u << 1;  // command bit 1
inline constexpr uint32_t kCapabilityList = 1u << (16 + 4);  // status bit 4
}  // namespace pci_command_status

// BAR0, and BAR1, which holds BAR0's upper address half when BAR0 is a
// 64-bit memory BAR.
namespace pci_bar {
inline constexpr uint32_t kBar0 = 0x10;
inline constexpr uint32_t kBar1 = 0x14;
inline constexpr uint32_t kIoSpace = 1u << 0;  // an I/O BAR, no memory address
inline constexpr uint32_t kType = 0x6;         // of a memory BAR, bits 2..1
inline constexpr uint32_t kType64 = 0x4;
inline constexpr uint32_t kAddress = 0xFFFFFFF0;  // of a memory BAR's lower half
}  // namespace pci_bar

namespace pci_capabilities_pointer {
inline constexpr uint32_t kRegister = 0x34;
inline constexpr uint32_t kPointer = 0xFC;  // dword aligned; the low bits are reserved
}  // namespace pci_capabilities_pointer

// The first register of every capability: its ID and the next one's offset.
namespace pci_capability {
inline constexpr uint32_t kId = 0xFF;
inline constexpr uint32_t kNextShift = 8;
inline constexpr uint32_t kNext = 0xFC;  // after the shift; dword aligned
inline constexpr uint32_t kIdPowerManagement = 0x01;
}  // namespace pci_capability

// PMCSR, in the lower half of the power-management capability's second
// register.
namespace pci_pmcsr {
inline constexpr uint32_t kOffset = 4;  // from the capability
inline constexpr uint32_t kPmcsr = 0xFFFF;  // the upper half is read-only for a function
inline constexpr uint32_t kPowerState = 0x0003;  // 00 = D0, 11 = D3hot
inline constexpr uint32_t kNoSoftReset = 1u << 3;  // D3hot -> D0 keeps the configuration
inline constexpr uint32_t kPmeEnable = 1u << 8;
inline constexpr uint32_t kPmeStatus = 1u << 15;  // write 1 to clear
}  // namespace pci_pmcsr
