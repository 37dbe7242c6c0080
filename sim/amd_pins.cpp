#include "sim/amd_pins.h"

namespace sim {

namespace {

constexpr std::uint8_t WithI2cFunction(std::uint8_t reset) {
  return static_cast<std::uint8_t>((reset & ~0x03u) | AmdIomux::kI2cFunction);
}

}  // namespace

AmdIomux::AmdIomux() {
  bytes_[kSclPad] = kSclPadReset;
  bytes_[kSdaPad] = kSdaPadReset;
}

void AmdIomux::Write8(std::uint32_t offset, std::uint8_t value) {
  offset %= kSize;
  bytes_[offset] = value;
  // The log is for tests; a runaway writer must not exhaust memory.
  if (writes_.size() < 4096) writes_.push_back({offset, value});
}

bool AmdIomux::I2cRouted() const {
  return bytes_[kSclPad] == WithI2cFunction(kSclPadReset) &&
         bytes_[kSdaPad] == WithI2cFunction(kSdaPadReset);
}

}  // namespace sim
