// Commands that halt the PD controller's CPU and move it in and out of test
// mode. All write to the current I2C target; true = success.
#pragma once

#include <stdint.h>

bool Exit_Test_mode();
bool Stop_CPU();
bool Enter_Test_mode();
bool VerifyFailByte();
