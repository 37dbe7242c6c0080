#include "app/early_stop.h"

#include "app/exit_codes.h"
#include "platform/console_text.h"
#include "platform/platform.h"

int EarlyStop() {
  ConsolePrint(u"\n\n");
  PlatformConsoleEnableCursor(true);
  return kExitFailure;
}
