// The AMD FCH IOMUX block: one function-select byte per pad. The pads of the
// I2C controllers' SCL and SDA come up in another function and carry the
// bus only once both bytes select function 1 with their other bits kept.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

namespace sim {

class AmdIomux {
 public:
  static constexpr std::uint64_t kBase = 0xFED80D00;
  static constexpr std::uint32_t kSize = 0x100;
  static constexpr std::uint32_t kSclPad = 0x71;  // 0xFED80D71
  static constexpr std::uint32_t kSdaPad = 0x72;  // 0xFED80D72
  // Function 2 and function 0, with upper bits that must survive the set-up.
  static constexpr std::uint8_t kSclPadReset = 0xA2;
  static constexpr std::uint8_t kSdaPadReset = 0x48;
  static constexpr std::uint8_t kI2cFunction = 0x01;

  struct PadWrite {
    std::uint32_t offset;
    std::uint8_t value;
  };

  AmdIomux();

  std::uint8_t Read8(std::uint32_t offset) const { return bytes_[offset % kSize]; }
  void Write8(std::uint32_t offset, std::uint8_t value);

  // Both pads select I2C and nothing else in their bytes changed.
  bool I2cRouted() const;

  // Every byte written, in order.
  const std::vector<PadWrite>& writes() const { return writes_; }

 private:
  std::array<std::uint8_t, kSize> bytes_{};
  std::vector<PadWrite> writes_;
};

}  // namespace sim
