#include "app/tool_main.h"

#include <stdint.h>

#include "app/board_record.h"
#include "app/command_line.h"
#include "app/firmware_image.h"
#include "app/run_setup.h"
#include "app/settings.h"
#include "i2c/controller.h"
#include "platform/console_text.h"
#include "platform/platform.h"

namespace {

constexpr uint32_t kWantedColumns = 100;
constexpr uint32_t kWantedRows = 31;

// Takes the first 100 x 31 text mode; the mode numbers are dense, so the
// first one the console refuses ends the search with the mode unchanged.
void SelectTextMode() {
  for (uint32_t mode = 0;; ++mode) {
    uint32_t columns = 0;
    uint32_t rows = 0;
    if (!PlatformConsoleQueryMode(mode, &columns, &rows)) return;
    if (columns == kWantedColumns && rows == kWantedRows) {
      PlatformConsoleSetMode(mode);
      return;
    }
  }
}

}  // namespace

int ToolMain(int argc, const char* const* argv) {
  // A second run in the same process must not see the first one's values.
  ResetRunRecords();

  PlatformConsoleEnableCursor(false);
  SelectTextMode();
  PlatformConsoleClearScreen();

  if (argc < 2) {
    PrintUsage();
    return kExitSuccess;
  }

  // The run owns the image from the command line to the ending, which
  // releases it; a run that stops before the ending releases it here.
  FirmwareImage image{};
  int exitCode = ParseCommandLine(argc, argv, image);
  // A board is never updated without its record.
  if (!BeginBoardRecord(image)) exitCode = WithRecordFailure(exitCode);
  if (exitCode == kExitSuccess) {
    // The platform name printed next completes this line.
    ConsolePrint(u"\nOVK PD FW Update Utility v%s thru ", kToolVersion);
    exitCode = StartRun(image);
    // A failed run may end with the controller holding the bus; the next
    // run, or the operating system, must find it idle.
    if (exitCode != kExitSuccess) I2cReleaseBus();
  }
  ReleaseFirmwareImage(image);
  return EndBoardRecord(exitCode);
}
