// SPDX-License-Identifier: Apache-2.0
// Calendar fields of a time and the 16-bit short date.
#include <array>
#include <limits>

#include "kelvane/time/internal/civil.h"
#include "kelvane/time/time_tools.h"

namespace kelvane {
namespace {

// Year field arithmetic in unsigned 32 bits: the field keeps (year - 1970) modulo 128 whatever
// the year, and no intermediate product can overflow.
constexpr std::uint32_t kYearBias1900 = 58u * 512u;  // (1900 - 1970) mod 128 = 58
constexpr std::uint32_t kYearBias0 = 78u * 512u;     // (0 - 1970) mod 128 = 78

bool Break(std::int64_t t, tm& calendar) noexcept { return STime::ParseTime(t, &calendar); }

// The field readers, kept local so that LongDate inlines them (the exported members could be
// interposed by another definition at load time, which stops the compiler from inlining them).
constexpr std::uint32_t YearField(std::uint16_t s) { return (s >> 9) + 1970u; }
constexpr std::uint32_t MonthField(std::uint16_t s) {
  const std::uint32_t month = (s >> 5) & 15u;
  return month >= 1 && month <= 12 ? month : 1u;
}
constexpr std::uint32_t DayField(std::uint16_t s) { return s & 31u; }

// Day number of the 1st of the month for each year and month field of a short date (bits
// 15-5): 2048 entries, so that LongDate is one load and no calendar arithmetic.
constexpr auto kMonthStarts = [] {
  std::array<std::int32_t, 2048> starts{};
  for (std::uint32_t i = 0; i < starts.size(); ++i) {
    const auto s = static_cast<std::uint16_t>(i << 5);
    starts[i] =
        static_cast<std::int32_t>(time_internal::DaysFromCivilWide(YearField(s), MonthField(s)));
  }
  return starts;
}();

}  // namespace

std::uint32_t STime::Year(std::int64_t t) noexcept {
  tm c{};
  Break(t, c);
  return static_cast<std::uint32_t>(c.tm_year) + 1900u;
}

std::uint32_t STime::Month(std::int64_t t) noexcept {
  tm c{};
  Break(t, c);
  return static_cast<std::uint32_t>(c.tm_mon) + 1u;
}

std::uint32_t STime::Day(std::int64_t t) noexcept {
  tm c{};
  Break(t, c);
  return static_cast<std::uint32_t>(c.tm_mday);
}

std::uint32_t STime::Hour(std::int64_t t) noexcept {
  tm c{};
  Break(t, c);
  return static_cast<std::uint32_t>(c.tm_hour);
}

std::uint32_t STime::Min(std::int64_t t) noexcept {
  tm c{};
  Break(t, c);
  return static_cast<std::uint32_t>(c.tm_min);
}

std::uint16_t STime::ShortDateYear(std::int32_t year, std::int32_t mon, std::int32_t day) noexcept {
  const std::uint32_t packed = (static_cast<std::uint32_t>(year) * 512u + kYearBias0) |
                               (static_cast<std::uint32_t>(mon) * 32u) |
                               static_cast<std::uint32_t>(day);
  return static_cast<std::uint16_t>(packed);
}

std::uint16_t STime::ShortDate(std::int64_t t) noexcept {
  if (static_cast<std::uint64_t>(t) >= std::uint64_t{std::numeric_limits<std::int64_t>::max()}) {
    return kEmptyShortDate;
  }
  const time_internal::CivilDate date = time_internal::CivilFromDays(t / 86400);
  if (date.year - 1900 > std::numeric_limits<int>::max()) return kEmptyShortDate;
  const std::uint32_t tm_year = static_cast<std::uint32_t>(date.year - 1900);
  return static_cast<std::uint16_t>((tm_year * 512u + kYearBias1900) | (date.month * 32u) |
                                    date.day);
}

std::uint32_t STime::YearFromShort(std::uint16_t s) noexcept { return YearField(s); }

std::uint32_t STime::MonthFromShort(std::uint16_t s) noexcept { return MonthField(s); }

std::uint32_t STime::DayFromShort(std::uint16_t s) noexcept { return DayField(s); }

std::int64_t STime::LongDate(std::uint16_t s) noexcept {
  if (s == kEmptyShortDate) return 0;
  return (std::int64_t{kMonthStarts[s >> 5]} + DayField(s) - 1) * 86400;
}

}  // namespace kelvane
