// The tool's entry: called by the runtime with the arguments as narrow
// strings; argument 0 is never looked at. Returns the exit code.
#pragma once

#include "app/exit_codes.h"

int ToolMain(int argc, const char* const* argv);
