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

bool ExitTestMode() {
  if (gPdSettings.debug) ConsolePrint(u"Exit_Test_mode\n");
  const bool sent = I2cBlockWrite(sizeof kExitTestMode, kExitTestMode);
  if (!sent) ConsolePrint(u"\nExit_Test_mode I2CBlkDataWrite Fail !!");
  return sent;
}

bool StopCpu() {
  if (gPdSettings.debug) ConsolePrint(u"Stop_CPU\n");
  if (!I2cBlockWrite(sizeof kStopCpu, kStopCpu)) {
    ConsolePrint(u"\nStop_CPU I2CBlkDataWrite-0 Fail !!\n");
    return false;
  }
  // The second write repeats the halt behind a lead byte that depends on the
  // chip model the user named.
  const uint8_t confirm[4] = {gPdSettings.stopCpuLeadByte, kStopCpu[0], kStopCpu[1], kStopCpu[2]};
  const bool confirmed = I2cBlockWrite(sizeof confirm, confirm);
  if (!confirmed) ConsolePrint(u"\nStop_CPU I2CBlkDataWrite-1 Fail !!\n");
  PlatformStall(kStopCpuSettleUs);
  return confirmed;
}

bool EnterTestMode() {
  if (gPdSettings.debug) ConsolePrint(u"Enter_Test_mode\n");
  const bool sent = I2cBlockWrite(sizeof kEnterTestMode, kEnterTestMode);
  if (!sent) ConsolePrint(u"\nEnter_Test_mode I2CBlkDataWrite Fail !!");
  return sent;
}

bool SendVerifyFailByte() { return I2cBlockWrite(sizeof kVerifyFail, kVerifyFail); }
