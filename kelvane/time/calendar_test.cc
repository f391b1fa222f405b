#include <gtest/gtest.h>

#include <climits>
#include <random>
#include <vector>

#include "kelvane/platform/core/clock.h"
#include "kelvane/platform/device/device.h"
#include "kelvane/testing/fixed_device.h"
#include "kelvane/time/internal/state.h"
#include "kelvane/time/time_tools.h"

namespace kelvane {
namespace {

constexpr std::int64_t kDay = 86400;
constexpr std::int64_t kWeek = 7 * kDay;

// Instants used below (UTC).
constexpr std::int64_t kSun2025_06_29 = 1751155200;  // Sunday 2025-06-29 00:00:00
constexpr std::int64_t kTue2025_07_01 = 1751371200;  // Tuesday 2025-07-01 12:00:00

// The week day of a time, from the C library.
int Weekday(std::int64_t t) {
  const time_t c = t;
  tm record{};
  ::gmtime_r(&c, &record);
  return record.tm_wday;
}

using testing::ServerZone;

TEST(Calendar, DaysAndMonthsBeginAndEnd) {
  // Days truncate toward zero, not down, and end inclusively; DayEnd(INT64_MAX) wraps.
  // clang-format off
  const std::pair<std::int64_t, std::int64_t> day_begins[] = {
      {86399, 0}, {86400, 86400}, {-1, 0}, {-86401, -86400},
      {kTue2025_07_01, kTue2025_07_01 - 12 * 3600}};
  const std::pair<std::int64_t, std::int64_t> day_ends[] = {
      {0, 86399}, {86399, 86399}, {-1, -1},
      {INT64_MAX, STime::DayBegin(INT64_MIN + kDay - 1) - 1}};
  // February 2024 and its leap day, February 2023 without one, and January 1900 for times that
  // cannot be broken down.
  const std::pair<std::int64_t, std::int64_t> month_begins[] = {
      {1708992000, 1706745600}, {-1, -2208988800}, {INT64_MAX, -2208988800}, {0, 0}};
  const std::pair<std::int64_t, std::int64_t> month_ends[] = {
      {1708992000, 1709251199}, {1677628800 - 1, 1677628799}, {-1, -2206310401},
      {0, 31 * kDay - 1}};
  // clang-format on
  for (const auto& [t, begin] : day_begins) EXPECT_EQ(STime::DayBegin(t), begin) << t;
  for (const auto& [t, end] : day_ends) EXPECT_EQ(STime::DayEnd(t), end) << t;
  for (const auto& [t, begin] : month_begins) EXPECT_EQ(STime::MonthBegin(t), begin) << t;
  for (const auto& [t, end] : month_ends) EXPECT_EQ(STime::MonthEnd(t), end) << t;
  for (std::int64_t t = 1764547200; t < 1767225600; t += 3 * 3600 + 7) {  // December 2025
    ASSERT_TRUE(STime::MonthEnd(t) == 1767225599 && STime::MonthBegin(t) == 1764547200) << t;
  }
}

TEST(Calendar, WeeksBeginOnSunday) {
  // Monday 1970-01-05 goes back to Sunday 1970-01-04, but the first Sunday itself is "early".
  const std::int64_t sun = kSun2025_06_29;
  // clang-format off
  const std::pair<std::int64_t, std::int64_t> cases[] = {
      {345600, 259200}, {345599, 0}, {259200, 0}, {-kWeek, 0}, {sun, sun},
      {sun + kWeek - 1, sun}, {sun + kWeek, sun + kWeek}, {sun - 1, sun - kWeek}};
  // clang-format on
  for (const auto& [t, begin] : cases) EXPECT_EQ(STime::WeekBegin(t), begin) << t;
  std::mt19937_64 rng(5);
  for (int i = 0; i < 100000; ++i) {
    const std::int64_t t = 345600 + static_cast<std::int64_t>(rng() % 8000000000);
    const std::int64_t w = STime::WeekBegin(t);
    ASSERT_TRUE(w <= t && t - w < kWeek && w % kDay == 0 && Weekday(w) == 0) << t;
  }
}

TEST(Calendar, LastWeekIsTheSundayOfThisWeekOrOnSundayOfTheWeekBefore) {
  platform::ManualClock clock;
  platform::ScopedClock scoped(clock);
  // Saturday 23:59:59 is still this week; on a Sunday it is the Sunday before.
  const std::pair<std::int64_t, std::int64_t> cases[] = {
      {kTue2025_07_01, kSun2025_06_29},
      {kSun2025_06_29 + kWeek - 1, kSun2025_06_29},
      {kSun2025_06_29 + 10 * 3600, kSun2025_06_29 - kWeek},
      {kSun2025_06_29, kSun2025_06_29 - kWeek}};
  for (const auto& [now, sunday] : cases) {
    clock.Set(static_cast<double>(now));
    EXPECT_EQ(STime::LastWeek(), sunday) << now;
  }
}

TEST(Calendar, PeriodsBackFromNowUseTheirOwnClocks) {
  platform::ManualClock clock(kTue2025_07_01);  // 12:00 UTC
  platform::ScopedClock scoped(clock);
  const std::int64_t today = kTue2025_07_01 - 12 * 3600;
  {
    // 15:00 on the server (UTC+3): its tomorrow starts with UTC's.
    ServerZone server(180, 0);
    // {months, days back}: twelve months are a year, not 360 days.
    const std::pair<std::uint32_t, std::int64_t> months[] = {
        {0, 0},    {1, 30},   {3, 90},
        {12, 365}, {13, 390}, {UINT32_MAX, std::int64_t{UINT32_MAX} * 30}};
    for (const auto& [n, days] : months) EXPECT_EQ(STime::LastMonth(n), today + kDay - days * kDay);
    EXPECT_EQ(STime::PeriodUpperBound(), today + kDay - 1);
  }
  {
    // 00:30 tomorrow on the server (UTC+12, daylight 1 on top): a day further on.
    ServerZone server(690, 1);
    EXPECT_EQ(STime::LastMonth(0), today + 2 * kDay);
    EXPECT_EQ(STime::PeriodUpperBound(), today + 2 * kDay - 1);  // the server is ahead
    EXPECT_EQ(STime::PeriodDaysAgo(0), today);                   // plain UTC, not the server's
  }
  {
    ServerZone server(-720, 0);  // behind UTC: the bound stays on UTC's day
    EXPECT_EQ(STime::PeriodUpperBound(), today + kDay - 1);
  }
  EXPECT_TRUE(STime::PeriodDaysAgo(1) == today - kDay && STime::PeriodDaysAgo(-1) == today + kDay);
  EXPECT_EQ(STime::PeriodDaysAgo(INT32_MIN), today - std::int64_t{INT32_MIN} * kDay);
}

TEST(Calendar, PeriodBeginCountsWholeMonthsOrYears) {
  const std::int64_t jan15 = 1736942400;  // 2025-01-15 12:00:00
  const std::int64_t jul01 = kTue2025_07_01;
  // Months step back first (January 2025 - 4 = September 2024), then years take that year; more
  // years than since 1900 give 1900; neither gives the day's start.
  struct Case {
    std::int64_t t;
    int years, months;
    std::int64_t begin;
  };
  // clang-format off
  const Case cases[] = {
      {jul01, 0, 1, 1751328000},  {jan15, 0, 1, 1735689600},  {jan15, 0, 2, 1733011200},
      {jul01, 0, 20, 1722470400}, {jul01, 0, 12, 1722470400}, {jul01, 1, 0, 1735689600},
      {jul01, 3, 0, 1672531200},  {jan15, 1, 5, 1704067200},  {jul01, 126, 0, -2208988800},
      {jul01, 0, 0, 1751328000},  {jul01, -4, -4, 1751328000}, {-1, 1, 1, 0},
      {INT64_MAX, 1, 1, 0}};
  // clang-format on
  for (const Case& c : cases) {
    EXPECT_EQ(STime::PeriodBegin(c.t, c.years, c.months), c.begin) << c.years << " " << c.months;
  }
}

TEST(Calendar, SameLocalDayFollowsTheDeviceOffset) {
  testing::FixedDevice device(kTue2025_07_01, "Europe/Moscow");  // UTC+3 all year
  ASSERT_EQ(STime::LocalTimeOffset(), 10800);
  const std::int64_t june30_2200 = 1751320800;                     // 01:00 on 1 July in Moscow
  const std::int64_t july01_0300 = 1751338800;                     // 06:00 on 1 July in Moscow
  const std::int64_t june30_2000 = 1751313600;                     // 23:00 on 30 June in Moscow
  EXPECT_TRUE(STime::IsSameLocalDays(june30_2200, july01_0300));   // straddles UTC midnight
  EXPECT_FALSE(STime::IsSameLocalDays(june30_2000, june30_2200));  // one UTC day, two local
  EXPECT_TRUE(STime::IsSameLocalDays(INT64_MAX, INT64_MAX));
}

}  // namespace
}  // namespace kelvane
