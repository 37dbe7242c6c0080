// The tool's exit codes.
#pragma once

inline constexpr int kExitSuccess = 0;
inline constexpr int kExitBadArgument = 1;
// /check: the flash was read whole and does not hold what the update would
// leave; the board is as it was.
inline constexpr int kExitFlashDiffers = 3;
inline constexpr int kExitFailure = 7;
