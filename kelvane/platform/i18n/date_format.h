// SPDX-License-Identifier: Apache-2.0
// kelvane/platform/i18n/date_format.h
//
// Time zones and locale-aware date formatters: the short, medium, long and full date and time
// styles of the locale data, with an optional relative form that names the days around today
// ("Yesterday", "Heute") instead of writing their dates. "Today" is the current day of the
// library's clock (kelvane/platform/core/clock.h) in the formatter's zone, so tests that fix the
// clock fix the relative words too.
//
// Ownership: TimeZone is a value type sharing an immutable engine zone. A DateFormatter is
// owned by its creator.
// Threads: TimeZone is immutable and may be used from any thread. A DateFormatter may be used
// from any thread: Format() serialises on the formatter's own lock, because the engine's
// formatter keeps scratch state.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "kelvane/export.h"
#include "kelvane/platform/core/string.h"
#include "kelvane/platform/i18n/locale_info.h"

namespace kelvane::platform {

// The formatter styles, numbered as callers pass them; values above kFull count as kNone.
enum DateStyle : std::uint64_t {
  kDateStyleNone = 0,    // left out
  kDateStyleShort = 1,   // the locale's shortest form, mostly numeric
  kDateStyleMedium = 2,  // a middle form (abbreviated month names)
  kDateStyleLong = 3,    // a long form (full month names)
  kDateStyleFull = 4,    // the fullest form (the weekday; the zone's name for times)
};

// A time zone: the offset from UTC in force at each instant.
class KELVANE_EXPORT TimeZone {
 public:
  // The largest fixed offset a zone can have, in seconds either side of UTC.
  static constexpr std::int64_t kMaxFixedOffset = 18 * 3600;

  // The device's zone (SystemTimeZoneIdentifier() of kelvane/platform/device/device.h). A zone
  // identifier the zone database does not know, such as a POSIX rule in TZ, is resolved the
  // way the C library resolves TZ; an empty one means the zone the system is configured with.
  [[nodiscard]] static TimeZone System() noexcept;

  // The zone of a zone database identifier ("Europe/Berlin", "UTC"); nullopt when unknown.
  [[nodiscard]] static std::optional<TimeZone> Named(std::string_view identifier) noexcept;

  // A zone always `seconds` east of UTC; nullopt beyond kMaxFixedOffset either way.
  [[nodiscard]] static std::optional<TimeZone> FixedOffset(std::int64_t seconds) noexcept;

  // Seconds east of UTC in force at `seconds_since_1970`, daylight saving included.
  [[nodiscard]] std::int64_t OffsetAt(double seconds_since_1970) const noexcept;

  // The zone's identifier ("Europe/Berlin", "GMT+03:00").
  [[nodiscard]] std::string Identifier() const;

  struct Engine;  // the engine's side; not part of the interface

 private:
  friend class DateFormatter;
  explicit TimeZone(std::shared_ptr<const Engine> engine) noexcept : engine_(std::move(engine)) {}
  std::shared_ptr<const Engine> engine_;
};

// Writes instants as text in a locale's conventions.
class KELVANE_EXPORT DateFormatter {
 public:
  // A formatter writing dates in `date_style` and times of day in `time_style` (DateStyle
  // values), in the conventions of `locale` and the wall clock of `zone`. With `relative`, a
  // date within two days of today that the locale has a word for is written as that word.
  // nullptr when the locale data cannot provide the formatter.
  [[nodiscard]] static std::unique_ptr<DateFormatter> Create(const Locale& locale,
                                                             std::uint64_t date_style,
                                                             std::uint64_t time_style,
                                                             const TimeZone& zone,
                                                             bool relative) noexcept;
  DateFormatter(const DateFormatter&) = delete;
  DateFormatter& operator=(const DateFormatter&) = delete;
  ~DateFormatter();

  // The text of the instant `seconds_since_1970`. Empty when both styles are none, for a
  // non-finite instant, or when the engine cannot format it.
  [[nodiscard]] String Format(double seconds_since_1970) const noexcept;

 private:
  struct Impl;
  explicit DateFormatter(std::unique_ptr<Impl> impl) noexcept;
  std::unique_ptr<Impl> impl_;
};

// Formats one instant with a formatter made for this call only; empty when no formatter can
// be made or it cannot format the instant.
[[nodiscard]] KELVANE_EXPORT String FormatDate(double seconds_since_1970, const Locale& locale,
                                               std::uint64_t date_style, std::uint64_t time_style,
                                               const TimeZone& zone) noexcept;

}  // namespace kelvane::platform
