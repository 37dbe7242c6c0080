#include "i2c/intel_lpss.h"

namespace {

// PCH generations whose I2C controllers 0 to 3 are functions 0 to 3 of PCI
// device 21, with the input clock of their LPSS I2C block.
struct LpssGeneration {
  uint16_t firstDeviceId;  // function 0; the others follow
  uint8_t functions;
  uint16_t clockMhz;
};

constexpr LpssGeneration kGenerations[] = {
    {0x9D60, 4, 120},  // Sunrise Point-LP
    {0xA160, 3, 120},  // Sunrise Point-H
    {0xA2E0, 4, 120},  // Kaby Lake-H (Union Point)
    {0xA3E0, 4, 120},  // Comet Lake-V
    {0xA0E8, 4, 120},  // Tiger Lake-LP
    {0x9DE8, 4, 216},  // Cannon Lake-LP
    {0xA368, 4, 216},  // Cannon Lake-H
    {0x02E8, 4, 216},  // Comet Lake-LP
    {0x06E8, 4, 216},  // Comet Lake-H
    {0x34E8, 4, 133},  // Ice Lake-LP
    {0x4DE8, 4, 133},  // Jasper Lake
    {0x43E8, 4, 133},  // Tiger Lake-H
    {0x98E8, 4, 133},  // Lakefield
    {0x51E8, 4, 133},  // Alder Lake-P
    {0x54E8, 4, 133},  // Alder Lake-M
    {0x7ACC, 4, 133},  // Alder Lake-S
    {0x7A4C, 4, 133},  // Raptor Lake-S
    {0x7E78, 4, 133},  // Meteor Lake-P
    {0x7F4C, 4, 133},  // Meteor Lake-S PCH
    {0x7778, 4, 133},  // Arrow Lake-H
    {0x4B78, 4, 100},  // Elkhart Lake
    {0xA878, 4, 100},  // Lunar Lake-M
    {0xE378, 4, 100},  // Panther Lake-H
    {0xE478, 4, 100},  // Panther Lake-P
    {0x4D78, 4, 100},  // Wildcat Lake
    {0xD378, 4, 100},  // Nova Lake-H
    {0x6E4C, 4, 100},  // Nova Lake-S
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

uint32_t LpssI2cClockKhz(uint16_t deviceId) {
  for (const LpssGeneration& generation : kGenerations) {
    if (deviceId >= generation.firstDeviceId &&
        deviceId < generation.firstDeviceId + generation.functions) {
      return generation.clockMhz * 1000u;
    }
  }
  return 0;
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
