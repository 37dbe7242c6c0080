// vexa-linux: the tool on a running Linux, its frames moved by the kernel's
// own I2C driver through /dev/i2c-N.
//
//   vexa-linux FILE [OPTIONS...]     (the arguments of VEXA.efi)
//
// Standard output carries the tool's console text; the exit code is the tool's.
#include <cstdio>

#include "app/tool_main.h"
#include "platform/host/host_session.h"

int main(int argc, char** argv) {
  HostSession session;
  // No board to move on: stalls take real time and the clock is the host's.
  session.realtime = true;
  HostSessionBegin(&session);
  const int exitCode = ToolMain(argc, argv);
  HostSessionEnd();
  std::fflush(stdout);
  return exitCode;
}
