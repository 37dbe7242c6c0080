// Option values and flags of one run that only the application reads.
// Written by the command line, read by everything after it. The debug flag
// and the stop-CPU lead byte derived from /id, which the protocol layer
// reads too, live in pd/pd_settings.h.
#pragma once

#include <stdint.h>

struct ToolSettings {
  uint8_t channel;           // /i2c
  uint16_t configPort = 0x2E;  // /cp, only shown in the debug lines
  uint16_t expectedChipId;   // /id: high byte = ID byte 0, low byte = ID byte 1
  bool showPdVersion;        // /v
  bool versionOnly;          // /ov
  bool force;                // /force: update even when the version query fails
  const char* deviceNode;    // /dev/i2c-N: the Linux adapter, instead of /i2c
  const char* backupFile;    // /backup FILE: the flash read into FILE before the erase
  const char* dumpFile;      // /dump FILE: the flash read into FILE, nothing written
  bool check;                // /check: the flash compared with the image, nothing written
  const char* logName;       // /log: the board record's file, as typed; nullptr = none
};

extern ToolSettings gSettings;

inline constexpr const char16_t* kToolVersion = u"1.0.0.b3";
