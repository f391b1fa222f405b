// SPDX-License-Identifier: Apache-2.0
// The calendar periods of STime: days, weeks, months, years and periods reaching back from now.
#include <limits>

#include "kelvane/platform/core/clock.h"
#include "kelvane/time/internal/civil.h"
#include "kelvane/time/internal/state.h"
#include "kelvane/time/time_tools.h"

namespace kelvane {
namespace {

using time_internal::WrapAdd;
using time_internal::WrapMul;
using time_internal::WrapSub;

constexpr std::int64_t kDay = 86400;
constexpr std::int64_t kWeek = 604800;
constexpr std::int64_t kEpochToSunday = 259200;     // Thursday 1970-01-01 to Sunday 1970-01-04
constexpr std::int64_t kThursdayToSunday = 345600;  // and back from a Thursday to its Sunday
constexpr std::int64_t kMonthStep = 2592000;        // 30 days
constexpr std::int64_t kYearStep = 31536000;        // 365 days
constexpr std::int64_t kJanuary1900 = -2208988800;  // what an all-zero broken-down time gives

// The date of t as ParseTime gives it, or nullopt where ParseTime leaves an all-zero record.
struct Fields {
  std::int64_t days;
  time_internal::CivilDate date;
};
inline bool FieldsOf(std::int64_t t, Fields& out) noexcept {
  if (static_cast<std::uint64_t>(t) >= std::uint64_t{std::numeric_limits<std::int64_t>::max()}) {
    return false;
  }
  out.days = t / kDay;
  out.date = time_internal::CivilFromDays(out.days);
  return out.date.year - 1900 <= std::numeric_limits<int>::max();
}

}  // namespace

std::int64_t STime::DayBegin(std::int64_t t) noexcept { return t / kDay * kDay; }

std::int64_t STime::DayEnd(std::int64_t t) noexcept { return DayBegin(WrapAdd(t, kDay)) - 1; }

std::int64_t STime::MonthBegin(std::int64_t t) noexcept {
  Fields f;
  if (!FieldsOf(t, f)) return kJanuary1900;
  return (f.days - (f.date.day - 1)) * kDay;
}

std::int64_t STime::MonthEnd(std::int64_t t) noexcept {
  Fields f;
  if (!FieldsOf(t, f)) return kJanuary1900 + 31 * kDay - 1;
  const bool december = f.date.month == 12;
  const std::int64_t next = time_internal::DaysFromCivil(f.date.year + (december ? 1 : 0),
                                                         december ? 1 : f.date.month + 1);
  return next * kDay - 1;
}

std::int64_t STime::WeekBegin(std::int64_t t) noexcept {
  if (t < kThursdayToSunday) return 0;
  const std::int64_t block = t / kWeek * kWeek;  // the Thursday opening t's 7-day block
  return t - block < kEpochToSunday ? block - kThursdayToSunday : block + kEpochToSunday;
}

std::int64_t STime::LastWeek() noexcept {
  std::int64_t now = Timestamp();
  // The day of the week as gmtime_r gives it into a zeroed record: Sunday (0) also when the
  // year of `now` does not fit the record.
  const std::int64_t days = time_internal::FloorDays(now);
  const bool fits = time_internal::CivilFromDays(days).year - 1900 <=
                    std::int64_t{std::numeric_limits<int>::max()};
  if (!fits || time_internal::Weekday(days) == 0) now = WrapSub(now, kWeek);
  return WeekBegin(now);
}

std::int64_t STime::LastMonth(std::uint32_t months) noexcept {
  const std::int64_t tomorrow = DayBegin(WrapAdd(Time2TradeTime(0), kDay));
  if (months == 12) return WrapSub(tomorrow, kYearStep);
  return WrapSub(tomorrow, WrapMul(std::int64_t{months}, kMonthStep));
}

std::int64_t STime::PeriodDaysAgo(std::int32_t days) noexcept {
  return DayBegin(WrapSub(Timestamp(), std::int64_t{days} * kDay));
}

std::int64_t STime::PeriodUpperBound() noexcept {
  std::int64_t now = Timestamp();
  const std::int64_t trade = Time2TradeTime(now);
  if (trade > now) now = trade;
  return DayEnd(now);
}

std::int64_t STime::PeriodBegin(std::int64_t t, std::int32_t sub_year,
                                std::int32_t sub_month) noexcept {
  Fields f;
  if (!FieldsOf(t, f)) return 0;
  std::int64_t year = f.date.year;
  int month = static_cast<int>(f.date.month) - 1;  // 0-11, as in the broken-down record
  std::int64_t day = f.date.day;
  if (sub_month >= 1) {
    day = 1;
    const int back = sub_month - 1 < 11 ? sub_month - 1 : 11;
    if (month - back >= 0) {
      month -= back;
    } else {
      --year;
      month = month - back + 12;
    }
  }
  if (sub_year >= 1) {
    day = 1;
    month = 0;
    // Years counted from 1900 as the record holds them; too many years back stop at 1900.
    year = year - 1900 < sub_year ? 1900 : year - sub_year + 1;
  }
  return (time_internal::DaysFromCivil(year, static_cast<unsigned>(month) + 1) + day - 1) * kDay;
}

bool STime::IsSameLocalDays(std::int64_t a, std::int64_t with) noexcept {
  const std::int64_t offset = LocalTimeOffset();
  return DayBegin(WrapAdd(a, offset)) == DayBegin(WrapAdd(with, offset));
}

}  // namespace kelvane
