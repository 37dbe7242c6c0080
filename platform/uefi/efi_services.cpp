// Boot and runtime services the tool uses: stall, real-time clock, pool.
#include "platform/uefi/efi_bridge.h"
#include "platform/uefi/efi_context.h"

void EfiStall(unsigned long long microseconds) { gEfiSystemTable->BootServices->Stall(microseconds); }

bool EfiReadClock(EfiClockReading* reading) {
  EFI_TIME time;
  if (EFI_ERROR(gEfiSystemTable->RuntimeServices->GetTime(&time, nullptr))) return false;
  reading->year = time.Year;
  reading->month = time.Month;
  reading->day = time.Day;
  reading->hour = time.Hour;
  reading->minute = time.Minute;
  reading->second = time.Second;
  return true;
}

void* EfiAllocatePool(unsigned long long size) {
  void* buffer = nullptr;
  if (EFI_ERROR(gEfiSystemTable->BootServices->AllocatePool(EfiLoaderData, size, &buffer))) return nullptr;
  return buffer;
}

void EfiFreePool(void* buffer) { gEfiSystemTable->BootServices->FreePool(buffer); }
