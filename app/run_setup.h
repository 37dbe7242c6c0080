// Brings the hardware up after the banner and reads the firmware version.
#pragma once

struct FirmwareImage;

// `image` is the run's image, empty when the command line named none.
// Returns the exit code of the run (0 or 7, or what RunUpdate returns).
int StartRun(FirmwareImage& image);
