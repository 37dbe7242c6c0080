#include "sim/amd_aoac.h"

namespace sim {

namespace {

constexpr std::uint8_t kPowerOnDevice = 0x08;
constexpr std::uint8_t kSoftwareBits = 0x70;
constexpr std::uint8_t kSoftwareControl = 0x80;
constexpr std::uint8_t kTargetD0 = 0x01;
constexpr std::uint8_t kTargetD3Cold = 0x03;
constexpr std::uint8_t kStatePowerAndClock = 0x03;  // power/reset state, reference clock OK
constexpr std::uint8_t kStateResetReleased = 0x04;

}  // namespace

AmdAoac::AmdAoac(const Clock& clock, bool poweredAtStart, bool stuck)
    : clock_(clock), stuck_(stuck) {
  for (unsigned device = 0; device < kDevices; ++device) {
    bytes_[0x40 + 2 * device] =
        poweredAtStart ? (kPowerOnDevice | kTargetD0) : (kSoftwareControl | kTargetD3Cold);
    if (poweredAtStart) poweredAt_[device] = 0;
  }
}

bool AmdAoac::AsksForPower(std::uint8_t control) {
  if ((control & kSoftwareControl) != 0) return (control & kSoftwareBits) == kSoftwareBits;
  return (control & kPowerOnDevice) != 0;
}

std::uint8_t AmdAoac::Read8(std::uint32_t offset) const {
  offset %= kSize;
  if (offset >= 0x40 && (offset & 1) != 0) {
    const std::optional<std::uint64_t>& poweredAt = poweredAt_[(offset - 0x40) / 2];
    if (!poweredAt || clock_.NowNs() < *poweredAt) return 0;
    return Powered((offset - 0x40) / 2) ? kStatePowerAndClock | kStateResetReleased : kStatePowerAndClock;
  }
  return bytes_[offset];
}

void AmdAoac::Write8(std::uint32_t offset, std::uint8_t value) {
  offset %= kSize;
  if (offset >= 0x40 && (offset & 1) != 0) return;  // state bytes are read-only
  bytes_[offset] = value;
  if (offset < 0x40) return;
  std::optional<std::uint64_t>& poweredAt = poweredAt_[(offset - 0x40) / 2];
  if (!AsksForPower(value) || stuck_) {
    poweredAt.reset();
  } else if (!poweredAt) {
    poweredAt = clock_.NowNs() + kPowerOnNs;
    releasedAt_[(offset - 0x40) / 2] = *poweredAt + kResetReleaseNs;
  }
}

bool AmdAoac::Powered(unsigned device) const {
  return device < kDevices && poweredAt_[device] && clock_.NowNs() >= releasedAt_[device];
}

}  // namespace sim
