// Restarts the PD controller through its watchdog, the way a chip of this
// family and model takes it. true when every transfer went out; a failure
// is printed on a line of its own.
#pragma once

#include <stdint.h>

bool ResetWatchdog(uint8_t family, uint8_t model);
