// LocateI2cController of the Linux build: the adapter the kernel's
// DesignWare driver registered for the controller /i2c names, or the
// device node named directly. The platform is told apart by the host
// bridge's vendor, as the DesignWare layer does, so that /i2c means the
// same controller in both builds.
#include <stdio.h>

#include "i2c/amd_fch.h"
#include "i2c/discovery.h"
#include "i2c/linux/adapters.h"
#include "i2c/linux/kernel_bus.h"
#include "platform/console_text.h"

namespace {

constexpr uint16_t kVendorIntel = 0x8086;
constexpr uint16_t kVendorAmd = 0x1022;
constexpr uint8_t kAmdChannelCount = sizeof(kAmdI2cBases) / sizeof(kAmdI2cBases[0]);

PlatformKind NamePlatform(uint16_t vendor) {
  if (vendor == kVendorIntel) {
    ConsolePrint(u"INTEL\n\n");
    return PlatformKind::Intel;
  }
  if (vendor == kVendorAmd) {
    ConsolePrint(u"AMD\n\n");
    return PlatformKind::Amd;
  }
  ConsolePrint(u"LINUX\n\n");
  return PlatformKind::Unknown;
}

std::string NodeOf(int adapter) { return std::string(kKernelRoot) + "/dev/i2c-" + std::to_string(adapter); }

}  // namespace

bool LocateI2cController(uint8_t channel, bool debug, const char* deviceNode) {
  gI2cHost = I2cHost{};
  gI2cHost.channel = channel;
  gKernelBus = KernelBus{};
  gI2cHost.kind = NamePlatform(ReadHostBridgeVendor(kKernelRoot));

  if (deviceNode != nullptr) {
    gKernelBus.node = deviceNode;
    if (debug) StdPrintf("I2C Adapter = %s (as given)\n", deviceNode);
    return true;
  }

  const std::vector<LinuxI2cAdapter> adapters = ListDesignWareAdapters(kKernelRoot);
  int found = -1;
  char wanted[64];
  if (gI2cHost.kind == PlatformKind::Intel) {
    found = FindIntelAdapter(adapters, channel);
    snprintf(wanted, sizeof wanted, "below PCI 0000:00:15.%u", channel & 7u);
  } else if (gI2cHost.kind == PlatformKind::Amd && channel < kAmdChannelCount) {
    found = FindAmdAdapter(adapters, kAmdI2cBases[channel]);
    snprintf(wanted, sizeof wanted, "at %llX", static_cast<unsigned long long>(kAmdI2cBases[channel]));
  } else {
    snprintf(wanted, sizeof wanted, "for this platform; name its node, e.g. /dev/i2c-0");
  }
  if (found < 0) {
    StdPrintf("I2C%d Controller Not Found (No Kernel Adapter %s; DesignWare Adapters: %s)!!\n",
              static_cast<int>(channel), wanted, DescribeAdapters(adapters).c_str());
    return false;
  }
  const LinuxI2cAdapter& adapter = adapters[static_cast<size_t>(found)];
  gKernelBus.node = NodeOf(adapter.number);
  gI2cHost.base = adapter.mmioBase;
  if (debug) {
    StdPrintf("I2C%d Adapter = %s (%s)\n", static_cast<int>(channel), gKernelBus.node.c_str(),
              DescribeAdapter(adapter).c_str());
  }
  return true;
}
