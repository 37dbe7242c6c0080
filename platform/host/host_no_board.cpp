// The board's side of stalls, clock and firmware tables in a host program
// that drives no simulated board (vexa-linux): there is nothing to move on,
// and the clock and the SMBIOS table are the host's.
#include "platform/host/host_session.h"

void HostBoardWait(uint64_t) {}

bool HostBoardClock(int64_t*) { return false; }

bool HostBoardSmbios(const std::vector<uint8_t>**) { return false; }
