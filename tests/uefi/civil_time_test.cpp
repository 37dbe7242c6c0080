#include "platform/uefi/civil_time.h"

#include <gtest/gtest.h>

#include <ctime>

namespace {

// The C library's own conversion of a UTC calendar time, as the reference.
int64_t HostSeconds(int year, int month, int day, int hour, int minute, int second) {
  std::tm fields{};
  fields.tm_year = year - 1900;
  fields.tm_mon = month - 1;
  fields.tm_mday = day;
  fields.tm_hour = hour;
  fields.tm_min = minute;
  fields.tm_sec = second;
  return static_cast<int64_t>(timegm(&fields));
}

TEST(CivilTime, KnownDays) {
  EXPECT_EQ(DaysFromCivil(1970, 1, 1), 0);
  EXPECT_EQ(DaysFromCivil(1969, 12, 31), -1);
  EXPECT_EQ(DaysFromCivil(2000, 3, 1), 11017);
  EXPECT_EQ(DaysFromCivil(1900, 1, 1), -25567);
}

TEST(CivilTime, AgreesWithTheHostCalendarEveryDay) {
  // Every day of 1900 to 2200 (leap rules of 1900, 2000 and 2100 included),
  // at a time of day that differs from day to day.
  int checked = 0;
  for (int year = 1900; year <= 2200; ++year) {
    for (int month = 1; month <= 12; ++month) {
      for (int day = 1; day <= 31; ++day) {
        const int64_t expected = HostSeconds(year, month, day, day % 24, (day * 7) % 60, (month * 5) % 60);
        // timegm normalises impossible dates into the next month.
        std::tm check{};
        const std::time_t t = static_cast<std::time_t>(expected);
        gmtime_r(&t, &check);
        const int64_t got = SecondsFromCivil(year, month, day, day % 24, (day * 7) % 60, (month * 5) % 60);
        if (check.tm_mday != day) {
          EXPECT_EQ(got, -1) << year << "-" << month << "-" << day;
          continue;
        }
        ASSERT_EQ(got, expected) << year << "-" << month << "-" << day;
        ++checked;
      }
    }
  }
  EXPECT_EQ(checked, 109938);  // days from 1900-01-01 to 2200-12-31
}

TEST(CivilTime, ElapsedSecondsAcrossBoundaries) {
  struct Step {
    const char* what;
    uint32_t from[6];
    uint32_t to[6];
    int64_t seconds;
  };
  const Step steps[] = {
      {"midnight", {2024, 5, 6, 23, 59, 58}, {2024, 5, 7, 0, 0, 3}, 5},
      {"into a leap day", {2024, 2, 28, 23, 59, 59}, {2024, 2, 29, 0, 0, 0}, 1},
      {"out of a leap day", {2024, 2, 29, 23, 59, 59}, {2024, 3, 1, 0, 0, 0}, 1},
      {"February of a common year", {2023, 2, 28, 23, 59, 59}, {2023, 3, 1, 0, 0, 0}, 1},
      {"new year", {2025, 12, 31, 23, 59, 0}, {2026, 1, 1, 0, 1, 0}, 120},
      {"a whole hour", {2030, 7, 1, 10, 0, 0}, {2030, 7, 1, 11, 0, 0}, 3600},
  };
  for (const Step& s : steps) {
    const int64_t from = SecondsFromCivil(s.from[0], s.from[1], s.from[2], s.from[3], s.from[4], s.from[5]);
    const int64_t to = SecondsFromCivil(s.to[0], s.to[1], s.to[2], s.to[3], s.to[4], s.to[5]);
    ASSERT_GE(from, 0) << s.what;
    EXPECT_EQ(to - from, s.seconds) << s.what;
  }
}

TEST(CivilTime, FieldsTheClockCannotReportGiveMinusOne) {
  struct Bad {
    const char* what;
    uint32_t f[6];
  };
  const Bad bad[] = {
      {"year before 1900", {1899, 12, 31, 0, 0, 0}},  {"year after 9999", {10000, 1, 1, 0, 0, 0}},
      {"month 0", {2024, 0, 1, 0, 0, 0}},             {"month 13", {2024, 13, 1, 0, 0, 0}},
      {"day 0", {2024, 1, 0, 0, 0, 0}},               {"April 31", {2024, 4, 31, 0, 0, 0}},
      {"February 29 of 2023", {2023, 2, 29, 0, 0, 0}}, {"February 29 of 1900", {1900, 2, 29, 0, 0, 0}},
      {"February 30", {2024, 2, 30, 0, 0, 0}},        {"hour 24", {2024, 1, 1, 24, 0, 0}},
      {"minute 60", {2024, 1, 1, 0, 60, 0}},          {"second 60", {2024, 1, 1, 0, 0, 60}},
      {"all ones", {0xFFFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}},
  };
  for (const Bad& b : bad) {
    EXPECT_EQ(SecondsFromCivil(b.f[0], b.f[1], b.f[2], b.f[3], b.f[4], b.f[5]), -1) << b.what;
  }
  EXPECT_EQ(SecondsFromCivil(2000, 2, 29, 0, 0, 0), HostSeconds(2000, 2, 29, 0, 0, 0));
  EXPECT_EQ(SecondsFromCivil(9999, 12, 31, 23, 59, 59), HostSeconds(9999, 12, 31, 23, 59, 59));
}

}  // namespace
