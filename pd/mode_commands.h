// Commands that halt the PD controller's CPU and move it in and out of test
// mode. All write to the current I2C target; true = success.
#pragma once

#include <stdint.h>

bool ExitTestMode();
bool StopCpu();
bool EnterTestMode();
bool SendVerifyFailByte();
