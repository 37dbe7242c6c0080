// Command-line options that describe the simulated board ("--platform amd").
#pragma once

#include <string>

#include "sim/board.h"

namespace sim {

enum class OptionResult { Taken, Unknown, Error };

// Looks at argv[index], which starts with "--". Taken: the option (and the
// value after it, if it has one) went into config, and index points past
// them. Unknown: not a board option, index unchanged. Error: error says why.
OptionResult ParseBoardOption(BoardConfig& config, int argc, const char* const* argv, int& index,
                              std::string& error);

// The board options' part of "vexa-sim --help".
std::string BoardOptionsHelp();

}  // namespace sim
