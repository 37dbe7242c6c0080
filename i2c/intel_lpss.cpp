#include "i2c/intel_lpss.h"

namespace {

// PCH generations whose I2C controllers 0 to 3 are functions 0 to 3 of PCI
// device 21, with the input clock of their LPSS I2C block. Where Linux's
// intel-lpss-pci.c and coreboot's per-SoC clock settings disagree the row
// takes the higher clock, so that the counts keep fast mode on either
// (slower, never faster, on the lower one), and says it is an assumption.
struct LpssGeneration {
  uint16_t firstDeviceId;  // function 0; the others follow
  uint8_t functions;
  uint16_t clockMhz;
  bool assumed;
};

constexpr LpssGeneration kGenerations[] = {
    {0x9D60, 4, 120, false},  // Sunrise Point-LP: Linux
    {0xA160, 3, 120, false},  // Sunrise Point-H: Linux
    {0xA2E0, 4, 120, false},  // Kaby Lake-H (Union Point): Linux
    {0xA3E0, 4, 120, false},  // Comet Lake-V: Linux
    {0xA0E8, 4, 133, true},   // Tiger Lake-LP: Linux 120, coreboot 133
    {0x9DE8, 4, 216, false},  // Cannon Lake-LP: Linux
    {0xA368, 4, 216, false},  // Cannon Lake-H: Linux
    {0x02E8, 4, 216, false},  // Comet Lake-LP: Linux
    {0x06E8, 4, 216, false},  // Comet Lake-H: Linux
    {0x34E8, 4, 133, false},  // Ice Lake-LP: Linux
    {0x4DE8, 4, 133, false},  // Jasper Lake: Linux
    {0x43E8, 4, 133, false},  // Tiger Lake-H: Linux
    {0x98E8, 4, 133, false},  // Lakefield: Linux
    {0x51E8, 4, 133, false},  // Alder Lake-P: Linux
    {0x54E8, 4, 133, false},  // Alder Lake-M: Linux
    {0x7ACC, 4, 133, false},  // Alder Lake-S: Linux
    {0x7A4C, 4, 133, false},  // Raptor Lake-S: Linux
    {0x7E78, 4, 133, false},  // Meteor Lake-P: Linux
    {0x7F4C, 4, 133, false},  // Meteor Lake-S PCH: Linux
    {0x7778, 4, 133, false},  // Arrow Lake-H: Linux
    {0x4B78, 4, 133, true},   // Elkhart Lake: Linux 100, coreboot 133 (soc/intel/elkhartlake)
    {0xA878, 4, 100, false},  // Lunar Lake-M: Linux
    {0xE378, 4, 133, true},   // Panther Lake-H: Linux 100, coreboot 133
    {0xE478, 4, 133, true},   // Panther Lake-P: Linux 100, coreboot 133
    {0x4D78, 4, 133, true},   // Wildcat Lake: Linux 100, coreboot 133 (soc/intel/pantherlake)
    {0xD378, 4, 133, true},   // Nova Lake-H: Linux 100, coreboot 133
    {0x6E4C, 4, 133, true},   // Nova Lake-S: Linux 100, coreboot 133
};

// The timing the tool's values give at 100 MHz, in nanoseconds.
constexpr uint32_t kSclHighNs = 760;
constexpr uint32_t kSclLowNs = 1800;
constexpr uint32_t kSpikeNs = 60;

// Clock periods that last at least `ns`.
uint32_t PeriodsFor(uint32_t ns, uint32_t clockKhz) {
  return (ns * clockKhz + 999999) / 1000000;
}

}  // namespace

uint32_t LpssI2cClockKhz(uint16_t deviceId, bool* assumed) {
  for (const LpssGeneration& generation : kGenerations) {
    if (deviceId >= generation.firstDeviceId &&
        deviceId < generation.firstDeviceId + generation.functions) {
      *assumed = generation.assumed;
      return generation.clockMhz * 1000u;
    }
  }
  *assumed = true;
  return kLpssUnknownClockKhz;
}

FastModeCounts LpssFastModeCounts(uint32_t clockKhz) {
  FastModeCounts counts;
  const uint32_t spike = PeriodsFor(kSpikeNs, clockKhz);
  counts.spklen = spike != 0 ? spike : 1;
  // SCL high lasts HCNT + SPKLEN + 7 periods, low LCNT + 1.
  counts.hcnt = PeriodsFor(kSclHighNs, clockKhz) - counts.spklen - 7;
  counts.lcnt = PeriodsFor(kSclLowNs, clockKhz) - 1;
  return counts;
}

uint32_t SclRateHectohertz(const FastModeCounts& counts, uint32_t clockKhz) {
  const uint32_t periods = counts.hcnt + counts.spklen + 7 + counts.lcnt + 1;
  return (clockKhz * 10 + periods / 2) / periods;
}
