// LocateI2cController of the Linux build: the adapter the kernel's
// DesignWare driver registered for the controller /i2c names, or the
// device node named directly. The platform is told apart by the host
// bridge's vendor, as the DesignWare layer does, so that /i2c means the
// same controller in both builds.
#include "i2c/discovery.h"
#include "i2c/linux/adapters.h"
#include "i2c/linux/kernel_bus.h"
#include "platform/console_text.h"

namespace {

// Completes the banner line as the DesignWare layer does; a platform it
// does not know is named by the system.
void NamePlatform(PlatformKind kind) {
  if (kind == PlatformKind::Intel) {
    ConsolePrint(u"INTEL\n\n");
  } else if (kind == PlatformKind::Amd) {
    ConsolePrint(u"AMD\n\n");
  } else {
    ConsolePrint(u"LINUX\n\n");
  }
}

std::string NodeOf(int adapter) { return std::string(kKernelRoot) + "/dev/i2c-" + std::to_string(adapter); }

}  // namespace

bool LocateI2cController(uint8_t channel, bool debug, const char* deviceNode) {
  gI2cHost = I2cHost{};
  gI2cHost.channel = channel;
  gKernelBus = KernelBus{};
  gI2cHost.kind = ReadPlatformKind(kKernelRoot);
  NamePlatform(gI2cHost.kind);

  if (deviceNode != nullptr) {
    gKernelBus.node = deviceNode;
    if (debug) StdPrintf("I2C Adapter = %s (as given)\n", deviceNode);
    return true;
  }

  const std::vector<LinuxI2cAdapter> adapters = ListDesignWareAdapters(kKernelRoot);
  std::string wanted;
  const int found = FindChannelAdapter(adapters, gI2cHost.kind, channel, &wanted);
  if (found < 0) {
    StdPrintf("I2C%d Controller Not Found (No Kernel Adapter %s; DesignWare Adapters: %s)!!\n",
              static_cast<int>(channel), wanted.c_str(), DescribeAdapters(adapters).c_str());
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
