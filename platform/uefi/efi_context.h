// What the firmware side of the platform layer keeps from the entry: the
// system table and the Shell. Included only by the efi_*.cpp files.
#pragma once

#include <efi.h>

extern EFI_SYSTEM_TABLE* gEfiSystemTable;

// nullptr when the application was not started from the UEFI Shell.
extern EFI_SHELL_PROTOCOL* gEfiShell;
