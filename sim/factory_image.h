// What a simulated PD controller's flash holds when it leaves the factory:
// a small firmware with its signature, the rest of the flash erased. A board
// started without a flash file of its own boots this firmware.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace sim {

// Where the chip's boot code looks for a signature: the firmware starts only
// when these bytes are not all erased.
inline constexpr std::size_t kFlashSignatureAt = 0x40;
inline constexpr std::size_t kFlashSignatureBytes = 16;

// The whole flash content for a flash of `flashBytes` bytes (at least 0x50).
std::vector<std::uint8_t> FactoryFlash(std::size_t flashBytes);

}  // namespace sim
