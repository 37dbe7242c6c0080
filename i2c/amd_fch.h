// The I2C controllers of AMD's FCH: their fixed register bases, their power
// through the AOAC block, the pins of the one channel the tool routes, and
// the fast-mode counts for their 150 MHz input clock.
#pragma once

#include <stdint.h>

#include "i2c/i2c_host.h"

// Register bases of the AMD FCH I2C controllers, indexed by channel.
inline constexpr uint64_t kAmdI2cBases[6] = {
    0xFEDC2000, 0xFEDC3000, 0xFEDC4000, 0xFEDC5000, 0xFEDC6000, 0xFEDCB000,
};

inline constexpr FastModeCounts kAmdFastModeCounts = {0x87, 0xF0, 0x6};

// Powers the controller of `channel` (0 to 5) on when the AOAC block says
// it is off, and waits, bounded, until it reports power and its reference
// clock good; `debug` adds a line when it did. true when the controller
// has power; otherwise prints why not and returns false.
bool AmdPowerOnController(uint8_t channel, bool debug);

// Gives the controller of `channel` its SCL and SDA pins. Only channel 2's
// pins, GPIO113 and GPIO114, are known alike on every client FCH; every
// other channel's pins stay as the firmware set them.
void AmdRouteI2cPins(uint8_t channel);
