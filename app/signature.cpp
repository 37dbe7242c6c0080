#include "app/signature.h"

#include "app/firmware_image.h"
#include "i2c/transfer.h"
#include "pd/chip_info.h"
#include "pd/flash_bridge.h"
#include "pd/pd_settings.h"
#include "platform/console_text.h"
#include "platform/strings.h"

namespace {

// The read-back is one data read from the start of the flash.
static_assert(kSignatureOffset + kSignatureLength <= kDataFrameBytes);

// Prints the step's own text of a failure, if it has one, then the text
// every failure of the step ends with.
bool Fail(const char16_t* why) {
  if (why != nullptr) ConsolePrint(why);
  ConsolePrint(u"SPI_Programsignature Fail!\n");
  return false;
}

bool MatchesSignature(const uint8_t* flash, const uint8_t* signature) {
  for (uint32_t i = 0; i < kSignatureLength; ++i) {
    if (flash[i] != signature[i]) return false;
  }
  return true;
}

}  // namespace

bool ProgramSignature(const FirmwareImage& image) {
  if (gPdSettings.debug) ConsolePrint(u"Programming signature!\n");

  uint8_t frame[2 + kSignatureLength];
  frame[0] = gChipInfo.BridgePrefix[0];
  frame[1] = gChipInfo.BridgePrefix[1];
  MemCopy(frame + 2, image.signature, kSignatureLength);

  if (SPIWriteCtrl(SPI_CMD_WRITE_ENABLE) == 0) return Fail(nullptr);
  // The data frame programs wherever the bridge points: never without the
  // address and the command that make it the signature's.
  if (SpiSetAddress(0, kSignatureOffset) != 0) {
    return Fail(u" SPI_Programsignature -> SpiSetAddress() Fail!!");
  }
  if (SpiBridgeCommand(SPI_CMD_PAGE_PROGRAM) != 0) {
    return Fail(u" SPI_Programsignature -> SpiBridgeCommand() Fail!!");
  }
  if (!I2cBlockWrite(sizeof frame, frame)) {
    return Fail(u" SPI_Programsignature -> bI2cMasterWrite() Fail!!");
  }
  if (SPIWriteCtrl(SPI_CMD_WRITE_DISABLE) == 0) {
    return Fail(u" SPI_Programsignature -> SPIWriteDisable() Fail!!");
  }

  // Only a signature that reads back makes a controller that boots.
  uint8_t back[kDataFrameBytes];
  if (SpiReadFrame(0, 0, back) != 0) return Fail(u" SPI_Programsignature -> Read Back Fail!!");
  if (!MatchesSignature(back + kSignatureOffset, image.signature)) {
    return Fail(u" SPI_Programsignature -> Read Back Mismatch!!");
  }
  return true;
}
