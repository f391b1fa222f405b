// SPDX-License-Identifier: Apache-2.0
#include "kelvane/time/time_tools.h"

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <climits>
#include <cstring>
#include <random>
#include <tuple>
#include <vector>

#include "kelvane/platform/core/clock.h"
#include "kelvane/platform/device/device.h"
#include "kelvane/testing/fixed_device.h"
#include "kelvane/testing/threads.h"
#include "kelvane/time/internal/civil.h"
#include "kelvane/time/internal/state.h"

namespace kelvane {
namespace {

using testing::FixedDevice;
using testing::ServerZone;

// Every field of a broken-down time but the zone name, for comparing with gmtime_r.
auto Fields(const tm& t) {
  return std::tie(t.tm_sec, t.tm_min, t.tm_hour, t.tm_mday, t.tm_mon, t.tm_year, t.tm_wday,
                  t.tm_yday, t.tm_isdst, t.tm_gmtoff);
}

// What ParseTime gives for a time it refuses: false, and a record of zeros.
constexpr std::tuple<bool, bool> kRefused{false, true};

bool AllZero(const tm& record) {
  static const tm zero{};
  return std::memcmp(&record, &zero, sizeof(tm)) == 0;
}

TEST(STime, ParseTimeRefusesWhatItCannotBreakDownAndAgreesWithTheCLibrary) {
  tm record, expected;
  EXPECT_FALSE(STime::ParseTime(0, nullptr));
  for (std::int64_t t : {std::int64_t{-1}, std::int64_t{-86400}, INT64_MIN, INT64_MAX}) {
    std::memset(&record, 0xAB, sizeof(record));
    EXPECT_EQ((std::tuple{STime::ParseTime(t, &record), AllZero(record)}), kRefused) << t;
  }
  ASSERT_TRUE(STime::ParseTime(0, &record));  // the fields are compared with gmtime_r below
  EXPECT_STREQ(record.tm_zone, "GMT");

  // The year must fit the record's int, as for gmtime_r: the last second of the year
  // INT_MAX + 1900 breaks down (held against gmtime_r below), the first second after it does not.
  const std::int64_t limit = time_internal::DaysFromCivil(std::int64_t{INT_MAX} + 1901, 1) * 86400;
  EXPECT_EQ((std::tuple{STime::ParseTime(limit, &record), AllZero(record)}), kRefused);

  std::mt19937_64 rng(7);
  std::vector<std::int64_t> times = {0, limit - 1, limit, 253402300799, 46381708800};
  // Every day boundary of 1999-2001 (a leap year divisible by 400) and 2099-2101 (none).
  for (std::int64_t day = 10592; day < 11688; ++day) times.push_back(day * 86400 - 1);
  for (std::int64_t day = 47115; day < 48210; ++day) times.push_back(day * 86400);
  for (int i = 0; i < 200000; ++i)
    times.push_back(static_cast<std::int64_t>(rng() >> (1 + i % 30)));
  for (std::int64_t t : times) {
    const time_t c_time = t;
    const bool ok = STime::ParseTime(t, &record);
    ASSERT_EQ(ok, ::gmtime_r(&c_time, &expected) != nullptr) << t;
    if (!ok) continue;
    ASSERT_EQ(Fields(record), Fields(expected)) << t;
  }
}

TEST(STime, CalendarArithmeticAgreesWithTimegmIncludingNormalisation) {
  // {year, month, day, hour, minute, second} as the record holds them: month 12 is January of
  // the next year, day 0 the last day of February 2024, month -1 December of the year before,
  // month -13 two years back; then every field past its end, a time before the epoch, 1900,
  // year 0, and the ends of the int range.
  // clang-format off
  std::vector<std::array<int, 6>> cases = {
      {125, 12, 1, 0, 0, 0}, {124, 2, 0, 0, 0, 0}, {125, -1, 15, 0, 0, 0}, {125, -13, 1, 0, 0, 0},
      {70, 0, 400, 25, 61, 61}, {70, 0, 1, -1, 0, 0}, {0, 0, 1, 0, 0, 0}, {-1900, 0, 1, 0, 0, 0},
      {8099, 11, 31, 23, 59, 59}, {INT_MAX - 1900, 0, 1, 0, 0, 0}, {INT_MAX, 11, 31, 23, 59, 59},
      {INT_MIN, 0, 1, 0, 0, 0}};
  // clang-format on
  std::mt19937 rng(3);
  auto field = [&rng](int span) { return static_cast<int>(rng() % span) - span / 2; };
  for (int i = 0; i < 100000; ++i)
    cases.push_back(
        {field(4000) + 1000, field(100), field(800), field(100), field(200), field(200)});
  for (const auto& [year, mon, mday, hour, min, sec] : cases) {
    tm record{};
    record.tm_year = year, record.tm_mon = mon, record.tm_mday = mday;
    record.tm_hour = hour, record.tm_min = min, record.tm_sec = sec;
    tm copy = record;
    const time_t expected = ::timegm(&copy);  // -1: beyond what the C library represents
    if (expected == -1) continue;
    ASSERT_EQ(time_internal::TimeGm(record), expected) << year << " " << mon;
  }
}

TEST(STime, TradeTimeFollowsTheServerZoneAndDaylightShift) {
  constexpr std::int64_t kT = 1751371200;
  EXPECT_EQ(STime::TradeTimeOffset(), 0);  // trade time is UTC until a server is set
  // {zone in minutes, daylight hours, offset}: zones beyond +-12 hours, and 0, count as UTC.
  const std::array<std::int64_t, 3> zones[] = {
      {180, 1, 14400}, {720, 2, 50400}, {-720, 2, -36000},    {721, 2, 7200},      {-721, 2, 7200},
      {0, 2, 7200},    {-1, 2, 7140},   {INT64_MIN, 2, 7200}, {INT64_MAX, 2, 7200}};
  for (const auto& [zone, daylight, offset] : zones) {
    ServerZone server(zone, daylight);
    EXPECT_EQ(STime::TradeTimeOffset(), offset) << zone;
    // 0 is not "now" on the way back.
    EXPECT_EQ(std::tuple(STime::Time2TradeTime(kT), STime::TradeTime2Time(kT + offset),
                         STime::TradeTime2Time(0)),
              std::tuple(kT + offset, kT, -offset))
        << zone;
  }
  ServerZone server(-300, 0);
  platform::ManualClock clock(kT + 0.9);
  platform::ScopedClock scoped(clock);
  EXPECT_EQ(STime::Time2TradeTime(0), kT - 18000);  // 0 stands for now
  EXPECT_EQ(std::tuple(STime::Timestamp(), STime::TimeDouble()), std::tuple(kT, kT + 0.9));
  // The conversions wrap around in 64 bits instead of overflowing.
  EXPECT_EQ(STime::Time2TradeTime(INT64_MIN), INT64_MAX - 18000 + 1);
  EXPECT_EQ(STime::TradeTime2Time(STime::Time2TradeTime(INT64_MIN + 5)), INT64_MIN + 5);
  ServerZone huge(0, INT64_MAX);
  EXPECT_EQ(STime::TradeTime2Time(STime::Time2TradeTime(42)), 42);
}

TEST(STime, InitialisationFixesTheDeviceOffsetAndTheYearStart) {
  // {clock, zone, year start, offset}: summer time in Berlin on 2026-07-01 12:00 UTC, the last
  // second of 2025 in Kolkata, and a clock before 1970 that cannot be broken down.
  const std::tuple<double, const char*, std::int64_t, std::int64_t> cases[] = {
      {1782907200, "Europe/Berlin", 1767225600, 7200},
      {1767225599, "Asia/Kolkata", 1735689600, 19800},
      {-5, "UTC", 0, 0}};
  for (const auto& [now, zone, year, offset] : cases) {
    FixedDevice device(now, zone);
    EXPECT_EQ(std::tuple(STime::TimeYearBegin(), STime::LocalTimeOffset()),
              std::tuple(year, offset))
        << zone;
    // Fixed for the life of the process: later clocks and zones do not move them.
    platform::ManualClock later(1800000000);
    platform::ScopedClock scoped(later);
    platform::ScopedDeviceOverrides moved({.time_zone = "Asia/Tokyo"});
    STime::initialize();
    EXPECT_EQ(std::tuple(STime::TimeYearBegin(), STime::LocalTimeOffset()),
              std::tuple(year, offset))
        << zone;
  }
}

TEST(STime, ServerSettingsMayChangeWhileOtherThreadsConvert) {
  std::atomic<bool> stop{false};
  std::atomic<int> impossible{0};
  testing::OnThreads(4, [&](int thread) {
    if (thread == 0) {
      for (int k = 0; k < 20000; ++k) STime::InitializeTZ(k % 2 ? 180 : 0, k % 2);
      stop = true;
    }
    while (!stop.load()) {
      // Zone and shift are separate settings: any pairing of the values written may be seen.
      const std::int64_t offset = STime::TradeTime2Time(1000000) - 1000000;
      if (offset != 0 && offset != -10800 && offset != -3600 && offset != -14400) ++impossible;
    }
  });
  STime::InitializeTZ(0, 0);
  EXPECT_EQ(impossible.load(), 0);
}

}  // namespace
}  // namespace kelvane
