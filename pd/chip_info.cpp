#include "pd/chip_info.h"

#include "i2c/controller.h"
#include "i2c/transfer.h"
#include "pd/pd_settings.h"
#include "platform/console_text.h"

constinit ChipInfo gChipInfo{};

namespace {

constexpr uint8_t kFamilyA = 0x52;
constexpr uint8_t kFamilyB = 0x88;

constexpr uint8_t kChipIdCommand[2] = {0xFF, 0xC0};

// ID byte 2, the variant: a top bit whose meaning depends on the model, and
// a revision below it.
constexpr uint8_t kVariantTopBit = 0x80;
constexpr uint8_t kVariantRevision = 0x7F;

// ID byte 3: the size code in bits 3..2.
constexpr unsigned kSizeCodeShift = 2;
constexpr uint8_t kSizeCodeMask = 0x03;

bool InRange(uint8_t value, uint8_t low, uint8_t high) { return value >= low && value <= high; }

// Family A models 0x50..0x5F move the size bit's meaning and use the 00 00
// data port with a shifted third address byte.
bool IsFamilyAWideModel(uint8_t model) { return InRange(model, 0x50, 0x5F); }

// Family B models 0x56..0x59 encode the size in bits 3..2 of ID byte 3.
bool IsFamilyBSizedModel(uint8_t model) { return InRange(model, 0x56, 0x59); }

uint8_t SizeCode(const uint8_t id[4]) {
  return static_cast<uint8_t>((id[3] >> kSizeCodeShift) & kSizeCodeMask);
}

bool TopBit(uint8_t variant) { return (variant & kVariantTopBit) != 0; }

// Size code 0, 1, 2 = 64, 128, 256 KB; 3 has no size.
uint32_t SizeFromCode(uint8_t code) { return code < 3 ? 64u << code : 0u; }

void SetGeometry(uint8_t prefix0, uint8_t prefix1, uint32_t addrBytes, uint32_t addrShift) {
  gChipInfo.bridgePrefix[0] = prefix0;
  gChipInfo.bridgePrefix[1] = prefix1;
  gChipInfo.addrBytes = addrBytes;
  gChipInfo.addrShift = addrShift;
}

// Only the two supported families get here: every other one has no size.
void ApplyFlashGeometry(const uint8_t id[4]) {
  const uint8_t family = id[0];
  const uint8_t model = id[1];
  const uint8_t variant = id[2];
  if (family == kFamilyA) {
    if (IsFamilyAWideModel(model)) {
      SetGeometry(0x00, 0x00, 3, 1);
    } else {
      SetGeometry(0xFF, 0xF7, 3, 0);
    }
    return;
  }
  if (model == 0x53 && variant == 0x00) {
    // This variant takes the 0xFF 0xF7 port but the short address frame.
    SetGeometry(0xFF, 0xF7, 2, 0);
  } else if (IsFamilyBSizedModel(model)) {
    SetGeometry(0xFF, 0xF7, 3, 0);
  } else if ((variant & kVariantRevision) < 5) {
    SetGeometry(0x00, 0x00, 2, 0);
  } else {
    SetGeometry(0x00, 0x00, 3, 1);
  }
}

// Chips whose model byte is 0x51 or 0x53 want 0xFF as the lead byte of the
// second halt write; every other chip wants 0x00.
uint8_t StopCpuLeadByteFor(uint8_t model) { return (model == 0x51 || model == 0x53) ? 0xFF : 0x00; }

void ShowTcpiModeAddress() {
  if (gPdSettings.debug) ConsolePrint(u"TCPI_Mode_addr = 0x%02X\n", gChipInfo.tcpiModeAddr);
}

}  // namespace

