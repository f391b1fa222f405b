// SPDX-License-Identifier: Apache-2.0
// kelvane/platform/device/device.h
//
// Facts about the device's user that the locale and time operations read: the preferred
// languages, the current (formatting) locale and the system time zone.
//
// By default every fact comes from the environment, read afresh on each call, the way a Linux
// user sets them:
//   preferred languages  LANGUAGE (a colon list), else the first set of LC_ALL, LC_MESSAGES,
//                        LANG; "C" and "POSIX" mean none.
//   current locale       the first set of LC_ALL, LC_TIME, LANG; "en-US" when that is unset,
//                        "C" or "POSIX".
//   time zone            TZ (":Europe/Berlin" and "/usr/share/zoneinfo/..." forms included),
//                        else the zone the system is configured with.
// Identifiers are given in the form language[-script][-region]: "pt_BR.UTF-8" reads as "pt-BR",
// "sr_RS@latin" as "sr-Latn-RS".
//
// One override point serves applications, the command-line tool and tests: each fact can be
// fixed separately with SetDeviceOverrides() (or for a scope with ScopedDeviceOverrides).
//
// Threads: every function may be called from any thread; the overrides are guarded by a lock.
// The environment itself must not be changed (setenv) while other threads read it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "kelvane/export.h"

namespace kelvane::platform {

// The device's language, locale and time zone facts.
struct DeviceFacts {
  std::vector<std::string> preferred_languages;  // most preferred first; may be empty
  std::string current_locale;                    // never empty
  std::string time_zone;                         // a zone identifier or a TZ rule; may be empty
};

// Facts that replace what the environment says; an absent member leaves that fact alone.
struct DeviceOverrides {
  // The preferred languages, most preferred first.
  std::optional<std::vector<std::string>> preferred_languages = std::nullopt;
  std::optional<std::string> current_locale = std::nullopt;  // a locale identifier
  std::optional<std::string> time_zone = std::nullopt;       // a zone identifier or a TZ rule
};

// What the environment says now, overrides not applied.
[[nodiscard]] KELVANE_EXPORT DeviceFacts EnvironmentDeviceFacts() noexcept;

// The facts in force: the environment's, with the overrides applied.
[[nodiscard]] KELVANE_EXPORT DeviceFacts CurrentDeviceFacts() noexcept;
// CurrentDeviceFacts().preferred_languages: most preferred first; may be empty.
[[nodiscard]] KELVANE_EXPORT std::vector<std::string> PreferredLanguages() noexcept;
// CurrentDeviceFacts().current_locale: never empty.
[[nodiscard]] KELVANE_EXPORT std::string CurrentLocaleIdentifier() noexcept;
// CurrentDeviceFacts().time_zone: a zone identifier or a TZ rule; may be empty.
[[nodiscard]] KELVANE_EXPORT std::string SystemTimeZoneIdentifier() noexcept;

// Replaces all overrides at once (an empty DeviceOverrides removes them all); returns the
// overrides that were in force before.
KELVANE_EXPORT DeviceOverrides SetDeviceOverrides(DeviceOverrides overrides) noexcept;
// The overrides in force.
[[nodiscard]] KELVANE_EXPORT DeviceOverrides CurrentDeviceOverrides() noexcept;

// A count that grows with every change of the overrides (SetDeviceOverrides, and so also
// ScopedDeviceOverrides). Caches of facts derived from the device compare it to notice a change
// without reading the facts again; a change of the environment does not move it.
[[nodiscard]] KELVANE_EXPORT std::uint64_t DeviceOverridesGeneration() noexcept;

// Turns a POSIX locale name ("pt_BR.UTF-8", "sr_RS@latin", "de_DE@euro") or an identifier
// already in the form language[-script][-region] into that form. nullopt for "C", "POSIX",
// the empty text and names whose language part is not 2 to 8 letters.
[[nodiscard]] KELVANE_EXPORT std::optional<std::string> LocaleIdentifierFromPosix(
    std::string_view name) noexcept;

// Applies `overrides` on top of those in force for the life of a scope (members left absent
// keep their current override), and restores the previous overrides afterwards.
class KELVANE_EXPORT ScopedDeviceOverrides {
 public:
  // Applies `overrides` until the object goes.
  explicit ScopedDeviceOverrides(const DeviceOverrides& overrides) noexcept;
  ScopedDeviceOverrides(const ScopedDeviceOverrides&) = delete;
  ScopedDeviceOverrides& operator=(const ScopedDeviceOverrides&) = delete;
  ~ScopedDeviceOverrides();

 private:
  DeviceOverrides previous_;
};

}  // namespace kelvane::platform
