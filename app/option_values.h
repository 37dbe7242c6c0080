// Option values are checked whole before anything is taken from them: a
// value with a stray character or out of its option's range is refused, so
// that no frame of the run goes to an address or channel the user did not
// mean.
#pragma once

#include <stdint.h>

// Hexadecimal digits only, after an optional 0x or 0X; at least one digit.
bool IsHexValueText(const char* text);

// Why a value is refused, for the line that names it.
enum class ValueVerdict : uint8_t { Accepted, NotHexadecimal, OutOfRange };

// Checks `text` as a value no greater than `largest`; on Accepted, `value`
// holds it.
ValueVerdict CheckOptionValue(const char* text, uint32_t largest, uint32_t* value);
