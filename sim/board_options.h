// Command-line options that describe the simulated board ("--platform amd").
#pragma once

#include <string>
#include <vector>

#include "sim/board.h"

namespace sim {

enum class OptionResult { Taken, Unknown, Error };

// The value after the option at argv[index]. false, with error set, when
// there is none or it begins with "--": in "--flash --trace t.txt" the
// option has lost its value, and "--trace" is no file name.
bool OptionValue(int argc, const char* const* argv, int index, std::string& value, std::string& error);

// Looks at argv[index], which starts with "--". Taken: the option (and the
// value after it, if it has one) went into config, and index points past
// them. Unknown: not a board option, index unchanged. Error: error says why.
OptionResult ParseBoardOption(BoardConfig& config, int argc, const char* const* argv, int& index,
                              std::string& error);

// The board options' part of "vexa-sim --help".
std::string BoardOptionsHelp();

// The --fault names of the board's own faults (those of its controllers
// and platform, not the PD controller's), in --help order.
std::vector<std::string> BoardFaultNames();

}  // namespace sim
