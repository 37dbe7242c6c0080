// Platform identification and I2C controller discovery.
#pragma once

#include <stdint.h>

#include "i2c/i2c_host.h"

// Channels a supported platform can have: Intel's eight functions of PCI
// device 21 (AMD's six fixed controllers are checked by discovery itself).
inline constexpr uint8_t kI2cChannelCount = 8;

// Reads the host bridge's vendor ID, prints the platform name (completing
// the banner line), and locates the register block of `channel` (/i2c);
// `debug` (/db) adds the address line and a line for each change below.
// A usable controller is also made to answer: on Intel its PCI function is
// brought to D0 with memory decoding on, on AMD it is powered on; those
// changes stay. Fills gI2cHost (kind as identified, the channel, the
// fast-mode counts; base only for a usable controller, 0 otherwise).
// true when a usable controller was found; otherwise prints why there is
// none and returns false, having touched no controller register.
// `deviceNode` (/dev/i2c-N, or nullptr) names the kernel's adapter
// directly: the Linux build takes it instead of `channel`; the firmware's
// own driver has no device nodes and refuses it.
bool LocateI2cController(uint8_t channel, bool debug, const char* deviceNode = nullptr);
