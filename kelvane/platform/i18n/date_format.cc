// SPDX-License-Identifier: Apache-2.0
#include "kelvane/platform/i18n/date_format.h"

#include <unicode/datefmt.h>
#include <unicode/reldatefmt.h>
#include <unicode/simpletz.h>
#include <unicode/timezone.h>

#include <cmath>
#include <cstdio>
#include <mutex>
#include <new>

#include "kelvane/platform/core/clock.h"
#include "kelvane/platform/device/device.h"

namespace kelvane::platform {

struct TimeZone::Engine {
  std::unique_ptr<const icu::TimeZone> zone;
};

namespace {

constexpr double kMillisPerDay = 86400000.0;

// Relative words exist for the day before yesterday up to the day after tomorrow.
constexpr int kRelativeDays = 2;

icu::DateFormat::EStyle EngineStyle(std::uint64_t style) {
  switch (style) {
    case kDateStyleShort:
      return icu::DateFormat::kShort;
    case kDateStyleMedium:
      return icu::DateFormat::kMedium;
    case kDateStyleLong:
      return icu::DateFormat::kLong;
    case kDateStyleFull:
      return icu::DateFormat::kFull;
    default:
      return icu::DateFormat::kNone;
  }
}

String ToString(const icu::UnicodeString& text) {
  return String(reinterpret_cast<const char16_t*>(text.getBuffer()),
                static_cast<std::size_t>(text.length()));
}

// The day number of an instant on the wall clock of `zone`.
std::int64_t LocalDay(const icu::TimeZone& zone, double millis) {
  int32_t raw = 0;
  int32_t dst = 0;
  UErrorCode status = U_ZERO_ERROR;
  zone.getOffset(millis, false, raw, dst, status);
  if (U_FAILURE(status)) raw = dst = 0;
  return static_cast<std::int64_t>(std::floor((millis + raw + dst) / kMillisPerDay));
}

}  // namespace

// ---- TimeZone -------------------------------------------------------------------------------

TimeZone TimeZone::System() noexcept {
  const std::string id = SystemTimeZoneIdentifier();
  if (!id.empty()) {
    if (auto zone = Named(id)) return *zone;
  }
  // ICU's host detection reads TZ rules and the system's configured zone as the C library does.
  std::unique_ptr<const icu::TimeZone> host(icu::TimeZone::detectHostTimeZone());
  try {
    if (host == nullptr) host.reset(icu::TimeZone::getGMT()->clone());
    if (host != nullptr) return TimeZone(std::make_shared<const Engine>(Engine{std::move(host)}));
  } catch (const std::bad_alloc&) {
  }
  // Out of memory: universal time from a static engine, shared without a control block.
  static const Engine gmt{std::unique_ptr<const icu::TimeZone>(icu::TimeZone::getGMT()->clone())};
  return TimeZone(std::shared_ptr<const Engine>(std::shared_ptr<const Engine>(), &gmt));
}

std::optional<TimeZone> TimeZone::Named(std::string_view identifier) noexcept {
  try {
    if (identifier.empty() || identifier.size() > 128) return std::nullopt;
    const icu::UnicodeString id = icu::UnicodeString::fromUTF8(
        icu::StringPiece(identifier.data(), static_cast<int32_t>(identifier.size())));
    std::unique_ptr<icu::TimeZone> zone(icu::TimeZone::createTimeZone(id));
    if (zone == nullptr || *zone == icu::TimeZone::getUnknown()) return std::nullopt;
    return TimeZone(std::make_shared<const Engine>(Engine{std::move(zone)}));
  } catch (const std::bad_alloc&) {
    return std::nullopt;
  }
}

std::optional<TimeZone> TimeZone::FixedOffset(std::int64_t seconds) noexcept {
  if (seconds < -kMaxFixedOffset || seconds > kMaxFixedOffset) return std::nullopt;
  try {
    const std::int64_t minutes = (seconds < 0 ? -seconds : seconds) / 60;
    char name[16] = "GMT";
    if (seconds != 0) {
      std::snprintf(name, sizeof(name), "GMT%c%02d:%02d", seconds < 0 ? '-' : '+',
                    static_cast<int>(minutes / 60), static_cast<int>(minutes % 60));
    }
    auto zone = std::make_unique<icu::SimpleTimeZone>(static_cast<int32_t>(seconds * 1000),
                                                      icu::UnicodeString(name, -1, US_INV));
    return TimeZone(std::make_shared<const Engine>(Engine{std::move(zone)}));
  } catch (const std::bad_alloc&) {
    return std::nullopt;
  }
}

std::int64_t TimeZone::OffsetAt(double seconds_since_1970) const noexcept {
  if (!std::isfinite(seconds_since_1970)) return 0;
  int32_t raw = 0;
  int32_t dst = 0;
  UErrorCode status = U_ZERO_ERROR;
  engine_->zone->getOffset(seconds_since_1970 * 1000.0, false, raw, dst, status);
  if (U_FAILURE(status)) return 0;
  return (static_cast<std::int64_t>(raw) + dst) / 1000;
}

std::string TimeZone::Identifier() const {
  icu::UnicodeString id;
  engine_->zone->getID(id);
  std::string utf8;
  id.toUTF8String(utf8);
  return utf8;
}

// ---- DateFormatter --------------------------------------------------------------------------

struct DateFormatter::Impl {
  std::mutex mutex;
  bool empty = false;                          // both styles none: formats to nothing
  std::unique_ptr<icu::DateFormat> format;     // the date and time in the two styles
  std::unique_ptr<icu::DateFormat> time_only;  // the time of day beside a relative word
  std::unique_ptr<icu::RelativeDateTimeFormatter> relative;
  std::unique_ptr<icu::TimeZone> zone;
};

DateFormatter::DateFormatter(std::unique_ptr<Impl> impl) noexcept : impl_(std::move(impl)) {}
DateFormatter::~DateFormatter() = default;

std::unique_ptr<DateFormatter> DateFormatter::Create(const Locale& locale, std::uint64_t date_style,
                                                     std::uint64_t time_style, const TimeZone& zone,
                                                     bool relative) noexcept {
  try {
    auto impl = std::make_unique<Impl>();
    const icu::Locale engine_locale(locale.EngineIdentifier().c_str());
    const icu::DateFormat::EStyle date = EngineStyle(date_style);
    const icu::DateFormat::EStyle time = EngineStyle(time_style);
    impl->zone.reset(zone.engine_->zone->clone());
    if (impl->zone == nullptr) return nullptr;
    if (date == icu::DateFormat::kNone && time == icu::DateFormat::kNone) {
      impl->empty = true;
      return std::unique_ptr<DateFormatter>(new DateFormatter(std::move(impl)));
    }
    impl->format.reset(icu::DateFormat::createDateTimeInstance(date, time, engine_locale));
    if (impl->format == nullptr) return nullptr;
    impl->format->setTimeZone(*impl->zone);
    if (relative && date != icu::DateFormat::kNone) {
      UErrorCode status = U_ZERO_ERROR;
      // A date shown on its own starts its line, so the word is capitalised as a sentence
      // start ("Yesterday", not "yesterday").
      impl->relative = std::make_unique<icu::RelativeDateTimeFormatter>(
          engine_locale, nullptr, UDAT_STYLE_LONG,
          UDISPCTX_CAPITALIZATION_FOR_BEGINNING_OF_SENTENCE, status);
      if (U_FAILURE(status)) {
        impl->relative.reset();  // no words in this locale: dates are written out
      } else if (time != icu::DateFormat::kNone) {
        impl->time_only.reset(icu::DateFormat::createTimeInstance(time, engine_locale));
        if (impl->time_only == nullptr) return nullptr;
        impl->time_only->setTimeZone(*impl->zone);
      }
    }
    return std::unique_ptr<DateFormatter>(new DateFormatter(std::move(impl)));
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

String DateFormatter::Format(double seconds_since_1970) const noexcept {
  if (impl_->empty || !std::isfinite(seconds_since_1970)) return {};
  try {
    const double millis = seconds_since_1970 * 1000.0;
    std::lock_guard lock(impl_->mutex);
    if (impl_->relative != nullptr) {
      const std::int64_t days =
          LocalDay(*impl_->zone, millis) - LocalDay(*impl_->zone, CurrentClock().Now() * 1000.0);
      if (days >= -kRelativeDays && days <= kRelativeDays) {
        static constexpr UDateDirection kDirections[] = {UDAT_DIRECTION_LAST_2, UDAT_DIRECTION_LAST,
                                                         UDAT_DIRECTION_THIS, UDAT_DIRECTION_NEXT,
                                                         UDAT_DIRECTION_NEXT_2};
        icu::UnicodeString word;
        UErrorCode status = U_ZERO_ERROR;
        impl_->relative->format(kDirections[days + kRelativeDays], UDAT_ABSOLUTE_DAY, word, status);
        if (U_SUCCESS(status) && !word.isEmpty()) {
          if (impl_->time_only == nullptr) return ToString(word);
          icu::UnicodeString time_text;
          impl_->time_only->format(millis, time_text);
          icu::UnicodeString combined;
          impl_->relative->combineDateAndTime(word, time_text, combined, status);
          if (U_SUCCESS(status)) return ToString(combined);
        }
      }
    }
    icu::UnicodeString text;
    impl_->format->format(millis, text);
    return text.isBogus() ? String() : ToString(text);
  } catch (const std::bad_alloc&) {
    return {};
  }
}

String FormatDate(double seconds_since_1970, const Locale& locale, std::uint64_t date_style,
                  std::uint64_t time_style, const TimeZone& zone) noexcept {
  const auto formatter = DateFormatter::Create(locale, date_style, time_style, zone, false);
  return formatter == nullptr ? String() : formatter->Format(seconds_since_1970);
}

}  // namespace kelvane::platform
