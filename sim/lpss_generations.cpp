#include "sim/lpss_generations.h"

#include <array>

namespace sim {

namespace {

constexpr std::uint64_t kMHz = 1'000'000;

// Where coreboot's per-SoC clock setting differs from Linux's
// intel-lpss-pci.c, both are offered: the plain name with Linux's clock and
// a -133 variant with coreboot's. A board cannot tell which one a part has.
constexpr std::array<LpssGeneration, 33> kGenerations = {{
    {"spt-lp", "Sunrise Point-LP", 0x9D60, 4, 120 * kMHz},
    {"spt-h", "Sunrise Point-H", 0xA160, 3, 120 * kMHz},
    {"kbl-h", "Kaby Lake-H (Union Point)", 0xA2E0, 4, 120 * kMHz},
    {"cml-v", "Comet Lake-V", 0xA3E0, 4, 120 * kMHz},
    {"tgl-lp", "Tiger Lake-LP", 0xA0E8, 4, 120 * kMHz},
    {"tgl-lp-133", "Tiger Lake-LP (coreboot's clock)", 0xA0E8, 4, 133 * kMHz},
    {"cnl-lp", "Cannon Lake-LP", 0x9DE8, 4, 216 * kMHz},
    {"cnl-h", "Cannon Lake-H", 0xA368, 4, 216 * kMHz},
    {"cml-lp", "Comet Lake-LP", 0x02E8, 4, 216 * kMHz},
    {"cml-h", "Comet Lake-H", 0x06E8, 4, 216 * kMHz},
    {"icl-lp", "Ice Lake-LP", 0x34E8, 4, 133 * kMHz},
    {"jsl", "Jasper Lake", 0x4DE8, 4, 133 * kMHz},
    {"tgl-h", "Tiger Lake-H", 0x43E8, 4, 133 * kMHz},
    {"lkf", "Lakefield", 0x98E8, 4, 133 * kMHz},
    {"adl-p", "Alder Lake-P", 0x51E8, 4, 133 * kMHz},
    {"adl-m", "Alder Lake-M", 0x54E8, 4, 133 * kMHz},
    {"adl-s", "Alder Lake-S", 0x7ACC, 4, 133 * kMHz},
    {"rpl-s", "Raptor Lake-S", 0x7A4C, 4, 133 * kMHz},
    {"mtl-p", "Meteor Lake-P", 0x7E78, 4, 133 * kMHz},
    {"mtl-s", "Meteor Lake-S PCH", 0x7F4C, 4, 133 * kMHz},
    {"arl-h", "Arrow Lake-H", 0x7778, 4, 133 * kMHz},
    {"ehl", "Elkhart Lake", 0x4B78, 4, 100 * kMHz},
    {"lnl-m", "Lunar Lake-M", 0xA878, 4, 100 * kMHz},
    {"ptl-h", "Panther Lake-H", 0xE378, 4, 100 * kMHz},
    {"ptl-h-133", "Panther Lake-H (coreboot's clock)", 0xE378, 4, 133 * kMHz},
    {"ptl-p", "Panther Lake-P", 0xE478, 4, 100 * kMHz},
    {"ptl-p-133", "Panther Lake-P (coreboot's clock)", 0xE478, 4, 133 * kMHz},
    {"wcl", "Wildcat Lake", 0x4D78, 4, 100 * kMHz},
    {"nvl-h", "Nova Lake-H", 0xD378, 4, 100 * kMHz},
    {"nvl-h-133", "Nova Lake-H (coreboot's clock)", 0xD378, 4, 133 * kMHz},
    {"nvl-s", "Nova Lake-S", 0x6E4C, 4, 100 * kMHz},
    {"nvl-s-133", "Nova Lake-S (coreboot's clock)", 0x6E4C, 4, 133 * kMHz},
    // A part no driver table lists, clocked as fast as any LPSS I2C block
    // is: whatever its clock, a tool can only guess it.
    {"unknown", "a device ID no driver table lists", 0xF0E8, 4, 216 * kMHz},
}};

}  // namespace

std::span<const LpssGeneration> LpssGenerations() { return kGenerations; }

const LpssGeneration* FindLpssGeneration(const std::string& name) {
  for (const LpssGeneration& generation : kGenerations) {
    if (name == generation.name) return &generation;
  }
  return nullptr;
}

}  // namespace sim
