// SPDX-License-Identifier: Apache-2.0
// kelvane/time/time_tools.h
//
// STime: the library's time utility. Times are signed 64-bit seconds since 1970-01-01 00:00:00
// UTC. Trade time is the trading server's wall clock written the same way, as if that clock
// were UTC, so breaking a trade time down with UTC rules gives the server's date and time of
// day. Every calendar rule here is the UTC rule; a caller that wants the server's calendar
// passes a trade time, one that wants the device's calendar adds LocalTimeOffset() first.
//
// State, process-wide:
//   - the server zone (minutes east of UTC) and daylight shift (hours), set by the application
//     with InitializeTZ() and read at once by every later conversion;
//   - fixed once, on the first use of an operation that reads them: the device's UTC offset,
//     the start of the then current UTC year, and two shared formatters (a short date with
//     "Today"/"Yesterday" words, a short time) in the locale of the device's first preferred
//     language and the device's time zone. A later change of zone, language or year is not
//     picked up while the process runs.
// The current time comes from kelvane/platform/core/clock.h, the device facts from
// kelvane/platform/device/device.h: install a manual clock or override the facts to fix them.
//
// Threads: every operation may be called from any thread. The server settings are atomics;
// the one-time state is made under a lock and then only read; the shared formatters serialise
// their own use.
#pragma once

#include <time.h>

#include <cstdint>
#include <optional>

#include "kelvane/export.h"
#include "kelvane/platform/core/string.h"

namespace kelvane {

// Server time, calendar arithmetic and date text (see the opening block).
class KELVANE_EXPORT STime {
 public:
  STime() = delete;

  // ---- server time ---------------------------------------------------------------------------

  // Fixes the device offset, the year start and the shared formatters, once; later calls do
  // nothing. Runs by itself before the first operation that needs that state.
  static void initialize() noexcept;

  // Sets the server zone, in minutes east of UTC, and its daylight-saving shift, in hours.
  // A zone outside -720..720, or 0, counts as UTC; the shift is applied whatever its value.
  static void InitializeTZ(std::int64_t tz, std::int64_t use_daylight) noexcept;

  // The current UTC time in whole seconds.
  [[nodiscard]] static std::int64_t Timestamp() noexcept;
  // The current UTC time in seconds, with its fraction.
  [[nodiscard]] static double TimeDouble() noexcept;

  // Breaks `t` down into `calendar` with UTC rules (as gmtime_r does). False, with nothing
  // written, for a null `calendar`; false, with an all-zero record, for a negative t, for the
  // largest 64-bit value and for times whose year does not fit the record.
  static bool ParseTime(std::int64_t t, tm* calendar) noexcept;

  // UTC time -> trade time; 0 stands for the current time. Wraps around in 64 bits.
  [[nodiscard]] static std::int64_t Time2TradeTime(std::int64_t t) noexcept;

  // Trade time -> UTC time (0 converts like any other value). Wraps around in 64 bits.
  [[nodiscard]] static std::int64_t TradeTime2Time(std::int64_t t) noexcept;

  // Seconds that trade time is ahead of UTC: daylight hours x 3600 + the zone in seconds.
  [[nodiscard]] static std::int64_t TradeTimeOffset() noexcept;

  // Seconds that the device's clock was ahead of UTC at initialisation.
  [[nodiscard]] static std::int64_t LocalTimeOffset() noexcept;

  // ---- calendar periods (weeks begin on Sunday) ----------------------------------------------

  // The start of t's day: t / 86400 truncated toward zero, x 86400 (so -1 gives 0).
  [[nodiscard]] static std::int64_t DayBegin(std::int64_t t) noexcept;

  // The last second of t's day: DayBegin(t + 86400) - 1.
  [[nodiscard]] static std::int64_t DayEnd(std::int64_t t) noexcept;

  // The 1st of t's month, 00:00:00, and the last second of that month. A negative t counts as
  // January 1900 (-2208988800 and -2206310401).
  [[nodiscard]] static std::int64_t MonthBegin(std::int64_t t) noexcept;
  [[nodiscard]] static std::int64_t MonthEnd(std::int64_t t) noexcept;

  // The Sunday 00:00:00 at or before t; 0 for t before Monday 1970-01-05.
  [[nodiscard]] static std::int64_t WeekBegin(std::int64_t t) noexcept;

