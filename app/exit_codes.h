// The tool's exit codes.
#pragma once

inline constexpr int kExitSuccess = 0;
inline constexpr int kExitBadArgument = 1;
inline constexpr int kExitFailure = 7;
