#include "app/signature.h"

#include "app/firmware_image.h"
#include "pd/flash_bridge.h"
#include "pd/pd_settings.h"
#include "platform/console_text.h"

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

  switch (SpiProgramPage(0, kSignatureOffset, image.signature, kSignatureLength)) {
    case PageProgramResult::Done: break;
    case PageProgramResult::WriteEnableFailed: return Fail(nullptr);
    case PageProgramResult::AddressRefused: return Fail(u" SPI_Programsignature -> SpiSetAddress() Fail!!");
    case PageProgramResult::CommandRefused:
      return Fail(u" SPI_Programsignature -> SpiBridgeCommand() Fail!!");
    case PageProgramResult::DataRefused: return Fail(u" SPI_Programsignature -> bI2cMasterWrite() Fail!!");
    case PageProgramResult::WriteDisableFailed:
      return Fail(u" SPI_Programsignature -> SPIWriteDisable() Fail!!");
  }

  // Only a signature that reads back makes a controller that boots.
  uint8_t back[kDataFrameBytes];
  if (!SpiReadFrame(0, 0, back)) return Fail(u" SPI_Programsignature -> Read Back Fail!!");
  if (!MatchesSignature(back + kSignatureOffset, image.signature)) {
    return Fail(u" SPI_Programsignature -> Read Back Mismatch!!");
  }
  return true;
}
