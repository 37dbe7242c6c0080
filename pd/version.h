// Firmware and PD version queries at tcpiModeAddr. Both leave that address
// as the I2C target. true = success.
#pragma once

#include <stdint.h>

bool GetPdVersion();
bool ShowPdVersion();
