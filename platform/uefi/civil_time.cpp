#include "platform/uefi/civil_time.h"

namespace {

bool IsLeapYear(uint32_t year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

uint32_t DaysInMonth(uint32_t year, uint32_t month) {
  static constexpr uint8_t kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && IsLeapYear(year) ? 29u : kDays[month - 1];
}

}  // namespace

// Counts in 400-year eras that begin on 1 March, so the leap day is the
// last day of its year and each month's offset is a fixed formula.
int64_t DaysFromCivil(int64_t year, uint32_t month, uint32_t day) {
  if (month <= 2) year -= 1;
  const int64_t era = (year >= 0 ? year : year - 399) / 400;
  const int64_t yearOfEra = year - era * 400;
  const int64_t shiftedMonth = month > 2 ? month - 3 : month + 9;
  const int64_t dayOfYear = (153 * shiftedMonth + 2) / 5 + day - 1;
  const int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  return era * 146097 + dayOfEra - 719468;
}

int64_t SecondsFromCivil(uint32_t year, uint32_t month, uint32_t day, uint32_t hour, uint32_t minute,
                         uint32_t second) {
  if (year < 1900 || year > 9999 || month < 1 || month > 12) return -1;
  if (day < 1 || day > DaysInMonth(year, month)) return -1;
  if (hour > 23 || minute > 59 || second > 59) return -1;
  return DaysFromCivil(year, month, day) * 86400 + hour * 3600 + minute * 60 + second;
}
