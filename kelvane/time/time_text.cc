// SPDX-License-Identifier: Apache-2.0
// The display texts of STime: short dates, instants in chosen styles and zones, and the
// today-or-date text of lists.
#include "kelvane/locale/locale_tools.h"
#include "kelvane/platform/i18n/date_format.h"
#include "kelvane/time/internal/state.h"
#include "kelvane/time/time_tools.h"

namespace kelvane {

String STime::StringFromShortDate(std::int64_t s) noexcept {
  const std::int64_t midnight = LongDate(static_cast<std::uint16_t>(s & 0xFFFF));
  return platform::FormatDate(static_cast<double>(midnight), platform::Locale::Current(),
                              platform::kDateStyleShort, platform::kDateStyleNone,
                              platform::TimeZone::System());
}

String STime::StringFromUTC(std::int64_t t, std::optional<double> date, std::uint64_t date_style,
                            std::uint64_t time_style, std::int32_t tz_gmt) noexcept {
  const double instant = date ? *date : static_cast<double>(t);
  auto zone = platform::TimeZone::FixedOffset(tz_gmt);
  return platform::FormatDate(instant, NSTools::LocaleForCurrentLanguage(), date_style, time_style,
                              zone ? *zone : platform::TimeZone::System());
}

String STime::StringTimeForUser(std::int64_t t) noexcept {
  const std::int64_t offset = LocalTimeOffset();  // makes the shared formatters on first use
  const std::int64_t now = time_internal::WrapAdd(Timestamp(), offset);
  const std::int64_t first = time_internal::WrapSub(DayBegin(now), offset);
  const std::int64_t last = time_internal::WrapSub(DayEnd(now), offset);
  const platform::DateFormatter* formatter = first <= t && t <= last
                                                 ? time_internal::SharedTimeFormatter()
                                                 : time_internal::SharedDateFormatter();
  return formatter == nullptr ? String() : formatter->Format(static_cast<double>(t));
}

}  // namespace kelvane
