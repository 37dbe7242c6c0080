// String and byte helpers of the tool. Portable: the UEFI build has no C
// library, so the tool uses these instead of <string.h>.
#pragma once

#include <stddef.h>
#include <stdint.h>

size_t StrLength8(const char* text);

// 0 when the first `count` bytes of a and b are equal (a shorter string
// compares its NUL like any byte), non-zero otherwise. Case-sensitive.
int StrCompareN8(const char* a, const char* b, size_t count);

void MemFill(void* buffer, uint8_t value, size_t count);
void MemCopy(void* destination, const void* source, size_t count);

// Hexadecimal option value, with or without 0x, optional sign; saturates at
// 0x7FFFFFFF (0x80000000 with "-") as soon as the value stops growing.
int32_t ParseHexValue(const char* text);
