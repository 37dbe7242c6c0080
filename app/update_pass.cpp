#include "app/update_pass.h"

#include "app/board_record.h"
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
  if (!I2cSetSlaveAddress(gChipInfo.slaveAddr)) return false;
  if (gPdSettings.debug) ConsolePrint(u"\n");
  RecordStep(RunStep::ExitTestMode);
  if (!ExitTestMode()) return false;
  PlatformStall(200);
  RecordStep(RunStep::StopCpu);
  if (!StopCpu()) return false;

  if (gPdSettings.debug) ConsolePrint(u"Get_chipID\n");
  uint8_t id[4] = {0, 0, 0, 0};
  RecordStep(RunStep::ChipId);
  if (!GetChipId(id)) return false;
  // The chip ID shares the line of the version, when there is one.
  if (!gPdSettings.debug && versionShown) ConsolePrint(u", ");
  ConsolePrint(u"Chip ID: OV%0X%0X\n", id[0], id[1]);

  RecordStep(RunStep::EnterTestMode);
  return EnterTestMode();
}

// Done: the whole signed image is in the flash. Failed and VerifyFailed:
// the ending follows. Refused: nothing was erased, and the run stops.
// EraseCut: the erase may have begun, and the run stops without leaving
// test mode.
enum class FlashOutcome { Done, Failed, VerifyFailed, Refused, EraseCut };

void PrintTimeConsumed(int64_t startSeconds) {
  const int64_t endSeconds = PlatformWallClockSeconds();
  // A failed clock read would otherwise show as a made-up duration.
  if (startSeconds < 0 || endSeconds < 0) {
    ConsolePrint(u"Time Consuming: unknown (wall clock not readable).\n\n");
    return;
  }
  ConsolePrint(u"Time Consuming: %d sec.\n\n", static_cast<int32_t>(endSeconds - startSeconds));
}

// Erase, program, verify and signature.
FlashOutcome FlashImage(const FirmwareImage& image) {
  StdPrintf("\n\rFile: %s, Size: %d KBytes\n\n", image.fileName, static_cast<int>(image.sizeKb));

  // Writing past the end of the flash would wrap onto its start after the
  // whole chip has been erased; refuse while the board still has firmware.
  RecordStep(RunStep::ImageSize);
  if (image.sizeKb > gChipInfo.flashSizeKb) {
    ConsolePrint(u"Image Too Large! %d KBytes do not fit in the %d KBytes flash of this chip!!",
                 static_cast<int>(image.sizeKb), static_cast<int>(gChipInfo.flashSizeKb));
    return FlashOutcome::Refused;
  }

  const int64_t start = PlatformWallClockSeconds();
  ConsolePrint(u"\nErase    : ");
  RecordStep(RunStep::Erase);
  switch (SpiChipErase()) {
    case EraseResult::Erased: break;
    case EraseResult::NotStarted: return FlashOutcome::Refused;
    case EraseResult::Unconfirmed: return FlashOutcome::EraseCut;
  }

  ConsolePrint(u"\n");
  ConsolePrint(u"\nProgram  : ");
  const uint32_t cellEvery = CellEvery(image.sizeKb);
  RecordStep(RunStep::Program);
  if (!ProgramPass(image, cellEvery)) {
    ConsolePrint(u"\n\rSPI_Program1K Fail!");
    return FlashOutcome::Failed;
  }

  ConsolePrint(u"\n\nVerify   : ");
  RecordStep(RunStep::Verify);
  if (!VerifyPass(image, cellEvery)) {
    ConsolePrint(u"\n\nVerify Fail!");
    return FlashOutcome::VerifyFailed;
  }

  // Success is said only once the signature reads back: before that the
  // controller would not start the image.
  ConsolePrint(u"\n\r\n\r");
  RecordStep(RunStep::Signature);
  if (!ProgramSignature(image)) return FlashOutcome::Failed;
  ConsolePrint(u"Update Success!\n");
  PrintTimeConsumed(start);
  return FlashOutcome::Done;
}

// The board-state line comes after everything else the run prints, so that
// it is the line the operator reads last.
int EndRun(int exitCode, FlashOutcome outcome) {
  if (outcome != FlashOutcome::Done && outcome != FlashOutcome::Refused) WarnFirmwareIncomplete();
  return exitCode;
}

}  // namespace

int RunUpdate(bool versionShown, FirmwareImage& image) {
  if (!PrepareTestMode(versionShown)) return EarlyStop();

  FlashOutcome outcome = FlashOutcome::Done;
  if (image.loaded) outcome = FlashImage(image);
  if (outcome != FlashOutcome::Done) RecordStepFailed();
  if (outcome == FlashOutcome::Refused || outcome == FlashOutcome::EraseCut) {
    return EndRun(EarlyStop(), outcome);
  }

  // The ending: the controller runs its firmware again whatever the flash
  // work came to.
  RecordStep(RunStep::EndTestMode);
  if (!ExitTestMode()) return EndRun(EarlyStop(), outcome);
  if (gPdSettings.debug) ConsolePrint(u"WDT_Reset\n");
  ResetWatchdog();
  if (outcome == FlashOutcome::VerifyFailed) {
    SendVerifyFailByte();
  } else {
    RecordStep(RunStep::VersionAfter);
    if (gSettings.showPdVersion) {
      ShowPdVersion();
    } else {
      GetPdVersion();
    }
    RecordVersionAfter();
  }
  ReleaseFirmwareImage(image);
  ConsolePrint(u"\n\n");
  PlatformConsoleEnableCursor(true);
  // A board left with a broken image must not look like a success.
  return EndRun(outcome == FlashOutcome::Done ? kExitSuccess : kExitFailure, outcome);
}
