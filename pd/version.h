// Firmware and PD version queries at TCPI_Mode_addr. Both leave that address
// as the I2C target. Status 0 = success.
#pragma once

#include <stdint.h>

uint8_t Get_PD_ver();
uint8_t ShowPdVersion();
