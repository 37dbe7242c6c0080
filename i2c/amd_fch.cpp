#include "i2c/amd_fch.h"

#include "i2c/poll_bound.h"
#include "platform/console_text.h"
#include "platform/platform.h"

namespace {

// AOAC: from kAoacDeviceControl on, one control byte and, above it, one
// state byte per device; the I2C controllers are devices 5 to 10.
constexpr uint64_t kAoacBase = 0xFED81E00;
constexpr uint64_t kAoacDeviceControl = 0x40;
constexpr uint32_t kAoacFirstI2cDevice = 5;

namespace aoac_control {
constexpr uint8_t kTargetState = 0x03;  // the device state software asks for
constexpr uint8_t kTargetD0 = 0x01;     // D0, initialized
constexpr uint8_t kTargetD3Cold = 0x03;
constexpr uint8_t kPowerOnDevice = 0x08;
constexpr uint8_t kSoftwareControl = 0x80;  // the software bits, not PwrOnDev, rule the power
}  // namespace aoac_control

namespace aoac_state {
// Power state, reference clock OK and reset released; coreboot's ACPI
// power resource counts a device as on only with all three.
constexpr uint8_t kPowerAndClockGood = 0x07;
}  // namespace aoac_state

bool PowerAndClockGood(uint8_t state) {
  return (state & aoac_state::kPowerAndClockGood) == aoac_state::kPowerAndClockGood;
}

// Power-on takes milliseconds at most; 100 ms before giving up.
constexpr PollBound kPowerWait = {1000, 100};
static_assert(kPowerWait.StallUs() == 100000, "1000 x 100 us");

// FCH IOMUX entries of GPIO113 and GPIO114, one byte per pin whose bits
// 1..0 select its function; function 1 is I2C2's SCL and SDA.
constexpr uint8_t kPinnedChannel = 2;
constexpr uint64_t kI2c2PinFunctionBytes[2] = {0xFED80D71, 0xFED80D72};
constexpr uint8_t kIomuxFunction = 0x03;
constexpr uint8_t kIomuxFunctionI2c = 0x01;

}  // namespace

bool AmdPowerOnController(uint8_t channel, bool debug) {
  const uint64_t control = kAoacBase + kAoacDeviceControl + 2 * (kAoacFirstI2cDevice + channel);
  const uint64_t state = control + 1;
  const bool poweredNow = PowerAndClockGood(PlatformMmioRead8(state));
  const uint8_t value = PlatformMmioRead8(control);
  // A device targeted at D3cold is on its way off, whatever the state
  // bits show for the moment.
  if (poweredNow && (value & aoac_control::kTargetState) != aoac_control::kTargetD3Cold) return true;

  constexpr uint8_t kCleared = aoac_control::kSoftwareControl | aoac_control::kTargetState;
  PlatformMmioWrite8(control, static_cast<uint8_t>((value & ~kCleared) | aoac_control::kPowerOnDevice |
                                                   aoac_control::kTargetD0));
  uint8_t reported = 0;
  for (uint32_t poll = 0; poll < kPowerWait.polls; ++poll) {
    PlatformStall(kPowerWait.stallUs);
    reported = PlatformMmioRead8(state);
    if (PowerAndClockGood(reported)) {
      if (debug) StdPrintf("I2C%01D Powered On (AMD AOAC)\n", static_cast<int>(channel));
      return true;
    }
  }
  ConsolePrint(u"I2C%d Controller Does Not Power On (AMD AOAC State = %02X)!!\n",
               static_cast<int>(channel), static_cast<unsigned>(reported));
  return false;
}

void AmdRouteI2cPins(uint8_t channel) {
  if (channel != kPinnedChannel) return;
  for (const uint64_t address : kI2c2PinFunctionBytes) {
    const uint8_t value = PlatformMmioRead8(address);
    PlatformMmioWrite8(address, static_cast<uint8_t>((value & ~kIomuxFunction) | kIomuxFunctionI2c));
  }
}
