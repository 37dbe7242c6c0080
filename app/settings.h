// Option values and flags of one run. Written by the command line, read by
// everything after it.
#pragma once

#include <stdint.h>

struct ToolSettings {
  uint8_t channel;           // /i2c
  uint16_t configPort;       // /cp, only shown in the debug lines
  uint16_t expectedChipId;   // /id: high byte = ID byte 0, low byte = ID byte 1
  bool debug;                // /db
  bool showPdVersion;        // /v
  bool versionOnly;          // /ov
  uint8_t Dummy;             // derived from expectedChipId by the run set-up
};

extern ToolSettings gSettings;

inline constexpr const char16_t* kToolVersion = u"1.0.0.b3";
