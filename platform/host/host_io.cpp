// Port and memory-mapped I/O of the host build, and the board's side of its
// stalls and clock: all of them reach the simulated board of the session. A
// whole update makes millions of I/O calls, so they only format a trace
// line when one is kept.
#include <cinttypes>

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

void HostBoardWait(uint64_t nanoseconds) {
  if (sim::Board* board = Board()) board->Wait(nanoseconds);
}

bool HostBoardClock(int64_t* seconds) {
  sim::Board* board = Board();
  if (board == nullptr) return false;
  const std::optional<int64_t> rtc = board->RtcSeconds();
  *seconds = rtc.has_value() ? *rtc : -1;
  return true;
}

bool HostBoardSmbios(const std::vector<uint8_t>** table) {
  sim::Board* board = Board();
  if (board == nullptr) return false;
  *table = &board->SmbiosTable();
  return true;
}
