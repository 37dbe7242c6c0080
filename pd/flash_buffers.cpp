#include "pd/flash_bridge.h"

uint8_t ProgramBuffer[kFlashBlockSize];
uint8_t ReadBackBuffer[kFlashBlockSize];
