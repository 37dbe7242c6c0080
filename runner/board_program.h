// What the two programs that run a simulated board (vexa-sim, vexa-board)
// do alike before the board starts.
#pragma once

#include <cstdio>
#include <string>

#include "sim/board.h"

namespace runner {

// The program's own help text, then the board options' help.
void PrintBoardProgramHelp(const char* programHelp);

// "PROGRAM: warning: ..." on standard error when the board's --flash-size
// disagrees with its chip ID.
void WarnOfFlashSize(const char* program, const sim::BoardConfig& board);

// Opens `path` for the I/O trace; an empty path is no trace (nullptr).
// false, with "PROGRAM: cannot write the I/O trace PATH" on standard
// error, when the file cannot be written.
bool OpenIoTrace(const char* program, const std::string& path, std::FILE*& trace);

}  // namespace runner
