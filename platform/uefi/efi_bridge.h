// Calls between the two halves of the UEFI build. The firmware's headers
// (efi.h) and the compiler's <stdint.h> cannot meet in one translation
// unit, so the files that talk to the firmware (efi_*.cpp) never include
// the tool's headers, and the files on the tool's side (uefi_*.cpp, which
// implement the tool's platform interface, and VEXA.efi's entry in
// runner/uefi) never include efi.h. This header is the only thing both
// include: it names no type beyond the built-in ones.
#pragma once

// ---- Provided by the firmware side (efi_*.cpp) ----

// Simple Text Output of the system table's ConOut. Status codes the
// console reports are ignored except where a result is returned.
void EfiConsoleOutput(const char16_t* text);
void EfiConsoleEnableCursor(bool visible);
bool EfiConsoleQueryMode(unsigned int mode, unsigned long long* columns, unsigned long long* rows);
void EfiConsoleSetMode(unsigned int mode);
void EfiConsoleClearScreen();
unsigned int EfiConsoleAttribute();
void EfiConsoleSetAttribute(unsigned int attribute);

void EfiStall(unsigned long long microseconds);

// The real-time clock's fields; false when GetTime fails.
struct EfiClockReading {
  unsigned int year;
  unsigned int month;
  unsigned int day;
  unsigned int hour;
  unsigned int minute;
  unsigned int second;
};
bool EfiReadClock(EfiClockReading* reading);

// The SMBIOS structure table from the system table's configuration table:
// the SMBIOS 3 entry point's when there is one, else the 32-bit one's.
// false when neither is there or its anchor is not what it must be.
bool EfiSmbiosTable(const void** table, unsigned long long* length);

// Pool memory (EfiLoaderData); nullptr when the pool has no room.
void* EfiAllocatePool(unsigned long long size);
void EfiFreePool(void* buffer);

// Files through the Shell, so that names resolve against its current
// directory and mappings. A handle is the Shell's own; nullptr = none.
// EfiFileOpen refuses directories.
void* EfiFileOpen(const char16_t* name);
bool EfiFileSize(void* handle, unsigned long long* size);
bool EfiFileSetPosition(void* handle, unsigned long long position);
// Bytes read by one ReadFile call (0 at the end or on an error).
unsigned long long EfiFileReadChunk(void* handle, void* buffer, unsigned long long count);
void EfiFileClose(void* handle);
// Opens or creates a file for writing: `replace` deletes what the name held
// first; otherwise the position is put at the file's end, whose offset goes
// to `length`. nullptr when it cannot be opened so or is a directory.
void* EfiFileOpenWrite(const char16_t* name, bool replace, unsigned long long* length);
// Bytes written by one WriteFile call (0 on an error).
unsigned long long EfiFileWriteChunk(void* handle, const void* buffer, unsigned long long count);
bool EfiFileFlush(void* handle);

// ---- Provided by the tool side (runner/uefi/vexa_efi_main.cpp) ----

// Converts the Shell's arguments to narrow text and runs the tool. Returns
// the tool's exit code, or -1 when the arguments could not be stored.
int RunToolWithShellArguments(unsigned long long argc, const char16_t* const* argv);
