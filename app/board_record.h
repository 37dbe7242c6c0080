// The board record: with /log FILE every run appends one CSV line to FILE
// saying which board got which image and how the run ended, for a factory
// line to keep. A file that is new (or empty) first gets the header line.
// The file is opened before any hardware is touched, so that a board is
// never updated without its line; the line is written and flushed before
// the run ends.
#pragma once

#include <stdint.h>

struct FirmwareImage;

// The steps of a run, in order, by the names the record gives them.
enum class RunStep : uint8_t {
  CommandLine,
  Image,
  Controller,
  VersionBefore,
  ExitTestMode,
  StopCpu,
  ChipId,
  EnterTestMode,
  ImageSize,
  FlashRead,  // the read of /backup, /dump or /check
  Erase,
  Program,
  Verify,
  Signature,
  EndTestMode,
  VersionAfter,
};

// The run is now at `step`: a run that fails names the step it was at.
void RecordStep(RunStep step);

// The step the run is at failed although the run goes on to its ending;
// the first such step is the one the record names.
void RecordStepFailed();

// The version the last query read (none when it failed), as the version
// before the update and after it.
void RecordVersionBefore();
void RecordVersionAfter();

// Puts the record of the run into its start state: nothing open, at the
// command line.
void ResetBoardRecord();

// With /log: opens the file for appending, reads the date, the time and the
// firmware's SMBIOS fields, and keeps the image's name, size and SHA-256.
// true when there is no /log or the file is open; false when it cannot be
// opened, which has been printed: the run must not touch the board.
bool BeginBoardRecord(const FirmwareImage& image);

// Writes the run's line for `exitCode`, flushes and closes the file.
// Returns the run's exit code: `exitCode`, or kExitRecordFailed when the
// run succeeded but its line could not be written (printed). Without an
// open record it returns `exitCode` and does nothing.
int EndBoardRecord(int exitCode);

// The exit code of a run whose record failed: a failure's own code is
// never hidden by it.
int WithRecordFailure(int exitCode);
