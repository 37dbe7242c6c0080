// The command line: VEXA FILE [options], values in hexadecimal.
#pragma once

// Puts every run-wide record into its start state: the command-line
// defaults (SlaveAddr 0x80, TCPI_Mode_addr 0x80, configPort 0x2E, the rest
// 0 or off), no controller, empty flash buffers, and no image (a buffer left
// from an earlier run in the same process is released).
void ResetRunRecords();

// Reads argv[1] .. argv[argc - 1] into gSettings and gChipInfo and loads
// every .bin argument into gImage as it comes. Returns kExitSuccess when
// every argument was accepted; otherwise the failure has been printed and
// the result is the run's exit code (kExitBadArgument).
int ParseCommandLine(int argc, const char* const* argv);

// The usage text, shown for an empty command line and after a rejected
// argument.
void PrintUsage();
