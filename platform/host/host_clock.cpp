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

namespace {

// The board's real-time clock (with --realtime the host's while the
// board's works); the host's without a board. -1 when it fails.
int64_t SessionClockSeconds() {
  const int64_t host = static_cast<int64_t>(std::time(nullptr));
  int64_t board = -1;
  if (!HostBoardClock(&board)) return host;
  return board < 0 ? -1 : CurrentHostSession().realtime ? host : board;
}

}  // namespace

int64_t PlatformWallClockSeconds() {
  const int64_t seconds = SessionClockSeconds();
  if (seconds < 0) {
    HostTrace("clock fail");
  } else {
    HostTrace("clock %" PRId64, seconds);
  }
  return seconds;
}

// The board keeps UTC on its clock, and so does the host's epoch: its date
// and time are UTC.
bool PlatformWallClockCivil(PlatformCivilTime* time) {
  const int64_t seconds = SessionClockSeconds();
  std::tm fields{};
  const std::time_t moment = static_cast<std::time_t>(seconds);
  if (seconds < 0 || gmtime_r(&moment, &fields) == nullptr) {
    HostTrace("civil-clock fail");
    return false;
  }
  time->year = static_cast<uint16_t>(fields.tm_year + 1900);
  time->month = static_cast<uint8_t>(fields.tm_mon + 1);
  time->day = static_cast<uint8_t>(fields.tm_mday);
  time->hour = static_cast<uint8_t>(fields.tm_hour);
  time->minute = static_cast<uint8_t>(fields.tm_min);
  time->second = static_cast<uint8_t>(fields.tm_sec);
  HostTrace("civil-clock %04u-%02u-%02uT%02u:%02u:%02u", time->year, time->month, time->day, time->hour,
            time->minute, time->second);
  return true;
}
