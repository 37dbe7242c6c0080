// The tool's platform services on the firmware: console, stall, files,
// memory and wall clock, each handed to the firmware side of this layer.
#include "platform/platform.h"
#include "platform/uefi/argument_text.h"
#include "platform/uefi/civil_time.h"
#include "platform/uefi/efi_bridge.h"

// ---- Console ----

void PlatformConsoleOutput(const char16_t* text) { EfiConsoleOutput(text); }

void PlatformConsoleEnableCursor(bool visible) { EfiConsoleEnableCursor(visible); }

bool PlatformConsoleQueryMode(uint32_t mode, uint32_t* columns, uint32_t* rows) {
  unsigned long long wideColumns = 0;
  unsigned long long wideRows = 0;
  if (!EfiConsoleQueryMode(mode, &wideColumns, &wideRows)) return false;
  *columns = wideColumns > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(wideColumns);
  *rows = wideRows > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(wideRows);
  return true;
}

void PlatformConsoleSetMode(uint32_t mode) { EfiConsoleSetMode(mode); }

void PlatformConsoleClearScreen() { EfiConsoleClearScreen(); }

uint8_t PlatformConsoleAttribute() { return static_cast<uint8_t>(EfiConsoleAttribute()); }

void PlatformConsoleSetAttribute(uint8_t attribute) { EfiConsoleSetAttribute(attribute); }

// ---- Delay ----

void PlatformStall(uint32_t microseconds) { EfiStall(microseconds); }

// ---- Files ----

namespace {

// The Shell takes 16-bit names; nullptr when there is no memory for one.
char16_t* WideName(const char* name) {
  const size_t characters = WideTextSize(name);
  char16_t* wideName = static_cast<char16_t*>(EfiAllocatePool(characters * sizeof(char16_t)));
  if (wideName != nullptr) WidenText(name, wideName);
  return wideName;
}

}  // namespace

PlatformFile* PlatformFileOpen(const char* name) {
  char16_t* wideName = WideName(name);
  if (wideName == nullptr) return nullptr;
  void* handle = EfiFileOpen(wideName);
  EfiFreePool(wideName);
  // The Shell's handle is the file: the tool never looks inside it.
  return static_cast<PlatformFile*>(handle);
}

PlatformFile* PlatformFileOpenWrite(const char* name, PlatformWriteMode mode, int64_t* existingBytes) {
  char16_t* wideName = WideName(name);
  if (wideName == nullptr) return nullptr;
  unsigned long long length = 0;
  void* handle = EfiFileOpenWrite(wideName, mode == PlatformWriteMode::Replace, &length);
  EfiFreePool(wideName);
  if (handle == nullptr) return nullptr;
  if (existingBytes != nullptr) {
    *existingBytes = length > static_cast<unsigned long long>(INT64_MAX) ? INT64_MAX : static_cast<int64_t>(length);
  }
  return static_cast<PlatformFile*>(handle);
}

bool PlatformFileWrite(PlatformFile* file, const void* data, size_t count) {
  const uint8_t* bytes = static_cast<const uint8_t*>(data);
  size_t total = 0;
  // A file system may take less than offered in one call.
  while (total < count) {
    const unsigned long long put = EfiFileWriteChunk(file, bytes + total, count - total);
    if (put == 0) return false;
    total += put > count - total ? count - total : static_cast<size_t>(put);
  }
  return true;
}

bool PlatformFileFlush(PlatformFile* file) { return EfiFileFlush(file); }

int64_t PlatformFileLength(PlatformFile* file) {
  unsigned long long size = 0;
  if (!EfiFileSize(file, &size) || size > static_cast<unsigned long long>(INT64_MAX)) return -1;
  if (!EfiFileSetPosition(file, 0)) return -1;
  return static_cast<int64_t>(size);
}

size_t PlatformFileRead(PlatformFile* file, void* buffer, size_t count) {
  uint8_t* bytes = static_cast<uint8_t*>(buffer);
  size_t total = 0;
  // A file system may hand over less than asked for in one call.
  while (total < count) {
    const unsigned long long got = EfiFileReadChunk(file, bytes + total, count - total);
    if (got == 0) break;
    total += got > count - total ? count - total : static_cast<size_t>(got);
  }
  return total;
}

void PlatformFileClose(PlatformFile* file) { EfiFileClose(file); }

// ---- Memory ----

void* PlatformAllocate(size_t size) { return EfiAllocatePool(size == 0 ? 1 : size); }

void PlatformFree(void* buffer) {
  if (buffer != nullptr) EfiFreePool(buffer);
}

// ---- Wall clock ----

bool PlatformWallClockCivil(PlatformCivilTime* time) {
  EfiClockReading reading{};
  if (!EfiReadClock(&reading)) return false;
  // The same fields the seconds count is built from; one that is out of
  // range makes that count fail, and the date is then no better.
  if (SecondsFromCivil(reading.year, reading.month, reading.day, reading.hour, reading.minute,
                       reading.second) < 0) {
    return false;
  }
  time->year = static_cast<uint16_t>(reading.year);
  time->month = static_cast<uint8_t>(reading.month);
  time->day = static_cast<uint8_t>(reading.day);
  time->hour = static_cast<uint8_t>(reading.hour);
  time->minute = static_cast<uint8_t>(reading.minute);
  time->second = static_cast<uint8_t>(reading.second);
  return true;
}

// ---- Firmware tables ----

size_t PlatformSmbiosTable(void* buffer, size_t capacity) {
  const void* table = nullptr;
  unsigned long long length = 0;
  if (!EfiSmbiosTable(&table, &length) || table == nullptr) return 0;
  const size_t whole = length > SIZE_MAX ? SIZE_MAX : static_cast<size_t>(length);
  const uint8_t* from = static_cast<const uint8_t*>(table);
  uint8_t* to = static_cast<uint8_t*>(buffer);
  for (size_t i = 0; i < whole && i < capacity; ++i) to[i] = from[i];
  return whole;
}

int64_t PlatformWallClockSeconds() {
  EfiClockReading reading{};
  if (!EfiReadClock(&reading)) return -1;
  return SecondsFromCivil(reading.year, reading.month, reading.day, reading.hour, reading.minute,
                          reading.second);
}
