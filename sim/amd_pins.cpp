#include "sim/amd_pins.h"

#include <optional>

namespace sim {

namespace {

struct I2cPads {
  std::uint32_t scl;  // IOMUX offset = GPIO number
  std::uint32_t sda;
  std::uint8_t function;  // the function that is this controller's SCL and SDA
};

constexpr std::optional<I2cPads> kPads[] = {
    I2cPads{145, 146, 0},
    I2cPads{147, 148, 0},
    I2cPads{AmdIomux::kSclPad, AmdIomux::kSdaPad, 1},
    I2cPads{19, 20, 1},
    std::nullopt,
    std::nullopt,
};

constexpr std::uint8_t kFunctionMask = 0x03;

}  // namespace

AmdIomux::AmdIomux() {
  for (const auto& pads : kPads) {
    if (pads) bytes_[pads->scl] = bytes_[pads->sda] = pads->function;
  }
  bytes_[kSclPad] = kSclPadReset;
  bytes_[kSdaPad] = kSdaPadReset;
  atStart_ = bytes_;
}

void AmdIomux::Write8(std::uint32_t offset, std::uint8_t value) {
  offset %= kSize;
  bytes_[offset] = value;
  // The log is for tests; a runaway writer must not exhaust memory.
  if (writes_.size() < 4096) writes_.push_back({offset, value});
}

bool AmdIomux::I2cRouted(unsigned channel) const {
  if (channel >= std::size(kPads) || !kPads[channel]) return true;
  const I2cPads& pads = *kPads[channel];
  auto selects = [&](std::uint32_t pad) {
    return bytes_[pad] == ((atStart_[pad] & ~kFunctionMask) | pads.function);
  };
  return selects(pads.scl) && selects(pads.sda);
}

}  // namespace sim
