// Command-line options that describe the simulated PD controller
// ("--chip 52300008", "--flash board.bin") and its faults.
#pragma once

#include <string>

#include "sim/board_options.h"
#include "sim/pd_controller.h"

namespace sim {

// Looks at argv[index], which starts with "--". Taken: the option and its
// value went into config, and index points past them. Unknown: not a PD
// option, index unchanged. Error: error says why.
OptionResult ParsePdOption(PdConfig& config, int argc, const char* const* argv, int& index, std::string& error);

// One "--fault" value that names a PD controller fault. false: error says
// why (also for a name that is no PD fault).
bool ParsePdFault(PdConfig& config, const std::string& fault, std::string& error);

// True when `fault` (the part before any '=') names a PD controller fault.
bool IsPdFaultName(const std::string& fault);

// Empty, or why the board's flash size does not match its chip ID (a
// --flash-size the chip's size bits disagree with): a board a test may want,
// worth a warning.
std::string FlashSizeWarning(const PdConfig& config);

// The PD options' and faults' part of "vexa-sim --help".
std::string PdOptionsHelp();

}  // namespace sim
