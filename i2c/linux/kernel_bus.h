// The adapter of the run in the Linux build: the device node discovery
// chose, which the transfers go through once I2cInit has opened it.
#pragma once

#include <stdint.h>

#include <string>

struct KernelBus {
  std::string node;     // "/dev/i2c-1"
  int fd = -1;          // open from I2cInit to I2cReleaseBus
  int adapter = -1;     // the N of i2c-N, for sysfs; known once the node is open
  int target = -1;      // 7-bit address claimed with I2C_SLAVE; -1 none yet
  uint32_t frames = 0;  // transactions that went through, for /db
  uint32_t bytes = 0;   // their data bytes
};

extern KernelBus gKernelBus;

// What the paths of sysfs, /proc and /dev are read below: nothing, the
// running system's own root (the lookups take a test's tree instead).
inline constexpr const char* kKernelRoot = "";

// "EREMOTEIO (Remote I/O error)": what the kernel said, by errno.
std::string KernelErrorText(int error);
