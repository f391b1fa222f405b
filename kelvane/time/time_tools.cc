// SPDX-License-Identifier: Apache-2.0
#include "kelvane/time/time_tools.h"

#include <atomic>
#include <cstring>
#include <limits>
#include <memory>
#include <mutex>

#include "kelvane/locale/locale_tools.h"
#include "kelvane/platform/core/clock.h"
#include "kelvane/platform/i18n/date_format.h"
#include "kelvane/time/internal/civil.h"
#include "kelvane/time/internal/state.h"

namespace kelvane {
namespace {

using time_internal::WrapAdd;
using time_internal::WrapMul;
using time_internal::WrapSub;

// Set by the application; read by every conversion. Relaxed: each value stands alone and a
// reader needs no other memory ordered with it.
std::atomic<std::int64_t> s_srv_timezone{0};  // minutes east of UTC
std::atomic<std::int64_t> s_use_daylight{0};  // hours

// Fixed by initialize(), under s_init_mutex, before s_initialized is published.
std::mutex s_init_mutex;
std::atomic<bool> s_initialized{false};
std::atomic<std::int64_t> s_systz_offset{0};
std::atomic<std::int64_t> s_year_begin{0};
std::unique_ptr<platform::DateFormatter> s_formatter_date;
std::unique_ptr<platform::DateFormatter> s_formatter_time;

// The zone part of the trade time offset: the zone counts only within -720..720 minutes and
// when not 0 (one unsigned comparison covers both ends of the range).
std::int64_t ServerZoneSeconds() noexcept {
  const std::int64_t zone = s_srv_timezone.load(std::memory_order_relaxed);
  if (static_cast<std::uint64_t>(zone) + 720 >= 1441 || zone == 0) return 0;
  return zone * 60;
}

// REQUIRES: s_init_mutex is held.
void InitializeLocked() noexcept {
  const platform::TimeZone zone = platform::TimeZone::System();
  // The locale is asked for once per formatter, as a language change between the two asks
  // would be picked up by the second.
  s_formatter_date = platform::DateFormatter::Create(
      NSTools::LocaleForCurrentLanguage(), platform::kDateStyleShort, platform::kDateStyleNone,
      zone, /*relative=*/true);
  s_formatter_time =
      platform::DateFormatter::Create(NSTools::LocaleForCurrentLanguage(), platform::kDateStyleNone,
                                      platform::kDateStyleShort, zone, /*relative=*/false);
  s_systz_offset.store(zone.OffsetAt(platform::CurrentClock().Now()), std::memory_order_relaxed);

  tm calendar{};
  std::int64_t year_begin = 0;
  if (STime::ParseTime(STime::Timestamp(), &calendar)) {
    calendar.tm_sec = calendar.tm_min = calendar.tm_hour = 0;
    calendar.tm_mday = 1;
    calendar.tm_mon = 0;
    calendar.tm_wday = calendar.tm_yday = 0;
    year_begin =
        WrapMul(time_internal::DaysFromCivil(calendar.tm_year + std::int64_t{1900}, 1), 86400);
  }
  s_year_begin.store(year_begin, std::memory_order_relaxed);
}

}  // namespace

namespace time_internal {

void EnsureInitialized() noexcept {
  if (s_initialized.load(std::memory_order_acquire)) return;
  std::lock_guard lock(s_init_mutex);
  if (s_initialized.load(std::memory_order_relaxed)) return;
  InitializeLocked();
  s_initialized.store(true, std::memory_order_release);
}

const platform::DateFormatter* SharedDateFormatter() noexcept { return s_formatter_date.get(); }
const platform::DateFormatter* SharedTimeFormatter() noexcept { return s_formatter_time.get(); }

void ReinitializeForTesting() noexcept {
  std::lock_guard lock(s_init_mutex);
  InitializeLocked();
  s_initialized.store(true, std::memory_order_release);
}

}  // namespace time_internal

void STime::initialize() noexcept { time_internal::EnsureInitialized(); }

void STime::InitializeTZ(std::int64_t tz, std::int64_t use_daylight) noexcept {
  s_srv_timezone.store(tz, std::memory_order_relaxed);
  s_use_daylight.store(use_daylight, std::memory_order_relaxed);
}

std::int64_t STime::Timestamp() noexcept { return platform::CurrentClock().Time(); }

double STime::TimeDouble() noexcept { return platform::CurrentClock().Now(); }

bool STime::ParseTime(std::int64_t t, tm* calendar) noexcept {
  if (calendar == nullptr) return false;
  // Negative times, and the largest value, are refused as one unsigned comparison.
  if (static_cast<std::uint64_t>(t) >= std::uint64_t{std::numeric_limits<std::int64_t>::max()}) {
    std::memset(calendar, 0, sizeof(*calendar));
    return false;
  }
  const std::int64_t days = t / 86400;
  const std::int64_t seconds = t % 86400;
  const time_internal::CivilDate date = time_internal::CivilFromDays(days);
  // gmtime_r fails when the year does not fit the record's int; so does this.
  if (date.year - 1900 > std::numeric_limits<int>::max()) {
    std::memset(calendar, 0, sizeof(*calendar));
    return false;
  }
  calendar->tm_sec = static_cast<int>(seconds % 60);
  calendar->tm_min = static_cast<int>(seconds / 60 % 60);
  calendar->tm_hour = static_cast<int>(seconds / 3600);
  calendar->tm_mday = static_cast<int>(date.day);
  calendar->tm_mon = static_cast<int>(date.month) - 1;
  calendar->tm_year = static_cast<int>(date.year - 1900);
  calendar->tm_wday = static_cast<int>(time_internal::Weekday(days));
  calendar->tm_yday = static_cast<int>(date.yday);
  calendar->tm_isdst = 0;
  calendar->tm_gmtoff = 0;
  calendar->tm_zone = "GMT";
  return true;
}

std::int64_t STime::TradeTimeOffset() noexcept {
  return WrapAdd(WrapMul(s_use_daylight.load(std::memory_order_relaxed), 3600),
                 ServerZoneSeconds());
}

std::int64_t STime::Time2TradeTime(std::int64_t t) noexcept {
  if (t == 0) t = Timestamp();
  return WrapAdd(t, TradeTimeOffset());
}

std::int64_t STime::TradeTime2Time(std::int64_t t) noexcept {
  return WrapSub(t, TradeTimeOffset());
}

std::int64_t STime::LocalTimeOffset() noexcept {
  time_internal::EnsureInitialized();
  return s_systz_offset.load(std::memory_order_relaxed);
}

std::int64_t STime::TimeYearBegin() noexcept {
  time_internal::EnsureInitialized();
  return s_year_begin.load(std::memory_order_relaxed);
}

}  // namespace kelvane
