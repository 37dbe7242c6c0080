// The controller set-up and release of the Linux build: the kernel's
// driver owns the controller, so setting up is opening its device node,
// and choosing the target claims the address the way the kernel lets a
// user program (never past a driver that holds it).
#include "i2c/linux/kernel_bus.h"

#include <errno.h>
#include <fcntl.h>
#include <linux/i2c-dev.h>
#include <linux/i2c.h>
#include <string.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include "i2c/controller.h"
#include "i2c/linux/adapters.h"
#include "platform/console_text.h"

KernelBus gKernelBus;

namespace {

struct ErrorName {
  int error;
  const char* name;
};

// The errors the kernel's I2C drivers report for a transfer, and those of
// opening a device node.
constexpr ErrorName kErrorNames[] = {
    {ENXIO, "ENXIO"},         {EREMOTEIO, "EREMOTEIO"}, {ETIMEDOUT, "ETIMEDOUT"}, {EAGAIN, "EAGAIN"},
    {EIO, "EIO"},             {EBUSY, "EBUSY"},         {ENOENT, "ENOENT"},       {EACCES, "EACCES"},
    {EPERM, "EPERM"},         {EINVAL, "EINVAL"},       {EOPNOTSUPP, "EOPNOTSUPP"}, {ENODEV, "ENODEV"},
};

}  // namespace

std::string KernelErrorText(int error) {
  const char* name = nullptr;
  for (const ErrorName& entry : kErrorNames) {
    if (entry.error == error) name = entry.name;
  }
  const std::string number = name != nullptr ? name : "errno " + std::to_string(error);
  return number + " (" + strerror(error) + ")";
}

bool I2cInit() {
  const char* node = gKernelBus.node.c_str();
  const int fd = open(node, O_RDWR | O_CLOEXEC);
  if (fd < 0) {
    const int error = errno;
    if (error == ENOENT) {
      StdPrintf("I2C Device Node %s Not There: Load i2c-dev (modprobe i2c-dev)!!\n", node);
    } else if (error == EACCES || error == EPERM) {
      StdPrintf("I2C Device Node %s Needs Root: Run as Root (sudo)!!\n", node);
    } else {
      StdPrintf("I2C Device Node %s Cannot Be Opened: %s!!\n", node, KernelErrorText(error).c_str());
    }
    return false;
  }
  // i2c-dev's minor number is the adapter's number, whatever the node is called.
  struct stat status {};
  unsigned long functions = 0;
  if (fstat(fd, &status) != 0 || !S_ISCHR(status.st_mode) || ioctl(fd, I2C_FUNCS, &functions) != 0) {
    StdPrintf("I2C Device Node %s Is Not an I2C Adapter!!\n", node);
    close(fd);
    return false;
  }
  if ((functions & I2C_FUNC_I2C) == 0) {
    StdPrintf("I2C Adapter %s Takes No Plain I2C Messages (I2C_FUNC_I2C)!!\n", node);
    close(fd);
    return false;
  }
  gKernelBus.fd = fd;
  gKernelBus.adapter = static_cast<int>(minor(status.st_rdev));
  gI2cHost.ready = true;
  return true;
}

bool I2cSetSlaveAddress(uint8_t address) {
  const uint8_t target = address >> 1;
  if (gKernelBus.target == target) return true;
  // A driver of the running system owns the device: no byte of ours may
  // reach it behind the driver's back.
  const std::string driver = BoundDriver(kKernelRoot, gKernelBus.adapter, target);
  const std::string device = I2cDeviceName(gKernelBus.adapter, target);
  if (!driver.empty()) {
    StdPrintf("I2C Device %s Is Driven by the Kernel's %s Driver: Nothing Sent. Unbind It First: "
              "echo %s > /sys/bus/i2c/drivers/%s/unbind\n",
              device.c_str(), driver.c_str(), device.c_str(), driver.c_str());
    return false;
  }
  if (ioctl(gKernelBus.fd, I2C_SLAVE, static_cast<unsigned long>(target)) != 0) {
    StdPrintf("I2C Device %s Cannot Be Claimed, the Kernel Said %s!!\n", device.c_str(),
              KernelErrorText(errno).c_str());
    return false;
  }
  gKernelBus.target = target;
  return true;
}

void I2cReleaseBus() {
  // Every transaction ended with its STOP: the bus is idle already.
  if (gKernelBus.fd >= 0) close(gKernelBus.fd);
  gKernelBus.fd = -1;
  gKernelBus.target = -1;
  gI2cHost.ready = false;
}
