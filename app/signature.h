// Writes the image's 16-byte signature block, the last step of a good
// update, and reports the time the flash work took.
#pragma once

#include <stdint.h>

// startSeconds: the wall clock read before the erase (-1 if it failed).
// true when the signature was programmed and reads back as the image has it.
bool ProgramSignature(int64_t startSeconds);
