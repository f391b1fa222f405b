// SPDX-License-Identifier: Apache-2.0
// Locale identifiers and zone names from untrusted text, and calendar arithmetic on untrusted
// times: nothing may crash, and what is accepted must hold its invariants.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "kelvane/platform/device/device.h"
#include "kelvane/platform/i18n/date_format.h"
#include "kelvane/platform/i18n/locale_info.h"
#include "kelvane/time/time_tools.h"

namespace {

void CheckTime(std::int64_t t, std::int32_t years, std::int32_t months) {
  using kelvane::STime;
  tm record;
  if (STime::ParseTime(t, &record)) {
    const std::int64_t day = STime::DayBegin(t);
    if (STime::LongDate(STime::ShortDate(t)) != day && STime::Year(t) >= 1970 &&
        STime::Year(t) <= 2097) {
      std::abort();  // short dates round-trip in their range
    }
    const std::int64_t month = STime::MonthBegin(t);
    if (month > day || STime::MonthEnd(t) < t || STime::Day(month) != 1) std::abort();
    const std::int64_t period = STime::PeriodBegin(t, years, months);
    if (period > day) std::abort();  // a period ending with t's day starts no later than it
  } else if (STime::PeriodBegin(t, years, months) != 0 || STime::ShortDate(t) != 33) {
    std::abort();
  }
  const std::int64_t week = STime::WeekBegin(t);
  // A week begins on a Sunday (1970-01-04 was one) at or before t, less than a week before it.
  if (t >= 345600 &&
      (week > t || t - week >= 604800 || week % 86400 != 0 || (week / 86400 + 4) % 7 != 0)) {
    std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  if (size >= 16) {
    std::int64_t t;
    std::int32_t years, months;
    std::memcpy(&t, bytes, 8);
    std::memcpy(&years, bytes + 8, 4);
    std::memcpy(&months, bytes + 12, 4);
    CheckTime(t, years, months);
  }
  const std::string_view text(reinterpret_cast<const char*>(bytes), size);
  if (auto id = kelvane::platform::LocaleIdentifierFromPosix(text)) {
    // What the environment reader accepts is always a usable identifier, and stable.
    if (kelvane::platform::LocaleIdentifierFromPosix(*id) != id) std::abort();
  }
  if (auto locale = kelvane::platform::Locale::FromIdentifier(text)) {
    if (locale->LanguageCode().empty()) std::abort();
    auto again = kelvane::platform::Locale::FromIdentifier(locale->Identifier());
    if (!again || again->Identifier() != locale->Identifier()) std::abort();
    (void)locale->CurrencyCode();
    (void)kelvane::platform::LanguageDisplayName(text, *locale);
    (void)kelvane::platform::RegionDisplayName(locale->RegionCode(), *locale);
  }
  (void)kelvane::platform::WindowsLocaleCode(text);
  if (auto zone = kelvane::platform::TimeZone::Named(text)) (void)zone->OffsetAt(0);
  return 0;
}
