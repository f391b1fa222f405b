#include "kelvane/time/time_tools.h"

#include <gtest/gtest.h>

#include <atomic>
#include <climits>
#include <cstring>
#include <random>
#include <thread>
#include <vector>

#include "kelvane/platform/core/clock.h"
#include "kelvane/platform/device/device.h"
#include "kelvane/testing/fixed_device.h"
#include "kelvane/time/internal/civil.h"
#include "kelvane/time/internal/state.h"

namespace kelvane {
namespace {

using testing::FixedDevice;

using testing::ServerZone;

bool SameFields(const tm& a, const tm& b) {
  return a.tm_sec == b.tm_sec && a.tm_min == b.tm_min && a.tm_hour == b.tm_hour &&
         a.tm_mday == b.tm_mday && a.tm_mon == b.tm_mon && a.tm_year == b.tm_year &&
         a.tm_wday == b.tm_wday && a.tm_yday == b.tm_yday && a.tm_isdst == b.tm_isdst &&
         a.tm_gmtoff == b.tm_gmtoff;
}

bool AllZero(const tm& record) {
  tm zero;
  std::memset(&zero, 0, sizeof(zero));
  return std::memcmp(&record, &zero, sizeof(tm)) == 0;
}

TEST(STime, ParseTimeRefusesWhatItCannotBreakDownAndAgreesWithTheCLibrary) {
  tm record;
  EXPECT_FALSE(STime::ParseTime(0, nullptr));
  for (std::int64_t t :
       {std::int64_t{-1}, std::int64_t{-86400}, std::int64_t{INT64_MIN}, std::int64_t{INT64_MAX}}) {
    std::memset(&record, 0xAB, sizeof(record));
    EXPECT_TRUE(!STime::ParseTime(t, &record) && AllZero(record)) << t;
  }
  ASSERT_TRUE(STime::ParseTime(0, &record));  // the fields are compared with gmtime_r below
  EXPECT_STREQ(record.tm_zone, "GMT");

  // The year must fit the record's int, as for gmtime_r: the last second of the year
  // INT_MAX + 1900 breaks down, the first second after it does not.
  const std::int64_t limit = time_internal::DaysFromCivil(std::int64_t{INT_MAX} + 1901, 1) * 86400;
  tm expected;
  ASSERT_TRUE(STime::ParseTime(limit - 1, &record));
  const time_t last = limit - 1;
  ASSERT_NE(::gmtime_r(&last, &expected), nullptr);
  EXPECT_TRUE(SameFields(record, expected) && record.tm_year == INT_MAX);
  const time_t first_beyond = limit;
  EXPECT_EQ(::gmtime_r(&first_beyond, &expected), nullptr);
  EXPECT_TRUE(!STime::ParseTime(limit, &record) && AllZero(record));

  std::mt19937_64 rng(7);
  std::vector<std::int64_t> times = {0,          59,           86399,       86400,
                                     951782400,  951868799,    4107542400,  4107628799,
                                     4102444799, 253402300799, 46381708800, 67767976233532799};
  // Every day boundary of 1999-2001 (a leap year divisible by 400) and 2099-2101 (none).
  for (std::int64_t day = 10592; day < 11688; ++day) times.push_back(day * 86400 - 1);
  for (std::int64_t day = 47115; day < 48210; ++day) times.push_back(day * 86400);
  for (int i = 0; i < 200000; ++i)
    times.push_back(static_cast<std::int64_t>(rng() >> (1 + i % 30)));
  for (std::int64_t t : times) {
    const time_t c_time = t;
    const bool ok = STime::ParseTime(t, &record);
    ASSERT_EQ(ok, ::gmtime_r(&c_time, &expected) != nullptr) << t;
    ASSERT_TRUE(!ok || SameFields(record, expected)) << t;
  }
}

TEST(STime, CalendarArithmeticAgreesWithTimegmIncludingNormalisation) {
  struct Case {
    int year, mon, mday, hour, min, sec;
  };
  const Case cases[] = {
      {125, 12, 1, 0, 0, 0},     // month 12: January of the next year
      {124, 2, 0, 0, 0, 0},      // day 0: the last day of February 2024
      {125, -1, 15, 0, 0, 0},    // month -1: December of the year before
      {125, -13, 1, 0, 0, 0},    // two years back
      {70, 0, 400, 25, 61, 61},  // every field past its end
      {70, 0, 1, -1, 0, 0},      // before the epoch
      {0, 0, 1, 0, 0, 0},        // 1900
      {-1900, 0, 1, 0, 0, 0},    // year 0
      {8099, 11, 31, 23, 59, 59}, {INT_MAX - 1900, 0, 1, 0, 0, 0}, {INT_MAX, 11, 31, 23, 59, 59},
      {INT_MIN, 0, 1, 0, 0, 0},
  };
  std::vector<Case> all(std::begin(cases), std::end(cases));
  std::mt19937 rng(3);
  for (int i = 0; i < 100000; ++i) {
    auto field = [&rng](int span) { return static_cast<int>(rng() % span) - span / 2; };
    all.push_back({field(4000) + 1000, field(100), field(800), field(100), field(200), field(200)});
  }
  for (const Case& c : all) {
    tm record{};
    record.tm_year = c.year, record.tm_mon = c.mon, record.tm_mday = c.mday;
    record.tm_hour = c.hour, record.tm_min = c.min, record.tm_sec = c.sec;
    tm copy = record;
    const time_t expected = ::timegm(&copy);  // -1: beyond what the C library represents
    ASSERT_TRUE(expected == -1 || time_internal::TimeGm(record) == expected)
        << c.year << " " << c.mon << ": " << time_internal::TimeGm(record) << " != " << expected;
  }
}

TEST(STime, TradeTimeFollowsTheServerZoneAndDaylightShift) {
  EXPECT_EQ(STime::TradeTimeOffset(), 0);  // trade time is UTC until a server is set
  {
    ServerZone server(180, 1);
    EXPECT_EQ(STime::TradeTimeOffset(), 14400);
    EXPECT_EQ(STime::Time2TradeTime(1751371200), 1751371200 + 14400);
    EXPECT_EQ(STime::TradeTime2Time(1751371200 + 14400), 1751371200);
    EXPECT_EQ(STime::TradeTime2Time(0), -14400);  // 0 is not "now" on the way back
  }
  const std::pair<std::int64_t, std::int64_t> zones[] = {{720, 43200},   {-720, -43200}, {721, 0},
                                                         {-721, 0},      {0, 0},         {-1, -60},
                                                         {INT64_MIN, 0}, {INT64_MAX, 0}};
  for (const auto& [zone, seconds] : zones) {
    ServerZone server(zone, 2);
    EXPECT_EQ(STime::TradeTimeOffset(), seconds + 7200) << zone;
  }
  ServerZone server(-300, 0);
  platform::ManualClock clock(1751371200.9);
  platform::ScopedClock scoped(clock);
  EXPECT_EQ(STime::Time2TradeTime(0), 1751371200 - 18000);  // 0 stands for now
  EXPECT_EQ(STime::Timestamp(), 1751371200);
  EXPECT_DOUBLE_EQ(STime::TimeDouble(), 1751371200.9);
  // The conversions wrap around in 64 bits instead of overflowing.
  EXPECT_EQ(STime::Time2TradeTime(INT64_MIN), INT64_MAX - 18000 + 1);
  EXPECT_EQ(STime::TradeTime2Time(STime::Time2TradeTime(INT64_MIN + 5)), INT64_MIN + 5);
  ServerZone huge(0, INT64_MAX);
  EXPECT_EQ(STime::TradeTime2Time(STime::Time2TradeTime(42)), 42);
}

TEST(STime, InitialisationFixesTheDeviceOffsetAndTheYearStart) {
  {
    FixedDevice device(1782907200, "Europe/Berlin");  // 2026-07-01 12:00:00 UTC
    EXPECT_EQ(STime::TimeYearBegin(), 1767225600);    // 2026-01-01 00:00:00 UTC
    EXPECT_EQ(STime::LocalTimeOffset(), 7200);        // summer time in force at that moment
    // Fixed for the life of the process: later clocks and zones do not move them.
    platform::ManualClock later(1800000000);
    platform::ScopedClock scoped(later);
    platform::ScopedDeviceOverrides moved({.time_zone = "Asia/Tokyo"});
    STime::initialize();
    EXPECT_TRUE(STime::TimeYearBegin() == 1767225600 && STime::LocalTimeOffset() == 7200);
  }
  {
    FixedDevice device(1767225599, "Asia/Kolkata");  // the last second of 2025
    EXPECT_TRUE(STime::TimeYearBegin() == 1735689600 && STime::LocalTimeOffset() == 19800);
  }
  FixedDevice before_1970(-5, "UTC");  // a clock that cannot be broken down
  EXPECT_TRUE(STime::TimeYearBegin() == 0 && STime::LocalTimeOffset() == 0);
}

TEST(STime, ServerSettingsMayChangeWhileOtherThreadsConvert) {
  std::atomic<bool> stop{false};
  std::atomic<int> impossible{0};
  std::vector<std::thread> readers;
  for (int i = 0; i < 3; ++i) {
    readers.emplace_back([&] {
      while (!stop.load()) {
        // Zone and shift are separate settings: any pairing of the values written may be seen.
        const std::int64_t offset = STime::TradeTime2Time(1000000) - 1000000;
        if (offset != 0 && offset != -10800 && offset != -3600 && offset != -14400) ++impossible;
      }
    });
  }
  for (int k = 0; k < 20000; ++k) STime::InitializeTZ(k % 2 ? 180 : 0, k % 2);
  stop = true;
  for (auto& t : readers) t.join();
  STime::InitializeTZ(0, 0);
  EXPECT_EQ(impossible.load(), 0);
}

}  // namespace
}  // namespace kelvane
