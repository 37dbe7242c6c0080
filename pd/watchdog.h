// Restarts the PD controller through its watchdog, by the chip model in
// gChipInfo.chipId. Failures are only printed.
#pragma once

void ResetWatchdog();
