// Services the tool takes from its surroundings. Two implementations exist,
// chosen at link time: platform/uefi (the real firmware) and platform/host
// (a host program driving the simulated board). Nothing outside platform/
// touches a console, a file, a clock, a port or physical memory.
//
// This header must stay usable in the freestanding UEFI build: only the
// compiler's own <stdint.h> and <stddef.h>, no library types.
#pragma once

#include <stddef.h>
#include <stdint.h>

// ---- Console (UEFI Simple Text Output) ----

// Writes finished characters: NUL-terminated UTF-16, line discipline already
// applied by the caller (console_text.h). Nothing is added or translated.
void PlatformConsoleOutput(const char16_t* text);

void PlatformConsoleEnableCursor(bool visible);

// Columns and rows of text mode `mode`; false when the console reports an
// error for that mode number.
bool PlatformConsoleQueryMode(uint32_t mode, uint32_t* columns, uint32_t* rows);

void PlatformConsoleSetMode(uint32_t mode);
void PlatformConsoleClearScreen();

// The console's current Mode.Attribute.
uint8_t PlatformConsoleAttribute();
void PlatformConsoleSetAttribute(uint8_t attribute);

// ---- Delay ----

// Busy wait of at least `microseconds`.
void PlatformStall(uint32_t microseconds);

// ---- Port I/O (PCI configuration mechanism 1) ----

void PlatformPortWrite32(uint16_t port, uint32_t value);
uint16_t PlatformPortRead16(uint16_t port);
uint32_t PlatformPortRead32(uint16_t port);

// ---- Memory-mapped I/O at physical addresses ----
// Each call is exactly one access of the stated width, in program order.

uint32_t PlatformMmioRead32(uint64_t address);
void PlatformMmioWrite32(uint64_t address, uint32_t value);
uint16_t PlatformMmioRead16(uint64_t address);
uint8_t PlatformMmioRead8(uint64_t address);
void PlatformMmioWrite8(uint64_t address, uint8_t value);

// ---- Files (binary) ----

struct PlatformFile;

// Opens `name` exactly as typed for reading; nullptr when it cannot be opened.
PlatformFile* PlatformFileOpen(const char* name);

// The file's length in bytes, found by seeking to the end and back to the
// start; -1 when the length cannot be found.
int64_t PlatformFileLength(PlatformFile* file);

// Reads up to `count` bytes from the current position; returns the count read.
size_t PlatformFileRead(PlatformFile* file, void* buffer, size_t count);

void PlatformFileClose(PlatformFile* file);

// How a file is opened for writing: Replace starts it empty (creating it or
// dropping what it held); Append creates it when it is missing and adds to
// its end, leaving every byte it held as it was.
enum class PlatformWriteMode : uint8_t { Replace, Append };

// Opens `name` exactly as typed for writing; nullptr when it cannot be
// opened so (or is a directory). `existingBytes`, unless nullptr, receives
// the file's length once opened: 0 for Replace or a new file.
PlatformFile* PlatformFileOpenWrite(const char* name, PlatformWriteMode mode, int64_t* existingBytes);

// Writes all `count` bytes after what this handle wrote before; false when
// not all of them could be written.
bool PlatformFileWrite(PlatformFile* file, const void* data, size_t count);

// Hands everything written so far to the medium, so that it survives the
// board being powered off next; false when the medium reports an error.
bool PlatformFileFlush(PlatformFile* file);

// ---- Memory ----

// nullptr when the buffer cannot be obtained.
void* PlatformAllocate(size_t size);
void PlatformFree(void* buffer);

// ---- Wall clock ----

// Whole seconds since an arbitrary epoch, from the real-time clock; -1 when
// the clock cannot be read. Only differences of two readings mean anything.
int64_t PlatformWallClockSeconds();

// The real-time clock's date and time as it keeps them (the board's local
// time; no time zone is known).
struct PlatformCivilTime {
  uint16_t year;
  uint8_t month;   // 1..12
  uint8_t day;     // 1..31
  uint8_t hour;    // 0..23
  uint8_t minute;  // 0..59
  uint8_t second;  // 0..59
};

// false when the clock cannot be read.
bool PlatformWallClockCivil(PlatformCivilTime* time);

// ---- Firmware tables ----

// Copies the firmware's SMBIOS structure table (the structures themselves,
// as the SMBIOS 3 entry point or else the 32-bit one locates them) into
// `buffer`, at most `capacity` bytes. Returns the table's whole length,
// which may exceed `capacity` (then only the first `capacity` bytes were
// copied); 0 when the firmware offers no table.
size_t PlatformSmbiosTable(void* buffer, size_t capacity);
