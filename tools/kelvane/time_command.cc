// `kelvane time`: UTC and trade time, the calendar periods of a time, short dates and the texts
// a user sees, with the device's language and zone from the environment or from --lang,
// --locale and --tz.
// Demo step: a trade time for a server at UTC+3 with daylight saving, and the user texts of
// three instants.
#include <time.h>

#include <cstdio>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "kelvane/platform/core/clock.h"
#include "kelvane/platform/i18n/date_format.h"
#include "kelvane/platform/device/device.h"
#include "kelvane/time/time_tools.h"
#include "tools/kelvane/command.h"
#include "tools/kelvane/device_options.h"

namespace kelvane::cli {
namespace {

struct TimeOptions : DeviceOptions {
  std::int64_t server_zone = 0;
  std::int64_t daylight = 0;
  std::string at;
  bool trade = false;
  std::uint32_t months = 3;
  std::optional<std::uint32_t> unpack;
} options;

// "2025-07-01 12:00:00 Tue" with UTC rules: for a trade time, the server's wall clock.
std::string Wall(std::int64_t t) {
  const time_t at = t;
  tm fields{};
  if (::gmtime_r(&at, &fields) == nullptr) return std::to_string(t);
  char text[48];
  std::strftime(text, sizeof(text), "%Y-%m-%d %H:%M:%S %a", &fields);
  return text;
}

// Seconds since 1970, or a UTC date "YYYY-MM-DD" with an optional "HH:MM[:SS]" after a space
// or 'T'. nullopt when the text is neither.
std::optional<std::int64_t> ParseInstant(const std::string& text) {
  if (text.empty()) return std::nullopt;
  char* end = nullptr;
  errno = 0;
  const long long seconds = std::strtoll(text.c_str(), &end, 10);
  if (errno == 0 && *end == 0) return seconds;
  tm fields{};
  int consumed = 0;
  if (std::sscanf(text.c_str(), "%d-%d-%d%n", &fields.tm_year, &fields.tm_mon, &fields.tm_mday,
                  &consumed) != 3) {
    return std::nullopt;
  }
  std::string_view rest(text.c_str() + consumed);
  if (!rest.empty()) {
    if (rest[0] != ' ' && rest[0] != 'T') return std::nullopt;
    int used = 0;
    const int n = std::sscanf(rest.data() + 1, "%d:%d%n:%d%n", &fields.tm_hour, &fields.tm_min,
                              &used, &fields.tm_sec, &used);
    if (n < 2 || rest.data()[1 + used] != 0) return std::nullopt;
  }
  if (fields.tm_mon < 1 || fields.tm_mon > 12 || fields.tm_mday < 1 || fields.tm_mday > 31 ||
      fields.tm_hour > 23 || fields.tm_min > 59 || fields.tm_sec > 60) {
    return std::nullopt;
  }
  fields.tm_year -= 1900;
  fields.tm_mon -= 1;
  return static_cast<std::int64_t>(::timegm(&fields));
}

CLI::App* AddTime(CLI::App& app) {
  CLI::App* sub = app.add_subcommand(
      "time", "UTC and trade time, calendar periods, short dates and the texts a user sees");
  sub->add_option("--at", options.at,
                  "the time: seconds since 1970 or YYYY-MM-DD[ HH:MM[:SS]] in UTC; the clock is "
                  "set to it, so periods back from now are from it (default: now)");
  sub->add_flag("--trade", options.trade, "--at is a trade time (the server's wall clock)");
  sub->add_option("--server-tz", options.server_zone, "server zone, minutes east of UTC (180)");
  sub->add_option("--dst", options.daylight, "server daylight-saving shift, hours (1)");
  sub->add_option("--months", options.months, "months for the last-N-months periods")
      ->check(CLI::Range(0u, 1200u));
  sub->add_option("--unpack", options.unpack, "a short date (0-65535) to take apart")
      ->check(CLI::Range(0u, 65535u));
  options.Add(sub);
  return sub;
}

void PrintShortDate(std::ostream& out, std::uint16_t s) {
  out << "short date " << s << ": year " << STime::YearFromShort(s) << ", month "
      << STime::MonthFromShort(s) << ", day " << STime::DayFromShort(s) << " -> "
      << Wall(STime::LongDate(s)) << ", \"" << Utf8(STime::StringFromShortDate(s)) << "\"\n";
}

void PrintTime(std::ostream& out, std::int64_t utc) {
  const std::int64_t trade = STime::Time2TradeTime(utc);
  const std::int64_t months = options.months;
  out << "UTC time          " << utc << "  " << Wall(utc) << '\n'
      << "trade time        " << trade << "  " << Wall(trade) << "  (server "
      << STime::TradeTimeOffset() << " s ahead of UTC)\n"
      << "back to UTC       " << STime::TradeTime2Time(trade) << '\n'
      << "device offset     " << STime::LocalTimeOffset() << " s ("
      << platform::TimeZone::System().Identifier() << ")\n"
      << "day               " << Wall(STime::DayBegin(utc)) << " .. " << Wall(STime::DayEnd(utc))
      << '\n'
      << "week from         " << Wall(STime::WeekBegin(utc)) << '\n'
      << "month             " << Wall(STime::MonthBegin(utc)) << " .. "
      << Wall(STime::MonthEnd(utc)) << '\n'
      << "last " << months << " months     from "
      << Wall(STime::PeriodBegin(utc, 0, months > 12 ? 12 : static_cast<std::int32_t>(months)))
      << " (whole months), from " << Wall(STime::LastMonth(options.months))
      << " (30-day steps to tomorrow on the server)\n"
      << "year              from " << Wall(STime::PeriodBegin(utc, 1, 0)) << '\n'
      << "last week         from " << Wall(STime::LastWeek()) << '\n'
      << "7 days ago        from " << Wall(STime::PeriodDaysAgo(7)) << ", open end "
      << Wall(STime::PeriodUpperBound()) << '\n'
      << "year begin        " << Wall(STime::TimeYearBegin()) << " (fixed at start)\n";
  PrintShortDate(out, STime::ShortDate(utc));
  out << "user text         \"" << Utf8(STime::StringTimeForUser(utc)) << "\"\n"
      << "full text         \""
      << Utf8(STime::StringFromUTC(utc, std::nullopt, platform::kDateStyleFull,
                                   platform::kDateStyleMedium,
                                   static_cast<std::int32_t>(STime::TradeTimeOffset())))
      << "\" (on the server's clock)\n";
}

int RunTime() {
  if (std::string error = options.Apply(); !error.empty()) return Fail(error);
  STime::InitializeTZ(options.server_zone, options.daylight);
  std::optional<platform::ManualClock> clock;
  std::optional<platform::ScopedClock> scoped;
  std::int64_t utc = STime::Timestamp();
  if (!options.at.empty()) {
    const auto at = ParseInstant(options.at);
    if (!at) return Fail("not a time: " + options.at);
    utc = options.trade ? STime::TradeTime2Time(*at) : *at;
    clock.emplace(static_cast<double>(utc));
    scoped.emplace(*clock);
  }
  if (options.unpack) {
    PrintShortDate(std::cout, static_cast<std::uint16_t>(*options.unpack));
    return 0;
  }
  PrintTime(std::cout, utc);
  return 0;
}

int DemoTime(DemoContext& context) {
  std::ostream& out = context.out;
  constexpr std::int64_t kSample = 1751371200;  // 2025-07-01 12:00:00 UTC
  STime::InitializeTZ(180, 1);
  const std::int64_t trade = STime::Time2TradeTime(kSample);
  out << "A server at UTC+3 (180 minutes) with daylight saving 1 hour runs "
      << STime::TradeTimeOffset() << " s ahead of UTC:\n"
      << "  UTC   " << Wall(kSample) << "\n  trade " << Wall(trade) << "\n  and back "
      << Wall(STime::TradeTime2Time(trade)) << '\n'
      << "  its month so far begins " << Wall(STime::MonthBegin(trade)) << " (server calendar), "
      << "short date " << STime::ShortDate(trade) << '\n';
  STime::InitializeTZ(0, 0);

  const std::int64_t now = STime::Timestamp();
  out << "What a user sees for three instants (device zone "
      << platform::TimeZone::System().Identifier() << "):\n";
  const std::pair<const char*, std::int64_t> instants[] = {
      {"a minute ago", now - 60}, {"a day ago", now - 86400}, {"ten days ago", now - 864000}};
  for (const auto& [label, t] : instants) {
    out << "  " << label << ": \"" << Utf8(STime::StringTimeForUser(t)) << "\"\n";
  }
  return 0;
}

const Registrar registrar({"time", AddTime, RunTime, DemoTime, 310});

}  // namespace
}  // namespace kelvane::cli
