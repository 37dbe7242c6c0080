// The update pass: test-mode preparation, flash work, ending.
#pragma once

struct FirmwareImage;

// versionShown: the firmware version was printed just before (the chip ID
// then continues its line). `image` is flashed when loaded, and released
// once the ending has read the version. Returns the exit code (0 or 7).
int RunUpdate(bool versionShown, FirmwareImage& image);
