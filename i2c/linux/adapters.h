// The kernel's DesignWare I2C adapters as sysfs shows them, and the
// drivers it has bound to devices on them. Every lookup reads below
// `root`, a file-system root: "/" on a running system, a small tree of
// its own in the tests.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

#include "i2c/i2c_host.h"

struct LinuxI2cAdapter {
  int number = -1;  // N of i2c-N and /dev/i2c-N
  // The devices it hangs below, nearest first (e.g. "i2c_designware.2",
  // "0000:00:15.2", "pci0000:00"; or "AMDI0010:01", "platform").
  std::vector<std::string> parents;
  // The register block of the nearest parent /proc/iomem names; 0 when
  // none is listed (or the addresses are hidden from a user who is not root).
  uint64_t mmioBase = 0;
};

// The adapters whose name says DesignWare, in adapter-number order.
std::vector<LinuxI2cAdapter> ListDesignWareAdapters(const std::string& root);

// The platform by the vendor of its host bridge (PCI 0000:00:00.0), as the
// DesignWare layer tells it; Unknown when sysfs has no such function.
PlatformKind ReadPlatformKind(const std::string& root);

// The index in `adapters` of the one /i2c `channel` names on a platform of
// `kind`, or -1: on Intel the adapter below PCI function
// 0000:00:15.(channel & 7), on AMD the one whose register block is at
// channel's fixed base (none beyond the last channel); none elsewhere.
// `wanted` (may be nullptr) receives what was looked for, for a message.
int FindChannelAdapter(const std::vector<LinuxI2cAdapter>& adapters, PlatformKind kind, uint8_t channel,
                       std::string* wanted);

// "0000:00:15.1 at FE028000" (the PCI function when there is one, else the
// nearest parent; the register block when known): the adapter for a message.
std::string DescribeAdapter(const LinuxI2cAdapter& adapter);

// "i2c-1 (0000:00:15.1), i2c-3 (AMDI0010:01 at FEDC3000)": the adapters
// for a message; "none" when there are none.
std::string DescribeAdapters(const std::vector<LinuxI2cAdapter>& adapters);

// The kernel's name of device `address7` on adapter `number`: "1-0040".
std::string I2cDeviceName(int number, uint8_t address7);

// The driver bound to device `address7` on adapter `number`; empty when
// none is.
std::string BoundDriver(const std::string& root, int number, uint8_t address7);