  // The Sunday that began the current UTC week, or on a Sunday the Sunday a week before.
  [[nodiscard]] static std::int64_t LastWeek() noexcept;

  // Tomorrow's start on the server's clock, less 365 days for 12 months, else less
  // `months` x 30 days.
  [[nodiscard]] static std::int64_t LastMonth(std::uint32_t months) noexcept;

  // The start of the UTC day `days` days before now.
  [[nodiscard]] static std::int64_t PeriodDaysAgo(std::int32_t days) noexcept;

  // The end of the current day on whichever clock is ahead, UTC or the server's.
  [[nodiscard]] static std::int64_t PeriodUpperBound() noexcept;

  // The start of a period of whole months (1..12 of them, ending with t's month) or whole
  // years (ending with t's year); with neither, the start of t's day. 0 for a negative t.
  [[nodiscard]] static std::int64_t PeriodBegin(std::int64_t t, std::int32_t sub_year,
                                                std::int32_t sub_month) noexcept;

  // 1 January 00:00:00 UTC of the year current at initialisation; 0 if that could not be told.
  [[nodiscard]] static std::int64_t TimeYearBegin() noexcept;

  // Whether `a` and `with` fall on the same calendar day of the device's clock.
  [[nodiscard]] static bool IsSameLocalDays(std::int64_t a, std::int64_t with) noexcept;

  // ---- calendar fields and short dates -------------------------------------------------------

  // Year(), Month(), Day(), Hour() and Min(): the fields of t with UTC rules; a negative t reads
  // as year 1900, month 1, day 0, 00:00.
  [[nodiscard]] static std::uint32_t Year(std::int64_t t) noexcept;
  [[nodiscard]] static std::uint32_t Month(std::int64_t t) noexcept;
  [[nodiscard]] static std::uint32_t Day(std::int64_t t) noexcept;
  [[nodiscard]] static std::uint32_t Hour(std::int64_t t) noexcept;
  [[nodiscard]] static std::uint32_t Min(std::int64_t t) noexcept;

  // A short date packs a date of 1970..2097 in 16 bits: (year - 1970) in bits 15-9, month in
  // bits 8-5, day in bits 4-0. 33 (1970-01-01) doubles as the empty short date.
  static constexpr std::uint16_t kEmptyShortDate = 33;

  // Packs a date. The year is stored modulo 128 from 1970; month and day are not checked, and
  // values that do not fit their field spill into the neighbouring ones.
  [[nodiscard]] static std::uint16_t ShortDateYear(std::int32_t year, std::int32_t mon,
                                                   std::int32_t day) noexcept;

  // The short date of t's UTC day; kEmptyShortDate when t cannot be broken down.
  [[nodiscard]] static std::uint16_t ShortDate(std::int64_t t) noexcept;

  // The fields of a short date: the year, the month (1 for a field outside 1..12) and the day
  // (0..31, unchecked).
  [[nodiscard]] static std::uint32_t YearFromShort(std::uint16_t s) noexcept;
  [[nodiscard]] static std::uint32_t MonthFromShort(std::uint16_t s) noexcept;
  [[nodiscard]] static std::uint32_t DayFromShort(std::uint16_t s) noexcept;

  // 00:00:00 UTC of a short date; 0 for kEmptyShortDate. Day 0 is the last day of the month
  // before, a day past the month's end runs into the next month.
  [[nodiscard]] static std::int64_t LongDate(std::uint16_t s) noexcept;

  // ---- time texts ----------------------------------------------------------------------------

  // The short date style text of a short date (only the low 16 bits of `s` count), in the
  // device's current locale and time zone.
  [[nodiscard]] static String StringFromShortDate(std::int64_t s) noexcept;

  // `date` (seconds since 1970), or t when no date is given, in the date and time styles
  // (0 none, 1 short, 2 medium, 3 long, 4 full) with a zone `tz_gmt` seconds east of UTC, in
  // the locale of the device's first preferred language. An offset beyond 18 hours either way
  // is no zone; the device's zone is used instead.
  [[nodiscard]] static String StringFromUTC(std::int64_t t, std::optional<double> date,
                                            std::uint64_t date_style, std::uint64_t time_style,
                                            std::int32_t tz_gmt) noexcept;

  // For a list of messages or deals: a time of the device's current day by its short time of
  // day, any other time by its short date, with words for the days around today.
  [[nodiscard]] static String StringTimeForUser(std::int64_t t) noexcept;
};

}  // namespace kelvane
