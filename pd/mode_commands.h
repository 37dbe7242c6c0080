// Commands that halt the PD controller's CPU and move it in and out of test
// mode. All write to the current I2C target; status 0 = success.
#pragma once

#include <stdint.h>

uint8_t Exit_Test_mode();
uint8_t Stop_CPU();
uint8_t Enter_Test_mode();
uint8_t VerifyFailByte();
