// Brings the hardware up after the banner and reads the firmware version.
#pragma once

// Returns the exit code of the run (0 or 7, or what RunUpdate returns).
int StartRun();
