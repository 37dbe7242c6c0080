// Intel LPSS I2C functions at PCI device 21: the input clock of each PCH
// generation, and the fast-mode counts for it.
#pragma once

#include <stdint.h>

#include "i2c/i2c_host.h"

// A device ID the table does not list gets the counts for the fastest
// LPSS I2C clock any generation has, which only slows the bus on the
// others.
inline constexpr uint32_t kLpssUnknownClockKhz = 216000;

// The input clock, in kHz, the counts for the LPSS I2C function with this
// PCI device ID are made for; `assumed` is set when that clock is a guess
// (sources disagree, or the ID is not listed) rather than known.
uint32_t LpssI2cClockKhz(uint16_t deviceId, bool* assumed);

// Counts that give, at `clockKhz`, at least the timing the tool's values
// give at 100 MHz: SCL high 0.76 us, low 1.8 us, spikes up to 60 ns
// suppressed; so the bus stays at or below 400 kHz, above fast mode's
// minimums, whatever the clock. At 100 MHz they are those values.
FastModeCounts LpssFastModeCounts(uint32_t clockKhz);

// SCL rate the counts give at `clockKhz`, in units of 100 Hz.
uint32_t SclRateHectohertz(const FastModeCounts& counts, uint32_t clockKhz);
