#include "app/run_setup.h"

#include "app/early_stop.h"
#include "app/exit_codes.h"
#include "app/firmware_image.h"
#include "app/sha256.h"
#include "app/settings.h"
#include "app/update_pass.h"
#include "i2c/controller.h"
#include "i2c/discovery.h"
#include "pd/chip_info.h"
#include "pd/pd_settings.h"
#include "pd/version.h"
#include "platform/console_text.h"
#include "platform/platform.h"

namespace {

// Chips whose model byte is 0x51 or 0x53 want 0xFF as the lead byte of the
// second halt write; every other chip wants 0x00.
uint8_t DummyFor(uint16_t expectedChipId) {
  const uint8_t model = static_cast<uint8_t>(expectedChipId & 0xFF);
  return (model == 0x51 || model == 0x53) ? 0xFF : 0x00;
}

}  // namespace

int StartRun(FirmwareImage& image) {
  // Without a usable controller no register may be touched: discovery has
  // said why, and the run stops here.
  if (!LocateI2cController(gSettings.channel, gPdSettings.debug)) return EarlyStop();
  if (!I2cInit()) return EarlyStop();

  gChipInfo.expectedId[0] = static_cast<uint8_t>(gSettings.expectedChipId >> 8);
  gChipInfo.expectedId[1] = static_cast<uint8_t>(gSettings.expectedChipId & 0xFF);
  gPdSettings.stopCpuLeadByte = DummyFor(gSettings.expectedChipId);
  SelectTcpiModeAddress(gChipInfo.expectedId);

  if (gPdSettings.debug) {
    ConsolePrint(u"Slave Address = 0x%2X, Channel = 0x%2X, Cfg = 0x%2X\n", gChipInfo.slaveAddr,
                 gSettings.channel, gSettings.configPort);
    ConsolePrint(u"TCPC Address = 0x%2X, Dummy = 0x%2X\n", gChipInfo.tcpiModeAddr,
                 gPdSettings.stopCpuLeadByte);
    if (image.loaded) {
      char hex[kSha256HexDigits + 1];
      Sha256Hex(image.sha256, hex);
      StdPrintf("Image SHA-256 = %s\n", hex);
    }
    ConsolePrint(u"Get_PD_ver\n");
  }

  const bool versionRead = GetPdVersion();
  // A controller whose update was cut short sits in its boot code, which
  // does not answer the version query; /force goes on to redo the update.
  if (!versionRead && (!gSettings.force || gSettings.versionOnly)) return EarlyStop();
  if (gSettings.versionOnly) return kExitSuccess;
  return RunUpdate(versionRead, image);
}
