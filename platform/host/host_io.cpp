// Port and memory-mapped I/O, stalls and the wall clock of the host build:
// all of them reach the simulated board of the session. A whole update makes
// millions of I/O calls, so they only format a trace line when one is kept.
#include <algorithm>
#include <chrono>
#include <cinttypes>
#include <cstring>
#include <ctime>
#include <thread>

#include "platform/host/host_session.h"
#include "platform/platform.h"
#include "sim/board.h"

namespace {

sim::Board* Board() { return CurrentHostSession().board; }

}  // namespace

void PlatformPortWrite32(uint16_t port, uint32_t value) {
  if (HostTracing()) HostTrace("out32 %04X %08" PRIX32, port, value);
  if (sim::Board* board = Board()) board->PortWrite32(port, value);
}

uint16_t PlatformPortRead16(uint16_t port) {
  sim::Board* board = Board();
  const uint16_t value = board != nullptr ? board->PortRead16(port) : 0xFFFF;
  if (HostTracing()) HostTrace("in16 %04X %04X", port, value);
  return value;
}

uint32_t PlatformPortRead32(uint16_t port) {
  sim::Board* board = Board();
  const uint32_t value = board != nullptr ? board->PortRead32(port) : 0xFFFFFFFFu;
  if (HostTracing()) HostTrace("in32 %04X %08" PRIX32, port, value);
  return value;
}

uint32_t PlatformMmioRead32(uint64_t address) {
  sim::Board* board = Board();
  const uint32_t value = board != nullptr ? board->MmioRead32(address) : 0xFFFFFFFFu;
  if (HostTracing()) HostTrace("mmio-r32 %016" PRIX64 " %08" PRIX32, address, value);
  return value;
}

void PlatformMmioWrite32(uint64_t address, uint32_t value) {
  if (HostTracing()) HostTrace("mmio-w32 %016" PRIX64 " %08" PRIX32, address, value);
  if (sim::Board* board = Board()) board->MmioWrite32(address, value);
}

uint16_t PlatformMmioRead16(uint64_t address) {
  sim::Board* board = Board();
  const uint16_t value = board != nullptr ? board->MmioRead16(address) : 0xFFFF;
  if (HostTracing()) HostTrace("mmio-r16 %016" PRIX64 " %04X", address, value);
  return value;
}

uint8_t PlatformMmioRead8(uint64_t address) {
  sim::Board* board = Board();
  const uint8_t value = board != nullptr ? board->MmioRead8(address) : 0xFF;
  if (HostTracing()) HostTrace("mmio-r8 %016" PRIX64 " %02X", address, value);
  return value;
}

void PlatformMmioWrite8(uint64_t address, uint8_t value) {
  if (HostTracing()) HostTrace("mmio-w8 %016" PRIX64 " %02X", address, value);
  if (sim::Board* board = Board()) board->MmioWrite8(address, value);
}

void PlatformStall(uint32_t microseconds) {
  if (HostTracing()) HostTrace("stall %" PRIu32, microseconds);
  HostSession& session = CurrentHostSession();
  // The board's hardware moves on its own clock either way; with --realtime
  // the stall also costs real time, as the firmware's busy wait does.
  if (session.board != nullptr) session.board->Wait(static_cast<uint64_t>(microseconds) * 1000);
  if (session.realtime) std::this_thread::sleep_for(std::chrono::microseconds(microseconds));
}

namespace {

// The session's clock: the board's real-time clock (or, with --realtime,
// the host's while the board's works); the host's without a board.
int64_t SessionClockSeconds() {
  HostSession& session = CurrentHostSession();
  int64_t seconds = -1;
  if (session.board != nullptr) {
    const std::optional<int64_t> rtc = session.board->RtcSeconds();
    if (rtc.has_value()) seconds = session.realtime ? static_cast<int64_t>(std::time(nullptr)) : *rtc;
  } else {
    seconds = static_cast<int64_t>(std::time(nullptr));
  }
  return seconds;
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

// The board keeps UTC on its clock: its date and time are UTC.
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

size_t PlatformSmbiosTable(void* buffer, size_t capacity) {
  const sim::Board* board = Board();
  if (board == nullptr || board->SmbiosTable().empty()) {
    HostTrace("smbios none");
    return 0;
  }
  const std::vector<uint8_t>& table = board->SmbiosTable();
  std::memcpy(buffer, table.data(), std::min(capacity, table.size()));
  HostTrace("smbios %zu", table.size());
  return table.size();
}
