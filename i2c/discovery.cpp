#include "i2c/discovery.h"

#include "i2c/amd_fch.h"
#include "i2c/intel_lpss.h"
#include "i2c/pci_config.h"
#include "i2c/pci_registers.h"
#include "platform/console_text.h"
#include "platform/platform.h"

namespace {

constexpr uint16_t kVendorIntel = 0x8086;
constexpr uint16_t kVendorAmd = 0x1022;
constexpr uint16_t kVendorAbsent = 0xFFFF;

constexpr uint32_t kHostBridgeVendor = PciConfigAddress(0, 0, 0, pci_id::kRegister);
constexpr uint32_t kIntelLpcBridge = PciConfigAddress(0, 31, 0, pci_id::kRegister);
constexpr uint32_t kIntelI2cDevice = 21;
constexpr uint32_t kAmdRootComplex = PciConfigAddress(0x40, 0, 0, pci_id::kRegister);
// A function number is three bits: channels beyond 7 wrap onto the eight
// functions of device 21.
constexpr uint32_t kFunctionNumber = 0x7;

// The low byte of a memory BAR holds flags and is never part of the address.
constexpr uint32_t kBarAddressMask = 0xFFFFFF00;
// A register block is at least 4 KB, so a lower half whose address bits
// all read one cannot be an assigned base, whatever the upper half says.
constexpr uint32_t kBarLowAllOnes = 0xFFFFFF00;

constexpr uint8_t kAmdChannelCount = sizeof(kAmdI2cBases) / sizeof(kAmdI2cBases[0]);

// The counts for the function's input clock; `debug` shows which clock and
// the bus rate it gives.
void TakeLpssClock(uint16_t deviceId, uint8_t channel, bool debug) {
  bool assumed = false;
  const uint32_t clockKhz = LpssI2cClockKhz(deviceId, &assumed);
  gI2cHost.counts = LpssFastModeCounts(clockKhz);
  if (debug) {
    const uint32_t rate = SclRateHectohertz(gI2cHost.counts, clockKhz);
    StdPrintf("I2C%01D Device ID = %04X, Input Clock = %d MHz%s, Bus Rate = %d.%d kHz\n",
              static_cast<int>(channel), static_cast<unsigned>(deviceId),
              static_cast<int>(clockKhz / 1000), assumed ? " (Assumed)" : "",
              static_cast<int>(rate / 10), static_cast<int>(rate % 10));
  }
}

bool LocateIntel(uint8_t channel, bool debug) {
  gI2cHost.kind = PlatformKind::Intel;
  ConsolePrint(u"INTEL\n\n");
  (void)PciConfigRead32(kIntelLpcBridge);

  const uint32_t function = channel & kFunctionNumber;
  const uint32_t device = PciConfigAddress(0, kIntelI2cDevice, function, pci_id::kRegister);

  // An absent function reads all ones, which would pass for a BAR; look
  // before reading it so that nothing of it is ever used.
  const uint32_t identity = PciConfigRead32(device);
  if ((identity & pci_id::kVendor) == kVendorAbsent) {
    ConsolePrint(u"I2C%d Controller Not Found (PCI Bus 0, Device 21, Function %d)!!\n",
                 static_cast<int>(channel), static_cast<int>(function));
    return false;
  }

  uint32_t high = PciConfigRead32(device | pci_bar::kBar1);
  const uint32_t rawLow = PciConfigRead32(device | pci_bar::kBar0);
  // Only a 64-bit memory BAR owns the register after it; behind a 32-bit
  // BAR that register is the next BAR, not an upper address half.
  if ((rawLow & (pci_bar::kIoSpace | pci_bar::kType)) != pci_bar::kType64) high = 0;
  const uint32_t low = rawLow & kBarAddressMask;
  if (debug) {
    StdPrintf("I2C%01D MMIO Address = 0x%X%08X\n", static_cast<int>(channel),
              static_cast<unsigned>(high), static_cast<unsigned>(low));
  }
  const uint64_t base = (static_cast<uint64_t>(high) << 32) + low;
  if ((rawLow & pci_bar::kIoSpace) != 0 || base == 0 || low == kBarLowAllOnes) {
    ConsolePrint(u"I2C%d Controller Has No MMIO Address (BAR0 Not Assigned)!!\n",
                 static_cast<int>(channel));
    return false;
  }
  gI2cHost.base = base;
  if (!PciMakeFunctionDecode(device, channel, debug)) return false;
  TakeLpssClock(static_cast<uint16_t>(identity >> pci_id::kDeviceShift), channel, debug);
  return true;
}

bool LocateAmd(uint8_t channel, bool debug) {
  gI2cHost.kind = PlatformKind::Amd;
  ConsolePrint(u"AMD\n\n");
  (void)PciConfigRead32(kAmdRootComplex);

  if (channel >= kAmdChannelCount) {
    ConsolePrint(u"I2C%d Controller Not Available (AMD Channels 0 to %d)!!\n",
                 static_cast<int>(channel), static_cast<int>(kAmdChannelCount - 1));
    return false;
  }
  const uint64_t base = kAmdI2cBases[channel];
  if (debug) {
    StdPrintf("I2C%01D MMIO Address = 0x%08X\n", static_cast<int>(channel),
              static_cast<unsigned>(base));
  }
  if (!AmdPowerOnController(channel, debug)) return false;
  gI2cHost.base = base;
  gI2cHost.counts = kAmdFastModeCounts;
  return true;
}

}  // namespace

bool LocateI2cController(uint8_t channel, bool debug, const char* deviceNode) {
  gI2cHost = I2cHost{};
  gI2cHost.channel = channel;
  if (deviceNode != nullptr) {
    StdPrintf("%s\n\nI2C Device Node %s Exists Only under Linux: Use vexa-linux There!!\n", deviceNode,
              deviceNode);
    return false;
  }

  const uint16_t vendor = PciConfigRead16(kHostBridgeVendor);
  if (vendor == kVendorIntel) return LocateIntel(channel, debug);
  if (vendor == kVendorAmd) return LocateAmd(channel, debug);

  ConsolePrint(u"Unknow");
  ConsolePrint(u"\nNo Supported I2C Controller (Host Bridge Vendor ID = %X)!!\n",
               static_cast<unsigned>(vendor));
  return false;
}
