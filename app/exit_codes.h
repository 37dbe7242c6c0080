// The tool's exit codes.
#pragma once

inline constexpr int kExitSuccess = 0;
inline constexpr int kExitBadArgument = 1;
// /check: the flash was read whole and does not hold what the update would
// leave; the board is as it was.
inline constexpr int kExitFlashDiffers = 3;
// The board record (/log) could not be opened, and the board was not
// touched, or the run succeeded and its line could not be written. A
// failed run keeps its own code: this one never hides a failure.
inline constexpr int kExitRecordFailed = 4;
inline constexpr int kExitFailure = 7;
