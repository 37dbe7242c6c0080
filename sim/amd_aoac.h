// The AMD FCH's AOAC block at 0xFED81E00, which powers the FCH's devices:
// per device a control byte at 0x40 + 2 x device and a state byte above
// it. The I2C controllers are devices 5 to 10. A device has power while
// its control byte asks for it (PwrOnDev, bit 3), or, under software
// control (bit 7), while its three software bits 6..4 all do; power and
// reference clock are reported good (state bits 0 and 1) kPowerOnNs after
// power was asked for, and the reset is released (state bit 2), which is
// when the device answers, kResetReleaseNs later.
#pragma once

#include <array>
#include <cstdint>
#include <optional>

#include "sim/clock.h"

namespace sim {

class AmdAoac {
 public:
  static constexpr std::uint64_t kBase = 0xFED81E00;
  static constexpr std::uint32_t kSize = 0x100;
  static constexpr unsigned kFirstI2cDevice = 5;
  static constexpr std::uint64_t kPowerOnNs = 1'000'000;
  static constexpr std::uint64_t kResetReleaseNs = 200'000;

  // Every device starts powered, as firmware leaves it, or off (with
  // software control asking for nothing); `stuck` devices never get power.
  AmdAoac(const Clock& clock, bool poweredAtStart, bool stuck = false);

  std::uint8_t Read8(std::uint32_t offset) const;
  void Write8(std::uint32_t offset, std::uint8_t value);

  bool Powered(unsigned device) const;

 private:
  static constexpr unsigned kDevices = (kSize - 0x40) / 2;

  static bool AsksForPower(std::uint8_t control);

  const Clock& clock_;
  const bool stuck_;
  std::array<std::uint8_t, kSize> bytes_{};
  std::array<std::optional<std::uint64_t>, kDevices> poweredAt_{};
  std::array<std::uint64_t, kDevices> releasedAt_{};  // the reset, once powered
};

}  // namespace sim
