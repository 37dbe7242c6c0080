// The PCH generations whose LPSS I2C controllers the simulated Intel board
// can present at PCI 0:21.f (--lpss NAME): the device IDs of the functions
// and the input clock of their I2C blocks, as coreboot knows them (Linux's
// figures beside them where the two disagree), kept apart from the tool's
// own table so that a mistake in either shows up as a failed run.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace sim {

struct LpssGeneration {
  const char* name;  // --lpss NAME
  const char* part;
  std::uint16_t firstDeviceId;  // function 0; function f has firstDeviceId + f
  unsigned functions;           // I2C controllers at device 21
  std::uint64_t clockHz;
};

std::span<const LpssGeneration> LpssGenerations();

// nullptr when no generation has this name.
const LpssGeneration* FindLpssGeneration(const std::string& name);

// Lunar Lake clocks its I2C blocks at 100 MHz, the clock the tool's timing
// was made for, so a default run looks as it always did.
inline constexpr const char* kDefaultLpss = "lnl-m";

}  // namespace sim
