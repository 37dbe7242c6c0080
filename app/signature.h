// Writes the image's 16-byte signature block, the last step of a good
// update.
#pragma once

struct FirmwareImage;

// true when the signature was programmed and reads back as `image` has it;
// otherwise the step's failure texts have been printed.
bool ProgramSignature(const FirmwareImage& image);
