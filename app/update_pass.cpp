#include "app/update_pass.h"

#include "app/firmware_image.h"
#include "app/image_passes.h"
#include "app/early_stop.h"
#include "app/exit_codes.h"
#include "app/settings.h"
#include "app/signature.h"
#include "i2c/controller.h"
#include "pd/chip_info.h"
#include "pd/flash_bridge.h"
#include "pd/mode_commands.h"
#include "pd/pd_settings.h"
#include "pd/version.h"
#include "pd/watchdog.h"
#include "platform/console_text.h"
#include "platform/platform.h"

namespace {

// After a failure from the erase on, the flash may hold no whole signed
// image, and the controller would come up without firmware: one that powers
// the machine through USB-C might then not charge it again.
void WarnFirmwareIncomplete() {
  ConsolePrint(u"\nPD FW Incomplete! Run VEXA again (with /force if Get_PD_ver fails) "
               u"before powering the board off!!\n");
}

// Halts the controller's CPU, identifies the chip and enters test mode.
// false when the run has to stop.
bool PrepareTestMode(bool versionShown) {
  if (I2cSetSlaveAddress(gChipInfo.SlaveAddr) != 0) return false;
  if (gPdSettings.debug) ConsolePrint(u"\n");
  if (Exit_Test_mode() != 0) return false;
  PlatformStall(200);
  if (Stop_CPU() != 0) return false;

  if (gPdSettings.debug) ConsolePrint(u"Get_chipID\n");
  uint8_t id[4] = {0, 0, 0, 0};
  if (Get_chipID(id) != 0) return false;
  // The chip ID shares the line of the version, when there is one.
  if (!gPdSettings.debug && versionShown) ConsolePrint(u", ");
  ConsolePrint(u"Chip ID: OV%0X%0X\n", id[0], id[1]);

  return Enter_Test_mode() == 0;
}

enum class FlashOutcome { Done, Failed, VerifyFailed, Stop };

// Erase, program, verify and signature. Stop: the erase failed (or never
// started) and the run ends without leaving test mode.
FlashOutcome FlashImage() {
  gImage.sizeKb = FirmwareImageSizeKb(gImage.size);
  StdPrintf("\n\rFile: %s, Size: %d KBytes\n\n", gImage.fileName, static_cast<int>(gImage.sizeKb));

  // Writing past the end of the flash would wrap onto its start after the
  // whole chip has been erased; refuse while the board still has firmware.
  if (gImage.sizeKb > gChipInfo.PD_FLash_Size) {
    ConsolePrint(u"Image Too Large! %d KBytes do not fit in the %d KBytes flash of this chip!!",
                 static_cast<int>(gImage.sizeKb), static_cast<int>(gChipInfo.PD_FLash_Size));
    return FlashOutcome::Stop;
  }

  const int64_t start = PlatformWallClockSeconds();
  ConsolePrint(u"\nErase    : ");
  const uint8_t erase = SpiChipErase();
  if (erase != 0) {
    if (erase == kEraseUnconfirmed) WarnFirmwareIncomplete();
    return FlashOutcome::Stop;
  }

  ConsolePrint(u"\n");
  ConsolePrint(u"\nProgram  : ");
  const uint32_t cellEvery = CellEvery(gImage.sizeKb);
  if (!ProgramPass(cellEvery)) {
    ConsolePrint(u"\n\rSPI_Program1K Fail!");
    WarnFirmwareIncomplete();
    return FlashOutcome::Failed;
  }

  ConsolePrint(u"\n\nVerify   : ");
  if (!VerifyPass(cellEvery)) {
    ConsolePrint(u"\n\nVerify Fail!");
    WarnFirmwareIncomplete();
    return FlashOutcome::VerifyFailed;
  }

  ConsolePrint(u"\n\r\n\rUpdate Success!\n");
  if (!ProgramSignature(start)) {
    WarnFirmwareIncomplete();
    return FlashOutcome::Failed;
  }
  return FlashOutcome::Done;
}

}  // namespace

int RunUpdate(bool versionShown) {
  if (!PrepareTestMode(versionShown)) return EarlyStop();

  FlashOutcome outcome = FlashOutcome::Done;
  if (gImage.loaded) outcome = FlashImage();
  if (outcome == FlashOutcome::Stop) return EarlyStop();

  // The ending: the controller runs its firmware again whatever the flash
  // work came to.
  if (Exit_Test_mode() != 0) return EarlyStop();
  if (gPdSettings.debug) ConsolePrint(u"WDT_Reset\n");
  WDT_Reset();
  if (outcome == FlashOutcome::VerifyFailed) {
    VerifyFailByte();
  } else if (gSettings.showPdVersion) {
    ShowPdVersion();
  } else {
    Get_PD_ver();
  }
  ReleaseFirmwareImage();
  ConsolePrint(u"\n\n");
  PlatformConsoleEnableCursor(true);
  // A board left with a broken image must not look like a success.
  return outcome == FlashOutcome::Done ? kExitSuccess : kExitFailure;
}
