#include "pd/version.h"

#include "i2c/controller.h"
#include "i2c/transfer.h"
#include "pd/chip_info.h"
#include "platform/console_text.h"

namespace {

constexpr uint8_t kFirmwareVersionCommand = 0xB6;

// One command per PD version byte, byte 0 first.
constexpr uint8_t kPdVersionCommands[6] = {0xE4, 0xE3, 0xE2, 0xE1, 0xE0, 0xDD};

}  // namespace

PdVersionReading gPdVersionRead{};

// A target that cannot be set has already said why; nothing is sent then.

bool GetPdVersion() {
  gPdVersionRead = PdVersionReading{};
  const uint8_t address = gChipInfo.tcpiModeAddr;
  if (!I2cSetSlaveAddress(address)) return false;
  uint8_t version[2] = {0, 0};
  if (!I2cBlockRead(address, &kFirmwareVersionCommand, 1, version, 2)) {
    ConsolePrint(u"Get_PD_ver I2CBlkDataRead Fail!!\n\n");
    return false;
  }
  ConsolePrint(u"FW Version: %02X%02X", version[0], version[1]);
  gPdVersionRead = PdVersionReading{{version[0], version[1]}, 2};
  return true;
}

bool ShowPdVersion() {
  gPdVersionRead = PdVersionReading{};
  const uint8_t address = gChipInfo.tcpiModeAddr;
  if (!I2cSetSlaveAddress(address)) return false;
  uint8_t version[6] = {0, 0, 0, 0, 0, 0};
  for (int i = 0; i < 6; ++i) {
    if (!I2cBlockRead(address, &kPdVersionCommands[i], 1, &version[i], 1)) {
      ConsolePrint(u"Get_PD_ver Fail!!\n\n");
      return false;
    }
  }
  ConsolePrint(u"\nPD Version : %02X%02X%02X%02X%02X%02X", version[0], version[1], version[2],
               version[3], version[4], version[5]);
  gPdVersionRead = PdVersionReading{{version[0], version[1], version[2], version[3], version[4], version[5]}, 6};
  return true;
}
