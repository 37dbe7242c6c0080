#include "pd/watchdog.h"

#include <stdint.h>

#include "i2c/transfer.h"
#include "pd/chip_info.h"
#include "platform/console_text.h"
#include "platform/platform.h"

namespace {

// Models whose watchdog is started by a fixed pair of register writes.
struct FixedWatchdogChip {
  uint8_t family;
  uint8_t model;
  const char16_t* firstFailure;
  const char16_t* secondFailure;
};

constexpr FixedWatchdogChip kFixedWatchdogChips[] = {
    {0x52, 0x30, u"WDT_Reset for TAVIK Fail!!(1)", u"WDT_Reset for TAVIK Fail!!(2)"},
    {0x88, 0x58, u"WDT_Reset for OLVREN Fail!!(1)", u"WDT_Reset for OLVREN Fail!!(2)"},
};

constexpr uint8_t kWatchdogArm[3] = {0xFF, 0xD0, 0x02};
constexpr uint8_t kWatchdogFire[3] = {0xFF, 0xEB, 0x50};

constexpr uint8_t kResetControlRead[2] = {0xFF, 0xD3};
constexpr uint8_t kResetControlBit = 0x10;
constexpr uint8_t kResetTrigger[3] = {0xFF, 0xD1, 0x01};

// Time the controller needs to come back before it answers again.
constexpr uint32_t kRestartWaitUs = 300000;

const FixedWatchdogChip* FindFixedWatchdogChip(uint8_t family, uint8_t model) {
  for (const FixedWatchdogChip& chip : kFixedWatchdogChips) {
    if (chip.family == family && chip.model == model) return &chip;
  }
  return nullptr;
}

// What follows a failure (the version query, the closing lines) begins a
// line of its own.
bool Fail(const char16_t* text) {
  ConsolePrint(text);
  ConsolePrint(u"\n");
  return false;
}

bool ResetFixedChip(const FixedWatchdogChip& chip) {
  if (!I2cBlockWrite(sizeof kWatchdogArm, kWatchdogArm)) return Fail(chip.firstFailure);
  if (!I2cBlockWrite(sizeof kWatchdogFire, kWatchdogFire)) return Fail(chip.secondFailure);
  return true;
}

bool ResetThroughControlRegister() {
  uint8_t value = 0;
  if (!I2cBlockRead(gChipInfo.slaveAddr, kResetControlRead, 2, &value, 1)) return Fail(u"WDT_Reset Fail!!(1)");
  const uint8_t enable[3] = {0xFF, 0xD3, static_cast<uint8_t>(value | kResetControlBit)};
  if (!I2cBlockWrite(sizeof enable, enable)) return Fail(u"WDT_Reset Fail!!(2)");
  if (!I2cBlockWrite(sizeof kResetTrigger, kResetTrigger)) return Fail(u"WDT_Reset Fail!!(2)");
  return true;
}

}  // namespace

bool ResetWatchdog(uint8_t family, uint8_t model) {
  const FixedWatchdogChip* chip = FindFixedWatchdogChip(family, model);
  const bool restarted = chip != nullptr ? ResetFixedChip(*chip) : ResetThroughControlRegister();
  if (restarted) PlatformStall(kRestartWaitUs);
  return restarted;
}
