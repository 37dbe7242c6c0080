// Simple Text Output of the system table's console. The console may be a
// splitter over a screen and a serial terminal; a serial terminal cannot
// hide its cursor and says EFI_UNSUPPORTED, which changes nothing for the
// tool, so such statuses are not passed on.
#include "platform/uefi/efi_bridge.h"
#include "platform/uefi/efi_context.h"

namespace {

SIMPLE_TEXT_OUTPUT_INTERFACE* ConOut() { return gEfiSystemTable->ConOut; }

}  // namespace

void EfiConsoleOutput(const char16_t* text) {
  ConOut()->OutputString(ConOut(), reinterpret_cast<CHAR16*>(const_cast<char16_t*>(text)));
}

void EfiConsoleEnableCursor(bool visible) { ConOut()->EnableCursor(ConOut(), visible ? TRUE : FALSE); }

bool EfiConsoleQueryMode(unsigned int mode, unsigned long long* columns, unsigned long long* rows) {
  UINTN queriedColumns = 0;
  UINTN queriedRows = 0;
  if (EFI_ERROR(ConOut()->QueryMode(ConOut(), mode, &queriedColumns, &queriedRows))) return false;
  *columns = queriedColumns;
  *rows = queriedRows;
  return true;
}

void EfiConsoleSetMode(unsigned int mode) { ConOut()->SetMode(ConOut(), mode); }

void EfiConsoleClearScreen() { ConOut()->ClearScreen(ConOut()); }

unsigned int EfiConsoleAttribute() { return static_cast<unsigned int>(ConOut()->Mode->Attribute) & 0xFF; }

void EfiConsoleSetAttribute(unsigned int attribute) { ConOut()->SetAttribute(ConOut(), attribute); }
