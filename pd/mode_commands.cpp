#include "pd/mode_commands.h"

#include "i2c/transfer.h"
#include "pd/pd_settings.h"
#include "platform/console_text.h"
#include "platform/platform.h"

namespace {

constexpr uint8_t kExitTestMode[4] = {0xFF, 0xF8, 0x00, 0x00};
constexpr uint8_t kEnterTestMode[4] = {0xFF, 0xF8, 0x3B, 0xE1};
constexpr uint8_t kStopCpu[3] = {0xFE, 0x9C, 0x47};
constexpr uint8_t kVerifyFail[1] = {0xAA};

// The controller needs a moment after the halt before it takes commands.
constexpr uint32_t kStopCpuSettleUs = 100;

}  // namespace

uint8_t Exit_Test_mode() {
  if (gPdSettings.debug) ConsolePrint(u"Exit_Test_mode\n");
  const uint8_t status = I2cBlockWrite(sizeof kExitTestMode, kExitTestMode) ? 0 : 1;
  if (status != 0) ConsolePrint(u"\nExit_Test_mode I2CBlkDataWrite Fail !!");
  return status;
}

uint8_t Stop_CPU() {
  if (gPdSettings.debug) ConsolePrint(u"Stop_CPU\n");
  uint8_t status = I2cBlockWrite(sizeof kStopCpu, kStopCpu) ? 0 : 1;
  if (status != 0) {
    ConsolePrint(u"\nStop_CPU I2CBlkDataWrite-0 Fail !!\n");
    return status;
  }
  // The second write repeats the halt behind a lead byte that depends on the
  // chip model the user named.
  const uint8_t confirm[4] = {gPdSettings.Dummy, kStopCpu[0], kStopCpu[1], kStopCpu[2]};
  status = I2cBlockWrite(sizeof confirm, confirm) ? 0 : 1;
  if (status != 0) ConsolePrint(u"\nStop_CPU I2CBlkDataWrite-1 Fail !!\n");
  PlatformStall(kStopCpuSettleUs);
  return status;
}

uint8_t Enter_Test_mode() {
  if (gPdSettings.debug) ConsolePrint(u"Enter_Test_mode\n");
  const uint8_t status = I2cBlockWrite(sizeof kEnterTestMode, kEnterTestMode) ? 0 : 1;
  if (status != 0) ConsolePrint(u"\nEnter_Test_mode I2CBlkDataWrite Fail !!");
  return status;
}

uint8_t VerifyFailByte() { return I2cBlockWrite(sizeof kVerifyFail, kVerifyFail) ? 0 : 1; }
