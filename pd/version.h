// Firmware and PD version queries at TCPI_Mode_addr. Both leave that address
// as the I2C target. true = success.
#pragma once

#include <stdint.h>

bool Get_PD_ver();
bool ShowPdVersion();
