// Intel LPSS I2C functions at PCI device 21: the input clock of each PCH
// generation, and the fast-mode counts for it.
#pragma once

#include <stdint.h>

#include "i2c/i2c_host.h"

// The clock the tool's fast-mode timing was made for; also taken for a
// device ID the table does not list.
inline constexpr uint32_t kLpssDefaultClockKhz = 100000;

// Input clock of the LPSS I2C function with this PCI device ID, in kHz;
// 0 when no generation in the table has it.
uint32_t LpssI2cClockKhz(uint16_t deviceId);

// Counts that give, at `clockKhz`, at least the timing the tool's values
// give at 100 MHz: SCL high 0.76 us, low 1.8 us, spikes up to 60 ns
// suppressed; so the bus stays at or below 400 kHz, above fast mode's
// minimums, whatever the clock. At 100 MHz they are those values.
FastModeCounts LpssFastModeCounts(uint32_t clockKhz);

// SCL rate the counts give at `clockKhz`, in units of 100 Hz.
uint32_t SclRateHectohertz(const FastModeCounts& counts, uint32_t clockKhz);
