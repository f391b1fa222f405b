// SPDX-License-Identifier: Apache-2.0
#include <gtest/gtest.h>

#include <array>
#include <climits>
#include <cstdint>
#include <ctime>
#include <tuple>

#include "kelvane/time/time_tools.h"

namespace kelvane {
namespace {

TEST(ShortDate, PacksUnpacksAndNormalisesTheFixedExamples) {
  // Years wrap modulo 128 from 1970; month and day are not checked, so a day of 32 sets the
  // month's lowest bit and a month of 16 the year's.
  const std::tuple<std::int32_t, std::int32_t, std::int32_t, std::uint16_t> cases[] = {
      {2024, 3, 15, 27759}, {1970, 1, 1, 33},   {2098, 1, 1, 33},     {1969, 1, 1, 65057},
      {1970, 0, 32, 32},    {1970, 16, 0, 512}, {2024, 0, -1, 0xFFFF}};
  for (const auto& [year, month, day, packed] : cases) {
    EXPECT_EQ(STime::ShortDateYear(year, month, day), packed) << year << "-" << month << "-" << day;
  }
  // Unpacking valid dates is checked day by day below. A month field outside 1..12 reads as 1;
  // the day field is handed back unchecked.
  EXPECT_EQ(STime::YearFromShort(65057), 2097u);
  EXPECT_EQ(STime::YearFromShort(STime::ShortDateYear(INT_MAX, 1, 1)), 2047u);
  EXPECT_EQ(STime::YearFromShort(STime::ShortDateYear(INT_MIN, 1, 1)), 2048u);
  for (std::int32_t month : {0, 13, 14, 15}) {
    EXPECT_EQ(STime::MonthFromShort(STime::ShortDateYear(2024, month, 7)), 1u) << month;
  }
  EXPECT_EQ(STime::DayFromShort(STime::ShortDateYear(2024, 3, 0)), 0u);
  // LongDate normalises days outside the month: 2024-03-00 is 2024-02-29, 2023-02-31 is
  // 2023-03-03, 1970-01-00 is 1969-12-31, month 0 reads as January, and "2097-15-31" as
  // 2097-01-31.
  const std::pair<std::uint16_t, std::int64_t> long_dates[] = {
      {STime::ShortDateYear(2024, 3, 0), 1709164800},
      {STime::ShortDateYear(2023, 2, 31), 1677801600},
      {STime::ShortDateYear(1970, 1, 0), -86400},
      {STime::ShortDateYear(2024, 0, 15), 1705276800},
      {0xFFFF, 4010428800}};
  for (const auto& [s, t] : long_dates) EXPECT_EQ(STime::LongDate(s), t) << s;
  // Times that cannot be broken down give the empty date (INT64_MAX - 1 has a year beyond an
  // int); a year past 2097 wraps without a fault.
  for (std::int64_t t : {std::int64_t{-1}, INT64_MIN, INT64_MAX, INT64_MAX - 1}) {
    EXPECT_EQ(STime::ShortDate(t), STime::kEmptyShortDate) << t;
  }
  EXPECT_EQ(STime::ShortDate(4133980800), STime::ShortDateYear(2101, 1, 1));
  // The fields of a time, and of one that cannot be broken down (the all-zero record).
  const auto fields = [](std::int64_t t) {
    return std::array{STime::Year(t), STime::Month(t), STime::Day(t), STime::Hour(t),
                      STime::Min(t)};
  };
  EXPECT_EQ(fields(1710513045), (std::array{2024u, 3u, 15u, 14u, 30u}));  // 2024-03-15 14:30:45
  EXPECT_EQ(fields(-1), (std::array{1900u, 1u, 0u, 0u, 0u}));
}

// Every day the seven-bit year holds, 1970 to 2097, against the C library's calendar: packed from
// its last second, unpacked, and back to its first second.
TEST(ShortDate, RoundTripsEveryDayItHolds) {
  int wrong = 0;
  for (std::int64_t t = 0;; t += 86400) {
    const std::time_t day = t;
    std::tm civil{};
    ASSERT_NE(gmtime_r(&day, &civil), nullptr);
    if (civil.tm_year + 1900 > 2097) break;
    const std::uint16_t s = STime::ShortDate(t + 86399);
    const auto unpacked = std::tuple{STime::YearFromShort(s), STime::MonthFromShort(s),
                                     STime::DayFromShort(s), STime::LongDate(s)};
    const auto expected =
        std::tuple{std::uint32_t(civil.tm_year + 1900), std::uint32_t(civil.tm_mon + 1),
                   std::uint32_t(civil.tm_mday), t};
    if (unpacked != expected && wrong++ == 0) {
      EXPECT_EQ(unpacked, expected) << "the first wrong day starts at " << t;
    }
  }
  EXPECT_EQ(wrong, 0);
}

}  // namespace
}  // namespace kelvane
