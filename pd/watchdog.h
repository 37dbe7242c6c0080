// Restarts the PD controller through its watchdog, by the chip model in
// gChipInfo.ChipID. Failures are only printed.
#pragma once

void WDT_Reset();
