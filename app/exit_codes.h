// The tool's exit codes.
#pragma once

inline constexpr int kExitSuccess = 0;
inline constexpr int kExitBadArgument = 1;
// The board record (/log) could not be opened, and the board was not
// touched, or the run succeeded and its line could not be written. A
// failed run keeps its own code: this one never hides a failure.
inline constexpr int kExitRecordFailed = 4;
inline constexpr int kExitFailure = 7;
