// The firmware's SMBIOS table, found through the configuration table of
// the system table. The entry points are read where the firmware put them;
// the structures stay in place, for the tool side to copy.
#include "platform/uefi/efi_bridge.h"
#include "platform/uefi/efi_context.h"

namespace {

bool SameGuid(const EFI_GUID& a, const EFI_GUID& b) {
  const unsigned char* x = reinterpret_cast<const unsigned char*>(&a);
  const unsigned char* y = reinterpret_cast<const unsigned char*>(&b);
  for (unsigned i = 0; i < sizeof(EFI_GUID); ++i) {
    if (x[i] != y[i]) return false;
  }
  return true;
}

const unsigned char* FindTable(EFI_GUID guid) {
  for (UINTN i = 0; i < gEfiSystemTable->NumberOfTableEntries; ++i) {
    const EFI_CONFIGURATION_TABLE& entry = gEfiSystemTable->ConfigurationTable[i];
    if (SameGuid(entry.VendorGuid, guid)) return static_cast<const unsigned char*>(entry.VendorTable);
  }
  return nullptr;
}

bool HasAnchor(const unsigned char* entry, const char* anchor, unsigned length) {
  for (unsigned i = 0; i < length; ++i) {
    if (entry[i] != static_cast<unsigned char>(anchor[i])) return false;
  }
  return true;
}

// Little-endian fields of the entry points, which need not be aligned.
unsigned long long ReadLe(const unsigned char* at, unsigned bytes) {
  unsigned long long value = 0;
  for (unsigned i = bytes; i > 0; --i) value = (value << 8) | at[i - 1];
  return value;
}

}  // namespace

bool EfiSmbiosTable(const void** table, unsigned long long* length) {
  // SMBIOS 3: "_SM3_", the table's maximum size at 0x0C (4 bytes), its
  // address at 0x10 (8 bytes).
  if (const unsigned char* entry = FindTable(SMBIOS3_TABLE_GUID)) {
    if (HasAnchor(entry, "_SM3_", 5)) {
      *table = reinterpret_cast<const void*>(static_cast<UINTN>(ReadLe(entry + 0x10, 8)));
      *length = ReadLe(entry + 0x0C, 4);
      return *length != 0;
    }
  }
  // The 32-bit entry point: "_SM_", then "_DMI_" at 0x10; the table's
  // length at 0x16 (2 bytes), its address at 0x18 (4 bytes).
  if (const unsigned char* entry = FindTable(SMBIOS_TABLE_GUID)) {
    if (HasAnchor(entry, "_SM_", 4) && HasAnchor(entry + 0x10, "_DMI_", 5)) {
      *table = reinterpret_cast<const void*>(static_cast<UINTN>(ReadLe(entry + 0x18, 4)));
      *length = ReadLe(entry + 0x16, 2);
      return *length != 0;
    }
  }
  return false;
}
