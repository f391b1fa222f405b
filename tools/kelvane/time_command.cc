// SPDX-License-Identifier: Apache-2.0
// `kelvane time`: UTC and trade time, the calendar periods of a time, short dates and the texts
// a user sees, with the device's language and zone from the environment or from --lang,
// --locale and --tz.
// Demo step: a trade time for a server at UTC+3 with daylight saving, and the user texts of
// three instants.
#include <time.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "kelvane/platform/core/clock.h"
#include "kelvane/platform/device/device.h"
#include "kelvane/platform/i18n/date_format.h"
#include "kelvane/time/time_tools.h"
#include "tools/kelvane/checks.h"
#include "tools/kelvane/commands.h"
#include "tools/kelvane/device_options.h"

namespace kelvane::cli {
namespace {

// The latest instant --at takes: 9999-12-31 23:59:59 UTC.
constexpr std::int64_t kLastInstant = 253402300799;

struct TimeOptions {
  DeviceOptions device;
  std::int64_t server_zone = 0;
  std::int64_t daylight = 0;
  std::string at;
  bool trade = false;
  std::uint32_t months = 3;
  std::optional<std::uint32_t> unpack;
};

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
// or 'T', from 1970 to the end of 9999. nullopt when the text is neither, or names a day the
// calendar does not have (February 30th).
std::optional<std::int64_t> ParseInstant(const std::string& text) {
  if (text.empty()) return std::nullopt;
  char* end = nullptr;
  errno = 0;
  const long long seconds = std::strtoll(text.c_str(), &end, 10);
  if (errno == 0 && *end == 0) {
    if (seconds < 0 || seconds > kLastInstant) return std::nullopt;
    return seconds;
  }
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
  const tm asked = fields;
  const std::int64_t t = ::timegm(&fields);
  // timegm carries an overflowing day into the next month; the text meant no such thing.
  if (fields.tm_mday != asked.tm_mday || fields.tm_mon != asked.tm_mon || t < 0 ||
      t > kLastInstant) {
    return std::nullopt;
  }
  return t;
}

void PrintShortDate(std::ostream& out, std::uint16_t s) {
  out << "short date " << s << ": year " << STime::YearFromShort(s) << ", month "
      << STime::MonthFromShort(s) << ", day " << STime::DayFromShort(s) << " -> "
      << Wall(STime::LongDate(s)) << ", \"" << Utf8(STime::StringFromShortDate(s)) << "\"\n";
}

void PrintTime(std::ostream& out, std::int64_t utc, std::uint32_t month_count) {
  const std::int64_t trade = STime::Time2TradeTime(utc);
  const std::int64_t months = month_count;
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
      << " (whole months), from " << Wall(STime::LastMonth(month_count))
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

int RunTime(const TimeOptions& o) {
  o.device.Apply();
  STime::InitializeTZ(o.server_zone, o.daylight);
  std::optional<platform::ManualClock> clock;
  std::optional<platform::ScopedClock> scoped;
  std::int64_t utc = STime::Timestamp();
  if (!o.at.empty()) {
    const std::int64_t at = *ParseInstant(o.at);  // checked when parsed
    utc = o.trade ? STime::TradeTime2Time(at) : at;
    clock.emplace(static_cast<double>(utc));
    scoped.emplace(*clock);
  }
  if (o.unpack) {
    PrintShortDate(std::cout, static_cast<std::uint16_t>(*o.unpack));
    return 0;
  }
  PrintTime(std::cout, utc, o.months);
  return 0;
}

}  // namespace

void AddTime(Tool& tool) {
  CLI::App* sub = tool.app.add_subcommand(
      "time", "UTC and trade time, calendar periods, short dates and the texts a user sees");
  auto o = std::make_shared<TimeOptions>();
  CLI::Option* at =
      sub->add_option("--at", o->at,
                      "the time: seconds since 1970 or YYYY-MM-DD[ HH:MM[:SS]] in UTC, up to "
                      "9999-12-31; the clock is set to it, so periods back from now are from it "
                      "(default: now)")
          ->check(CLI::Validator(
              [](std::string& text) -> std::string {
                return ParseInstant(text) ? ""
                                          : "'" + text +
                                                "' is not a time from 1970 to 9999: seconds "
                                                "since 1970 or YYYY-MM-DD[ HH:MM[:SS]]";
              },
              "TIME"));
  sub->add_flag("--trade", o->trade, "--at is a trade time (the server's wall clock)")->needs(at);
  sub->add_option("--server-tz", o->server_zone,
                  "server zone in minutes east of UTC, e.g. 180 for UTC+3")
      ->check(Integer(-720, 720))
      ->capture_default_str();
  sub->add_option("--dst", o->daylight, "server daylight-saving shift in hours, e.g. 1")
      ->check(Integer(-2, 2))
      ->capture_default_str();
  sub->add_option("--months", o->months, "months for the last-N-months periods")
      ->check(Integer(0, 1200))
      ->capture_default_str();
  sub->add_option("--unpack", o->unpack, "a short date to take apart")->check(Integer(0, 65535));
  DeviceOptions::Add(sub, o->device);
  tool.Runs(sub, [o] { return RunTime(*o); });
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

}  // namespace kelvane::cli
