// The update pass: test-mode preparation, flash work, ending.
#pragma once

// versionShown: the firmware version was printed just before (the chip ID
// then continues its line). Returns the exit code (0 or 7).
int RunUpdate(bool versionShown);
