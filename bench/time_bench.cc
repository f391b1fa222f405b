// SPDX-License-Identifier: Apache-2.0
// Calendar arithmetic of STime against the same computations with C++20 <chrono> calendar
// types, and the shared user-text formatters against a new ICU formatter per call.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdint>
#include <random>
#include <vector>

#include "bench/ratio.h"
#include "kelvane/locale/locale_tools.h"
#include "kelvane/platform/i18n/date_format.h"
#include "kelvane/time/time_tools.h"

namespace {

using kelvane::STime;
namespace chr = std::chrono;

constexpr std::size_t kCount = 4096;  // a power of two: the index wraps with a mask

// Times spread over 1970..2097 and the short dates of the same days.
struct Inputs {
  Inputs() {
    std::mt19937_64 rng(42);
    for (std::size_t i = 0; i < kCount; ++i) {
      times.push_back(static_cast<std::int64_t>(rng() % 4039372800));
      shorts.push_back(STime::ShortDate(times.back()));
    }
  }
  std::vector<std::int64_t> times;
  std::vector<std::uint16_t> shorts;
};

const Inputs& In() {
  static const Inputs inputs;
  return inputs;
}

template <typename T, typename F>
void Run(benchmark::State& state, const std::vector<T>& values, F f) {
  std::size_t i = 0;
  std::int64_t sum = 0;
  for (auto _ : state) {
    sum += static_cast<std::int64_t>(f(values[i++ & (kCount - 1)]));
    benchmark::DoNotOptimize(sum);
  }
}

chr::sys_days Days(std::int64_t t) {
  return chr::floor<chr::days>(chr::sys_seconds(chr::seconds(t)));
}
std::int64_t Seconds(chr::sys_days d) { return std::int64_t{d.time_since_epoch().count()} * 86400; }

// ---- ShortDate ----
void BM_ShortDateOurs(benchmark::State& state) { Run(state, In().times, STime::ShortDate); }
void BM_ShortDateChrono(benchmark::State& state) {
  Run(state, In().times, [](std::int64_t t) {
    const chr::year_month_day ymd(Days(t));
    return static_cast<std::uint16_t>(((static_cast<int>(ymd.year()) - 1970) & 127) << 9 |
                                      static_cast<unsigned>(ymd.month()) << 5 |
                                      static_cast<unsigned>(ymd.day()));
  });
}

// ---- LongDate ----
void BM_LongDateOurs(benchmark::State& state) { Run(state, In().shorts, STime::LongDate); }
void BM_LongDateChrono(benchmark::State& state) {
  Run(state, In().shorts, [](std::uint16_t s) -> std::int64_t {
    if (s == 33) return 0;
    unsigned month = (s >> 5) & 15u;
    if (month < 1 || month > 12) month = 1;
    const chr::year_month_day ymd(chr::year(static_cast<int>((s >> 9) + 1970u)), chr::month(month),
                                  chr::day(s & 31u));
    return Seconds(chr::sys_days(ymd));  // a day past the month's end runs on, as in timegm
  });
}

// ---- MonthBegin ----
void BM_MonthBeginOurs(benchmark::State& state) { Run(state, In().times, STime::MonthBegin); }
void BM_MonthBeginChrono(benchmark::State& state) {
  Run(state, In().times, [](std::int64_t t) {
    const chr::year_month_day ymd(Days(t));
    return Seconds(chr::sys_days(ymd.year() / ymd.month() / 1));
  });
}

// ---- WeekBegin ----
void BM_WeekBeginOurs(benchmark::State& state) { Run(state, In().times, STime::WeekBegin); }
void BM_WeekBeginChrono(benchmark::State& state) {
  Run(state, In().times, [](std::int64_t t) -> std::int64_t {
    if (t < 345600) return 0;
    const chr::sys_days day = Days(t);
    return Seconds(day - (chr::weekday(day) - chr::Sunday));
  });
}

// ---- PeriodBegin: the last 3 whole months, and the current year ----
void BM_PeriodBeginOurs(benchmark::State& state) {
  std::size_t k = 0;
  Run(state, In().times, [&](std::int64_t t) {
    return ++k & 1 ? STime::PeriodBegin(t, 0, 3) : STime::PeriodBegin(t, 1, 0);
  });
}
void BM_PeriodBeginChrono(benchmark::State& state) {
  std::size_t k = 0;
  Run(state, In().times, [&](std::int64_t t) {
    const chr::year_month_day ymd(Days(t));
    if (++k & 1) return Seconds(chr::sys_days((ymd.year() / ymd.month() - chr::months(2)) / 1));
    return Seconds(chr::sys_days(ymd.year() / chr::January / 1));
  });
}

// ---- StringTimeForUser against a new formatter per call ----
void BM_StringTimeForUserOurs(benchmark::State& state) {
  const std::int64_t now = STime::Timestamp();
  std::size_t i = 0;
  for (auto _ : state) {
    // Alternates a time of today and one of ten days ago: both shared formatters.
    benchmark::DoNotOptimize(STime::StringTimeForUser(++i & 1 ? now - 60 : now - 864000));
  }
}
void BM_StringTimeForUserNewFormatter(benchmark::State& state) {
  const std::int64_t now = STime::Timestamp();
  const kelvane::platform::Locale locale = kelvane::NSTools::LocaleForCurrentLanguage();
  const kelvane::platform::TimeZone zone = kelvane::platform::TimeZone::System();
  std::size_t i = 0;
  for (auto _ : state) {
    const bool today = ++i & 1;
    auto formatter = kelvane::platform::DateFormatter::Create(
        locale, today ? kelvane::platform::kDateStyleNone : kelvane::platform::kDateStyleShort,
        today ? kelvane::platform::kDateStyleShort : kelvane::platform::kDateStyleNone, zone,
        !today);
    benchmark::DoNotOptimize(
        formatter->Format(static_cast<double>(today ? now - 60 : now - 864000)));
  }
}

BENCHMARK(BM_ShortDateOurs);
BENCHMARK(BM_ShortDateChrono);
BENCHMARK(BM_LongDateOurs);
BENCHMARK(BM_LongDateChrono);
BENCHMARK(BM_MonthBeginOurs);
BENCHMARK(BM_MonthBeginChrono);
BENCHMARK(BM_WeekBeginOurs);
BENCHMARK(BM_WeekBeginChrono);
BENCHMARK(BM_PeriodBeginOurs);
BENCHMARK(BM_PeriodBeginChrono);
BENCHMARK(BM_StringTimeForUserOurs);
BENCHMARK(BM_StringTimeForUserNewFormatter);

const bool registered = [] {
  using kelvane::bench::Ratio;
  Ratio("ShortDate vs chrono year_month_day", "BM_ShortDateOurs", "BM_ShortDateChrono", "<= 1.0");
  Ratio("LongDate vs chrono sys_days", "BM_LongDateOurs", "BM_LongDateChrono", "<= 1.0");
  Ratio("MonthBegin vs chrono", "BM_MonthBeginOurs", "BM_MonthBeginChrono", "<= 1.0");
  Ratio("WeekBegin vs chrono weekday", "BM_WeekBeginOurs", "BM_WeekBeginChrono", "<= 1.0");
  Ratio("PeriodBegin vs chrono year_month arithmetic", "BM_PeriodBeginOurs", "BM_PeriodBeginChrono",
        "<= 1.0");
  Ratio("StringTimeForUser vs a new formatter per call", "BM_StringTimeForUserOurs",
        "BM_StringTimeForUserNewFormatter", "report");
  return true;
}();

}  // namespace

KELVANE_BENCH_MAIN()
