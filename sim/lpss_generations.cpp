#include "sim/lpss_generations.h"

#include <array>

namespace sim {

namespace {

constexpr std::uint64_t kMHz = 1'000'000;

// The rows follow coreboot, one block per SoC directory as coreboot names
// it: the device ID of I2C0 from src/include/device/pci_ids.h (the
// PCI_DID_INTEL_*_I2C0 entry, bound by soc/intel/common/block/i2c/i2c.c),
// the clock from that SoC's Kconfig (DRIVERS_I2C_DESIGNWARE_CLOCK_MHZ).
// Where that clock differs from Linux's intel-lpss-pci.c, the plain name has
// Linux's clock and NAME-MHZ coreboot's: a board cannot tell which one its
// part has. Generations coreboot does not list come last, as Linux has them.
constexpr std::array<LpssGeneration, 34> kGenerations = {{
    // soc/intel/skylake/Kconfig: the DesignWare clock is the GSPI clock, 120.
    {"spt-lp", "Sunrise Point-LP", 0x9D60, 4, 120 * kMHz},           // SPT_I2C0
    {"kbl-h", "Kaby Lake-H (Union Point)", 0xA2E0, 4, 120 * kMHz},  // UPT_H_I2C0
    // soc/intel/cannonlake/Kconfig (Cannon, Coffee, Whiskey, Comet Lake): 216.
    {"cnl-lp", "Cannon Lake-LP", 0x9DE8, 4, 216 * kMHz},  // CNL_I2C0
    {"cnl-h", "Cannon Lake-H", 0xA368, 4, 216 * kMHz},    // CNP_H_I2C0
    {"cml-lp", "Comet Lake-LP", 0x02E8, 4, 216 * kMHz},   // CMP_I2C0
    {"cml-h", "Comet Lake-H", 0x06E8, 4, 216 * kMHz},     // CMP_H_I2C0
    // soc/intel/icelake/Kconfig: 133.
    {"icl-lp", "Ice Lake-LP", 0x34E8, 4, 133 * kMHz},  // ICP_I2C0
    // soc/intel/jasperlake/Kconfig: 133.
    {"jsl", "Jasper Lake", 0x4DE8, 4, 133 * kMHz},  // JSP_I2C0
    // soc/intel/tigerlake/Kconfig: 133 for both PCHs; Linux has 120 on -LP.
    {"tgl-lp", "Tiger Lake-LP", 0xA0E8, 4, 120 * kMHz},                         // TGP_I2C0
    {"tgl-lp-133", "Tiger Lake-LP (coreboot's clock)", 0xA0E8, 4, 133 * kMHz},  // TGP_I2C0
    {"tgl-h", "Tiger Lake-H", 0x43E8, 4, 133 * kMHz},                           // TGP_H_I2C0
    // soc/intel/elkhartlake/Kconfig: 133; Linux has 100.
    {"ehl", "Elkhart Lake", 0x4B78, 4, 100 * kMHz},                         // MCC_I2C0
    {"ehl-133", "Elkhart Lake (coreboot's clock)", 0x4B78, 4, 133 * kMHz},  // MCC_I2C0
    // soc/intel/alderlake/Kconfig (also Raptor Lake on these PCHs): 133.
    {"adl-p", "Alder Lake-P", 0x51E8, 4, 133 * kMHz},  // ADP_P_I2C0
    {"adl-m", "Alder Lake-M", 0x54E8, 4, 133 * kMHz},  // ADP_M_N_I2C0
    {"adl-s", "Alder Lake-S", 0x7ACC, 4, 133 * kMHz},  // ADP_S_I2C0
    // soc/intel/meteorlake/Kconfig: 133.
    {"mtl-p", "Meteor Lake-P", 0x7E78, 4, 133 * kMHz},  // MTL_I2C0
    // soc/intel/pantherlake/Kconfig (Panther and Wildcat Lake): 133; Linux
    // has 100. The pci_ids.h read ends at Meteor Lake, so these device IDs
    // are the ones Linux lists.
    {"ptl-h", "Panther Lake-H", 0xE378, 4, 100 * kMHz},
    {"ptl-h-133", "Panther Lake-H (coreboot's clock)", 0xE378, 4, 133 * kMHz},
    {"ptl-p", "Panther Lake-P", 0xE478, 4, 100 * kMHz},
    {"ptl-p-133", "Panther Lake-P (coreboot's clock)", 0xE478, 4, 133 * kMHz},
    {"wcl", "Wildcat Lake", 0x4D78, 4, 100 * kMHz},
    {"wcl-133", "Wildcat Lake (coreboot's clock)", 0x4D78, 4, 133 * kMHz},
    // soc/intel/novalake/Kconfig (SOC_INTEL_NOVALAKE_H_P only): 133; Linux
    // has 100. Device ID as Linux lists it, as for Panther Lake.
    {"nvl-h", "Nova Lake-H", 0xD378, 4, 100 * kMHz},
    {"nvl-h-133", "Nova Lake-H (coreboot's clock)", 0xD378, 4, 133 * kMHz},
    // Linux only: coreboot lists no I2C device ID for these PCHs (Sunrise
    // Point-H, Comet Lake-V, Lakefield, Raptor Point-S, Meteor Lake-S,
    // Arrow Lake-H) or has no such SoC (Lunar Lake, Nova Lake-S).
    {"spt-h", "Sunrise Point-H", 0xA160, 3, 120 * kMHz},
    {"cml-v", "Comet Lake-V", 0xA3E0, 4, 120 * kMHz},
    {"lkf", "Lakefield", 0x98E8, 4, 133 * kMHz},
    {"rpl-s", "Raptor Lake-S", 0x7A4C, 4, 133 * kMHz},
    {"mtl-s", "Meteor Lake-S PCH", 0x7F4C, 4, 133 * kMHz},
    {"arl-h", "Arrow Lake-H", 0x7778, 4, 133 * kMHz},
    {"lnl-m", "Lunar Lake-M", 0xA878, 4, 100 * kMHz},
    {"nvl-s", "Nova Lake-S", 0x6E4C, 4, 100 * kMHz},
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
