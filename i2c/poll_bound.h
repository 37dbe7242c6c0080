// How long a bounded wait may take: at most `polls` looks at a register,
// with a stall of `stallUs` after each (or before each, where the first
// look would be too early). A wait without stalls is bounded by what its
// reads cost, which its definition says.
#pragma once

#include <stdint.h>

struct PollBound {
  uint32_t polls;
  uint32_t stallUs;

  // The stalls' total: the wait's limit in time, its reads aside.
  constexpr uint32_t StallUs() const { return polls * stallUs; }
};
