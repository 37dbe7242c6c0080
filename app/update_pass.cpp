#include "app/update_pass.h"

#include "app/board_record.h"
#include "app/firmware_image.h"
#include "app/flash_readout.h"
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

// The lines that say what to do when the controller is left without its
// firmware running though the flash would let it: after a whole update,
// and after a run that stopped before it touched the flash.
void WarnHaltedWithNewImage() {
  ConsolePrint(u"\nPD Controller Halted! The flash holds the new image; power-cycle the board.\n");
}
void WarnNotAnsweringWithNewImage() {
  ConsolePrint(u"\nPD Controller Does Not Answer! The flash holds the new image; power-cycle the board.\n");
}
void WarnHaltedWithFlashUnchanged() {
  ConsolePrint(u"\nPD Controller Halted! The flash is unchanged; run VEXA again (with /force if Get_PD_ver "
               u"fails).\n");
}

// The chip whose watchdog restarts the controller: the one that answered
// the chip-ID read, or the one named with /id when none did.
struct WatchdogChip {
  uint8_t family = 0;
  uint8_t model = 0;
};

// Leaves test mode and restarts the controller through its watchdog.
// false when either failed (printed, on a line of its own).
bool RestartController(const WatchdogChip& chip) {
  if (!ExitTestMode()) {
    ConsolePrint(u"\n");
    return false;
  }
  if (gPdSettings.debug) ConsolePrint(u"WDT_Reset\n");
  return ResetWatchdog(chip.family, chip.model);
}

// A stop after the CPU was halted and before anything was erased: the
// controller runs its firmware again, as at the end of an update, and the
// run stops with exit code 7.
int StopRestarting(const WatchdogChip& chip) {
  ConsolePrint(u"\n\n");
  if (!RestartController(chip)) WarnHaltedWithFlashUnchanged();
  PlatformConsoleEnableCursor(true);
  return kExitFailure;
}

// Halts the controller's CPU, identifies the chip and enters test mode.
// false when the run has stopped; its exit code is in `exitCode`.
bool PrepareTestMode(bool versionShown, WatchdogChip& chip, int& exitCode) {
  exitCode = kExitFailure;
  if (!I2cSetSlaveAddress(gChipInfo.slaveAddr)) {
    exitCode = EarlyStop();
    return false;
  }
  if (gPdSettings.debug) ConsolePrint(u"\n");
  RecordStep(RunStep::ExitTestMode);
  if (!ExitTestMode()) {
    exitCode = EarlyStop();
    return false;
  }
  PlatformStall(200);
  RecordStep(RunStep::StopCpu);
  if (!StopCpu()) {
    exitCode = EarlyStop();
    return false;
  }

  if (gPdSettings.debug) ConsolePrint(u"Get_chipID\n");
  uint8_t id[4] = {0, 0, 0, 0};
  RecordStep(RunStep::ChipId);
  const bool identified = GetChipId(id);
  // A chip other than the one named has given its own ID. One the tool
  // does not know is no answer (a read that failed, a command frame lost on
  // the way): the chip named stands in.
  chip = GetFlashSize(id) != 0 ? WatchdogChip{id[0], id[1]}
                               : WatchdogChip{gChipInfo.expectedId[0], gChipInfo.expectedId[1]};
  if (!identified) {
    exitCode = StopRestarting(chip);
    return false;
  }
  // The chip ID shares the line of the version, when there is one.
  if (!gPdSettings.debug && versionShown) ConsolePrint(u", ");
  ConsolePrint(u"Chip ID: OV%0X%0X\n", id[0], id[1]);

  RecordStep(RunStep::EnterTestMode);
  if (!EnterTestMode()) {
    exitCode = StopRestarting(chip);
    return false;
  }
  return true;
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
  // Writing past the end of the flash would wrap onto its start after the
  // whole chip has been erased; refuse while the board still has firmware.
  RecordStep(RunStep::ImageSize);
  if (!ShowImageFitsFlash(image, gChipInfo.flashSizeKb)) return FlashOutcome::Refused;

  // What the board held is kept before anything of it is erased.
  if (gSettings.backupFile != nullptr) {
    RecordStep(RunStep::FlashRead);
    if (!BackupFlash()) return FlashOutcome::Refused;
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

bool QueryVersion() { return gSettings.showPdVersion ? ShowPdVersion() : GetPdVersion(); }

}  // namespace

int RunUpdate(bool versionShown, FirmwareImage& image) {
  WatchdogChip chip;
  int stopped = kExitFailure;
  if (!PrepareTestMode(versionShown, chip, stopped)) return stopped;

  FlashOutcome outcome = FlashOutcome::Done;
  // /dump and /check only read: the ending then decides nothing but
  // whether the controller runs again.
  const bool readout = ReadoutRequested();
  if (readout) RecordStep(RunStep::FlashRead);
  const int readoutCode = readout ? ReadOutFlash(image) : kExitSuccess;
  if (readoutCode != kExitSuccess) RecordStepFailed();
  if (!readout && image.loaded) outcome = FlashImage(image);
  if (outcome != FlashOutcome::Done) RecordStepFailed();
  if (outcome == FlashOutcome::Refused) return StopRestarting(chip);
  if (outcome == FlashOutcome::EraseCut) return EndRun(EarlyStop(), outcome);

  // The ending: the controller runs its firmware again whatever the flash
  // work came to.
  const bool imageWritten = !readout && image.loaded;
  const bool newImage = imageWritten && outcome == FlashOutcome::Done;
  RecordStep(RunStep::EndTestMode);
  if (!ExitTestMode()) {
    if (readout) {
      EarlyStop();
      return EndReadout(readoutCode, false);
    }
    const int code = EndRun(EarlyStop(), outcome);
    if (newImage) WarnHaltedWithNewImage();
    if (!imageWritten) WarnHaltedWithFlashUnchanged();
    return code;
  }
  if (gPdSettings.debug) ConsolePrint(u"WDT_Reset\n");
  ResetWatchdog(chip.family, chip.model);
  // Where the flash holds a whole image the controller starts, a restart
  // that did not take (its frames lost on the way) is tried once more
  // before the controller is given up on; a flash the update left without
  // one keeps the controller in its boot code, which does not answer.
  const bool shouldAnswer = newImage || (!imageWritten && versionShown);
  bool answered = true;
  if (outcome == FlashOutcome::VerifyFailed) {
    SendVerifyFailByte();
  } else {
    RecordStep(RunStep::VersionAfter);
    answered = QueryVersion() || (shouldAnswer && RestartController(chip) && QueryVersion());
    RecordVersionAfter();
  }
  ReleaseFirmwareImage(image);
  ConsolePrint(u"\n\n");
  PlatformConsoleEnableCursor(true);
  // A read-out's own last line says whether the controller came back.
  if (readout) return EndReadout(readoutCode, answered);
  // A board left with a broken image must not look like a success.
  const int code = EndRun(outcome == FlashOutcome::Done ? kExitSuccess : kExitFailure, outcome);
  // The exit code stays 0: the flash is whole and the controller starts it
  // at power-on.
  if (!answered && shouldAnswer) {
    if (newImage) {
      WarnNotAnsweringWithNewImage();
    } else {
      WarnHaltedWithFlashUnchanged();
    }
  }
  return code;
}
