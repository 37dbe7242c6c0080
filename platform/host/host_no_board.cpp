// The board's side of stalls and clock in a host program that drives no
// simulated board (vexa-linux): there is nothing to move on, and the clock
// is the host's.
#include "platform/host/host_session.h"

void HostBoardWait(uint64_t) {}

bool HostBoardClock(int64_t*) { return false; }
