// The wires behind one controller: which device answers at which 7-bit
// address, and whether SCL/SDA reach the devices at all.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <utility>

#include "sim/i2c_device.h"

namespace sim {

class I2cBus {
 public:
  // A later device at the same address replaces the earlier one; nullptr
  // removes it. One device may sit at several addresses.
  void Attach(std::uint8_t address7, I2cDevice* device) { devices_[address7 & 0x7F] = device; }

  I2cDevice* Device(std::uint8_t address7) const { return devices_[address7 & 0x7F]; }

  // On boards whose pads are shared with other functions, the lines only
  // reach the devices while the pads select I2C.
  void SetRoutedCheck(std::function<bool()> routed) { routed_ = std::move(routed); }
  bool Routed() const { return !routed_ || routed_(); }

 private:
  std::array<I2cDevice*, 128> devices_{};
  std::function<bool()> routed_;
};

}  // namespace sim
