#include "i2c/i2c_host.h"

I2cHost gI2cHost = {};
