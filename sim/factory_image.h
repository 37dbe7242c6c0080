// What a simulated PD controller's flash holds when it leaves the factory:
// a small firmware with its signature, the rest of the flash erased. A board
// started without a flash file of its own boots this firmware.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace sim {

// The whole flash content for a flash of `flashBytes` bytes (at least 0x50).
std::vector<std::uint8_t> FactoryFlash(std::size_t flashBytes);

}  // namespace sim
