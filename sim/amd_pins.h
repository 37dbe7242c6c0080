// The AMD FCH IOMUX block: one function-select byte per GPIO pad, at
// 0xFED80D00 + GPIO number. A controller's bus reaches its devices only
// while both its SCL and SDA pads select its I2C function with their other
// bits as the firmware left them.
//
// Pads as coreboot's gpio.h tables give them for the client FCHs from
// Stoney Ridge on: I2C0 on GPIO145/146 and I2C1 on GPIO147/148 (function
// 0), I2C2 on GPIO113/114 and I2C3 on GPIO19/20 (function 1). I2C4 and I2C5
// have no pads those tables name; their buses are modelled as needing no
// pad at all. The firmware has set the pads of I2C0, I2C1 and I2C3 to I2C;
// GPIO113/114 keep their reset values, another function with upper bits
// that must survive a set-up.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

namespace sim {

class AmdIomux {
 public:
  static constexpr std::uint64_t kBase = 0xFED80D00;
  static constexpr std::uint32_t kSize = 0x100;
  static constexpr std::uint32_t kSclPad = 0x71;  // GPIO113, I2C2's SCL
  static constexpr std::uint32_t kSdaPad = 0x72;  // GPIO114, I2C2's SDA
  static constexpr std::uint8_t kSclPadReset = 0xA2;
  static constexpr std::uint8_t kSdaPadReset = 0x48;

  struct PadWrite {
    std::uint32_t offset;
    std::uint8_t value;
  };

  AmdIomux();

  std::uint8_t Read8(std::uint32_t offset) const { return bytes_[offset % kSize]; }
  void Write8(std::uint32_t offset, std::uint8_t value);

  // The pads of controller `channel` carry its bus.
  bool I2cRouted(unsigned channel) const;

  // Every byte written, in order.
  const std::vector<PadWrite>& writes() const { return writes_; }

 private:
  std::array<std::uint8_t, kSize> bytes_{};
  std::array<std::uint8_t, kSize> atStart_{};
  std::vector<PadWrite> writes_;
};

}  // namespace sim
