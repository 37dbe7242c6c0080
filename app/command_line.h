// The command line: VEXA FILE [options], values in hexadecimal.
#pragma once

struct FirmwareImage;

// Puts every run-wide record into its start state: the defaults each record
// states (the two chip addresses, the configuration port), the rest 0 or
// off, and no controller.
void ResetRunRecords();

// Reads argv[1] .. argv[argc - 1] into gSettings and gChipInfo and loads
// every .bin argument into `image` as it comes, so the last one is the
// image. /backup, /dump and /check must fit the image and each other (one
// of them, /backup and /check with an image, /dump without, none with /ov).
// The /log file is taken first, wherever it stands, so that a refused
// command line is recorded too. A value that is not hexadecimal or out of
// its option's range is refused, naming it. Returns kExitSuccess when every
// argument was accepted; otherwise
// the failure has been printed and the result is the run's exit code
// (kExitBadArgument).
int ParseCommandLine(int argc, const char* const* argv, FirmwareImage& image);

// The usage text, shown for an empty command line and after a rejected
// argument.
void PrintUsage();
