// Stalls and the wall clock of the host build. With a simulated board its
// hardware moves on with every stall and its real-time clock is the clock;
// without one (vexa-linux on a real machine) both are the host's own.
#include <chrono>
#include <cinttypes>
#include <ctime>
#include <thread>

#include "platform/host/host_session.h"
#include "platform/platform.h"

void PlatformStall(uint32_t microseconds) {
  if (HostTracing()) HostTrace("stall %" PRIu32, microseconds);
  // The board's hardware moves on its own clock either way; with --realtime
  // the stall also costs real time, as the firmware's busy wait does.
  HostBoardWait(static_cast<uint64_t>(microseconds) * 1000);
  if (CurrentHostSession().realtime) std::this_thread::sleep_for(std::chrono::microseconds(microseconds));
}

int64_t PlatformWallClockSeconds() {
  const int64_t host = static_cast<int64_t>(std::time(nullptr));
  int64_t seconds = host;
  int64_t board = -1;
  if (HostBoardClock(&board)) seconds = board < 0 ? -1 : CurrentHostSession().realtime ? host : board;
  if (seconds < 0) {
    HostTrace("clock fail");
  } else {
    HostTrace("clock %" PRId64, seconds);
  }
  return seconds;
}