uint32_t GetFlashSize(const uint8_t id[4]) {
  const uint8_t family = id[0];
  const uint8_t model = id[1];
  const uint8_t variant = id[2];
  if (family == kFamilyA) {
    if (model == 0x30 && SizeCode(id) != 3) return SizeFromCode(SizeCode(id));
    // The wide models read the variant bit the other way round.
    if (IsFamilyAWideModel(model)) return TopBit(variant) ? 64 : 128;
    return TopBit(variant) ? 128 : 64;
  }
  if (family == kFamilyB) {
    if (model == 0x53 && variant == 0x00) return 64;
    if (IsFamilyBSizedModel(model)) return SizeFromCode(SizeCode(id));
    if (TopBit(variant)) return 64;
    return (variant & kVariantRevision) < 5 ? 32 : 128;
  }
  return 0;
}

void SelectTcpiModeAddress(const uint8_t id[2]) {
  const uint8_t family = id[0];
  const uint8_t model = id[1];
  const uint8_t slave = gChipInfo.slaveAddr;
  if (model == 0x56 || model == 0x57) {
    if (slave == 0x80) {
      gChipInfo.tcpiModeAddr = 0x98;
    } else if (slave == 0x84) {
      gChipInfo.tcpiModeAddr = 0x9C;
    }
  } else if (family == kFamilyA || family == 0x58) {
    switch (slave) {
      case 0xCC: gChipInfo.tcpiModeAddr = 0x4C; break;
      case 0xCE: gChipInfo.tcpiModeAddr = 0x4E; break;
      case 0xD0: gChipInfo.tcpiModeAddr = 0x50; break;
      case 0xD2: gChipInfo.tcpiModeAddr = 0x52; break;
      default: break;
    }
  } else {
    gChipInfo.tcpiModeAddr = slave;
  }
  ShowTcpiModeAddress();
}

void UseExpectedChipId(uint16_t expectedChipId) {
  gChipInfo.expectedId[0] = static_cast<uint8_t>(expectedChipId >> 8);
  gChipInfo.expectedId[1] = static_cast<uint8_t>(expectedChipId & 0xFF);
  gPdSettings.stopCpuLeadByte = StopCpuLeadByteFor(gChipInfo.expectedId[1]);
  SelectTcpiModeAddress(gChipInfo.expectedId);
}

bool GetChipId(uint8_t id[4]) {
  // The bridge operations that follow rely on this target staying in force.
  // A target that cannot be set has already said why; no read is attempted.
  if (!I2cSetSlaveAddress(gChipInfo.slaveAddr)) return false;

  if (!I2cBlockRead(gChipInfo.slaveAddr, kChipIdCommand, 2, id, 4)) {
    ConsolePrint(u"Get_chipID ->  I2CBlkDataReadFail!!\n\n");
    return false;
  }
  // Kept also when it is refused below: the run's record names the chip found.
  for (int i = 0; i < 4; ++i) gChipInfo.chipId[i] = id[i];
  gChipInfo.chipIdRead = true;
  if (gPdSettings.debug) {
    ConsolePrint(u"CMD Chip ID: OV%0X%0X, Parameter Chip ID: OV%0X%0X\n", id[0], id[1],
                 gChipInfo.expectedId[0], gChipInfo.expectedId[1]);
  }
  if (id[0] != gChipInfo.expectedId[0] || id[1] != gChipInfo.expectedId[1]) {
    ConsolePrint(u"Chip ID Mismatch!!\n\n");
    // Which chip answered says whether /id was mistyped or the board is
    // not one the image is meant for.
    ConsolePrint(u"Chip ID found: OV%02X%02X, expected: OV%02X%02X (/id); check /id and the image.\n",
                 id[0], id[1], gChipInfo.expectedId[0], gChipInfo.expectedId[1]);
    return false;
  }
  gChipInfo.flashSizeKb = GetFlashSize(id);
  if (gChipInfo.flashSizeKb == 0) {
    ConsolePrint(u"Get_chipID PD_FLash_Size error!!\n\n");
    return false;
  }
  ApplyFlashGeometry(id);
  // The address was chosen from the expected ID, which this one matches;
  // the debug log shows it again where the chip has confirmed it.
  ShowTcpiModeAddress();
  return true;
}
