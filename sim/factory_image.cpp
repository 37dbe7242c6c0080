#include "sim/factory_image.h"

#include <algorithm>

namespace sim {

namespace {

// Smaller than any flash a chip of the supported families has.
constexpr std::size_t kFactoryFirmwareBytes = 24 * 1024;
constexpr char kSignature[kFlashSignatureBytes] = {'P', 'D', ' ', 'F', 'A', 'C', 'T', 'O', 'R', 'Y', ' ', 'F', 'W', ' ', '0', '1'};

}  // namespace

std::vector<std::uint8_t> FactoryFlash(std::size_t flashBytes) {
  std::vector<std::uint8_t> flash(flashBytes, 0xFF);
  const std::size_t firmware = std::min(flashBytes, kFactoryFirmwareBytes);
  // A linear congruential sequence: code-like bytes without long erased runs.
  std::uint32_t state = 0x2545F491u;
  for (std::size_t i = 0; i < firmware; ++i) {
    state = state * 1664525u + 1013904223u;
    flash[i] = static_cast<std::uint8_t>(state >> 23);
  }
  std::copy(std::begin(kSignature), std::end(kSignature), flash.begin() + kFlashSignatureAt);
  return flash;
}

}  // namespace sim
