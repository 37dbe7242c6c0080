#include "app/run_setup.h"

#include "app/tool_main.h"
#include "platform/console_text.h"
#include "platform/platform.h"

// Temporary: ends the run right after the banner, with exit code 0, until
// the run set-up (platform identification, controller set-up, version
// check, update pass) exists.
int StartRun() { return kExitSuccess; }

int EarlyStop() {
  ConsolePrint(u"\n\n");
  PlatformConsoleEnableCursor(true);
  return kExitFailure;
}
