#include "app/run_setup.h"

#include "app/board_record.h"
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

// The first query is the first frame to the PD controller: silence there
// is most often a wrong channel or address, or a controller that has no
// firmware to answer with.
void ExplainSilentController() {
  ConsolePrint(u"No answer from the PD controller (version query at 0x%02X, /sa %02X) on I2C "
               u"channel %d: check /i2c and /sa.\n",
               gChipInfo.tcpiModeAddr, gChipInfo.slaveAddr, static_cast<int>(gSettings.channel));
  ConsolePrint(u"A PD controller without firmware (a new board, an update cut short) does not "
               u"answer: update it with /force (and /id).\n");
}

}  // namespace

int StartRun(FirmwareImage& image) {
  // Without a usable controller no register may be touched: discovery has
  // said why, and the run stops here.
  RecordStep(RunStep::Controller);
  if (!LocateI2cController(gSettings.channel, gPdSettings.debug, gSettings.deviceNode)) return EarlyStop();
  if (!I2cInit()) return EarlyStop();

  UseExpectedChipId(gSettings.expectedChipId);

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

  RecordStep(RunStep::VersionBefore);
  const bool versionRead = GetPdVersion();
  RecordVersionBefore();
  // A controller whose update was cut short sits in its boot code, which
  // does not answer the version query; /force goes on to redo the update.
  if (!versionRead && (!gSettings.force || gSettings.versionOnly)) {
    ExplainSilentController();
    return EarlyStop();
  }
  if (gSettings.versionOnly) {
    // The version text has no line end of its own.
    ConsolePrint(u"\n");
    return kExitSuccess;
  }
  return RunUpdate(versionRead, image);
}
