// Whole seconds from a calendar date and time, for the wall clock: the
// firmware's real-time clock gives fields, the tool wants a count whose
// differences are elapsed seconds, also across midnight and month ends.
#pragma once

#include <stdint.h>

// Days from 1970-01-01 to the given date of the proleptic Gregorian
// calendar (negative before it). Fields are not checked.
int64_t DaysFromCivil(int64_t year, uint32_t month, uint32_t day);

// Seconds from 1970-01-01 00:00:00 to the given moment, or -1 when a field
// lies outside what the real-time clock can report (year 1900..9999, month
// 1..12, day 1..length of that month, hour 0..23, minute 0..59, second
// 0..59).
int64_t SecondsFromCivil(uint32_t year, uint32_t month, uint32_t day, uint32_t hour, uint32_t minute,
                         uint32_t second);
