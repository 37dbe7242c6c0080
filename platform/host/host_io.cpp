// Port and memory-mapped I/O, stalls and the wall clock of the host build:
// all of them reach the simulated board of the session. A whole update makes
// millions of I/O calls, so they only format a trace line when one is kept.
#include <chrono>
#include <cinttypes>
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

int64_t PlatformWallClockSeconds() {
  HostSession& session = CurrentHostSession();
  int64_t seconds = -1;
  if (session.board != nullptr) {
    const std::optional<int64_t> rtc = session.board->RtcSeconds();
    if (rtc.has_value()) seconds = session.realtime ? static_cast<int64_t>(std::time(nullptr)) : *rtc;
  } else {
    seconds = static_cast<int64_t>(std::time(nullptr));
  }
  if (seconds < 0) {
    HostTrace("clock fail");
  } else {
    HostTrace("clock %" PRId64, seconds);
  }
  return seconds;
}
