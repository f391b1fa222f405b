// SPDX-License-Identifier: Apache-2.0
#include <gtest/gtest.h>

#include <climits>
#include <vector>

#include "kelvane/platform/core/clock.h"
#include "kelvane/testing/fixed_device.h"
#include "kelvane/time/time_tools.h"

namespace kelvane {
namespace {

constexpr std::int64_t kDay = 86400;
constexpr std::int64_t kWeek = 7 * kDay;

// Instants used below (UTC).
constexpr std::int64_t kSun2025_06_29 = 1751155200;  // Sunday 2025-06-29 00:00:00
constexpr std::int64_t kTue2025_07_01 = 1751371200;  // Tuesday 2025-07-01 12:00:00

using testing::ServerZone;
using Cases = std::vector<std::pair<std::int64_t, std::int64_t>>;

TEST(Calendar, DaysMonthsAndWeeksBeginAndEnd) {
  using F = std::int64_t (*)(std::int64_t) noexcept;
  const std::int64_t sun = kSun2025_06_29;
  // Days truncate toward zero, not down, and end inclusively; DayEnd(INT64_MAX) wraps. Months:
  // February 2024 and its leap day, February 2023 without one, and January 1900 for times that
  // cannot be broken down. Weeks begin on Sunday: Monday 1970-01-05 goes back to Sunday
  // 1970-01-04, but the first Sunday itself is "early".
  // clang-format off
  const std::pair<F, Cases> functions[] = {
      {STime::DayBegin, {{86399, 0}, {86400, 86400}, {-1, 0}, {-86401, -86400},
                         {kTue2025_07_01, kTue2025_07_01 - 12 * 3600}}},
      {STime::DayEnd, {{0, 86399}, {86399, 86399}, {-1, -1},
                       {INT64_MAX, STime::DayBegin(INT64_MIN + kDay - 1) - 1}}},
      {STime::MonthBegin, {{1708992000, 1706745600}, {-1, -2208988800}, {INT64_MAX, -2208988800},
                           {0, 0}}},
      {STime::MonthEnd, {{1708992000, 1709251199}, {1677628800 - 1, 1677628799},
                         {-1, -2206310401}, {0, 31 * kDay - 1}}},
      {STime::WeekBegin, {{345600, 259200}, {345599, 0}, {259200, 0}, {-kWeek, 0}, {sun, sun},
                          {sun + kWeek - 1, sun}, {sun + kWeek, sun + kWeek},
                          {sun - 1, sun - kWeek}}}};
  // clang-format on
  for (const auto& [function, cases] : functions) {
    for (const auto& [t, expected] : cases) EXPECT_EQ(function(t), expected) << t;
  }
}

TEST(Calendar, PeriodsBackFromNowUseTheirOwnClocks) {
  platform::ManualClock clock;
  platform::ScopedClock scoped(clock);
  // Last week: Saturday 23:59:59 is still this week; on a Sunday it is the Sunday before.
  const Cases last_weeks = {{kTue2025_07_01, kSun2025_06_29},
                            {kSun2025_06_29 + kWeek - 1, kSun2025_06_29},
                            {kSun2025_06_29 + 10 * 3600, kSun2025_06_29 - kWeek},
                            {kSun2025_06_29, kSun2025_06_29 - kWeek}};
  for (const auto& [now, sunday] : last_weeks) {
    clock.Set(static_cast<double>(now));
    EXPECT_EQ(STime::LastWeek(), sunday) << now;
  }
  clock.Set(kTue2025_07_01);  // 12:00 UTC
  const std::int64_t today = kTue2025_07_01 - 12 * 3600;
  {
    // 15:00 on the server (UTC+3): its tomorrow starts with UTC's. {months, days back}: twelve
    // months are a year, not 360 days.
    ServerZone server(180, 0);
    const std::pair<std::uint32_t, std::int64_t> months[] = {
        {0, 0}, {1, 30}, {12, 365}, {13, 390}, {UINT32_MAX, std::int64_t{UINT32_MAX} * 30}};
    for (const auto& [n, days] : months) EXPECT_EQ(STime::LastMonth(n), today + kDay - days * kDay);
    EXPECT_EQ(STime::PeriodUpperBound(), today + kDay - 1);
  }
  {
    // 00:30 tomorrow on the server (UTC+12, daylight 1 on top): a day further on; the upper
    // bound follows the server ahead, the days ago stay on plain UTC.
    ServerZone server(690, 1);
    EXPECT_EQ(std::tuple(STime::LastMonth(0), STime::PeriodDaysAgo(0)),
              std::tuple(today + 2 * kDay, today));
    EXPECT_EQ(STime::PeriodUpperBound(), today + 2 * kDay - 1);
  }
  {
    ServerZone server(-720, 0);  // behind UTC: the bound stays on UTC's day
    EXPECT_EQ(STime::PeriodUpperBound(), today + kDay - 1);
  }
  EXPECT_EQ(std::tuple(STime::PeriodDaysAgo(1), STime::PeriodDaysAgo(-1)),
            std::tuple(today - kDay, today + kDay));
  EXPECT_EQ(STime::PeriodDaysAgo(INT32_MIN), today - std::int64_t{INT32_MIN} * kDay);
}

TEST(Calendar, PeriodBeginCountsWholeMonthsOrYears) {
  const std::int64_t jan15 = 1736942400;  // 2025-01-15 12:00:00
  const std::int64_t jul01 = kTue2025_07_01;
  // {t, years, months, begin}. Months step back first (January 2025 - 4 = September 2024), then
  // years take that year; 125 years back from 2025 start in 1901, more years than since 1900
  // give 1900; neither gives the day's start.
  // clang-format off
  const std::int64_t cases[][4] = {
      {jul01, 0, 1, 1751328000},  {jan15, 0, 1, 1735689600},  {jan15, 0, 2, 1733011200},
      {jul01, 0, 20, 1722470400}, {jul01, 0, 12, 1722470400}, {jul01, 1, 0, 1735689600},
      {jul01, 3, 0, 1672531200},  {jan15, 1, 5, 1704067200},  {jul01, 126, 0, -2208988800},
      {jul01, 125, 0, -2177452800},
      {jul01, 0, 0, 1751328000},  {jul01, -4, -4, 1751328000}, {-1, 1, 1, 0},
      {INT64_MAX, 1, 1, 0}};
  // clang-format on
  for (const auto& [t, years, months, begin] : cases) {
    EXPECT_EQ(STime::PeriodBegin(t, static_cast<int>(years), static_cast<int>(months)), begin)
        << years << " " << months;
  }
}

TEST(Calendar, SameLocalDayFollowsTheDeviceOffset) {
  testing::FixedDevice device(kTue2025_07_01, "Europe/Moscow");  // UTC+3 all year
  ASSERT_EQ(STime::LocalTimeOffset(), 10800);
  // 22:00 UTC on 30 June and 03:00 UTC on 1 July are both 1 July in Moscow; 20:00 UTC on
  // 30 June is still 30 June there.
  EXPECT_TRUE(STime::IsSameLocalDays(1751320800, 1751338800));   // straddles UTC midnight
  EXPECT_FALSE(STime::IsSameLocalDays(1751313600, 1751320800));  // one UTC day, two local
  EXPECT_TRUE(STime::IsSameLocalDays(INT64_MAX, INT64_MAX));
}

}  // namespace
}  // namespace kelvane
