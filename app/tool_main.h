// The tool's entry: called by the runtime with the arguments as narrow
// strings; argument 0 is never looked at. Returns the exit code.
#pragma once

int ToolMain(int argc, const char* const* argv);

// Exit codes.
inline constexpr int kExitSuccess = 0;
inline constexpr int kExitBadArgument = 1;
inline constexpr int kExitFailure = 7;
