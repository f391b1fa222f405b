// SPDX-License-Identifier: Apache-2.0
// kelvane/time/internal/civil.h
//
// Proleptic Gregorian calendar arithmetic on day numbers (days since 1970-01-01), exact for
// every day a 64-bit count of seconds can reach. The time operations use it instead of calling
// the C library's gmtime_r and timegm for each value: it gives the same fields and the same
// normalisation, without the library calls, which cost more than the arithmetic itself.
//
// Internal to the time subsystem. Pure functions; any thread.
#pragma once

#include <time.h>

#include <cstdint>

namespace kelvane::time_internal {

struct CivilDate {
  std::int64_t year;  // e.g. 2024
  unsigned month;     // 1-12
  unsigned day;       // 1-31
  unsigned yday;      // 0-365, days since 1 January
};

// The 32-bit path counts days from 1 March of a year 3670 whole 400-year eras before 0000, so
// that day numbers of about 1.4 million years either side of 1970 are positive and 4n + 3 still
// fits 32 bits. The rest take the 64-bit path.
inline constexpr std::uint32_t kEraShiftDays = 719468u + 146097u * 3670u;
inline constexpr std::int64_t kEraShiftYears = 400 * 3670;
inline constexpr std::int64_t kFastDayMin = -536000000;
inline constexpr std::int64_t kFastDayMax = 536000000;

[[nodiscard]] constexpr bool IsLeapYear(std::int64_t y) noexcept {
  return y % 4 == 0 && (y % 100 != 0 || y % 400 == 0);
}

// Day number -> date, in a calendar that starts its years on 1 March (so that the leap day
// ends the year), with Euclidean affine functions in 32-bit arithmetic.
// REQUIRES: kFastDayMin <= days <= kFastDayMax.
[[nodiscard]] constexpr CivilDate CivilFromDaysFast(std::int64_t days) noexcept {
  const std::uint32_t n = static_cast<std::uint32_t>(days + kEraShiftDays);
  const std::uint32_t n1 = 4 * n + 3;
  const std::uint32_t century = n1 / 146097;
  const std::uint32_t day_of_century = n1 % 146097 / 4;
  const std::uint32_t n2 = 4 * day_of_century + 3;
  const std::uint64_t p2 = std::uint64_t{2939745} * n2;
  const std::uint32_t year_of_century = static_cast<std::uint32_t>(p2 >> 32);
  const std::uint32_t day_of_year = static_cast<std::uint32_t>(p2) / 2939745 / 4;  // from 1 March
  const std::uint32_t n3 = 2141 * day_of_year + 197913;
  const std::uint32_t month = n3 >> 16;  // 3 .. 14
  const std::uint32_t day = (n3 & 0xFFFF) / 2141 + 1;
  const bool next_year = day_of_year >= 306;  // January and February close the shifted year
  const std::int64_t year = static_cast<std::int64_t>(100 * century + year_of_century) -
                            kEraShiftYears + (next_year ? 1 : 0);
  const unsigned yday =
      next_year ? day_of_year - 306 : day_of_year + 59 + (IsLeapYear(year) ? 1 : 0);
  return {year, next_year ? month - 12 : month, day, yday};
}

// Day number -> date for any day number a 64-bit count of seconds can reach.
[[nodiscard]] constexpr CivilDate CivilFromDaysWide(std::int64_t days) noexcept {
  const std::int64_t z = days + 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const std::int64_t doe = z - era * 146097;                                       // 0 .. 146096
  const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;  // 0 .. 399
  const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);                // from 1 March
  const std::int64_t mp = (5 * doy + 2) / 153;
  const unsigned day = static_cast<unsigned>(doy - (153 * mp + 2) / 5 + 1);
  const unsigned month = static_cast<unsigned>(mp < 10 ? mp + 3 : mp - 9);
  const std::int64_t year = yoe + era * 400 + (month <= 2 ? 1 : 0);
  const unsigned yday =
      static_cast<unsigned>(month <= 2 ? doy - 306 : doy + 59 + (IsLeapYear(year) ? 1 : 0));
  return {year, month, day, yday};
}

[[nodiscard]] constexpr CivilDate CivilFromDays(std::int64_t days) noexcept {
  return days >= kFastDayMin && days <= kFastDayMax ? CivilFromDaysFast(days)
                                                    : CivilFromDaysWide(days);
}

// The day number of 1 `month` `year`, for the years of the fast range.
// REQUIRES: 1 <= month <= 12, -1400000 <= year <= 1400000.
[[nodiscard]] constexpr std::int64_t DaysFromCivilFast(std::int64_t year, unsigned month) noexcept {
  const bool early = month < 3;
  const std::uint32_t y = static_cast<std::uint32_t>(year + kEraShiftYears) - (early ? 1u : 0u);
  const std::uint32_t m = early ? month + 12 : month;
  const std::uint32_t century = y / 100;
  const std::uint32_t year_days = 1461 * y / 4 - century + century / 4;
  const std::uint32_t month_days = (979 * m - 2919) / 32;
  return static_cast<std::int64_t>(year_days + month_days) - kEraShiftDays;
}

// The day number of 1 `month` `year` for any year a C `int` field can lead to.
// REQUIRES: 1 <= month <= 12.
[[nodiscard]] constexpr std::int64_t DaysFromCivilWide(std::int64_t year, unsigned month) noexcept {
  const std::int64_t y = year - (month <= 2 ? 1 : 0);
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const std::int64_t yoe = y - era * 400;
  const std::int64_t doy = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5;
  const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

[[nodiscard]] constexpr std::int64_t DaysFromCivil(std::int64_t year, unsigned month) noexcept {
  return year >= -1400000 && year <= 1400000 ? DaysFromCivilFast(year, month)
                                             : DaysFromCivilWide(year, month);
}

// Day of the week, 0 = Sunday; 1970-01-01 was a Thursday.
[[nodiscard]] constexpr unsigned Weekday(std::int64_t days) noexcept {
  const std::int64_t r = (days + 4) % 7;
  return static_cast<unsigned>(r < 0 ? r + 7 : r);
}

// Floor division of seconds into day number and seconds of the day.
[[nodiscard]] constexpr std::int64_t FloorDays(std::int64_t seconds) noexcept {
  const std::int64_t q = seconds / 86400;
  return seconds % 86400 < 0 ? q - 1 : q;
}

// Seconds since 1970 of a broken-down UTC time, normalising out-of-range fields as timegm does
// (month 12 is January of the next year, day 0 the last day of the month before). Every field
// combination fits: the result is computed in 64 bits.
[[nodiscard]] constexpr std::int64_t TimeGm(const tm& c) noexcept {
  std::int64_t year = std::int64_t{c.tm_year} + 1900 + c.tm_mon / 12;
  int month = c.tm_mon % 12;
  if (month < 0) {
    month += 12;
    --year;
  }
  const std::int64_t days = DaysFromCivil(year, static_cast<unsigned>(month) + 1) + c.tm_mday - 1;
  return days * 86400 + std::int64_t{c.tm_hour} * 3600 + std::int64_t{c.tm_min} * 60 + c.tm_sec;
}

}  // namespace kelvane::time_internal
