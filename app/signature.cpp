#include "app/signature.h"

#include "app/firmware_image.h"
#include "i2c/transfer.h"
#include "pd/chip_info.h"
#include "pd/flash_bridge.h"
#include "pd/pd_settings.h"
#include "platform/console_text.h"
#include "platform/platform.h"
#include "platform/strings.h"

namespace {

void PrintTimeConsumed(int64_t startSeconds) {
  const int64_t endSeconds = PlatformWallClockSeconds();
  // A failed clock read would otherwise show as a made-up duration.
  if (startSeconds < 0 || endSeconds < 0) {
    ConsolePrint(u"Time Consuming: unknown (wall clock not readable).\n\n");
    return;
  }
  ConsolePrint(u"Time Consuming: %d sec.\n\n", static_cast<int32_t>(endSeconds - startSeconds));
}

}  // namespace

bool ProgramSignature(int64_t startSeconds) {
  if (gPdSettings.debug) ConsolePrint(u"Programming signature!\n");

  uint8_t frame[2 + kSignatureLength];
  frame[0] = gChipInfo.BridgePrefix[0];
  frame[1] = gChipInfo.BridgePrefix[1];
  MemCopy(frame + 2, gImage.signature, kSignatureLength);

  if (SPIWriteCtrl(SPI_CMD_WRITE_ENABLE) != 0) {
    SpiSetAddress(0, kSignatureOffset);
    SpiBridgeCommand(SPI_CMD_PAGE_PROGRAM);
    if (I2CBlkDataWrite(sizeof frame, frame) != 0) {
      ConsolePrint(u" SPI_Programsignature -> bI2cMasterWrite() Fail!!");
    } else if (SPIWriteCtrl(SPI_CMD_WRITE_DISABLE) == 0) {
      ConsolePrint(u" SPI_Programsignature -> SPIWriteDisable() Fail!!");
    } else {
      PrintTimeConsumed(startSeconds);
      return true;
    }
  }
  ConsolePrint(u"SPI_Programsignature Fail!\n");
  return false;
}
